#include "tools/mdlinfo/Mdl7Dump.h"

#include "mdl/ByteOrder.h"
#include "mdl/Mdl7Format.h"
#include "scene/JsonWriter.h"
#include "tools/mdlinfo/Printable.h"

#include <cmath>
#include <limits>
#include <ostream>
#include <string_view>

namespace kelvane::mdlinfo {

using scene::JsonWriter;

namespace {

// Walks the file with the reader's read operations. Every loop below is
// bounded by the data, whatever a count says: each pass takes at least one
// byte of the file or fails.
class Mdl7Walker {
public:
    Mdl7Walker(Mdl7Reader& reader, Mdl7Dump& dump, ReadFailure& failure)
        : reader_(reader), dump_(dump), failure_(failure)
    {
    }

    bool run()
    {
        return readHeader() && readBones() && readGroups() && readDeformers() && readTrailer() &&
               readSecondTrailer();
    }

private:
    bool fail(std::string place, std::string reason = "cannot be read")
    {
        failure_.place = std::move(place);
        failure_.reason = std::move(reason);
        failure_.offset = reader_.tell();
        return false;
    }

    bool readHeader()
    {
        Mdl7Header& h = dump_.header;
        if (!reader_.readHeader(h.boneCount, h.groupCount, h.modelDataSize, h.trailerSize,
                                h.secondTrailerSize)) {
            return fail("header");
        }
        h.boneRecordSize = reader_.boneRecordSize();
        h.skinHeaderSize = reader_.skinHeaderSize();
        h.colourValueSize = reader_.colourValueSize();
        h.materialRecordSize = reader_.materialRecordSize();
        h.texCoordRecordSize = reader_.texCoordRecordSize();
        h.triangleRecordSize = reader_.triangleRecordSize();
        h.vertexRecordSize = reader_.vertexRecordSize();
        h.frameVertexRecordSize = reader_.frameVertexRecordSize();
        h.boneTransformRecordSize = reader_.boneTransformRecordSize();
        h.frameHeaderSize = reader_.frameHeaderSize();
        return true;
    }

    bool readBones()
    {
        auto& bones = dump_.bones.emplace();
        for (std::int32_t i = 0; i < dump_.header.boneCount; ++i) {
            Mdl7Bone bone;
            char name[mdl7::bone::kNameSize];
            if (!reader_.readBone(bone.parentIndex, bone.x, bone.y, bone.z, name)) {
                return fail("bone " + std::to_string(i));
            }
            bone.name = name;
            bones.push_back(std::move(bone));
        }
        return true;
    }

    bool readGroups()
    {
        auto& groups = dump_.groups.emplace();
        for (std::int32_t g = 0; g < dump_.header.groupCount; ++g) {
            const std::string place = "group " + std::to_string(g);
            Mdl7Group header;
            char name[mdl7::group::kNameSize];
            if (!reader_.readGroupHeader(header.type, header.groupDataSize, name)) return fail(place);
            header.name = name;
            Mdl7Group& group = groups.emplace_back(std::move(header));
            if (group.type != mdl7::kMeshGroupType) {
                // An opaque group of only its header has nothing to step over.
                if (group.groupDataSize != mdl7::kGroupHeaderSize && !reader_.skipGroup()) {
                    return fail(place, "content of " + std::to_string(group.groupDataSize) +
                                           " bytes cannot be read");
                }
                continue;
            }
            if (!readMeshGroup(group, place)) return false;
        }
        return true;
    }

    bool readMeshGroup(Mdl7Group& group, const std::string& place)
    {
        Mdl7GroupCounts& c = group.counts.emplace();
        if (!reader_.readGroupCounts(c.skinCount, c.texCoordCount, c.triangleCount, c.vertexCount,
                                     c.frameCount)) {
            return fail(place);
        }
        for (std::int32_t i = 0; i < c.skinCount; ++i) {
            if (!readSkin(group, place + ": skin " + std::to_string(i))) return false;
        }
        for (std::int32_t i = 0; i < c.texCoordCount; ++i) {
            Mdl7TexCoord& t = group.texCoords.emplace_back();
            if (!reader_.readTexCoord(t.s, t.t)) {
                group.texCoords.pop_back();
                return fail(place + ": texture coordinate " + std::to_string(i));
            }
        }
        for (std::int32_t i = 0; i < c.triangleCount; ++i) {
            if (!readTriangle(group, place + ": triangle " + std::to_string(i))) return false;
        }
        for (std::int32_t i = 0; i < c.vertexCount; ++i) {
            Mdl7Vertex& v = group.vertices.emplace_back();
            if (!reader_.readVertex(v.x, v.y, v.z, v.index)) {
                group.vertices.pop_back();
                return fail(place + ": vertex " + std::to_string(i));
            }
            v.normal = normalOf(false);
        }
        for (std::int32_t i = 0; i < c.frameCount; ++i) {
            if (!readFrame(group, place + ": frame " + std::to_string(i))) {
                return false;
            }
        }
        return true;
    }

    // The current vertex's (or frame vertex's) normal when its record has
    // one. A table index outside the table leaves the outputs untouched,
    // which the NaN preset reveals (the table holds no NaN).
    std::optional<std::array<float, 3>> normalOf(bool frameVertex)
    {
        const std::uint16_t size = frameVertex ? reader_.frameVertexRecordSize() : reader_.vertexRecordSize();
        if (size < mdl7::vertex::kSizeWithNormal && size != mdl7::vertex::kSizeWithNormalIndex) {
            return std::nullopt;
        }
        const float unset = std::numeric_limits<float>::quiet_NaN();
        std::array<float, 3> n = {unset, unset, unset};
        const bool stored = frameVertex ? reader_.readFrameVertexNormal(n[0], n[1], n[2])
                                        : reader_.readVertexNormal(n[0], n[1], n[2]);
        if (!stored && std::isnan(n[0])) return std::nullopt;
        return n;
    }

    bool readSkin(Mdl7Group& group, const std::string& place)
    {
        char name[mdl7::skin::kNameSize];
        std::uint8_t type = 0;
        if (!reader_.readSkinHeader(type, name)) return fail(place);
        Mdl7Skin& skin = group.skins.emplace_back();
        skin.type = type;
        skin.name = name;
        if (!reader_.readSkinFormat(skin.width, skin.height, skin.bytesPerPixel, skin.hasMipmaps)) {
            return fail(place);
        }
        // Like the skin skip: an image with no positive area has no bytes.
        if (skin.width > 0 && skin.height > 0) {
            const std::uint8_t* image[4] = {};
            if (!reader_.readSkinPixels(&image[0], &image[1], &image[2], &image[3])) {
                return fail(place + ": image");
            }
            // The image was there, so its size fits comfortably in 64 bits.
            std::int64_t w = skin.width;
            std::int64_t h = skin.height;
            skin.imageBytes = w * h * skin.bytesPerPixel;
            if (skin.hasMipmaps) {
                auto& mipmaps = skin.mipmapBytes.emplace();
                for (std::int64_t& bytes : mipmaps) {
                    w /= 2;
                    h /= 2;
                    bytes = w * h * skin.bytesPerPixel;
                }
            }
        } else {
            skin.imageBytes = 0;
        }
        if ((skin.type & mdl7::skin::kMaterialFlag) != 0) {
            Mdl7Material m;
            if (!reader_.readSkinMaterial(m.colours[0].data(), m.colours[1].data(), m.colours[2].data(),
                                          m.colours[3].data(), &m.scalar)) {
                return fail(place + ": material");
            }
            skin.material = m;
        }
        if ((skin.type & mdl7::skin::kExtraFlag) != 0) {
            std::int32_t length = 0;
            if (!reader_.readSkinExtraLength(length)) return fail(place + ": extra block length");
            skin.extraLength = length;
            if (length > 0) {
                // Allocate only what is known to be in the file.
                if (length > reader_.remaining()) {
                    reader_.skip(length); // the cursor moves to the end, as a read would leave it
                    return fail(place + ": extra block");
                }
                std::string text(static_cast<std::size_t>(length), '\0');
                if (!reader_.readSkinExtraData(text.data())) return fail(place + ": extra block");
                skin.extra = std::move(text);
            } else {
                skin.extra = std::string();
            }
        }
        return true;
    }

    bool readTriangle(Mdl7Group& group, const std::string& place)
    {
        // Outputs the record does not reach keep these markers.
        constexpr std::int32_t kUnset = std::numeric_limits<std::int32_t>::min();
        std::int32_t skinIndex = kUnset;
        std::array<std::int32_t, 3> second = {kUnset, kUnset, kUnset};
        std::int32_t skinIndex2 = kUnset;
        Mdl7Triangle t;
        const std::int32_t before = reader_.tell();
        const bool ok = reader_.readTriangleBothSets(t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2],
                                                     t.texCoordIndex[0], t.texCoordIndex[1],
                                                     t.texCoordIndex[2], skinIndex, second[0], second[1],
                                                     second[2], skinIndex2);
        const std::uint16_t size = reader_.triangleRecordSize();
        if (size >= mdl7::triangle::kSizeWithSkin) t.skinIndex = skinIndex;
        if (size >= mdl7::triangle::kSizeWithSecondSet) {
            t.texCoordIndex2 = second;
            t.skinIndex2 = skinIndex2;
        }
        if (ok) {
            group.triangles.push_back(t);
            return true;
        }
        // A triangle that was taken but names a vertex outside the group is
        // shown before reading stops at it.
        if (reader_.tell() != before && reader_.tell() - before == size) {
            group.triangles.push_back(t);
            const std::int32_t vertexCount = reader_.currentVertexCount();
            for (const std::int32_t v : t.vertexIndex) {
                if (v >= vertexCount) {
                    return fail(place, "uses vertex " + std::to_string(v) + " of " +
                                           std::to_string(vertexCount));
                }
            }
        }
        return fail(place);
    }

    bool readFrame(Mdl7Group& group, const std::string& place)
    {
        char name[mdl7::frame::kNameSize];
        std::int32_t frameVertexCount = 0;
        std::int32_t boneTransformCount = 0;
        if (!reader_.readFrameHeader(frameVertexCount, boneTransformCount, name)) return fail(place);
        Mdl7Frame& frame = group.frames.emplace_back();
        frame.name = name;
        frame.frameVertexCount = frameVertexCount;
        frame.boneTransformCount = boneTransformCount;
        for (std::int32_t i = 0; i < frame.frameVertexCount; ++i) {
            Mdl7Vertex& v = frame.frameVertices.emplace_back();
            if (!reader_.readFrameVertex(v.index, v.x, v.y, v.z)) {
                frame.frameVertices.pop_back();
                return fail(place + ": frame vertex " + std::to_string(i));
            }
            v.normal = normalOf(true);
        }
        for (std::int32_t i = 0; i < frame.boneTransformCount; ++i) {
            Mdl7BoneTransform t;
            std::uint8_t matrix[mdl7::bonetransform::kMatrixSize];
            if (!reader_.readBoneTransform(t.boneIndex, matrix)) {
                return fail(place + ": bone transform " + std::to_string(i));
            }
            for (std::size_t k = 0; k < t.matrix.size(); ++k) t.matrix[k] = loadF32(matrix + 4 * k);
            frame.boneTransforms.push_back(t);
        }
        return true;
    }

    bool readDeformers()
    {
        auto& deformers = dump_.deformers.emplace();
        for (std::int64_t d = 0; d < reader_.deformerTotal(); ++d) {
            const std::string place = "deformer " + std::to_string(d);
            Mdl7Deformer& deformer = deformers.emplace_back();
            if (!reader_.readDeformerHeader(deformer.deformerType, deformer.groupIndex,
                                            deformer.elementCount, &deformer.deformerDataSize)) {
                deformers.pop_back();
                return fail(place);
            }
            for (std::int32_t e = 0; e < deformer.elementCount; ++e) {
                const std::string elementPlace = place + ": element " + std::to_string(e);
                Mdl7DeformerElement& element = deformer.elements.emplace_back();
                char name[mdl7::element::kNameSize];
                if (!reader_.readDeformerElement(element.elementIndex, name, element.weightCount)) {
                    deformer.elements.pop_back();
                    return fail(elementPlace);
                }
                element.elementName = name;
                for (std::int32_t w = 0; w < element.weightCount; ++w) {
                    Mdl7DeformerWeight weight;
                    if (!reader_.readDeformerWeight(weight.targetIndex, weight.weight)) {
                        return fail(elementPlace + ": weight " + std::to_string(w));
                    }
                    element.weights.push_back(weight);
                }
            }
        }
        return true;
    }

    bool readTrailer()
    {
        if (dump_.header.trailerSize == 0) return true;
        if (!reader_.seekTrailer()) return fail("trailer", "lies outside the data");
        Mdl7Trailer trailer;
        if (!reader_.readTrailerHeader(trailer.trailerKind, trailer.entryCount)) {
            return fail("trailer", "header cannot be read");
        }
        trailer.trailerLength = reader_.currentTrailerLength();
        Mdl7Trailer& t = dump_.trailer.emplace(std::move(trailer));
        for (std::int32_t e = 0; e < t.entryCount; ++e) {
            const std::string place = "trailer: entry " + std::to_string(e);
            Mdl7TrailerEntry entry;
            if (!reader_.readTrailerEntry(entry.entryId, entry.subEntryCount)) return fail(place);
            Mdl7TrailerEntry& stored = t.entries.emplace_back(std::move(entry));
            for (std::int32_t s = 0; s < stored.subEntryCount; ++s) {
                const std::string subPlace = place + ": sub-entry " + std::to_string(s);
                Mdl7TrailerSubEntry sub;
                if (!reader_.readTrailerSubEntry(sub.subEntryId, sub.triangleCount)) return fail(subPlace);
                Mdl7TrailerSubEntry& storedSub = stored.subEntries.emplace_back(std::move(sub));
                for (std::int32_t i = 0; i < storedSub.triangleCount; ++i) {
                    Mdl7TrailerTriangle tri;
                    if (!reader_.readTrailerTriangle(tri.vertexIndex[0], tri.vertexIndex[1],
                                                     tri.vertexIndex[2], tri.texCoordIndex[0],
                                                     tri.texCoordIndex[1], tri.texCoordIndex[2],
                                                     tri.skinIndex)) {
                        return fail(subPlace + ": triangle " + std::to_string(i));
                    }
                    storedSub.triangles.push_back(tri);
                }
            }
        }
        return true;
    }

    bool readSecondTrailer()
    {
        if (dump_.header.secondTrailerSize == 0) return true;
        if (!reader_.seekSecondTrailer()) return fail("second trailer", "lies outside the data");
        Mdl7SecondTrailer second;
        if (!reader_.readSecondTrailerHeader(second.identifier, second.length)) {
            return fail("second trailer", "header cannot be read");
        }
        dump_.secondTrailer = second;
        // Its content is not interpreted, but it must be there.
        if (!reader_.skipSecondTrailer()) return fail("second trailer", "runs past the end of the data");
        return true;
    }

    Mdl7Reader& reader_;
    Mdl7Dump& dump_;
    ReadFailure& failure_;
};

// --- Text ----------------------------------------------------------------------------

const char* imageKindName(std::uint8_t type)
{
    static constexpr const char* kNames[8] = {"8-bit",       "no image",   "16-bit (2)", "16-bit (3)",
                                              "24-bit",      "32-bit",     "raw block",  "external file"};
    return kNames[type & mdl7::skin::kImageKindMask];
}

void printSkinLine(std::ostream& out, std::size_t index, const Mdl7Skin& skin)
{
    out << "  skin " << index << " \"" << printable(skin.name) << "\": kind " << (skin.type & 7) << " ("
        << imageKindName(skin.type) << "), " << skin.width << " x " << skin.height;
    if (skin.imageBytes) out << ", image " << *skin.imageBytes << " bytes";
    if (skin.mipmapBytes) {
        const auto& m = *skin.mipmapBytes;
        out << ", mipmaps " << m[0] << " + " << m[1] << " + " << m[2] << " bytes";
    }
    if (skin.material) out << ", material";
    if (skin.extraLength) out << ", extra " << *skin.extraLength << " bytes";
    out << '\n';
}

// --- JSON ------------------------------------------------------------------------------

void writeIndexArray(JsonWriter& json, const std::array<std::int32_t, 3>& values)
{
    json.beginArray();
    for (const std::int32_t v : values) json.number(v);
    json.endArray();
}

void writeVertex(JsonWriter& json, const Mdl7Vertex& v, const char* indexKey)
{
    json.beginObject();
    json.key(indexKey);
    json.number(v.index);
    json.key("x");
    json.real(v.x);
    json.key("y");
    json.real(v.y);
    json.key("z");
    json.real(v.z);
    const char* normalKeys[3] = {"nx", "ny", "nz"};
    for (int i = 0; i < 3; ++i) {
        json.key(normalKeys[i]);
        if (v.normal) {
            json.real((*v.normal)[static_cast<std::size_t>(i)]);
        } else {
            json.null();
        }
    }
    json.endObject();
}

void writeSkin(JsonWriter& json, const Mdl7Skin& skin)
{
    json.beginObject();
    json.key("type");
    json.number(skin.type);
    json.key("name");
    json.string(skin.name);
    json.key("width");
    json.number(skin.width);
    json.key("height");
    json.number(skin.height);
    json.key("bytesPerPixel");
    json.number(skin.bytesPerPixel);
    json.key("hasMipmaps");
    json.boolean(skin.hasMipmaps);
    json.key("imageBytes");
    skin.imageBytes ? json.number(*skin.imageBytes) : json.null();
    json.key("mipmapBytes");
    if (skin.mipmapBytes) {
        json.beginArray();
        for (const std::int64_t bytes : *skin.mipmapBytes) json.number(bytes);
        json.endArray();
    } else {
        json.null();
    }
    json.key("material");
    if (skin.material) {
        json.beginObject();
        const char* colourKeys[4] = {"colour1", "colour2", "colour3", "colour4"};
        for (std::size_t c = 0; c < 4; ++c) {
            json.key(colourKeys[c]);
            json.beginArray();
            for (const float v : skin.material->colours[c]) json.real(v);
            json.endArray();
        }
        json.key("scalar");
        json.real(skin.material->scalar);
        json.endObject();
    } else {
        json.null();
    }
    json.key("extraLength");
    skin.extraLength ? json.number(*skin.extraLength) : json.null();
    json.key("extra");
    skin.extra ? json.string(*skin.extra) : json.null();
    json.endObject();
}

void writeTriangle(JsonWriter& json, const Mdl7Triangle& t)
{
    json.beginObject();
    json.key("vertexIndex");
    writeIndexArray(json, t.vertexIndex);
    json.key("texCoordIndex");
    writeIndexArray(json, t.texCoordIndex);
    json.key("skinIndex");
    t.skinIndex ? json.number(*t.skinIndex) : json.null();
    json.key("texCoordIndex2");
    t.texCoordIndex2 ? writeIndexArray(json, *t.texCoordIndex2) : json.null();
    json.key("skinIndex2");
    t.skinIndex2 ? json.number(*t.skinIndex2) : json.null();
    json.endObject();
}

void writeFrame(JsonWriter& json, const Mdl7Frame& frame)
{
    json.beginObject();
    json.key("name");
    json.string(frame.name);
    json.key("frameVertexCount");
    json.number(frame.frameVertexCount);
    json.key("boneTransformCount");
    json.number(frame.boneTransformCount);
    json.key("frameVertices");
    json.beginArray();
    for (const Mdl7Vertex& v : frame.frameVertices) writeVertex(json, v, "vertexIndex");
    json.endArray();
    json.key("boneTransforms");
    json.beginArray();
    for (const Mdl7BoneTransform& t : frame.boneTransforms) {
        json.beginObject();
        json.key("boneIndex");
        json.number(t.boneIndex);
        json.key("matrix");
        json.beginArray();
        for (const float v : t.matrix) json.real(v);
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeGroup(JsonWriter& json, const Mdl7Group& group)
{
    json.beginObject();
    json.key("type");
    json.number(group.type);
    json.key("groupDataSize");
    json.number(group.groupDataSize);
    json.key("name");
    json.string(group.name);
    const Mdl7GroupCounts* c = group.counts ? &*group.counts : nullptr;
    const std::pair<const char*, std::int32_t> counts[] = {
        {"skinCount", c ? c->skinCount : 0},         {"texCoordCount", c ? c->texCoordCount : 0},
        {"triangleCount", c ? c->triangleCount : 0}, {"vertexCount", c ? c->vertexCount : 0},
        {"frameCount", c ? c->frameCount : 0}};
    for (const auto& [key, value] : counts) {
        json.key(key);
        c ? json.number(value) : json.null();
    }
    // The record lists exist only for mesh groups; opaque groups show null.
    const auto list = [&](const char* key, const auto& records, auto writeOne) {
        json.key(key);
        if (c == nullptr) {
            json.null();
            return;
        }
        json.beginArray();
        for (const auto& record : records) writeOne(record);
        json.endArray();
    };
    list("skins", group.skins, [&](const Mdl7Skin& s) { writeSkin(json, s); });
    list("texCoords", group.texCoords, [&](const Mdl7TexCoord& t) {
        json.beginObject();
        json.key("s");
        json.real(t.s);
        json.key("t");
        json.real(t.t);
        json.endObject();
    });
    list("triangles", group.triangles, [&](const Mdl7Triangle& t) { writeTriangle(json, t); });
    list("vertices", group.vertices, [&](const Mdl7Vertex& v) { writeVertex(json, v, "boneIndex"); });
    list("frames", group.frames, [&](const Mdl7Frame& f) { writeFrame(json, f); });
    json.endObject();
}

void writeDeformer(JsonWriter& json, const Mdl7Deformer& d)
{
    json.beginObject();
    json.key("deformerType");
    json.number(d.deformerType);
    json.key("groupIndex");
    json.number(d.groupIndex);
    json.key("elementCount");
    json.number(d.elementCount);
    json.key("deformerDataSize");
    json.number(d.deformerDataSize);
    json.key("elements");
    json.beginArray();
    for (const Mdl7DeformerElement& e : d.elements) {
        json.beginObject();
        json.key("elementIndex");
        json.number(e.elementIndex);
        json.key("elementName");
        json.string(e.elementName);
        json.key("weightCount");
        json.number(e.weightCount);
        json.key("weights");
        json.beginArray();
        for (const Mdl7DeformerWeight& w : e.weights) {
            json.beginObject();
            json.key("targetIndex");
            json.number(w.targetIndex);
            json.key("weight");
            json.real(w.weight);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeTrailer(JsonWriter& json, const Mdl7Trailer& t)
{
    json.beginObject();
    json.key("trailerKind");
    json.number(t.trailerKind);
    json.key("trailerLength");
    json.number(t.trailerLength);
    json.key("entryCount");
    json.number(t.entryCount);
    json.key("entries");
    json.beginArray();
    for (const Mdl7TrailerEntry& e : t.entries) {
        json.beginObject();
        json.key("entryId");
        json.number(e.entryId);
        json.key("subEntryCount");
        json.number(e.subEntryCount);
        json.key("subEntries");
        json.beginArray();
        for (const Mdl7TrailerSubEntry& s : e.subEntries) {
            json.beginObject();
            json.key("subEntryId");
            json.number(s.subEntryId);
            json.key("triangleCount");
            json.number(s.triangleCount);
            json.key("triangles");
            json.beginArray();
            for (const Mdl7TrailerTriangle& tri : s.triangles) {
                json.beginObject();
                json.key("vertexIndex");
                writeIndexArray(json, tri.vertexIndex);
                json.key("texCoordIndex");
                writeIndexArray(json, tri.texCoordIndex);
                json.key("skinIndex");
                json.number(tri.skinIndex);
                json.endObject();
            }
            json.endArray();
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

} // namespace

bool readMdl7(Mdl7Reader& reader, Mdl7Dump& dump, ReadFailure& failure)
{
    return Mdl7Walker(reader, dump, failure).run();
}

void printMdl7Text(std::ostream& out, const Mdl7Dump& dump)
{
    const Mdl7Header& h = dump.header;
    out << "format: MDL7\n";
    out << "header: boneCount " << h.boneCount << ", groupCount " << h.groupCount << ", modelDataSize "
        << h.modelDataSize << ", trailerSize " << h.trailerSize << ", secondTrailerSize "
        << h.secondTrailerSize << '\n';
    out << "record sizes: bone " << h.boneRecordSize << ", skin header " << h.skinHeaderSize
        << ", colour value " << h.colourValueSize << ", material " << h.materialRecordSize
        << ", texture coordinate " << h.texCoordRecordSize << ", triangle " << h.triangleRecordSize
        << ", vertex " << h.vertexRecordSize << ", frame vertex " << h.frameVertexRecordSize
        << ", bone transform " << h.boneTransformRecordSize << ", frame header " << h.frameHeaderSize
        << '\n';
    if (dump.bones) out << "bones: " << dump.bones->size() << '\n';
    if (dump.groups) {
        for (std::size_t g = 0; g < dump.groups->size(); ++g) {
            const Mdl7Group& group = (*dump.groups)[g];
            out << "group " << g << " \"" << printable(group.name) << "\": type "
                << int(group.type) << ", groupDataSize " << group.groupDataSize;
            if (group.counts) {
                const Mdl7GroupCounts& c = *group.counts;
                out << ", skins " << c.skinCount << ", texture coordinates " << c.texCoordCount
                    << ", triangles " << c.triangleCount << ", vertices " << c.vertexCount << ", frames "
                    << c.frameCount;
            }
            out << '\n';
            for (std::size_t s = 0; s < group.skins.size(); ++s) printSkinLine(out, s, group.skins[s]);
        }
    }
    if (dump.deformers) {
        std::size_t elements = 0;
        for (const Mdl7Deformer& d : *dump.deformers) elements += d.elements.size();
        out << "deformers: " << dump.deformers->size() << " (" << elements << " elements)\n";
    }
    if (dump.trailer) {
        out << "trailer: kind " << dump.trailer->trailerKind << ", length " << dump.trailer->trailerLength
            << ", entries " << dump.trailer->entryCount << '\n';
    } else if (h.trailerSize == 0) {
        out << "trailer: none\n";
    }
    if (dump.secondTrailer) {
        out << "second trailer: identifier " << dump.secondTrailer->identifier << ", length "
            << dump.secondTrailer->length << '\n';
    } else if (h.secondTrailerSize == 0) {
        out << "second trailer: none\n";
    }
    out.flush();
}

void printMdl7Json(std::ostream& out, const Mdl7Dump& dump)
{
    JsonWriter json(out);
    const Mdl7Header& h = dump.header;
    json.beginObject();
    json.key("format");
    json.string("MDL7");
    json.key("header");
    json.beginObject();
    const std::pair<const char*, std::int64_t> fields[] = {
        {"boneCount", h.boneCount},
        {"groupCount", h.groupCount},
        {"modelDataSize", h.modelDataSize},
        {"trailerSize", h.trailerSize},
        {"secondTrailerSize", h.secondTrailerSize},
        {"boneRecordSize", h.boneRecordSize},
        {"skinHeaderSize", h.skinHeaderSize},
        {"colourValueSize", h.colourValueSize},
        {"materialRecordSize", h.materialRecordSize},
        {"texCoordRecordSize", h.texCoordRecordSize},
        {"triangleRecordSize", h.triangleRecordSize},
        {"vertexRecordSize", h.vertexRecordSize},
        {"frameVertexRecordSize", h.frameVertexRecordSize},
        {"boneTransformRecordSize", h.boneTransformRecordSize},
        {"frameHeaderSize", h.frameHeaderSize},
    };
    for (const auto& [key, value] : fields) {
        json.key(key);
        json.number(value);
    }
    json.endObject();

    json.key("bones");
    if (dump.bones) {
        json.beginArray();
        for (const Mdl7Bone& b : *dump.bones) {
            json.beginObject();
            json.key("parentIndex");
            json.number(b.parentIndex);
            json.key("x");
            json.real(b.x);
            json.key("y");
            json.real(b.y);
            json.key("z");
            json.real(b.z);
            json.key("name");
            json.string(b.name);
            json.endObject();
        }
        json.endArray();
    } else {
        json.null();
    }

    json.key("groups");
    if (dump.groups) {
        json.beginArray();
        for (const Mdl7Group& g : *dump.groups) writeGroup(json, g);
        json.endArray();
    } else {
        json.null();
    }

    json.key("deformers");
    if (dump.deformers) {
        json.beginArray();
        for (const Mdl7Deformer& d : *dump.deformers) writeDeformer(json, d);
        json.endArray();
    } else {
        json.null();
    }

    json.key("trailer");
    dump.trailer ? writeTrailer(json, *dump.trailer) : json.null();
    json.key("secondTrailer");
    if (dump.secondTrailer) {
        json.beginObject();
        json.key("identifier");
        json.number(dump.secondTrailer->identifier);
        json.key("length");
        json.number(dump.secondTrailer->length);
        json.endObject();
    } else {
        json.null();
    }
    json.endObject();
    out << '\n';
    out.flush();
}

} // namespace kelvane::mdlinfo
