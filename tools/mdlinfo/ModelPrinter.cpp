#include "tools/mdlinfo/ModelPrinter.h"

#include "scene/JsonWriter.h"
#include "tools/mdlinfo/Printable.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>

namespace kelvane::mdlinfo {

using namespace scene;

namespace {

constexpr std::string_view kMdl7 = "MDL7";

// An older format's model is its one group's mesh.
const Mesh* legacyMesh(const Model& model)
{
    if (!model.groups || model.groups->empty() || !model.groups->front().mesh) return nullptr;
    return &*model.groups->front().mesh;
}

// --- Text ----------------------------------------------------------------------------

const char* imageKindName(std::uint8_t type, bool mdl7)
{
    // The kinds' names differ where the formats give a kind another meaning.
    static constexpr const char* kMdl7Names[8] = {"8-bit",  "no image", "16-bit (2)", "16-bit (3)",
                                                  "24-bit", "32-bit",   "raw block",  "external file"};
    static constexpr const char* kLegacyNames[8] = {"8-bit",  "unknown", "16-bit (2)", "16-bit (3)",
                                                    "24-bit", "32-bit",  "no image",   "external file"};
    return (mdl7 ? kMdl7Names : kLegacyNames)[type & 7];
}

// The first vertex of a flagged triangle that lies outside its group.
std::int32_t vertexOutside(const Triangle& t, std::int32_t vertexCount)
{
    for (const std::int32_t v : t.vertexIndex) {
        if (v >= vertexCount) return v;
    }
    return t.vertexIndex[0];
}

void printMdl7Group(std::ostream& out, std::size_t index, const Group& group)
{
    out << "group " << index << " \"" << printable(group.name) << "\": type " << int(group.type)
        << ", groupDataSize " << group.groupDataSize;
    if (!group.mesh) {
        out << '\n';
        return;
    }
    const Mesh& mesh = *group.mesh;
    const MeshCounts& c = mesh.counts;
    out << ", skins " << c.skinCount << ", texture coordinates " << c.texCoordCount << ", triangles "
        << c.triangleCount << ", vertices " << c.vertexCount << ", frames " << c.frameCount << '\n';
    for (std::size_t s = 0; s < mesh.skins.size(); ++s) {
        const Skin& skin = mesh.skins[s];
        out << "  skin " << s << " \"" << printable(skin.name) << "\": kind " << (skin.type & 7) << " ("
            << imageKindName(skin.type, true) << "), " << skin.width << " x " << skin.height;
        if (skin.imageBytes) out << ", image " << *skin.imageBytes << " bytes";
        if (skin.mipmapBytes) {
            const auto& m = *skin.mipmapBytes;
            out << ", mipmaps " << m[0] << " + " << m[1] << " + " << m[2] << " bytes";
        }
        if (skin.material) out << ", material";
        if (skin.extraLength) out << ", extra " << *skin.extraLength << " bytes";
        out << '\n';
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        if (!mesh.triangles[t].vertexOutside) continue;
        out << "  triangle " << t << ": uses vertex " << vertexOutside(mesh.triangles[t], c.vertexCount)
            << " of " << c.vertexCount << '\n';
    }
}

void printMdl7Text(std::ostream& out, const Model& model)
{
    const Mdl7Header& h = model.header;
    out << "format: MDL7\n";
    out << "header: boneCount " << h.boneCount << ", groupCount " << h.groupCount << ", modelDataSize "
        << h.modelDataSize << ", trailerSize " << h.trailerSize << ", secondTrailerSize "
        << h.secondTrailerSize << '\n';
    out << "record sizes: bone " << h.boneRecordSize << ", skin header " << h.skinHeaderSize
        << ", colour value " << h.colourValueSize << ", material " << h.materialRecordSize
        << ", texture coordinate " << h.texCoordRecordSize << ", triangle " << h.triangleRecordSize
        << ", vertex " << h.vertexRecordSize << ", frame vertex " << h.frameVertexRecordSize
        << ", bone transform " << h.boneTransformRecordSize << ", frame header " << h.frameHeaderSize << '\n';
    if (model.bones) out << "bones: " << model.bones->size() << '\n';
    if (model.groups) {
        for (std::size_t g = 0; g < model.groups->size(); ++g) {
            printMdl7Group(out, g, (*model.groups)[g]);
        }
    }
    if (model.deformers) {
        std::size_t elements = 0;
        for (const Deformer& d : *model.deformers) {
            elements += d.elements.size();
        }
        out << "deformers: " << model.deformers->size() << " (" << elements << " elements)\n";
    }
    if (model.trailer) {
        out << "trailer: kind " << model.trailer->trailerKind << ", length " << model.trailer->trailerLength
            << ", entries " << model.trailer->entryCount << '\n';
    } else if (h.trailerSize == 0) {
        out << "trailer: none\n";
    }
    if (model.secondTrailer) {
        out << "second trailer: identifier " << model.secondTrailer->identifier << ", length "
            << model.secondTrailer->length << '\n';
    } else if (h.secondTrailerSize == 0) {
        out << "second trailer: none\n";
    }
}

bool within(std::int32_t index, std::int32_t count) { return index >= 0 && index < count; }

// Indices of the triangles read that lie outside their counts. A texture
// coordinate index of -1 is the "by vertex" of "IDPO"/"MDL2", not an index.
std::int64_t indicesOutside(const Mesh& mesh)
{
    std::int64_t outside = 0;
    for (const Triangle& t : mesh.triangles) {
        for (std::size_t i = 0; i < 3; ++i) {
            if (!within(t.vertexIndex[i], mesh.counts.vertexCount)) ++outside;
            if (t.texCoordIndex[i] != -1 && !within(t.texCoordIndex[i], mesh.counts.texCoordCount)) ++outside;
        }
    }
    return outside;
}

void printLegacyText(std::ostream& out, const Model& model)
{
    out << "format: " << printable(model.format) << '\n';
    const Mesh* mesh = legacyMesh(model);
    if (mesh == nullptr) return;
    const MeshCounts& c = mesh->counts;
    out << "counts: skins " << c.skinCount << ", vertices " << c.vertexCount << ", triangles "
        << c.triangleCount << ", texture coordinates " << c.texCoordCount << ", frames " << c.frameCount
        << '\n';
    for (std::size_t i = 0; i < mesh->skins.size(); ++i) {
        const Skin& skin = mesh->skins[i];
        out << "  skin " << i << ": kind " << (skin.type & 7) << " (" << imageKindName(skin.type, false)
            << "), " << skin.width << " x " << skin.height << ", " << skin.bytesPerPixel
            << (skin.bytesPerPixel == 1 ? " byte" : " bytes") << " per pixel";
        if (skin.hasMipmaps) out << ", mipmaps";
        out << '\n';
    }
    if (mesh->reached >= MeshSection::kTexCoords)
        out << "texture coordinates: " << mesh->texCoords.size() << " read\n";
    if (mesh->reached >= MeshSection::kTriangles) {
        out << "triangles: " << mesh->triangles.size() << " read";
        const std::int64_t outside = indicesOutside(*mesh);
        if (outside != 0)
            out << ", " << outside << (outside == 1 ? " index" : " indices") << " outside their counts";
        out << '\n';
    }
    if (mesh->reached >= MeshSection::kFrames) {
        const std::vector<Frame>& frames = mesh->frames;
        out << "frames: " << frames.size() << " read";
        if (!frames.empty()) out << ", \"" << printable(frames.front().name) << '"';
        if (frames.size() > 1) out << " to \"" << printable(frames.back().name) << '"';
        out << '\n';
    }
}

// --- JSON ------------------------------------------------------------------------------

// Small writers for the shapes every record repeats.
class Json {
  public:
    explicit Json(std::ostream& out) : json_(out) {}

    JsonWriter* operator->() { return &json_; }

    void number(const char* key, std::int64_t value)
    {
        json_.key(key);
        json_.number(value);
    }
    void real(const char* key, float value)
    {
        json_.key(key);
        json_.real(value);
    }
    void string(const char* key, std::string_view value)
    {
        json_.key(key);
        json_.string(value);
    }
    // Integer members, in the order given.
    void numbers(std::initializer_list<std::pair<const char*, std::int64_t>> members)
    {
        for (const auto& [key, value] : members) {
            number(key, value);
        }
    }
    template <typename T> void optionalNumber(const char* key, const std::optional<T>& value)
    {
        json_.key(key);
        value ? json_.number(*value) : json_.null();
    }
    // An array of numbers (or, with `real`, floats) in one go.
    template <typename Range> void values(const Range& range, bool real = false)
    {
        json_.beginArray();
        for (const auto v : range) {
            real ? json_.real(static_cast<float>(v)) : json_.number(std::int64_t(v));
        }
        json_.endArray();
    }
    // `key`: an array with one writeOne(record) per record, or null when
    // the section is absent.
    template <typename Records, typename WriteOne>
    void list(const char* key, const Records* records, const WriteOne& writeOne)
    {
        json_.key(key);
        if (records == nullptr) {
            json_.null();
            return;
        }
        json_.beginArray();
        for (const auto& record : *records) {
            writeOne(record);
        }
        json_.endArray();
    }

  private:
    JsonWriter json_;
};

template <typename T> const T* present(const std::optional<T>& value) { return value ? &*value : nullptr; }

void writeVertex(Json& json, const Vertex& v, const char* indexKey)
{
    json->beginObject();
    json.number(indexKey, v.index);
    json.real("x", v.position.x);
    json.real("y", v.position.y);
    json.real("z", v.position.z);
    const float normal[3] = {v.normal.x, v.normal.y, v.normal.z};
    const char* normalKeys[3] = {"nx", "ny", "nz"};
    for (std::size_t i = 0; i < 3; ++i) {
        json->key(normalKeys[i]);
        v.hasNormal ? json->real(normal[i]) : json->null();
    }
    json->endObject();
}

void writeSkin(Json& json, const Skin& skin)
{
    json->beginObject();
    json.number("type", skin.type);
    json.string("name", skin.name);
    json.numbers({{"width", skin.width}, {"height", skin.height}, {"bytesPerPixel", skin.bytesPerPixel}});
    json->key("hasMipmaps");
    json->boolean(skin.hasMipmaps);
    json.optionalNumber("imageBytes", skin.imageBytes);
    json->key("mipmapBytes");
    skin.mipmapBytes ? json.values(*skin.mipmapBytes) : json->null();
    json->key("material");
    if (skin.material) {
        json->beginObject();
        const char* colourKeys[4] = {"colour1", "colour2", "colour3", "colour4"};
        for (std::size_t c = 0; c < 4; ++c) {
            json->key(colourKeys[c]);
            json.values(skin.material->colours[c], true);
        }
        json.real("scalar", skin.material->scalar);
        json->endObject();
    } else {
        json->null();
    }
    json.optionalNumber("extraLength", skin.extraLength);
    json->key("extra");
    skin.extra ? json->string(*skin.extra) : json->null();
    json->endObject();
}

void writeTriangles(Json& json, const Mesh& mesh)
{
    json->key("triangles");
    json->beginArray();
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const Triangle& t = mesh.triangles[i];
        const SecondIndexSet* second = i < mesh.secondSets.size() ? &mesh.secondSets[i] : nullptr;
        json->beginObject();
        json->key("vertexIndex");
        json.values(t.vertexIndex);
        json->key("texCoordIndex");
        json.values(t.texCoordIndex);
        json.optionalNumber("skinIndex", mesh.hasSkinIndex ? std::optional(t.skinIndex) : std::nullopt);
        json->key("texCoordIndex2");
        second ? json.values(second->texCoordIndex) : json->null();
        json.optionalNumber("skinIndex2", second ? std::optional(second->skinIndex) : std::nullopt);
        if (t.vertexOutside) {
            json->key("vertexOutside");
            json->boolean(true);
        }
        json->endObject();
    }
    json->endArray();
}

void writeFrame(Json& json, const Frame& frame)
{
    json->beginObject();
    json.string("name", frame.name);
    json.number("frameVertexCount", frame.frameVertexCount);
    json.number("boneTransformCount", frame.boneTransformCount);
    json.list("frameVertices", &frame.vertices,
              [&](const Vertex& v) { writeVertex(json, v, "vertexIndex"); });
    json.list("boneTransforms", &frame.boneTransforms, [&](const BoneTransform& t) {
        json->beginObject();
        json.number("boneIndex", t.boneIndex);
        json->key("matrix");
        json.values(t.matrix, true);
        json->endObject();
    });
    json->endObject();
}

void writeGroup(Json& json, const Group& group)
{
    json->beginObject();
    json.number("type", group.type);
    json.number("groupDataSize", group.groupDataSize);
    json.string("name", group.name);
    // Counts and records exist only for mesh groups; opaque groups show null.
    const Mesh* mesh = present(group.mesh);
    const MeshCounts* c = mesh ? &mesh->counts : nullptr;
    const auto count = [&](std::int32_t MeshCounts::*field) {
        return c ? std::optional(c->*field) : std::nullopt;
    };
    json.optionalNumber("skinCount", count(&MeshCounts::skinCount));
    json.optionalNumber("texCoordCount", count(&MeshCounts::texCoordCount));
    json.optionalNumber("triangleCount", count(&MeshCounts::triangleCount));
    json.optionalNumber("vertexCount", count(&MeshCounts::vertexCount));
    json.optionalNumber("frameCount", count(&MeshCounts::frameCount));
    json.list("skins", mesh ? &mesh->skins : nullptr, [&](const Skin& s) { writeSkin(json, s); });
    json.list("texCoords", mesh ? &mesh->texCoords : nullptr, [&](const TexCoord& t) {
        json->beginObject();
        json.real("s", t.s);
        json.real("t", t.t);
        json->endObject();
    });
    if (mesh) {
        writeTriangles(json, *mesh);
    } else {
        json->key("triangles");
        json->null();
    }
    json.list("vertices", mesh ? &mesh->vertices : nullptr,
              [&](const Vertex& v) { writeVertex(json, v, "boneIndex"); });
    json.list("frames", mesh ? &mesh->frames : nullptr, [&](const Frame& f) { writeFrame(json, f); });
    json->endObject();
}

void writeDeformer(Json& json, const Deformer& d)
{
    json->beginObject();
    json.numbers({{"deformerType", d.deformerType},
                  {"groupIndex", d.groupIndex},
                  {"elementCount", d.elementCount},
                  {"deformerDataSize", d.deformerDataSize}});
    json.list("elements", &d.elements, [&](const DeformerElement& e) {
        json->beginObject();
        json.number("elementIndex", e.elementIndex);
        json.string("elementName", e.elementName);
        json.number("weightCount", e.weightCount);
        json.list("weights", &e.weights, [&](const DeformerWeight& w) {
            json->beginObject();
            json.number("targetIndex", w.targetIndex);
            json.real("weight", w.weight);
            json->endObject();
        });
        json->endObject();
    });
    json->endObject();
}

void writeTrailer(Json& json, const Trailer& t)
{
    json->beginObject();
    json.numbers(
        {{"trailerKind", t.trailerKind}, {"trailerLength", t.trailerLength}, {"entryCount", t.entryCount}});
    json.list("entries", &t.entries, [&](const TrailerEntry& e) {
        json->beginObject();
        json.number("entryId", e.entryId);
        json.number("subEntryCount", e.subEntryCount);
        json.list("subEntries", &e.subEntries, [&](const TrailerSubEntry& s) {
            json->beginObject();
            json.number("subEntryId", s.subEntryId);
            json.number("triangleCount", s.triangleCount);
            json.list("triangles", &s.triangles, [&](const TrailerTriangle& tri) {
                json->beginObject();
                json->key("vertexIndex");
                json.values(tri.vertexIndex);
                json->key("texCoordIndex");
                json.values(tri.texCoordIndex);
                json.number("skinIndex", tri.skinIndex);
                json->endObject();
            });
            json->endObject();
        });
        json->endObject();
    });
    json->endObject();
}

void writeMdl7(Json& json, const Model& model)
{
    const Mdl7Header& h = model.header;
    json->key("header");
    json->beginObject();
    json.numbers({{"boneCount", h.boneCount},
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
                  {"frameHeaderSize", h.frameHeaderSize}});
    json->endObject();

    json.list("bones", present(model.bones), [&](const Bone& b) {
        json->beginObject();
        json.number("parentIndex", b.parentIndex);
        json.real("x", b.position.x);
        json.real("y", b.position.y);
        json.real("z", b.position.z);
        json.string("name", b.name);
        json->endObject();
    });
    json.list("groups", present(model.groups), [&](const Group& g) { writeGroup(json, g); });
    json.list("deformers", present(model.deformers), [&](const Deformer& d) { writeDeformer(json, d); });
    json->key("trailer");
    model.trailer ? writeTrailer(json, *model.trailer) : json->null();
    json->key("secondTrailer");
    if (model.secondTrailer) {
        json->beginObject();
        json.number("identifier", model.secondTrailer->identifier);
        json.number("length", model.secondTrailer->length);
        json->endObject();
    } else {
        json->null();
    }
}

void writeLegacyFrame(Json& json, const Frame& frame)
{
    json->beginObject();
    json.string("name", frame.name);
    json->key("bboxMin");
    json.values(frame.bboxMin);
    json->key("bboxMax");
    json.values(frame.bboxMax);
    const std::optional<Vec3>* unpacking[2] = {&frame.scale, &frame.translate};
    const char* unpackingKeys[2] = {"scale", "translate"};
    for (std::size_t i = 0; i < 2; ++i) {
        json->key(unpackingKeys[i]);
        const std::optional<Vec3>& v = *unpacking[i];
        v ? json.values(std::array<float, 3>{v->x, v->y, v->z}, true) : json->null();
    }
    json.list("vertices", &frame.packedVertices, [&](const PackedVertex& v) {
        json->beginArray();
        for (const std::uint16_t c : v.position) {
            json->number(c);
        }
        json->number(v.normalIndex);
        json->endArray();
    });
    json->endObject();
}

void writeLegacy(Json& json, const Model& model)
{
    const Mesh* mesh = legacyMesh(model);
    if (mesh == nullptr) return;
    const MeshCounts& c = mesh->counts;
    json->key("counts");
    json->beginObject();
    json.numbers({{"skins", c.skinCount},
                  {"vertices", c.vertexCount},
                  {"triangles", c.triangleCount},
                  {"texCoords", c.texCoordCount},
                  {"frames", c.frameCount}});
    json->endObject();

    // A section the walk did not reach is null.
    const auto reached = [&](MeshSection section, const auto& records) {
        return mesh->reached >= section ? &records : nullptr;
    };
    json.list("skins", reached(MeshSection::kSkins, mesh->skins), [&](const Skin& skin) {
        json->beginObject();
        json.numbers({{"type", skin.type},
                      {"width", skin.width},
                      {"height", skin.height},
                      {"bytesPerPixel", skin.bytesPerPixel}});
        json->key("hasMipmaps");
        json->boolean(skin.hasMipmaps);
        json->endObject();
    });
    // Texel positions, integers in a float.
    json.list("texCoords", reached(MeshSection::kTexCoords, mesh->texCoords), [&](const TexCoord& t) {
        json.values(std::array<float, 2>{t.s, t.t});
    });
    json.list("triangles", reached(MeshSection::kTriangles, mesh->triangles), [&](const Triangle& t) {
        const auto& v = t.vertexIndex;
        const auto& tc = t.texCoordIndex;
        json.values(std::array<std::int32_t, 6>{v[0], v[1], v[2], tc[0], tc[1], tc[2]});
    });
    json.list("frames", reached(MeshSection::kFrames, mesh->frames),
              [&](const Frame& f) { writeLegacyFrame(json, f); });
}

} // namespace

void printText(std::ostream& out, const Model& model)
{
    if (model.format == kMdl7) {
        printMdl7Text(out, model);
    } else {
        printLegacyText(out, model);
    }
    out.flush();
}

void printJson(std::ostream& out, const Model& model)
{
    {
        Json json(out);
        json->beginObject();
        json.string("format", model.format);
        if (model.format == kMdl7) {
            writeMdl7(json, model);
        } else {
            writeLegacy(json, model);
        }
        json->endObject();
    }
    out << '\n';
    out.flush();
}

} // namespace kelvane::mdlinfo
