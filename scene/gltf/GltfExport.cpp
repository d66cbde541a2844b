#include "scene/gltf/GltfExport.h"

#include "mdl/ByteOrder.h"
#include "scene/JsonWriter.h"
#include "scene/gltf/BackgroundWriter.h"
#include "scene/gltf/EndsWithNoCase.h"
#include "scene/gltf/MeshGeometries.h"
#include "scene/gltf/MeshGeometry.h"
#include "scene/gltf/MorphTarget.h"
#include "scene/gltf/PalettePng.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <sstream>

namespace kelvane::scene::gltf {

namespace {

// glTF's numeric codes.
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kNearest = 9728;
constexpr int kTriangles = 4;

// The binary container: a 12-byte header, then chunks of an 8-byte header
// and their data, each padded to four bytes.
constexpr std::uint32_t kGlbMagic = 0x46546C67;    // "glTF"
constexpr std::uint32_t kChunkJson = 0x4E4F534A;   // "JSON"
constexpr std::uint32_t kChunkBinary = 0x004E4942; // "BIN\0"
constexpr std::uint64_t kGlbHeaderSize = 12;
constexpr std::uint64_t kChunkHeaderSize = 8;

// 16-bit indices reach 65534: glTF keeps 65535 for restarting primitives.
constexpr std::uint32_t kLargestShortIndex = 65534;
// A morph animation's weights are frames x frames values, addressed by
// 32-bit sparse indices.
constexpr std::size_t kMaxAnimatedFrames = 65535;

// Every primitive of a mesh lists all its morph targets, so the JSON grows
// with primitives x frames: a hostile file of many skins and many empty
// frames would otherwise ask for gigabytes of JSON from megabytes of input.
// Meshes past this many target references in all are exported without
// their frames (a real model stays far below: 1000 meshes of 4 skins and 100
// frames make 400,000).
constexpr std::uint64_t kMaxTargetReferences = std::uint64_t(1) << 22;

// The glTF frame is Y-up; the models are Z-up: -90 degrees about X.
constexpr float kRootRotation[4] = {-0.70710677f, 0, 0, 0.70710677f};

// Frame k shows at k / 10 s.
constexpr float kSecondsPerFrame = 0.1f;

std::uint64_t padded(std::uint64_t length) { return (length + 3) & ~std::uint64_t(3); }

struct View {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    int target = 0; // 0: none
};

struct Accessor {
    std::int64_t view = -1; // -1: zeros, unless sparse says otherwise
    int componentType = kFloat;
    std::uint64_t count = 0;
    const char* type = "SCALAR";
    int boundsSize = 0; // components in min and max (0: none)
    std::array<float, 3> min{};
    std::array<float, 3> max{};
    std::uint64_t sparseCount = 0;
    std::int64_t sparseIndices = -1;
    int sparseIndexType = kUnsignedInt;
    std::int64_t sparseValues = -1;
};

struct Image {
    std::string uri; // an external file
    std::string png; // or embedded bytes
    std::int64_t view = -1;
};

struct Material {
    std::string name;
    std::int64_t image = -1;
    std::string externalTexture; // extras.texture
    std::string imageNote;       // extras.image
};

struct Primitive {
    std::int64_t indices = -1;
    std::int64_t material = -1;
};

struct Target {
    std::int64_t position = -1;
    std::int64_t normal = -1;
};

struct MeshPlan {
    std::size_t group = 0;
    std::string name;
    std::int64_t position = -1;
    std::int64_t normal = -1;
    std::int64_t texCoord = -1;
    std::vector<Primitive> primitives;
    // One per frame; a mesh with targets also has an animation channel.
    std::vector<Target> targets;
    std::int64_t times = -1;
    std::int64_t weights = -1;

    [[nodiscard]] bool animated() const { return !targets.empty(); }
};

struct LeftOut {
    std::size_t group = 0;
    std::string name;
    int type = 0;
    std::string reason;
};

struct Plan {
    // Every mesh group's geometry, complete.
    const MeshGeometries* geometries = nullptr;
    std::vector<View> views;
    std::vector<Accessor> accessors;
    std::vector<Image> images;
    std::vector<Material> materials;
    std::vector<MeshPlan> meshes;
    std::vector<LeftOut> leftOut;
    std::int64_t defaultMaterial = -1;
    std::uint64_t binaryLength = 0;
};

bool refuseSize(ExportReport& report, std::uint64_t size, std::uint64_t limit)
{
    report.failure = "the output would take " + std::to_string(size) + " bytes, more than the " +
                     std::to_string(limit) + " allowed";
    return false;
}

std::string groupPlace(std::size_t group) { return "group " + std::to_string(group); }

// "1 triangle", "2 triangles": warnings name what they count.
std::string counted(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A file name as a relative URI reference: unreserved characters and '/'
// stay, every other byte is percent-encoded (':' too, which would otherwise
// make "c:/wood.png" a URI of scheme "c").
std::string uriEncode(std::string_view name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                          byte == '~' || byte == '/';
        if (keep) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri;
}

// Plans the asset: every view, accessor, material and image, with the
// binary layout, so that the output size is known before anything is written.
class Planner {
  public:
    Planner(const Model& model, const ExportOptions& options, ExportReport& report)
        : model_(model), options_(options), report_(report)
    {
    }

    // False when the asset cannot be written (report.failure says why).
    bool run(Plan& plan)
    {
        plan_ = &plan;
        if (model_.groups) {
            const std::vector<Group>& groups = *model_.groups;
            for (std::size_t g = 0; g < groups.size(); ++g) {
                planGroup(g, groups[g]);
                if (plan.binaryLength > options_.maxOutputBytes) return tooLarge(plan.binaryLength);
            }
        }
        for (Image& image : plan.images) {
            if (!image.png.empty()) image.view = addView(image.png.size(), 0);
        }
        if (missingPalette_ > 0) {
            report_.warnings.push_back(
                counted(missingPalette_, "skin", "skins") +
                " of 8-bit palette indices left without a texture: no palette was given");
        }
        return true;
    }

  private:
    bool tooLarge(std::uint64_t size) { return refuseSize(report_, size, options_.maxOutputBytes); }

    std::int64_t addView(std::uint64_t length, int target)
    {
        View view;
        view.offset = padded(plan_->binaryLength);
        view.length = length;
        view.target = target;
        plan_->binaryLength = view.offset + length;
        plan_->views.push_back(view);
        return std::int64_t(plan_->views.size() - 1);
    }

    std::int64_t addAccessor(const Accessor& accessor)
    {
        plan_->accessors.push_back(accessor);
        return std::int64_t(plan_->accessors.size() - 1);
    }

    std::int64_t addVec3(std::uint64_t count)
    {
        Accessor accessor;
        accessor.view = addView(count * 12, kArrayBuffer);
        accessor.count = count;
        accessor.type = "VEC3";
        return addAccessor(accessor);
    }

    void planGroup(std::size_t g, const Group& group)
    {
        if (group.type != kMeshGroupType || !group.mesh) {
            plan_->leftOut.push_back(
                {g, group.name, group.type, group.type != kMeshGroupType ? "not a mesh group" : "not read"});
            return;
        }
        const Mesh& mesh = *group.mesh;
        const MeshGeometry& geometry = (*plan_->geometries)[g];
        warnTriangles(g, geometry);
        if (geometry.keptTriangleCount() == 0) {
            plan_->leftOut.push_back({g, group.name, group.type, "no drawable triangle"});
            return;
        }
        MeshPlan meshPlan;
        meshPlan.group = g;
        meshPlan.name = group.name.empty() ? groupPlace(g) : group.name;
        const std::uint64_t n = geometry.vertexCount();

        meshPlan.position = addVec3(n);
        Accessor& position = plan_->accessors[std::size_t(meshPlan.position)];
        position.boundsSize = 3;
        position.min = {geometry.positionMin().x, geometry.positionMin().y, geometry.positionMin().z};
        position.max = {geometry.positionMax().x, geometry.positionMax().y, geometry.positionMax().z};
        if (geometry.hasNormals()) meshPlan.normal = addVec3(n);
        Accessor texCoord;
        texCoord.view = addView(n * 8, kArrayBuffer);
        texCoord.count = n;
        texCoord.type = "VEC2";
        meshPlan.texCoord = addAccessor(texCoord);

        for (const PrimitiveGeometry& primitive : geometry.primitives()) {
            Accessor indices;
            indices.count = std::uint64_t(primitive.triangleCount) * 3;
            indices.componentType = primitive.maxIndex <= kLargestShortIndex ? kUnsignedShort : kUnsignedInt;
            indices.view = addView(indices.count * (indices.componentType == kUnsignedShort ? 2 : 4),
                                   kElementArrayBuffer);
            meshPlan.primitives.push_back({addAccessor(indices), materialFor(g, mesh, primitive.skin)});
        }

        if (options_.animation && !mesh.frames.empty()) {
            const std::uint64_t references = std::uint64_t(meshPlan.primitives.size()) * mesh.frames.size();
            if (mesh.frames.size() > kMaxAnimatedFrames) {
                report_.warnings.push_back(
                    groupPlace(g) + ": " + std::to_string(mesh.frames.size()) +
                    " frames are more than one animation holds; exported without them");
            } else if (references > kMaxTargetReferences - targetReferences_) {
                report_.warnings.push_back(groupPlace(g) + ": " +
                                           counted(mesh.frames.size(), "frame", "frames") + " on " +
                                           counted(meshPlan.primitives.size(), "skin", "skins") +
                                           " make more morph targets than the export holds; exported "
                                           "without them");
            } else {
                targetReferences_ += references;
                planTargets(g, geometry, meshPlan);
            }
        }
        plan_->meshes.push_back(std::move(meshPlan));
    }

    void warnTriangles(std::size_t g, const MeshGeometry& geometry)
    {
        if (geometry.trianglesOutside() > 0) {
            report_.warnings.push_back(groupPlace(g) + ": " +
                                       counted(geometry.trianglesOutside(), "triangle", "triangles") +
                                       " left out, using a vertex the group does not have");
        }
        if (geometry.trianglesNonFinite() > 0) {
            report_.warnings.push_back(groupPlace(g) + ": " +
                                       counted(geometry.trianglesNonFinite(), "triangle", "triangles") +
                                       " left out, using a vertex whose position is not finite");
        }
    }

    void planTargets(std::size_t g, const MeshGeometry& geometry, MeshPlan& meshPlan)
    {
        const Mesh& mesh = geometry.mesh();
        const std::uint64_t n = geometry.vertexCount();
        MorphTargetBuilder builder(geometry);
        MorphTarget target;
        std::int64_t outside = 0;
        std::int64_t nonFinite = 0;
        for (const Frame& frame : mesh.frames) {
            builder.build(frame, target);
            outside += target.verticesOutside;
            nonFinite += target.valuesNonFinite;
            Target planned;
            if (target.dense) {
                planned.position = addVec3(n);
                if (geometry.hasNormals()) planned.normal = addVec3(n);
            } else {
                planned.position = addSparseVec3(n, target, -1);
                if (geometry.hasNormals()) {
                    const std::int64_t indices =
                        plan_->accessors[std::size_t(planned.position)].sparseIndices;
                    planned.normal = addSparseVec3(n, target, indices);
                }
            }
            Accessor& position = plan_->accessors[std::size_t(planned.position)];
            position.boundsSize = 3;
            position.min = {target.min.x, target.min.y, target.min.z};
            position.max = {target.max.x, target.max.y, target.max.z};
            // The views of sparse accessors and of morph data carry no
            // buffer target.
            meshPlan.targets.push_back(planned);
        }
        if (outside > 0) {
            report_.warnings.push_back(groupPlace(g) + ": " +
                                       counted(outside, "frame vertex", "frame vertices") +
                                       " ignored, naming a vertex the group does not have");
        }
        if (nonFinite > 0) {
            report_.warnings.push_back(groupPlace(g) + ": " +
                                       counted(nonFinite, "frame vertex", "frame vertices") +
                                       " left in place, holding a value that is not finite");
        }

        const std::uint64_t frames = mesh.frames.size();
        Accessor times;
        times.view = addView(frames * 4, 0);
        times.count = frames;
        times.boundsSize = 1;
        times.min[0] = 0;
        times.max[0] = float(frames - 1) * kSecondsPerFrame;
        meshPlan.times = addAccessor(times);
        // frames x frames weights, all zero but for 1 on target k at key k:
        // sparse, so that the animation stays proportional to the frames.
        Accessor weights;
        weights.count = frames * frames;
        weights.sparseCount = frames;
        weights.sparseIndices = addView(frames * 4, 0);
        weights.sparseIndexType = kUnsignedInt;
        weights.sparseValues = addView(frames * 4, 0);
        meshPlan.weights = addAccessor(weights);
    }

    std::int64_t addSparseVec3(std::uint64_t n, const MorphTarget& target, std::int64_t sharedIndices)
    {
        Accessor accessor;
        accessor.count = n;
        accessor.type = "VEC3";
        const std::uint64_t k = target.valueCount();
        if (k > 0) {
            accessor.sparseCount = k;
            accessor.sparseIndexType = n - 1 <= 0xFFFF ? kUnsignedShort : kUnsignedInt;
            accessor.sparseIndices =
                sharedIndices >= 0 ? sharedIndices
                                   : addView(k * (accessor.sparseIndexType == kUnsignedShort ? 2 : 4), 0);
            accessor.sparseValues = addView(k * 12, 0);
        }
        return addAccessor(accessor);
    }

    std::int64_t materialFor(std::size_t g, const Mesh& mesh, std::int32_t skinIndex)
    {
        if (skinIndex < 0) {
            if (plan_->defaultMaterial < 0) {
                Material material;
                material.name = "default";
                plan_->materials.push_back(material);
                plan_->defaultMaterial = std::int64_t(plan_->materials.size() - 1);
            }
            return plan_->defaultMaterial;
        }
        const Skin& skin = mesh.skins[std::size_t(skinIndex)];
        Material material;
        material.name = skin.name.empty() ? "skin " + std::to_string(skinIndex) : skin.name;
        switch (skin.layout) {
        case ImageLayout::kExternal:
            if (endsWithNoCase(skin.externalFile, ".png") || endsWithNoCase(skin.externalFile, ".jpg") ||
                endsWithNoCase(skin.externalFile, ".jpeg")) {
                Image image;
                image.uri = uriEncode(skin.externalFile);
                material.image = addImage(std::move(image));
            } else {
                material.externalTexture = skin.externalFile;
            }
            break;
        case ImageLayout::kIndexed8:
            if (!options_.palette) {
                material.imageNote = "8-bit palette indices; no palette was given, so no texture";
                ++missingPalette_;
            } else if (skin.pixels.empty()) {
                material.imageNote = "8-bit palette indices; the image has no pixels";
            } else {
                Image image;
                std::string error;
                if (encodePalettePng(skin.width, skin.height, skin.pixels, *options_.palette, image.png,
                                     error)) {
                    material.image = addImage(std::move(image));
                } else {
                    material.imageNote = "8-bit palette indices; " + error;
                    report_.warnings.push_back(groupPlace(g) + ": skin " + std::to_string(skinIndex) + ": " +
                                               error + "; no texture");
                }
            }
            break;
        case ImageLayout::kUndefined:
            material.imageNote =
                "image kind " + std::to_string(skin.type & 7) + " has no defined pixel layout; not exported";
            break;
        case ImageLayout::kRawBlock:
            material.imageNote = "a raw image block; not exported";
            break;
        case ImageLayout::kNone:
            break;
        }
        plan_->materials.push_back(std::move(material));
        return std::int64_t(plan_->materials.size() - 1);
    }

    std::int64_t addImage(Image image)
    {
        plan_->images.push_back(std::move(image));
        return std::int64_t(plan_->images.size() - 1);
    }

    const Model& model_;
    const ExportOptions& options_;
    ExportReport& report_;
    Plan* plan_ = nullptr;
    std::int64_t missingPalette_ = 0;
    std::uint64_t targetReferences_ = 0;
};

// --- JSON --------------------------------------------------------------------

void member(JsonWriter& json, std::string_view key, std::int64_t value)
{
    json.key(key);
    json.number(value);
}

void member(JsonWriter& json, std::string_view key, std::string_view value)
{
    json.key(key);
    json.string(value);
}

void writeFloats(JsonWriter& json, const std::array<float, 3>& values, int count)
{
    json.beginArray();
    for (int c = 0; c < count; ++c) {
        json.real(values[std::size_t(c)]);
    }
    json.endArray();
}

void writeAccessor(JsonWriter& json, const Accessor& accessor)
{
    json.beginObject();
    if (accessor.view >= 0) {
        member(json, "bufferView", accessor.view);
    }
    member(json, "componentType", accessor.componentType);
    member(json, "count", std::int64_t(accessor.count));
    member(json, "type", accessor.type);
    if (accessor.boundsSize > 0) {
        json.key("min");
        writeFloats(json, accessor.min, accessor.boundsSize);
        json.key("max");
        writeFloats(json, accessor.max, accessor.boundsSize);
    }
    if (accessor.sparseCount > 0) {
        json.key("sparse");
        json.beginObject();
        member(json, "count", std::int64_t(accessor.sparseCount));
        json.key("indices");
        json.beginObject();
        member(json, "bufferView", accessor.sparseIndices);
        member(json, "componentType", accessor.sparseIndexType);
        json.endObject();
        json.key("values");
        json.beginObject();
        member(json, "bufferView", accessor.sparseValues);
        json.endObject();
        json.endObject();
    }
    json.endObject();
}

void writeMaterial(JsonWriter& json, const Material& material)
{
    json.beginObject();
    member(json, "name", material.name);
    json.key("pbrMetallicRoughness");
    json.beginObject();
    if (material.image >= 0) {
        json.key("baseColorTexture");
        json.beginObject();
        member(json, "index", material.image);
        json.endObject();
    }
    // Old models know no metalness; the default of 1 would render them black.
    member(json, "metallicFactor", 0);
    json.endObject();
    // Their triangles face either way.
    json.key("doubleSided");
    json.boolean(true);
    if (!material.externalTexture.empty() || !material.imageNote.empty()) {
        json.key("extras");
        json.beginObject();
        if (!material.externalTexture.empty()) {
            member(json, "texture", material.externalTexture);
        }
        if (!material.imageNote.empty()) {
            member(json, "image", material.imageNote);
        }
        json.endObject();
    }
    json.endObject();
}

void writeMesh(JsonWriter& json, const MeshPlan& mesh, const Plan& plan)
{
    json.beginObject();
    member(json, "name", mesh.name);
    json.key("primitives");
    json.beginArray();
    for (const Primitive& primitive : mesh.primitives) {
        json.beginObject();
        json.key("attributes");
        json.beginObject();
        member(json, "POSITION", mesh.position);
        if (mesh.normal >= 0) {
            member(json, "NORMAL", mesh.normal);
        }
        member(json, "TEXCOORD_0", mesh.texCoord);
        json.endObject();
        member(json, "indices", primitive.indices);
        member(json, "material", primitive.material);
        member(json, "mode", kTriangles);
        if (mesh.animated()) {
            json.key("targets");
            json.beginArray();
            for (const Target& target : mesh.targets) {
                json.beginObject();
                member(json, "POSITION", target.position);
                if (target.normal >= 0) {
                    member(json, "NORMAL", target.normal);
                }
                json.endObject();
            }
            json.endArray();
        }
        json.endObject();
    }
    json.endArray();
    if (mesh.animated()) {
        json.key("weights");
        json.beginArray();
        for (std::size_t k = 0; k < mesh.targets.size(); ++k) {
            json.number(0);
        }
        json.endArray();
        // A widely read convention for naming morph targets.
        json.key("extras");
        json.beginObject();
        json.key("targetNames");
        json.beginArray();
        for (const Frame& frame : (*plan.geometries)[mesh.group].mesh().frames) {
            json.string(frame.name);
        }
        json.endArray();
        json.endObject();
    }
    json.endObject();
}

std::string writeJson(const ExportOptions& options, const Plan& plan, const std::string* binUri)
{
    std::ostringstream text;
    JsonWriter json(text);
    json.beginObject();
    json.key("asset");
    json.beginObject();
    member(json, "version", "2.0");
    member(json, "generator", options.generator);
    json.endObject();

    member(json, "scene", 0);
    json.key("scenes");
    json.beginArray();
    json.beginObject();
    json.key("nodes");
    json.beginArray();
    json.number(0);
    json.endArray();
    json.endObject();
    json.endArray();

    json.key("nodes");
    json.beginArray();
    json.beginObject();
    member(json, "name", "root");
    json.key("rotation");
    json.beginArray();
    for (const float q : kRootRotation) {
        json.real(q);
    }
    json.endArray();
    if (!plan.meshes.empty()) {
        json.key("children");
        json.beginArray();
        for (std::size_t m = 0; m < plan.meshes.size(); ++m) {
            json.number(std::int64_t(m + 1));
        }
        json.endArray();
    }
    if (!plan.leftOut.empty()) {
        json.key("extras");
        json.beginObject();
        json.key("leftOutGroups");
        json.beginArray();
        for (const LeftOut& left : plan.leftOut) {
            json.beginObject();
            member(json, "index", std::int64_t(left.group));
            member(json, "name", left.name);
            member(json, "type", left.type);
            member(json, "reason", left.reason);
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endObject();
    for (std::size_t m = 0; m < plan.meshes.size(); ++m) {
        json.beginObject();
        member(json, "name", plan.meshes[m].name);
        member(json, "mesh", std::int64_t(m));
        json.endObject();
    }
    json.endArray();

    if (!plan.meshes.empty()) {
        json.key("meshes");
        json.beginArray();
        for (const MeshPlan& mesh : plan.meshes) {
            writeMesh(json, mesh, plan);
        }
        json.endArray();
    }
    if (!plan.materials.empty()) {
        json.key("materials");
        json.beginArray();
        for (const Material& material : plan.materials) {
            writeMaterial(json, material);
        }
        json.endArray();
    }
    if (!plan.images.empty()) {
        // One texture per image, in the same order.
        json.key("textures");
        json.beginArray();
        for (std::size_t i = 0; i < plan.images.size(); ++i) {
            json.beginObject();
            member(json, "sampler", 0);
            member(json, "source", std::int64_t(i));
            json.endObject();
        }
        json.endArray();
        json.key("samplers");
        json.beginArray();
        json.beginObject();
        member(json, "magFilter", kNearest);
        member(json, "minFilter", kNearest);
        json.endObject();
        json.endArray();
        json.key("images");
        json.beginArray();
        for (const Image& image : plan.images) {
            json.beginObject();
            if (image.view >= 0) {
                member(json, "bufferView", image.view);
                member(json, "mimeType", "image/png");
            } else {
                member(json, "uri", image.uri);
            }
            json.endObject();
        }
        json.endArray();
    }

    if (std::ranges::any_of(plan.meshes, &MeshPlan::animated)) {
        json.key("animations");
        json.beginArray();
        json.beginObject();
        member(json, "name", "frames");
        json.key("samplers");
        json.beginArray();
        for (const MeshPlan& mesh : plan.meshes) {
            if (!mesh.animated()) continue;
            json.beginObject();
            member(json, "input", mesh.times);
            member(json, "output", mesh.weights);
            member(json, "interpolation", "STEP");
            json.endObject();
        }
        json.endArray();
        json.key("channels");
        json.beginArray();
        std::int64_t sampler = 0;
        for (std::size_t m = 0; m < plan.meshes.size(); ++m) {
            if (!plan.meshes[m].animated()) continue;
            json.beginObject();
            member(json, "sampler", sampler++);
            json.key("target");
            json.beginObject();
            member(json, "node", std::int64_t(m + 1));
            member(json, "path", "weights");
            json.endObject();
            json.endObject();
        }
        json.endArray();
        json.endObject();
        json.endArray();
    }

    if (!plan.accessors.empty()) {
        json.key("accessors");
        json.beginArray();
        for (const Accessor& accessor : plan.accessors) {
            writeAccessor(json, accessor);
        }
        json.endArray();
    }
    if (plan.binaryLength > 0) {
        json.key("bufferViews");
        json.beginArray();
        for (const View& view : plan.views) {
            json.beginObject();
            member(json, "buffer", 0);
            member(json, "byteOffset", std::int64_t(view.offset));
            member(json, "byteLength", std::int64_t(view.length));
            if (view.target != 0) {
                member(json, "target", view.target);
            }
            json.endObject();
        }
        json.endArray();
        json.key("buffers");
        json.beginArray();
        json.beginObject();
        if (binUri != nullptr) {
            member(json, "uri", *binUri);
        }
        member(json, "byteLength", std::int64_t(plan.binaryLength));
        json.endObject();
        json.endArray();
    }
    json.endObject();
    return std::move(text).str();
}

// --- Binary data ---------------------------------------------------------------

// Gathers the binary data in large buffers, which a writer thread hands to
// the sink while the next are filled; checks that every view starts and
// ends where the plan put it.
class BinaryStream {
  public:
    BinaryStream(ByteSink& sink, const Plan& plan) : writer_(sink), plan_(plan), buffer_(writer_.buffer()) {}

    // Room for `count` bytes (at most a buffer's size), to be filled
    // before the next call.
    std::uint8_t* room(std::size_t count)
    {
        if (buffer_.size() - used_ < count) flush();
        std::uint8_t* const p = buffer_.data() + used_;
        used_ += count;
        position_ += count;
        return p;
    }

    void beginView(std::int64_t view)
    {
        const View& planned = plan_.views[std::size_t(view)];
        if (position_ > planned.offset) consistent_ = false;
        while (position_ < planned.offset) {
            *room(1) = 0;
        }
        viewEnd_ = planned.offset + planned.length;
    }

    void endView()
    {
        if (position_ != viewEnd_) consistent_ = false;
    }

    void bytes(const std::string& data)
    {
        for (std::size_t done = 0; done < data.size();) {
            if (used_ == buffer_.size()) flush();
            const std::size_t n = std::min(data.size() - done, buffer_.size() - used_);
            std::memcpy(buffer_.data() + used_, data.data() + done, n);
            used_ += n;
            position_ += n;
            done += n;
        }
    }

    // Zeros up to the chunk's four-byte end, then the last bytes out.
    bool finish(std::uint64_t paddedEnd)
    {
        if (position_ != plan_.binaryLength) consistent_ = false;
        while (position_ < paddedEnd) {
            *room(1) = 0;
        }
        writer_.submit(used_);
        used_ = 0;
        return writer_.finish();
    }

    [[nodiscard]] bool consistent() const { return consistent_; }

  private:
    void flush()
    {
        writer_.submit(used_);
        used_ = 0;
        buffer_ = writer_.buffer();
    }

    BackgroundWriter writer_;
    const Plan& plan_;
    std::span<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t viewEnd_ = 0;
    bool consistent_ = true;
};

void storeVec3(std::uint8_t* p, const Vec3& v)
{
    storeF32(p, v.x);
    storeF32(p + 4, v.y);
    storeF32(p + 8, v.z);
}

// Writes `count` elements of `size` bytes, fill(i, p) storing element i at
// p: a block of them at a time, so the buffer is asked once per block.
template <typename Fill>
void writeElements(BinaryStream& out, std::size_t count, std::size_t size, Fill&& fill)
{
    constexpr std::size_t kBlock = 4096;
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t n = std::min(kBlock, count - first);
        std::uint8_t* p = out.room(n * size);
        for (std::size_t i = 0; i < n; ++i, p += size) {
            fill(first + i, p);
        }
    }
}

// Writes view `view`: `count` indices, index(k) the k-th, as unsigned 16-
// or 32-bit integers as `componentType` says.
template <typename Index>
void writeIndexList(BinaryStream& out, std::int64_t view, int componentType, std::size_t count, Index&& index)
{
    out.beginView(view);
    if (componentType == kUnsignedShort) {
        writeElements(out, count, 2,
                      [&](std::size_t k, std::uint8_t* p) { storeU16(p, std::uint16_t(index(k))); });
    } else {
        writeElements(out, count, 4,
                      [&](std::size_t k, std::uint8_t* p) { storeU32(p, std::uint32_t(index(k))); });
    }
    out.endView();
}

void writeValues(BinaryStream& out, std::int64_t view, const std::vector<Vec3>& values)
{
    out.beginView(view);
    writeElements(out, values.size(), 12, [&](std::size_t i, std::uint8_t* p) { storeVec3(p, values[i]); });
    out.endView();
}

// Per mesh tables of the write, kept from mesh to mesh.
struct WriteTables {
    std::vector<Vec3> normals;
    std::vector<TexCoord> slotValues;
};

// Streams a mesh's data in the planned order.
void writeMeshData(BinaryStream& out, const Plan& plan, const MeshPlan& meshPlan, WriteTables& tables)
{
    const MeshGeometry& geometry = (*plan.geometries)[meshPlan.group];
    const std::size_t n = geometry.vertexCount();
    out.beginView(plan.accessors[std::size_t(meshPlan.position)].view);
    writeElements(out, n, 12, [&](std::size_t o, std::uint8_t* p) {
        storeVec3(p, geometry.basePosition(geometry.sourceOf(o)));
    });
    out.endView();
    if (meshPlan.normal >= 0) {
        // Normalised once per source vertex, not once per output vertex.
        std::vector<Vec3>& normals = tables.normals;
        normals.resize(geometry.sourceVertexCount());
        for (std::size_t s = 0; s < normals.size(); ++s) {
            normals[s] = geometry.baseNormal(std::int32_t(s));
        }
        out.beginView(plan.accessors[std::size_t(meshPlan.normal)].view);
        writeElements(out, n, 12, [&](std::size_t o, std::uint8_t* p) {
            storeVec3(p, normals[std::size_t(geometry.sourceOf(o))]);
        });
        out.endView();
    }
    geometry.fillSlotValues(tables.slotValues);
    out.beginView(plan.accessors[std::size_t(meshPlan.texCoord)].view);
    writeElements(out, n, 8, [&](std::size_t o, std::uint8_t* p) {
        const TexCoord& texCoord = tables.slotValues[geometry.slotOf(o)];
        storeF32(p, texCoord.s);
        storeF32(p + 4, texCoord.t);
    });
    out.endView();
    for (std::size_t p = 0; p < meshPlan.primitives.size(); ++p) {
        const Accessor& indices = plan.accessors[std::size_t(meshPlan.primitives[p].indices)];
        const std::size_t first = geometry.firstIndex(p);
        const std::size_t count = geometry.firstIndex(p + 1) - first;
        writeIndexList(out, indices.view, indices.componentType, count,
                       [&](std::size_t k) { return geometry.index(first + k); });
    }
    if (!meshPlan.animated()) return;

    MorphTargetBuilder builder(geometry);
    MorphTarget target;
    for (std::size_t f = 0; f < meshPlan.targets.size(); ++f) {
        builder.build(geometry.mesh().frames[f], target);
        const Accessor& position = plan.accessors[std::size_t(meshPlan.targets[f].position)];
        if (target.dense) {
            writeValues(out, position.view, target.position);
            if (meshPlan.targets[f].normal >= 0) {
                writeValues(out, plan.accessors[std::size_t(meshPlan.targets[f].normal)].view, target.normal);
            }
        } else if (position.sparseCount > 0) {
            writeIndexList(out, position.sparseIndices, position.sparseIndexType, target.indices.size(),
                           [&](std::size_t k) { return target.indices[k]; });
            writeValues(out, position.sparseValues, target.position);
            if (meshPlan.targets[f].normal >= 0) {
                const Accessor& normal = plan.accessors[std::size_t(meshPlan.targets[f].normal)];
                writeValues(out, normal.sparseValues, target.normal);
            }
        }
    }
    // Frame k shows at k / 10 s with weight 1 on target k alone: the
    // weights are a sparse frames x frames identity.
    const std::size_t frames = meshPlan.targets.size();
    out.beginView(plan.accessors[std::size_t(meshPlan.times)].view);
    writeElements(out, frames, 4,
                  [&](std::size_t k, std::uint8_t* p) { storeF32(p, float(k) * kSecondsPerFrame); });
    out.endView();
    const Accessor& weights = plan.accessors[std::size_t(meshPlan.weights)];
    writeIndexList(out, weights.sparseIndices, weights.sparseIndexType, frames,
                   [&](std::size_t k) { return k * frames + k; });
    out.beginView(weights.sparseValues);
    writeElements(out, frames, 4, [&](std::size_t, std::uint8_t* p) { storeF32(p, 1.0f); });
    out.endView();
}

bool writeBinary(ByteSink& sink, const Plan& plan, std::uint64_t paddedEnd, ExportReport& report)
{
    BinaryStream out(sink, plan);
    WriteTables tables;
    for (const MeshPlan& meshPlan : plan.meshes) {
        writeMeshData(out, plan, meshPlan, tables);
    }
    for (const Image& image : plan.images) {
        if (image.view < 0) continue;
        out.beginView(image.view);
        out.bytes(image.png);
        out.endView();
    }
    if (!out.finish(paddedEnd)) {
        report.failure = "the binary data could not be written";
        return false;
    }
    if (!out.consistent()) {
        report.failure = "internal error: the binary data differs from its plan";
        return false;
    }
    return true;
}

// Completes the geometries (`own` when none were given) and plans.
bool plan(const Model& model, const ExportOptions& options, MeshGeometries* geometries,
          std::optional<MeshGeometries>& own, Plan& result, ExportReport& report)
{
    report = ExportReport{};
    if (geometries == nullptr) geometries = &own.emplace();
    if (model.groups) geometries->complete(*model.groups);
    result.geometries = geometries;
    Planner planner(model, options, report);
    return planner.run(result);
}

} // namespace

bool exportGlb(const Model& model, const ExportOptions& options, ByteSink& out, ExportReport& report,
               MeshGeometries* geometries)
{
    std::optional<MeshGeometries> own;
    Plan planned;
    if (!plan(model, options, geometries, own, planned, report)) return false;
    std::string json = writeJson(options, planned, nullptr);
    // The JSON chunk is padded with spaces, the binary one with zeros.
    json.resize(padded(json.size()), ' ');
    const std::uint64_t binaryChunk = padded(planned.binaryLength);
    const std::uint64_t total = kGlbHeaderSize + kChunkHeaderSize + json.size() +
                                (binaryChunk > 0 ? kChunkHeaderSize + binaryChunk : 0);
    if (total > 0xFFFFFFFFu) {
        report.failure = "the output would take " + std::to_string(total) +
                         " bytes; a .glb file holds at most 4294967295 (write a .gltf instead)";
        return false;
    }
    if (total > options.maxOutputBytes) return refuseSize(report, total, options.maxOutputBytes);

    std::uint8_t header[kGlbHeaderSize + kChunkHeaderSize];
    storeU32(header, kGlbMagic);
    storeU32(header + 4, 2);
    storeU32(header + 8, std::uint32_t(total));
    storeU32(header + 12, std::uint32_t(json.size()));
    storeU32(header + 16, kChunkJson);
    if (!out.write(header, sizeof header) || !out.write(json.data(), json.size())) {
        report.failure = "the output could not be written";
        return false;
    }
    report.jsonBytes = json.size();
    report.binaryBytes = planned.binaryLength;
    if (binaryChunk == 0) return true;
    std::uint8_t chunk[kChunkHeaderSize];
    storeU32(chunk, std::uint32_t(binaryChunk));
    storeU32(chunk + 4, kChunkBinary);
    if (!out.write(chunk, sizeof chunk)) {
        report.failure = "the output could not be written";
        return false;
    }
    return writeBinary(out, planned, binaryChunk, report);
}

bool exportGltf(const Model& model, const ExportOptions& options, ByteSink& json, ByteSink& bin,
                std::string_view binUri, ExportReport& report, MeshGeometries* geometries)
{
    std::optional<MeshGeometries> own;
    Plan planned;
    if (!plan(model, options, geometries, own, planned, report)) return false;
    const std::string uri = uriEncode(binUri);
    const std::string text = writeJson(options, planned, &uri);
    const std::uint64_t total = text.size() + planned.binaryLength;
    if (total > options.maxOutputBytes) return refuseSize(report, total, options.maxOutputBytes);
    if (!json.write(text.data(), text.size())) {
        report.failure = "the JSON file could not be written";
        return false;
    }
    report.jsonBytes = text.size();
    if (planned.binaryLength == 0) return true;
    if (!writeBinary(bin, planned, planned.binaryLength, report)) return false;
    report.binaryBytes = planned.binaryLength;
    return true;
}

} // namespace kelvane::scene::gltf
