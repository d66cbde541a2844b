#include "tools/mdlinfo/LegacyDump.h"

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"
#include "scene/JsonWriter.h"
#include "tools/mdlinfo/Printable.h"

#include <cstring>
#include <ostream>
#include <string_view>

namespace kelvane::mdlinfo {

using scene::JsonWriter;

namespace {

// Size of the record that readSkinFormat takes before it judges the image
// kind: the type alone, the skin header of the newer formats, or the IDP2
// name record (whose kind is never refused).
std::int64_t skinLeadSize(std::int32_t formatCode)
{
    switch (formatCode) {
    case kFormatMdl5:
    case kFormatMdl6:
        return legacy::skin::kHeaderSize;
    case kFormatIdp2:
        return legacy::skin::kNameRecordSize;
    default:
        return legacy::skin::kTypeSize;
    }
}

// Size of a frame header, and whether the format requires a frame type at
// its start (IDP2 frames have none).
std::int64_t frameHeaderSize(std::int32_t formatCode)
{
    switch (formatCode) {
    case kFormatMdl2:
    case kFormatMdl3:
        return legacy::frame::kOldSize;
    case kFormatIdp2:
        return legacy::frame::kIdp2Size;
    default:
        return legacy::frame::kSize;
    }
}

// Walks the model with the reader's read operations. Every loop is bounded by
// the data whatever a count says: each pass takes at least four bytes of the
// file or fails, and a failed read leaves nothing more to take.
class LegacyWalker {
public:
    LegacyWalker(LegacyModelReader& reader, LegacyDump& dump, ReadFailure& failure)
        : reader_(reader), dump_(dump), failure_(failure)
    {
    }

    bool run()
    {
        readCounts();
        return readSkins() && readTexCoords() && readTriangles() && readFrames();
    }

private:
    bool fail(std::string place, std::string reason = "cannot be read")
    {
        failure_.place = std::move(place);
        failure_.reason = std::move(reason);
        failure_.offset = reader_.tell();
        return false;
    }

    // Whether the last failed read took a whole record of `size` bytes from
    // `before` on: then the record was there and the reader refused what it
    // holds. A record cut short moves the cursor to the end of the data
    // instead, which is fewer bytes on.
    bool tookRecord(std::int32_t before, std::int64_t size) const
    {
        return std::int64_t{reader_.tell()} - before == size;
    }

    void readCounts()
    {
        const std::uint8_t* header = nullptr;
        if (reader_.getHeader(header) && header != nullptr) {
            dump_.format.assign(reinterpret_cast<const char*>(header), 4);
        }
        LegacyCounts& c = dump_.counts;
        c.skins = reader_.getSkinCount();
        c.vertices = reader_.getVertexCount();
        c.triangles = reader_.getTriangleCount();
        c.texCoords = reader_.getTexCoordCount();
        c.frames = reader_.getFrameCount();
    }

    bool readSkins()
    {
        auto& skins = dump_.skins.emplace();
        for (std::int32_t i = 0; i < dump_.counts.skins; ++i) {
            const std::string place = "skin " + std::to_string(i);
            LegacySkin skin;
            const std::int32_t before = reader_.tell();
            if (!reader_.readSkinFormat(skin.type, skin.width, skin.height, skin.bytesPerPixel,
                                        skin.hasMipmaps)) {
                if (tookRecord(before, skinLeadSize(reader_.formatCode()))) {
                    return fail(place, "has image kind " + std::to_string(skin.type & legacy::skin::kKindMask) +
                                           ", which this format does not have");
                }
                return fail(place);
            }
            skins.push_back(skin);
            // The images themselves are not shown; reading them checks that
            // they are complete and moves past them.
            if (!reader_.readSkinPixels(nullptr, nullptr, nullptr, nullptr)) return fail(place + ": image");
        }
        return true;
    }

    bool readTexCoords()
    {
        auto& texCoords = dump_.texCoords.emplace();
        for (std::int32_t i = 0; i < dump_.counts.texCoords; ++i) {
            std::array<std::int16_t, 2> st{};
            if (!reader_.readTexCoord(st[0], st[1])) return fail("texture coordinate " + std::to_string(i));
            texCoords.push_back(st);
        }
        return true;
    }

    bool readTriangles()
    {
        auto& triangles = dump_.triangles.emplace();
        for (std::int32_t i = 0; i < dump_.counts.triangles; ++i) {
            LegacyTriangle t{};
            if (!reader_.readTriangle(std::span<std::int32_t, 3>(t.data(), 3),
                                      std::span<std::int32_t, 3>(t.data() + 3, 3))) {
                return fail("triangle " + std::to_string(i));
            }
            triangles.push_back(t);
        }
        return true;
    }

    bool readFrames()
    {
        auto& frames = dump_.frames.emplace();
        const bool unpacked = reader_.formatCode() == kFormatIdp2;
        for (std::int32_t f = 0; f < dump_.counts.frames; ++f) {
            const std::string place = "frame " + std::to_string(f);
            char name[legacy::kFrameNameSize + 1] = {};
            LegacyFrame frame;
            std::array<float, 3> scale{};
            std::array<float, 3> translate{};
            const std::int32_t before = reader_.tell();
            if (!reader_.readFrameHeader(name, frame.bboxMin.data(), frame.bboxMax.data(), scale.data(),
                                         translate.data())) {
                const std::int64_t size = frameHeaderSize(reader_.formatCode());
                if (!unpacked && tookRecord(before, size)) {
                    // Both frame header layouts start with the int32 type.
                    const std::int32_t type = loadI32(reader_.data() + before);
                    return fail(place, "starts a group of frames (type " + std::to_string(type) +
                                           "), which is not read");
                }
                return fail(place);
            }
            // The reader fills at most 15 characters and pads with zeros; the
            // terminator is ours.
            name[legacy::kFrameNameSize - 1] = '\0';
            frame.name = name;
            if (unpacked) {
                frame.scale = scale;
                frame.translate = translate;
            }
            LegacyFrame& stored = frames.emplace_back(std::move(frame));
            for (std::int32_t v = 0; v < dump_.counts.vertices; ++v) {
                LegacyVertex vertex;
                if (!reader_.readVertex(vertex.position, vertex.normalIndex)) {
                    return fail(place + ": vertex " + std::to_string(v));
                }
                stored.vertices.push_back(vertex);
            }
        }
        return true;
    }

    LegacyModelReader& reader_;
    LegacyDump& dump_;
    ReadFailure& failure_;
};

// --- Text ----------------------------------------------------------------------------

const char* imageKindName(std::uint8_t type)
{
    static constexpr const char* kNames[8] = {"8-bit",  "unknown", "16-bit (2)", "16-bit (3)",
                                              "24-bit", "32-bit",  "no image",   "external file"};
    return kNames[type & legacy::skin::kKindMask];
}

bool within(std::int32_t index, std::int32_t count) { return index >= 0 && index < count; }

// Indices of the triangles read that lie outside their counts. A texture
// coordinate index of -1 is the "by vertex" of "IDPO"/"MDL2", not an index.
std::int64_t indicesOutside(const LegacyDump& dump)
{
    std::int64_t outside = 0;
    for (const LegacyTriangle& t : *dump.triangles) {
        for (std::size_t i = 0; i < 3; ++i) {
            if (!within(t[i], dump.counts.vertices)) ++outside;
            if (t[i + 3] != -1 && !within(t[i + 3], dump.counts.texCoords)) ++outside;
        }
    }
    return outside;
}

// --- JSON ------------------------------------------------------------------------------

void writeTriple(JsonWriter& json, const std::array<std::uint16_t, 3>& values)
{
    json.beginArray();
    for (const std::uint16_t v : values) json.number(v);
    json.endArray();
}

void writeFloats(JsonWriter& json, const std::optional<std::array<float, 3>>& values)
{
    if (!values) {
        json.null();
        return;
    }
    json.beginArray();
    for (const float v : *values) json.real(v);
    json.endArray();
}

void writeFrame(JsonWriter& json, const LegacyFrame& frame)
{
    json.beginObject();
    json.key("name");
    json.string(frame.name);
    json.key("bboxMin");
    writeTriple(json, frame.bboxMin);
    json.key("bboxMax");
    writeTriple(json, frame.bboxMax);
    json.key("scale");
    writeFloats(json, frame.scale);
    json.key("translate");
    writeFloats(json, frame.translate);
    json.key("vertices");
    json.beginArray();
    for (const LegacyVertex& v : frame.vertices) {
        json.beginArray();
        for (const std::uint16_t c : v.position) json.number(c);
        json.number(v.normalIndex);
        json.endArray();
    }
    json.endArray();
    json.endObject();
}

} // namespace

bool readLegacy(LegacyModelReader& reader, LegacyDump& dump, ReadFailure& failure)
{
    return LegacyWalker(reader, dump, failure).run();
}

void printLegacyText(std::ostream& out, const LegacyDump& dump)
{
    const LegacyCounts& c = dump.counts;
    out << "format: " << printable(dump.format) << '\n';
    out << "counts: skins " << c.skins << ", vertices " << c.vertices << ", triangles " << c.triangles
        << ", texture coordinates " << c.texCoords << ", frames " << c.frames << '\n';
    if (dump.skins) {
        for (std::size_t i = 0; i < dump.skins->size(); ++i) {
            const LegacySkin& skin = (*dump.skins)[i];
            out << "  skin " << i << ": kind " << (skin.type & legacy::skin::kKindMask) << " ("
                << imageKindName(skin.type) << "), " << skin.width << " x " << skin.height << ", "
                << skin.bytesPerPixel << (skin.bytesPerPixel == 1 ? " byte" : " bytes") << " per pixel";
            if (skin.hasMipmaps) out << ", mipmaps";
            out << '\n';
        }
    }
    if (dump.texCoords) out << "texture coordinates: " << dump.texCoords->size() << " read\n";
    if (dump.triangles) {
        out << "triangles: " << dump.triangles->size() << " read";
        const std::int64_t outside = indicesOutside(dump);
        if (outside != 0) out << ", " << outside << (outside == 1 ? " index" : " indices") << " outside their counts";
        out << '\n';
    }
    if (dump.frames) {
        out << "frames: " << dump.frames->size() << " read";
        if (!dump.frames->empty()) out << ", \"" << printable(dump.frames->front().name) << '"';
        if (dump.frames->size() > 1) out << " to \"" << printable(dump.frames->back().name) << '"';
        out << '\n';
    }
    out.flush();
}

void printLegacyJson(std::ostream& out, const LegacyDump& dump)
{
    JsonWriter json(out);
    json.beginObject();
    json.key("format");
    json.string(dump.format);

    json.key("counts");
    json.beginObject();
    const std::pair<const char*, std::int32_t> counts[] = {{"skins", dump.counts.skins},
                                                           {"vertices", dump.counts.vertices},
                                                           {"triangles", dump.counts.triangles},
                                                           {"texCoords", dump.counts.texCoords},
                                                           {"frames", dump.counts.frames}};
    for (const auto& [name, value] : counts) {
        json.key(name);
        json.number(value);
    }
    json.endObject();

    json.key("skins");
    if (dump.skins) {
        json.beginArray();
        for (const LegacySkin& skin : *dump.skins) {
            json.beginObject();
            json.key("type");
            json.number(skin.type);
            json.key("width");
            json.number(skin.width);
            json.key("height");
            json.number(skin.height);
            json.key("bytesPerPixel");
            json.number(skin.bytesPerPixel);
            json.key("hasMipmaps");
            json.boolean(skin.hasMipmaps);
            json.endObject();
        }
        json.endArray();
    } else {
        json.null();
    }

    json.key("texCoords");
    if (dump.texCoords) {
        json.beginArray();
        for (const auto& st : *dump.texCoords) {
            json.beginArray();
            json.number(st[0]);
            json.number(st[1]);
            json.endArray();
        }
        json.endArray();
    } else {
        json.null();
    }

    json.key("triangles");
    if (dump.triangles) {
        json.beginArray();
        for (const LegacyTriangle& t : *dump.triangles) {
            json.beginArray();
            for (const std::int32_t index : t) json.number(index);
            json.endArray();
        }
        json.endArray();
    } else {
        json.null();
    }

    json.key("frames");
    if (dump.frames) {
        json.beginArray();
        for (const LegacyFrame& frame : *dump.frames) writeFrame(json, frame);
        json.endArray();
    } else {
        json.null();
    }
    json.endObject();
    out << '\n';
    out.flush();
}

} // namespace kelvane::mdlinfo
