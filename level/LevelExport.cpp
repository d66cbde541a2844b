#include "level/LevelExport.h"

#include "level/Wmpio.h"

#include <limits>
#include <memory>
#include <vector>

namespace kelvane {

namespace {

// Values the level-file library expects in the level and model records.
constexpr std::int32_t kLevelTypeCode = 151;
constexpr std::int32_t kModelTypeCode = 135;
constexpr std::int32_t kLevelFlags = 1;
constexpr std::int32_t kModelFlags = 565;
constexpr std::int32_t kModelInfoFlags = 512;
constexpr std::int32_t kModelInfoParam = 20;
constexpr std::int32_t kLevelNumber = 60;
constexpr std::int32_t kAddLevelCode = -1;
constexpr std::int32_t kAddModelCode = 0;
constexpr std::size_t kWorkBufferSize = 768;
constexpr std::size_t kLevelBlockSize = 128;

// Storage the level object points to. The library may hold on to it for as
// long as the level file is being written, so it is released only when the
// next level file is started (or at program end).
struct LevelStorage {
    std::unique_ptr<std::uint8_t[]> block;
    std::unique_ptr<std::int32_t[]> elements;
    std::unique_ptr<std::int32_t> number;
};

std::vector<LevelStorage>& runStorage()
{
    static std::vector<LevelStorage> storage;
    return storage;
}

// Passed with every object; only the library looks at it.
std::int32_t wmpShared = 0;

} // namespace

bool createLevelFile(const char* path, std::int32_t groupCount)
{
    // The level file counts its objects, the level and one model per group,
    // in 32 bits.
    if (path == nullptr || groupCount < 0 || groupCount == std::numeric_limits<std::int32_t>::max())
        return false;

    wmpioCreate(path, 0, groupCount + 1, groupCount + 1, 0, 0);

    {
        const auto workBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kWorkBufferSize);
        WmpBufferDesc buffer;
        buffer.size = kWmpBufferDescSize;
        buffer.block = workBuffer.get();
        wmpioRegisterBuffer(&buffer);

        // Reserve the slot first so that a failed allocation leaves nothing
        // half-owned.
        auto& storage = runStorage();
        // wmpioCreate above has ended the library's use of any earlier level
        // file, so its storage can go: a process that splits many models
        // keeps only the latest level file's, not one set per split.
        storage.clear();
        storage.emplace_back();
        LevelStorage& level = storage.back();
        level.elements = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(groupCount));
        level.block = std::make_unique_for_overwrite<std::uint8_t[]>(kLevelBlockSize);
        level.number = std::make_unique<std::int32_t>(kLevelNumber);

        // The level sits at the origin unrotated: its position and angles are
        // one shared zero triple.
        const double origin[3] = {0.0, 0.0, 0.0};
        const double unitScale[3] = {1.0, 1.0, 1.0};
        const double realA = 0.0;
        const double realB = 0.0;
        const std::int32_t zeroTriples[5][3] = {};

        WmpLevelInfo info;
        info.size = kWmpLevelInfoSize;
        info.worldFile = "t.$$w";
        info.palette = "palette.pcx";
        info.number = level.number.get();
        info.realA = &realA;
        info.realB = &realB;
        info.extra = "";
        for (int i = 0; i < 5; ++i)
            info.triples[i] = zeroTriples[i];
        info.triples[5] = zeroTriples[4];

        WmpObjectDesc object;
        object.size = kWmpObjectDescSize;
        object.tag = "";
        object.typeCode = kLevelTypeCode;
        object.typeName = "level";
        object.name = "root";
        object.flags = kLevelFlags;
        object.kind = kWmpKindLevel;
        object.position = origin;
        object.angles = origin;
        object.scale = unitScale;
        object.block = level.block.get();
        object.elementCount = groupCount;
        object.elements = level.elements.get();

        WmpObjectAux aux;
        aux.size = kWmpObjectAuxSize;

        WmpPayloadDesc payload;
        payload.size = kWmpPayloadDescSize;
        payload.tag = "";
        payload.kind = kWmpKindLevel;
        payload.info = &info;

        wmpioAddObject(&object, &aux, &payload, kAddLevelCode, &wmpShared);
        // The work buffer is released here, once the level object is in.
    }
    return true;
}

void addModelEntity(const char* fileName, float x, float y, float z)
{
    const double position[3] = {x, y, z};
    const double angles[3] = {0.0, 0.0, 0.0};
    const double unitScale[3] = {1.0, 1.0, 1.0};

    WmpModelInfo info;
    info.size = kWmpModelInfoSize;
    info.fileName = fileName;
    info.modelName = fileName;
    info.extra = "";
    info.flags = kModelInfoFlags;
    info.scale[0] = info.scale[1] = info.scale[2] = 1.0;
    info.param = kModelInfoParam;

    WmpObjectDesc object;
    object.size = kWmpObjectDescSize;
    object.tag = "";
    object.typeCode = kModelTypeCode;
    object.typeName = "model";
    object.name = fileName;
    object.flags = kModelFlags;
    object.kind = kWmpKindModel;
    object.position = position;
    object.angles = angles;
    object.scale = unitScale;

    WmpObjectAux aux;
    aux.size = kWmpObjectAuxSize;

    WmpPayloadDesc payload;
    payload.size = kWmpPayloadDescSize;
    payload.tag = "";
    payload.kind = kWmpKindModel;
    payload.info = &info;

    wmpioAddObject(&object, &aux, &payload, kAddModelCode, &wmpShared);
}

} // namespace kelvane
