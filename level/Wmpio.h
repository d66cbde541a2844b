// wmpio: the level-file library.
//
// A level file places objects in a scene. It is written through four
// operations: wmpioCreate starts a file, wmpioRegisterBuffer hands over a
// work buffer, wmpioAddObject appends one object, and wmpioClose completes
// the file. The caller fills plain records and passes them by pointer; every
// record starts with its size, and the size values are those of the records'
// packed 32-bit layout (64, 44, 20, 52, 252 and 24 bytes), whatever the host's
// pointer width. The library reads the records only during the call that
// receives them and keeps no pointer into them.
//
// The operations report nothing back; wmpioFailed tells afterwards whether
// the level file could not be created or written completely.
//
// Behind the operations sits a backend. The default one writes the
// line-oriented text format described in docs/level-format.md; tests install
// a backend of their own to observe the calls.
#pragma once

#include <cstdint>

namespace kelvane {

// Size values stored in the records' first field.
inline constexpr std::int32_t kWmpObjectDescSize = 64;
inline constexpr std::int32_t kWmpObjectAuxSize = 44;
inline constexpr std::int32_t kWmpPayloadDescSize = 20;
// The level info's counted size leaves out its last field.
inline constexpr std::int32_t kWmpLevelInfoSize = 52;
inline constexpr std::int32_t kWmpModelInfoSize = 252;
inline constexpr std::int32_t kWmpBufferDescSize = 24;

// Kind codes: which info record a payload carries.
inline constexpr std::int32_t kWmpKindLevel = 0;
inline constexpr std::int32_t kWmpKindModel = 3;

// Describes one object of the scene; the first argument of wmpioAddObject.
// String fields point to zero-terminated 8-bit strings; triple fields to
// three consecutive doubles. A null string or triple is allowed and is
// recorded as absent.
struct WmpObjectDesc {
    std::int32_t size = 0;
    const char* tag = nullptr;
    std::int32_t reserved8 = 0;
    std::int32_t typeCode = 0;
    const char* typeName = nullptr; // "level", "model", ...
    const char* name = nullptr;
    std::int32_t reserved24 = 0;
    std::int32_t flags = 0;
    std::int32_t kind = 0;
    const double* position = nullptr;
    const double* angles = nullptr;
    const double* scale = nullptr;
    std::int32_t reserved48 = 0;
    // Work storage owned by the caller and valid to the end of the run; the
    // library does not read its contents.
    void* block = nullptr;
    std::int32_t elementCount = 0;
    std::int32_t* elements = nullptr;
};

// Second argument of wmpioAddObject: only its size is set.
struct WmpObjectAux {
    std::int32_t size = 0;
    std::int32_t reserved[10] = {};
};

// Third argument of wmpioAddObject. `info` points to a WmpLevelInfo when kind
// is kWmpKindLevel, to a WmpModelInfo when kind is kWmpKindModel; the info of
// any other kind is not looked at.
struct WmpPayloadDesc {
    std::int32_t size = 0;
    const char* tag = nullptr;
    std::int32_t reserved8 = 0;
    std::int32_t kind = 0;
    const void* info = nullptr;
};

// Settings of the level object.
struct WmpLevelInfo {
    std::int32_t size = 0;
    const char* worldFile = nullptr;
    const char* palette = nullptr;
    // A caller-owned integer valid to the end of the run.
    std::int32_t* number = nullptr;
    const double* realA = nullptr;
    const double* realB = nullptr;
    const char* extra = nullptr;
    // Triples of three 32-bit integers; entries may share storage.
    const std::int32_t* triples[6] = {};
    std::int32_t reserved52 = 0;
};

// Settings of one model object.
struct WmpModelInfo {
    std::int32_t size = 0;
    const char* fileName = nullptr;
    const char* modelName = nullptr;
    const char* extra = nullptr;
    std::int32_t flags = 0;
    double scale[3] = {};
    std::int32_t param = 0;
    std::int32_t reserved[51] = {};
};

// Argument of wmpioRegisterBuffer. The block is the caller's and need only
// stay valid during the call.
struct WmpBufferDesc {
    std::int32_t size = 0;
    void* block = nullptr;
    std::int32_t reserved[4] = {};
};

// What stands behind the four operations.
class WmpioBackend {
  public:
    virtual ~WmpioBackend() = default;
    virtual void create(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                        std::int32_t a5) = 0;
    virtual void registerBuffer(const WmpBufferDesc* buffer) = 0;
    virtual void addObject(const WmpObjectDesc* object, const WmpObjectAux* aux,
                           const WmpPayloadDesc* payload, std::int32_t code, std::int32_t* shared) = 0;
    virtual void close() = 0;
    // True when creating or writing the level file begun by the latest create
    // failed.
    virtual bool failed() const = 0;
};

// Installs `backend` for all later calls and returns the one it replaces.
// Null installs the default text-file backend again. The caller keeps
// ownership and must keep the backend alive while it is installed.
WmpioBackend* setWmpioBackend(WmpioBackend* backend);

// Starts a level file at `path`, replacing any file there. A level file still
// in progress is abandoned without its closing line. The five numbers are
// recorded as given. When the file cannot be created, the later calls up to
// the next wmpioCreate write nothing and wmpioFailed reports true.
void wmpioCreate(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                 std::int32_t a5);

// Hands a work buffer to the level file in progress; its fields are recorded.
// Without a level file in progress it does nothing.
void wmpioRegisterBuffer(const WmpBufferDesc* buffer);

// Appends the described object to the level file in progress. `code` is
// recorded as given; `shared` is caller storage valid to the end of the run,
// passed unchanged with every call. Null record pointers, or no level file in
// progress, make the call do nothing.
void wmpioAddObject(const WmpObjectDesc* object, const WmpObjectAux* aux, const WmpPayloadDesc* payload,
                    std::int32_t code, std::int32_t* shared);

// Completes the level file in progress: writes its closing line and closes
// it. Without a level file in progress it does nothing.
void wmpioClose();

// True when creating the latest level file or writing any part of it
// (closing included) failed. False before the first wmpioCreate.
[[nodiscard]] bool wmpioFailed();

} // namespace kelvane
