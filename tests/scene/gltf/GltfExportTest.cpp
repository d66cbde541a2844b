// Exports models built in memory and reads them back with tinygltf.
#include "scene/gltf/GltfExport.h"

#include "mdl/NormalTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#ifdef KELVANE_HAVE_TINYGLTF
#include "GltfReadBack.h"
#endif

namespace kelvane::scene::gltf {
namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Vertex vertex(float x, float y, float z, Vec3 normal = {0, 0, 1}, bool hasNormal = true)
{
    Vertex v;
    v.position = {x, y, z};
    v.normal = normal;
    v.hasNormal = hasNormal;
    return v;
}

Triangle triangle(std::array<std::int32_t, 3> vertices, std::array<std::int32_t, 3> texCoords,
                  std::int32_t skin = 0)
{
    Triangle t;
    t.vertexIndex = vertices;
    t.texCoordIndex = texCoords;
    t.skinIndex = skin;
    return t;
}

Model modelOf(std::vector<Group> groups)
{
    Model model;
    model.format = "MDL7";
    model.groups = std::move(groups);
    return model;
}

Group meshGroup(std::string name, Mesh mesh)
{
    Group group;
    group.name = std::move(name);
    group.mesh = std::move(mesh);
    return group;
}

// A square of two triangles; vertex 2 is used with two texture coordinates.
Mesh square()
{
    Mesh mesh;
    mesh.hasSkinIndex = true;
    mesh.vertices = {vertex(0, 0, 0), vertex(1, 0, 0, {0, 0, 2}), vertex(1, 1, 0, {0, 3, 4}),
                     vertex(0, 1, 0)};
    mesh.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}};
    mesh.triangles = {triangle({0, 1, 2}, {0, 1, 2}), triangle({0, 2, 3}, {0, 4, 3})};
    return mesh;
}

std::string exportToGlb(const Model& model, ExportReport& report, const ExportOptions& options = {})
{
    StringSink out;
    EXPECT_TRUE(exportGlb(model, options, out, report)) << report.failure;
    return out.bytes;
}

TEST(GltfExportTest, RefusesOutputLargerThanTheLimitWithoutWritingAnything)
{
    ExportOptions options;
    options.maxOutputBytes = 200;
    StringSink out;
    ExportReport report;
    EXPECT_FALSE(exportGlb(modelOf({meshGroup("body", square())}), options, out, report));
    EXPECT_EQ(out.bytes, "");
    EXPECT_NE(report.failure.find("more than the 200 allowed"), std::string::npos) << report.failure;

    StringSink json, bin;
    EXPECT_FALSE(exportGltf(modelOf({meshGroup("body", square())}), options, json, bin, "a.bin", report));
    EXPECT_EQ(json.bytes + bin.bytes, "");
}

TEST(GltfExportTest, GltfJsonNamesItsBinaryDataByAnEncodedUri)
{
    StringSink json, bin;
    ExportReport report;
    ASSERT_TRUE(exportGltf(modelOf({meshGroup("body", square())}), {}, json, bin, "my model.bin", report));
    EXPECT_NE(json.bytes.find(R"("buffers":[{"uri":"my%20model.bin","byteLength":)" +
                              std::to_string(bin.bytes.size()) + "}]"),
              std::string::npos)
        << json.bytes;
    EXPECT_EQ(report.binaryBytes, bin.bytes.size());
}

TEST(GltfExportTest, ReportsASinkThatRefusesBytes)
{
    class FullSink final : public ByteSink {
      public:
        bool write(const void*, std::size_t) override { return false; }
    } full;
    ExportReport report;
    EXPECT_FALSE(exportGlb(modelOf({meshGroup("body", square())}), {}, full, report));
    EXPECT_NE(report.failure, "");
}

TEST(GltfExportTest, GlbContainerHasAlignedChunksAndExactLengths)
{
    ExportReport report;
    const std::string glb = exportToGlb(modelOf({meshGroup("body", square())}), report);
    ASSERT_GE(glb.size(), 28u);
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, glb.data() + at, 4);
        return v;
    };
    EXPECT_EQ(glb.substr(0, 4), "glTF");
    EXPECT_EQ(u32(4), 2u);
    EXPECT_EQ(u32(8), glb.size());
    const std::uint32_t jsonLength = u32(12);
    EXPECT_EQ(jsonLength % 4, 0u);
    EXPECT_EQ(glb.substr(16, 4), "JSON");
    const std::size_t binary = 20 + jsonLength;
    EXPECT_EQ(u32(binary) % 4, 0u);
    EXPECT_EQ(glb.substr(binary + 4, 4), std::string("BIN\0", 4));
    EXPECT_EQ(binary + 8 + u32(binary), glb.size());
}

#ifdef KELVANE_HAVE_TINYGLTF

Skin skin(std::string name, ImageLayout layout, std::uint8_t type = 0)
{
    Skin s;
    s.name = std::move(name);
    s.layout = layout;
    s.type = type;
    return s;
}

using test::Corner;
using test::DrawnPrimitive;
using test::Floats;

tinygltf::Model readBack(const std::string& glb)
{
    tinygltf::Model gltf;
    EXPECT_TRUE(test::readGlb(glb, gltf));
    return gltf;
}

tinygltf::Model exportAndRead(const Model& model, ExportReport& report, const ExportOptions& options = {})
{
    return readBack(exportToGlb(model, report, options));
}

std::array<float, 3> p3(float x, float y, float z) { return {x, y, z}; }

TEST(GltfExportTest, UnweldsVertexTexCoordPairsInFirstUseOrder)
{
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("body", square())}), report);
    EXPECT_TRUE(report.warnings.empty());
    ASSERT_EQ(gltf.meshes.size(), 1u);
    EXPECT_EQ(gltf.meshes[0].name, "body");
    const std::vector<DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(drawn.size(), 1u);
    const std::vector<Corner>& c = drawn[0].corners;
    ASSERT_EQ(c.size(), 6u);
    // (0,0) (1,1) (2,2) (0,0) (2,4) (3,3): five distinct pairs.
    const std::vector<std::uint32_t> vertices = {c[0].vertex, c[1].vertex, c[2].vertex,
                                                 c[3].vertex, c[4].vertex, c[5].vertex};
    EXPECT_EQ(vertices, (std::vector<std::uint32_t>{0, 1, 2, 0, 3, 4}));
    EXPECT_EQ(c[4].position, p3(1, 1, 0));
    EXPECT_EQ(c[4].texCoord, (std::array<float, 2>{0.5f, 0.5f}));
    EXPECT_EQ(c[2].texCoord, (std::array<float, 2>{1, 1}));
    // Normals are normalised: (0,0,2) and (0,3,4).
    EXPECT_EQ(c[1].normal, p3(0, 0, 1));
    EXPECT_FLOAT_EQ(c[2].normal[1], 0.6f);
    EXPECT_FLOAT_EQ(c[2].normal[2], 0.8f);
    EXPECT_EQ(drawn[0].indexType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);

    const tinygltf::Accessor& position =
        gltf.accessors[std::size_t(gltf.meshes[0].primitives[0].attributes.at("POSITION"))];
    EXPECT_EQ(position.minValues, (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(position.maxValues, (std::vector<double>{1, 1, 0}));
    EXPECT_EQ(gltf.materials[std::size_t(drawn[0].material)].pbrMetallicRoughness.metallicFactor, 0.0);
}

TEST(GltfExportTest, RootNodeTurnsZUpIntoYUpAndListsLeftOutGroups)
{
    Group bones;
    bones.type = 3;
    bones.name = "bones";
    Mesh empty;
    empty.vertices = {vertex(0, 0, 0)};
    const Model model = modelOf({bones, meshGroup("body", square()), meshGroup("empty", empty)});
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(model, report);
    ASSERT_EQ(gltf.scenes.size(), 1u);
    ASSERT_EQ(gltf.scenes[0].nodes, std::vector<int>{0});
    const tinygltf::Node& root = gltf.nodes[0];
    EXPECT_EQ(root.rotation, (std::vector<double>{-0.70710677, 0, 0, 0.70710677}));
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(gltf.nodes[std::size_t(root.children[0])].name, "body");
    EXPECT_EQ(gltf.nodes[std::size_t(root.children[0])].mesh, 0);
    const tinygltf::Value& left = root.extras.Get("leftOutGroups");
    ASSERT_EQ(left.ArrayLen(), 2u);
    EXPECT_EQ(left.Get(0).Get("index").GetNumberAsInt(), 0);
    EXPECT_EQ(left.Get(0).Get("type").GetNumberAsInt(), 3);
    EXPECT_EQ(left.Get(0).Get("reason").Get<std::string>(), "not a mesh group");
    EXPECT_EQ(left.Get(1).Get("name").Get<std::string>(), "empty");
    EXPECT_EQ(left.Get(1).Get("reason").Get<std::string>(), "no drawable triangle");
}

TEST(GltfExportTest, LeavesOutTrianglesItCannotDrawAndCleansValues)
{
    Mesh mesh = square();
    mesh.vertices.push_back(vertex(kNan, 0, 0));            // 4
    mesh.vertices.push_back(vertex(2, 2, 2, {0, 0, 0}));    // 5: zero normal
    mesh.vertices.push_back(vertex(3, 3, 3, {kInf, 0, 0})); // 6: infinite normal
    mesh.texCoords.push_back({kNan, kInf});                 // 5
    mesh.triangles = {triangle({0, 1, 4}, {0, 0, 0}),       // non-finite position
                      triangle({0, 1, 7}, {0, 0, 0}),       // vertex 7 is missing
                      triangle({0, 1, 2}, {0, 0, 0}),       // flagged by the loader
                      triangle({5, 6, 0}, {-1, 99, 5})};
    mesh.triangles[2].vertexOutside = true;
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("body", mesh)}), report);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "group 0: 2 triangles left out, using a vertex the group does not have",
                  "group 0: 1 triangle left out, using a vertex whose position is not finite"}));
    const std::vector<DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].corners.size(), 3u);
    for (const Corner& corner : drawn[0].corners) {
        EXPECT_EQ(corner.texCoord, (std::array<float, 2>{0, 0}));
    }
    EXPECT_EQ(drawn[0].corners[0].position, p3(2, 2, 2));
    EXPECT_EQ(drawn[0].corners[0].normal, p3(0, 0, 1));
    EXPECT_EQ(drawn[0].corners[1].normal, p3(0, 0, 1));
}

TEST(GltfExportTest, MeshWithoutStoredNormalsHasNoNormalAttribute)
{
    Mesh mesh = square();
    for (Vertex& v : mesh.vertices) {
        v.hasNormal = false;
    }
    mesh.frames.resize(1);
    mesh.frames[0].vertices = {vertex(5, 5, 5, {}, false)};
    mesh.frames[0].vertices[0].index = 1;
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("body", mesh)}), report);
    const tinygltf::Primitive& primitive = gltf.meshes[0].primitives[0];
    EXPECT_EQ(primitive.attributes.count("NORMAL"), 0u);
    ASSERT_EQ(primitive.targets.size(), 1u);
    EXPECT_EQ(primitive.targets[0].count("NORMAL"), 0u);
}

TEST(GltfExportTest, OnePrimitivePerSkinUsedAndADefaultMaterialForTheRest)
{
    Mesh mesh = square();
    mesh.skins = {skin("wood", ImageLayout::kNone), skin("", ImageLayout::kNone)};
    mesh.triangles = {triangle({0, 1, 2}, {0, 1, 2}, 1), triangle({0, 2, 3}, {0, 2, 3}, -1),
                      triangle({1, 2, 3}, {1, 2, 3}, 1), triangle({0, 1, 3}, {0, 1, 3}, 2),
                      triangle({3, 2, 1}, {3, 2, 1}, 0)};
    Mesh noSkinIndex = square();
    noSkinIndex.hasSkinIndex = false;
    noSkinIndex.skins = {skin("only", ImageLayout::kNone)};
    ExportReport report;
    const tinygltf::Model gltf =
        exportAndRead(modelOf({meshGroup("a", mesh), meshGroup("b", noSkinIndex)}), report);
    const std::vector<DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(gltf.materials[std::size_t(drawn[0].material)].name, "wood");
    EXPECT_EQ(gltf.materials[std::size_t(drawn[1].material)].name, "skin 1");
    EXPECT_EQ(gltf.materials[std::size_t(drawn[2].material)].name, "default");
    EXPECT_EQ(drawn[0].corners.size(), 3u);
    EXPECT_EQ(drawn[1].corners.size(), 6u); // triangles 0 and 2, in file order
    EXPECT_EQ(drawn[1].corners[3].position, p3(1, 0, 0));
    EXPECT_EQ(drawn[2].corners.size(), 6u);
    // Without skin indices every triangle uses skin 0.
    const std::vector<DrawnPrimitive> second = test::drawnPrimitives(gltf, 1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(gltf.materials[std::size_t(second[0].material)].name, "only");
}

TEST(GltfExportTest, IndicesTurn32BitWhenAVertexIndexPasses65534)
{
    // 65536 distinct texture coordinates on one vertex triple: 65538 output
    // vertices, so the last triangles need 32-bit indices.
    Mesh mesh;
    mesh.vertices = {vertex(0, 0, 0), vertex(1, 0, 0), vertex(0, 1, 0)};
    for (int i = 0; i < 65536; ++i) {
        mesh.texCoords.push_back({float(i), 0});
    }
    for (int i = 0; i + 2 < 65536; i += 3) {
        mesh.triangles.push_back(triangle({0, 1, 2}, {i, i + 1, i + 2}));
    }
    mesh.triangles.push_back(triangle({0, 1, 2}, {65535, 0, 1}));
    Mesh small = square();
    ExportReport report;
    const tinygltf::Model gltf =
        exportAndRead(modelOf({meshGroup("big", mesh), meshGroup("small", small)}), report);
    const std::vector<DrawnPrimitive> big = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].indexType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
    EXPECT_EQ(big[0].corners.back().texCoord[0], 1.0f);
    EXPECT_EQ(big[0].corners[big[0].corners.size() - 3].texCoord[0], 65535.0f);
    EXPECT_EQ(test::drawnPrimitives(gltf, 1)[0].indexType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);
}

TEST(GltfExportTest, IndicesKeepTheirValuesAtThe16BitBoundary)
{
    // Triangle (0, 1, 2) with coordinates 0, 1, 2, then (2, 2, 2) with
    // coordinate i for i from 3 on: output vertex i is coordinate i. 65536
    // output vertices are the most that 16-bit numbers hold, 65537 one more.
    for (const int outputs : {65536, 65537}) {
        SCOPED_TRACE(std::to_string(outputs) + " output vertices");
        Mesh mesh;
        mesh.vertices = {vertex(0, 0, 0), vertex(1, 0, 0), vertex(0, 1, 0)};
        for (int i = 0; i < outputs; ++i) {
            mesh.texCoords.push_back({float(i), 0});
        }
        mesh.triangles.push_back(triangle({0, 1, 2}, {0, 1, 2}));
        for (int i = 3; i < outputs; ++i) {
            mesh.triangles.push_back(triangle({2, 2, 2}, {i, i, i}));
        }
        ExportReport report;
        const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("edge", mesh)}), report);
        const std::vector<DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(drawn[0].indexType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
        ASSERT_EQ(drawn[0].corners.size(), 3 * mesh.triangles.size());
        const Corner& last = drawn[0].corners.back();
        EXPECT_EQ(last.vertex, std::uint32_t(outputs - 1));
        EXPECT_EQ(last.texCoord[0], float(outputs - 1));
        EXPECT_EQ(last.position, p3(0, 1, 0));
    }
}

// Morph targets ---------------------------------------------------------------

Vertex frameVertex(std::int32_t index, float x, float y, float z, Vec3 normal = {0, 0, 1})
{
    Vertex v = vertex(x, y, z, normal);
    v.index = index;
    return v;
}

// The values of target `t`'s attribute per output vertex.
Floats targetValues(const tinygltf::Model& gltf, std::size_t t, const char* attribute)
{
    return test::readFloats(gltf, gltf.meshes[0].primitives[0].targets.at(t).at(attribute));
}

TEST(GltfExportTest, SparseFramesMoveTheVerticesTheyName)
{
    Mesh mesh = square();
    Frame walk;
    walk.name = "walk";
    // Vertex 2 (output vertices 2 and 3) listed twice: the last one wins.
    walk.vertices = {frameVertex(2, 9, 9, 9), frameVertex(7, 1, 1, 1), frameVertex(-1, 1, 1, 1),
                     frameVertex(2, 1, 2, 3, {0, 1, 0}), frameVertex(0, kNan, 0, 0, {kNan, 0, 0})};
    Frame idle;
    idle.name = "idle";
    mesh.frames = {walk, idle};
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("body", mesh)}), report);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "group 0: 2 frame vertices ignored, naming a vertex the group does not have",
                  "group 0: 1 frame vertex left in place, holding a value that is not finite"}));
    const tinygltf::Mesh& out = gltf.meshes[0];
    EXPECT_EQ(out.weights, (std::vector<double>{0, 0}));
    const tinygltf::Value& names = out.extras.Get("targetNames");
    ASSERT_EQ(names.ArrayLen(), 2u);
    EXPECT_EQ(names.Get(0).Get<std::string>(), "walk");
    EXPECT_EQ(names.Get(1).Get<std::string>(), "idle");

    // Output vertices: 0 (v0), 1 (v1), 2 (v2, tc2), 3 (v2, tc4), 4 (v3).
    EXPECT_EQ(targetValues(gltf, 0, "POSITION"), (Floats{0, 0, 0, 0, 0, 0, 0, 1, 3, 0, 1, 3, 0, 0, 0}));
    const Floats normals = targetValues(gltf, 0, "NORMAL");
    EXPECT_FLOAT_EQ(normals[2 * 3 + 1], 1 - 0.6f);
    EXPECT_FLOAT_EQ(normals[2 * 3 + 2], 0 - 0.8f);
    EXPECT_EQ(normals[0], 0.0f);
    EXPECT_EQ(targetValues(gltf, 1, "POSITION"), Floats(15, 0.0f));
    const tinygltf::Accessor& bounds =
        gltf.accessors[std::size_t(out.primitives[0].targets[0].at("POSITION"))];
    EXPECT_EQ(bounds.minValues, (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(bounds.maxValues, (std::vector<double>{0, 1, 3}));
    EXPECT_TRUE(bounds.sparse.isSparse);

    ASSERT_EQ(gltf.animations.size(), 1u);
    const tinygltf::Animation& animation = gltf.animations[0];
    EXPECT_EQ(animation.name, "frames");
    ASSERT_EQ(animation.channels.size(), 1u);
    EXPECT_EQ(animation.channels[0].target_path, "weights");
    EXPECT_EQ(animation.channels[0].target_node, gltf.nodes[0].children[0]);
    const tinygltf::AnimationSampler& sampler =
        animation.samplers[std::size_t(animation.channels[0].sampler)];
    EXPECT_EQ(sampler.interpolation, "STEP");
    EXPECT_EQ(test::readFloats(gltf, sampler.input), (Floats{0, 0.1f}));
    EXPECT_EQ(test::readFloats(gltf, sampler.output), (Floats{1, 0, 0, 1}));
}

TEST(GltfExportTest, NoAnimationWritesTheBasePoseAlone)
{
    Mesh mesh = square();
    mesh.frames.resize(3);
    ExportOptions options;
    options.animation = false;
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("body", mesh)}), report, options);
    EXPECT_TRUE(gltf.meshes[0].primitives[0].targets.empty());
    EXPECT_TRUE(gltf.animations.empty());
}

TEST(GltfExportTest, FramesThatWouldSwellTheJsonAreLeftOut)
{
    // Every primitive lists every target: 65 skins x 64600 frames passes
    // the limit of 2^22 target references. A mesh of 65536 frames passes
    // what one animation's sparse weights can address.
    Mesh skins = square();
    for (std::int32_t s = 0; s < 65; ++s) {
        skins.skins.push_back(skin("", ImageLayout::kNone));
        skins.triangles.push_back(triangle({0, 1, 2}, {0, 1, 2}, s));
    }
    skins.frames.resize(64600);
    Mesh frames = square();
    frames.frames.resize(65536);
    Mesh few = square();
    few.frames.resize(2);
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(
        modelOf({meshGroup("skins", skins), meshGroup("frames", frames), meshGroup("few", few)}), report);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "group 0: 64600 frames on 65 skins make more morph targets than the export holds; exported "
                  "without "
                  "them",
                  "group 1: 65536 frames are more than one animation holds; exported without them"}));
    EXPECT_TRUE(gltf.meshes[0].primitives[0].targets.empty());
    EXPECT_TRUE(gltf.meshes[1].primitives[0].targets.empty());
    EXPECT_EQ(gltf.meshes[2].primitives[0].targets.size(), 2u);
    ASSERT_EQ(gltf.animations.size(), 1u);
    EXPECT_EQ(gltf.animations[0].channels.size(), 1u);
}

// The older formats' shape: no vertices, packed frames, texture
// coordinates by vertex with seam flags, texel coordinates.
Mesh packedMesh()
{
    Mesh mesh;
    mesh.texCoordsByVertex = true;
    mesh.texCoordDivisor = {8, 4};
    mesh.packedScale = {0.5f, 1, 2};
    mesh.packedTranslate = {10, 20, 30};
    mesh.texCoords = {{0, 0}, {2, 1}, {4, 4}};
    mesh.onSeam = {1, 0, 0};
    Triangle front = triangle({0, 1, 2}, {-1, -1, -1});
    Triangle back = triangle({2, 1, 0}, {-1, -1, -1});
    back.facesFront = false;
    mesh.triangles = {front, back};
    Frame first;
    first.name = "stand1";
    first.packedVertices = {{{2, 4, 6}, 5}, {{0, 0, 0}, 0}, {{255, 1, 1}, 200}}; // 200: outside the table
    Frame second = first;
    second.name = "stand2";
    second.packedVertices[1] = {{4, 0, 0}, 32};
    mesh.frames = {first, second};
    return mesh;
}

TEST(GltfExportTest, PackedFramesGiveTheBasePoseAndDenseTargets)
{
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("", packedMesh())}), report);
    EXPECT_EQ(gltf.meshes[0].name, "group 0");
    const std::vector<DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(drawn.size(), 1u);
    const std::vector<Corner>& c = drawn[0].corners;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[0].position, p3(11, 24, 42));
    EXPECT_EQ(c[2].position, p3(137.5f, 21, 32));
    // Texel coordinates over the skin size; the back-facing triangle's
    // seam vertex 0 moves half a skin right.
    EXPECT_EQ(c[0].texCoord, (std::array<float, 2>{0, 0}));
    EXPECT_EQ(c[1].texCoord, (std::array<float, 2>{0.25f, 0.25f}));
    EXPECT_EQ(c[5].texCoord, (std::array<float, 2>{0.5f, 0}));
    EXPECT_NE(c[0].vertex, c[5].vertex);
    EXPECT_EQ(c[1].vertex, c[4].vertex);
    // Table normals: 5 is (0,0,1); an index outside the table gives (0,0,1).
    EXPECT_EQ(c[0].normal, p3(0, 0, 1));
    EXPECT_EQ(c[2].normal, p3(0, 0, 1));
    float x = 0, y = 0, z = 0;
    ASSERT_TRUE(NormalTable::normalFromIndex(0, x, y, z));
    EXPECT_NEAR(c[1].normal[0], x, 1e-6);

    const tinygltf::Accessor& target =
        gltf.accessors[std::size_t(gltf.meshes[0].primitives[0].targets[1].at("POSITION"))];
    EXPECT_FALSE(target.sparse.isSparse);
    const Floats moved = targetValues(gltf, 1, "POSITION");
    EXPECT_EQ(moved, (Floats{0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(targetValues(gltf, 0, "POSITION"), Floats(12, 0.0f));
    const Floats turned = targetValues(gltf, 1, "NORMAL");
    EXPECT_NEAR(turned[3 + 1], 1 - y, 1e-6); // table 32 is (0, 1, 0)
}

TEST(GltfExportTest, FramesCarryingTheirOwnUnpackingUseIt)
{
    Mesh mesh = packedMesh();
    mesh.frames[0].scale = Vec3{1, 1, 1};
    mesh.frames[0].translate = Vec3{0, 0, 0};
    mesh.frames[1].scale = Vec3{kInf, 1, 1};
    mesh.frames[1].translate = Vec3{0, 0, 0};
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("m", mesh)}), report);
    EXPECT_EQ(test::drawnPrimitives(gltf, 0)[0].corners[0].position, p3(2, 4, 6));
    // Frame 2 unpacks to an infinite x for every vertex.
    EXPECT_EQ(targetValues(gltf, 1, "POSITION"), Floats(12, 0.0f));
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0],
              "group 0: 3 frame vertices left in place, holding a value that is not finite");
}

// Skins --------------------------------------------------------------------

TEST(GltfExportTest, SkinsBecomeTexturesOrSayWhyNot)
{
    Mesh mesh = square();
    Skin png = skin("a", ImageLayout::kExternal, 7);
    png.externalFile = "tex/My Wood:1.PNG";
    Skin tga = skin("b", ImageLayout::kExternal, 7);
    tga.externalFile = "wood.tga";
    Skin indexed = skin("c", ImageLayout::kIndexed8, 0);
    indexed.width = 2;
    indexed.height = 1;
    indexed.pixels = {1, 2};
    mesh.skins = {png, tga, indexed, skin("d", ImageLayout::kUndefined, 4)};
    mesh.triangles.clear();
    for (std::int32_t s = 0; s < 4; ++s) {
        mesh.triangles.push_back(triangle({0, 1, 2}, {0, 1, 2}, s));
    }

    std::array<std::uint8_t, 768> palette{};
    for (std::size_t i = 0; i < 768; ++i) {
        palette[i] = std::uint8_t(i * 7);
    }
    ExportOptions options;
    options.palette = palette;
    ExportReport report;
    const tinygltf::Model gltf = exportAndRead(modelOf({meshGroup("m", mesh)}), report, options);
    EXPECT_TRUE(report.warnings.empty());
    ASSERT_EQ(gltf.materials.size(), 4u);
    ASSERT_EQ(gltf.images.size(), 2u);
    const auto imageOf = [&](std::size_t m) {
        const int texture = gltf.materials[m].pbrMetallicRoughness.baseColorTexture.index;
        return texture < 0 ? -1 : gltf.textures[std::size_t(texture)].source;
    };
    EXPECT_EQ(gltf.images[std::size_t(imageOf(0))].uri, "tex/My%20Wood%3A1.PNG");
    EXPECT_EQ(imageOf(1), -1);
    EXPECT_EQ(gltf.materials[1].extras.Get("texture").Get<std::string>(), "wood.tga");
    const tinygltf::Image& embedded = gltf.images[std::size_t(imageOf(2))];
    EXPECT_EQ(embedded.mimeType, "image/png");
    EXPECT_GE(embedded.bufferView, 0);
    ASSERT_EQ(embedded.width, 2);
    ASSERT_EQ(embedded.height, 1);
    ASSERT_EQ(embedded.component, 4);
    EXPECT_EQ(std::vector<unsigned char>(embedded.image.begin(), embedded.image.end()),
              (std::vector<unsigned char>{palette[3], palette[4], palette[5], 255, palette[6], palette[7],
                                          palette[8], 255}));
    EXPECT_EQ(imageOf(3), -1);
    EXPECT_EQ(gltf.materials[3].extras.Get("image").Get<std::string>(),
              "image kind 4 has no defined pixel layout; not exported");

    // Without a palette the 8-bit skin has no texture, and the user hears why.
    const tinygltf::Model plain = exportAndRead(modelOf({meshGroup("m", mesh)}), report);
    EXPECT_EQ(plain.images.size(), 1u);
    EXPECT_EQ(plain.materials[2].extras.Get("image").Get<std::string>(),
              "8-bit palette indices; no palette was given, so no texture");
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{
                  "1 skin of 8-bit palette indices left without a texture: no palette was given"});
}

#endif

} // namespace
} // namespace kelvane::scene::gltf
