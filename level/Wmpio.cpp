#include "level/Wmpio.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace kelvane {

namespace {

void appendInt(std::string& out, std::int64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// The shortest decimal form that reads back as the same double.
void appendReal(std::string& out, double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// Quoted, with every byte outside printable ASCII written as \xHH, so the
// line stays plain ASCII (and so UTF-8) and any byte of the name survives.
void appendString(std::string& out, const char* text)
{
    if (text == nullptr) {
        out += "null";
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    out += '"';
}

void appendReals(std::string& out, const double* values, int count)
{
    if (values == nullptr) {
        out += "null";
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        appendReal(out, values[i]);
    }
}

void appendInts(std::string& out, const std::int32_t* values, int count)
{
    if (values == nullptr) {
        out += "null";
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        appendInt(out, values[i]);
    }
}

// Starts the next key=value field of a line.
std::string& field(std::string& out, const char* key)
{
    out += ' ';
    out += key;
    out += '=';
    return out;
}

void appendLevelInfo(std::string& out, const WmpLevelInfo& info)
{
    appendInt(field(out, "level.size"), info.size);
    appendString(field(out, "level.worldFile"), info.worldFile);
    appendString(field(out, "level.palette"), info.palette);
    appendInts(field(out, "level.number"), info.number, 1);
    appendReals(field(out, "level.realA"), info.realA, 1);
    appendReals(field(out, "level.realB"), info.realB, 1);
    appendString(field(out, "level.extra"), info.extra);
    static constexpr const char* kTripleKeys[6] = {"level.triple1", "level.triple2", "level.triple3",
                                                   "level.triple4", "level.triple5", "level.triple6"};
    for (int i = 0; i < 6; ++i)
        appendInts(field(out, kTripleKeys[i]), info.triples[i], 3);
    appendInt(field(out, "level.reserved52"), info.reserved52);
}

void appendModelInfo(std::string& out, const WmpModelInfo& info)
{
    appendInt(field(out, "model.size"), info.size);
    appendString(field(out, "model.fileName"), info.fileName);
    appendString(field(out, "model.modelName"), info.modelName);
    appendString(field(out, "model.extra"), info.extra);
    appendInt(field(out, "model.flags"), info.flags);
    appendReals(field(out, "model.scale"), info.scale, 3);
    appendInt(field(out, "model.param"), info.param);
    appendInts(field(out, "model.reserved"), info.reserved, 51);
}

// Writes the level file as text, one line per call; see docs/level-format.md.
class TextBackend final : public WmpioBackend {
  public:
    TextBackend() = default;
    TextBackend(const TextBackend&) = delete;
    TextBackend& operator=(const TextBackend&) = delete;

    // A file still open at program end stays without its closing line.
    ~TextBackend() override
    {
        if (file_ != nullptr) std::fclose(file_);
    }

    void create(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                std::int32_t a5) override
    {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
        failed_ = false;
        objectCount_ = 0;
        if (path == nullptr || (file_ = std::fopen(path, "wb")) == nullptr) {
            failed_ = true;
            return;
        }
        std::string line = "kelvane-level 1\ncreate";
        appendString(field(line, "path"), path);
        const std::int32_t args[5] = {a1, a2, a3, a4, a5};
        appendInts(field(line, "args"), args, 5);
        write(line);
    }

    void registerBuffer(const WmpBufferDesc* buffer) override
    {
        if (file_ == nullptr || buffer == nullptr) return;
        std::string line = "buffer";
        appendInt(field(line, "size"), buffer->size);
        appendInts(field(line, "reserved"), buffer->reserved, 4);
        write(line);
    }

    void addObject(const WmpObjectDesc* object, const WmpObjectAux* aux, const WmpPayloadDesc* payload,
                   std::int32_t code, std::int32_t*) override
    {
        if (file_ == nullptr || object == nullptr || aux == nullptr || payload == nullptr) return;
        std::string line = "object";
        appendInt(field(line, "code"), code);
        appendInt(field(line, "kind"), object->kind);
        appendString(field(line, "type"), object->typeName);
        appendString(field(line, "name"), object->name);
        appendReals(field(line, "position"), object->position, 3);
        appendReals(field(line, "angles"), object->angles, 3);
        appendReals(field(line, "scale"), object->scale, 3);
        appendInt(field(line, "size"), object->size);
        appendString(field(line, "tag"), object->tag);
        appendInt(field(line, "reserved8"), object->reserved8);
        appendInt(field(line, "typeCode"), object->typeCode);
        appendInt(field(line, "reserved24"), object->reserved24);
        appendInt(field(line, "flags"), object->flags);
        appendInt(field(line, "reserved48"), object->reserved48);
        appendInt(field(line, "elementCount"), object->elementCount);
        appendInt(field(line, "aux.size"), aux->size);
        appendInts(field(line, "aux.reserved"), aux->reserved, 10);
        appendInt(field(line, "payload.size"), payload->size);
        appendString(field(line, "payload.tag"), payload->tag);
        appendInt(field(line, "payload.reserved8"), payload->reserved8);
        appendInt(field(line, "payload.kind"), payload->kind);
        if (payload->kind == kWmpKindLevel || payload->kind == kWmpKindModel) {
            if (payload->info == nullptr)
                field(line, "payload.info") += "null";
            else if (payload->kind == kWmpKindLevel)
                appendLevelInfo(line, *static_cast<const WmpLevelInfo*>(payload->info));
            else
                appendModelInfo(line, *static_cast<const WmpModelInfo*>(payload->info));
        }
        write(line);
        ++objectCount_;
    }

    void close() override
    {
        if (file_ == nullptr) return;
        std::string line = "end";
        appendInt(field(line, "objects"), objectCount_);
        write(line);
        // Buffered output may only fail when it is flushed here.
        if (std::fclose(file_) != 0) failed_ = true;
        file_ = nullptr;
    }

    bool failed() const override { return failed_; }

  private:
    void write(std::string& line)
    {
        line += '\n';
        if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) failed_ = true;
    }

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    std::int64_t objectCount_ = 0;
};

TextBackend& defaultBackend()
{
    static TextBackend backend;
    return backend;
}

WmpioBackend* installedBackend = nullptr;

WmpioBackend& backend() { return installedBackend != nullptr ? *installedBackend : defaultBackend(); }

} // namespace

WmpioBackend* setWmpioBackend(WmpioBackend* replacement)
{
    WmpioBackend* previous = &backend();
    installedBackend = replacement;
    return previous;
}

void wmpioCreate(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                 std::int32_t a5)
{
    backend().create(path, a1, a2, a3, a4, a5);
}

void wmpioRegisterBuffer(const WmpBufferDesc* buffer) { backend().registerBuffer(buffer); }

void wmpioAddObject(const WmpObjectDesc* object, const WmpObjectAux* aux, const WmpPayloadDesc* payload,
                    std::int32_t code, std::int32_t* shared)
{
    backend().addObject(object, aux, payload, code, shared);
}

void wmpioClose() { backend().close(); }

bool wmpioFailed() { return backend().failed(); }

} // namespace kelvane
