// Loads MDL7 files made by the test builder and checks the model against a
// walk of the same file with the reader's single-record reads.
#include "scene/Mdl7Loader.h"

#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "scene/LoadModel.h"
#include "support/Mdl7Builder.h"
#include "support/Mdl7Samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <tuple>

// The largest request made of operator new while `watching` is set: this
// suite replaces the global operator new and delete to see every allocation.
namespace {
std::atomic<bool> watching{false};
std::atomic<std::size_t> largestRequest{0};
} // namespace

void* operator new(std::size_t size)
{
    if (watching && size > largestRequest) largestRequest = size;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// The pointers come from the operator new above, which takes them from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace kelvane::scene {
namespace {

using test::Mdl7Builder;

// Walks `path` one record per call and expects `model`, loaded in `mode`, to
// hold what each read hands out, up to the first read that fails; there the
// model holds no more. Skins, bones and the parts after the groups are read
// one by one by the loader as well, and mdlinfo's tests show them.
void expectModelMatchesReader(const std::string& path, const Model& model, LoadMode mode = LoadMode::kWhole)
{
    Mdl7Reader reader;
    ASSERT_GE(reader.open(path.c_str()), 0);
    std::int32_t boneCount = 0, groupCount = 0, sizes[3] = {};
    ASSERT_TRUE(reader.readHeader(boneCount, groupCount, sizes[0], sizes[1], sizes[2]));
    if (!reader.skipBones()) return;
    ASSERT_TRUE(model.groups);
    const std::vector<Group>& groups = *model.groups;
    const std::uint16_t triangleSize = reader.triangleRecordSize();
    const std::uint16_t vertexSize = reader.vertexRecordSize();
    for (std::size_t g = 0; g < std::size_t(groupCount); ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0, c[5] = {};
        char name[16];
        if (!reader.readGroupHeader(type, groupDataSize, name)) {
            EXPECT_EQ(groups.size(), g);
            return;
        }
        ASSERT_LT(g, groups.size());
        EXPECT_EQ(groups[g].name, name);
        EXPECT_EQ(groups[g].groupDataSize, groupDataSize);
        ASSERT_EQ(groups[g].mesh.has_value(), type == mdl7::kMeshGroupType);
        if (!groups[g].mesh) {
            if (!reader.skipGroup()) return;
            continue;
        }
        const Mesh& mesh = *groups[g].mesh;
        ASSERT_TRUE(reader.readGroupCounts(c[0], c[1], c[2], c[3], c[4]));
        EXPECT_EQ(mesh.counts.triangleCount, c[2]);
        if (!reader.skipSkins()) return;
        for (std::size_t i = 0; i < std::size_t(c[1]); ++i) {
            float s = 0, t = 0;
            if (!reader.readTexCoord(s, t)) {
                EXPECT_EQ(mesh.texCoords.size(), i);
                return;
            }
            ASSERT_LT(i, mesh.texCoords.size());
            EXPECT_EQ(mesh.texCoords[i].s, s);
            EXPECT_EQ(mesh.texCoords[i].t, t);
        }
        EXPECT_EQ(mesh.texCoords.size(), std::size_t(c[1]));
        for (std::size_t i = 0; i < std::size_t(c[2]); ++i) {
            std::int32_t v[3] = {}, tc[3] = {}, skin = 0, tc2[3] = {}, skin2 = 0;
            const std::int32_t before = reader.tell();
            const bool accepted = reader.readTriangleBothSets(v[0], v[1], v[2], tc[0], tc[1], tc[2], skin,
                                                              tc2[0], tc2[1], tc2[2], skin2);
            if (!accepted && reader.tell() - before != triangleSize) {
                EXPECT_EQ(mesh.triangles.size(), i);
                return;
            }
            ASSERT_LT(i, mesh.triangles.size());
            const Triangle& t = mesh.triangles[i];
            EXPECT_EQ(t.vertexOutside, !accepted) << "triangle " << i;
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(t.vertexIndex[k], v[k]) << "triangle " << i;
                EXPECT_EQ(t.texCoordIndex[k], tc[k]) << "triangle " << i;
            }
            EXPECT_EQ(t.skinIndex, skin) << "triangle " << i;
            if (triangleSize < mdl7::triangle::kSizeWithSecondSet || mode != LoadMode::kWhole) continue;
            ASSERT_LT(i, mesh.secondSets.size());
            EXPECT_EQ(mesh.secondSets[i].texCoordIndex[2], tc2[2]) << "triangle " << i;
            EXPECT_EQ(mesh.secondSets[i].skinIndex, skin2) << "triangle " << i;
        }
        EXPECT_EQ(mesh.hasSkinIndex, triangleSize >= mdl7::triangle::kSizeWithSkin);
        // An export does not use the second set: its load does not keep it.
        const bool keepsSecondSets =
            triangleSize >= mdl7::triangle::kSizeWithSecondSet && mode == LoadMode::kWhole;
        EXPECT_EQ(mesh.secondSets.size(), keepsSecondSets ? mesh.triangles.size() : 0);
        for (std::size_t i = 0; i < std::size_t(c[3]); ++i) {
            Vertex expected;
            Vec3& n = expected.normal;
            n.x = std::numeric_limits<float>::quiet_NaN();
            if (!reader.readVertex(expected.position.x, expected.position.y, expected.position.z,
                                   expected.index)) {
                {
                    EXPECT_EQ(mesh.vertices.size(), i);
                    return;
                }
            }
            const bool stored = reader.readVertexNormal(n.x, n.y, n.z);
            ASSERT_LT(i, mesh.vertices.size());
            const Vertex& v = mesh.vertices[i];
            EXPECT_EQ(v.position.y, expected.position.y) << "vertex " << i;
            EXPECT_EQ(v.index, expected.index) << "vertex " << i;
            // A table index outside the table leaves the NaN: no normal.
            EXPECT_EQ(v.hasNormal, stored || (vertexSize == 16 && !std::isnan(n.x))) << "vertex " << i;
            if (v.hasNormal) {
                EXPECT_EQ(v.normal.z, n.z) << "vertex " << i;
            }
        }
        EXPECT_EQ(mesh.vertices.size(), std::size_t(c[3]));
        if (!reader.skipFrames()) return;
    }
}

// One mesh group of `count` texture coordinates, triangles and vertices,
// with the given triangle and vertex record sizes, then an opaque group. A
// few triangles, at the ends of the loader's runs of 1,024 among them, name
// a vertex past the group; vertex normal indices run past the table's 162.
Mdl7Builder runModel(std::uint16_t triangleSize, std::uint16_t vertexSize, std::uint16_t count)
{
    Mdl7Builder b;
    b.setRecordSize(mdl7::header::kTriangleRecordSize, triangleSize);
    b.setRecordSize(mdl7::header::kVertexRecordSize, vertexSize);
    b.group({.name = "runs",
             .texCoordCount = count,
             .triangleCount = count,
             .vertexCount = count,
             .frameCount = 1});
    for (std::uint16_t i = 0; i < count; ++i) {
        b.texCoord(i * 0.5f, -float(i));
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        const bool outside = i == 0 || i == 1023 || i == 1024 || i == count - 1;
        b.triangle({.vertex = {i, std::uint16_t(outside ? count + i : 1), std::uint16_t(count - 1 - i)},
                    .texCoord = {i, 0xFFFF, 2},
                    .skinIndex = i * 3,
                    .texCoord2 = {1, 2, i},
                    .skinIndex2 = -i});
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        b.vertex({.x = float(i),
                  .y = -float(i),
                  .index = std::uint16_t(i % 3 == 0 ? 0xFFFF : i),
                  .nz = float(i),
                  .normalIndex = std::uint16_t(i % 170)});
    }
    b.frame({.name = "pose", .frameVertexCount = 1}).frameVertex({.x = 2, .index = 1});
    b.group({.type = 2}).fill(20, 0x5A);
    return b;
}

TEST(Mdl7LoaderTest, HoldsWhatTheReaderHandsOutForEveryRecordLayout)
{
    test::TempDir dir;
    const std::pair<std::uint16_t, std::uint16_t> layouts[] = {{26, 26}, {16, 16}, {12, 20}, {30, 14}};
    for (const auto& [triangleSize, vertexSize] : layouts) {
        SCOPED_TRACE("triangles of " + std::to_string(triangleSize) + " bytes");
        const std::string path = runModel(triangleSize, vertexSize, 1030).writeTo(dir.path("runs.mdl"));
        for (const LoadMode mode : {LoadMode::kWhole, LoadMode::kForExport}) {
            const LoadResult loaded = loadModel(path.c_str(), mode);
            EXPECT_TRUE(loaded.complete()) << loaded.failure->place << ": " << loaded.failure->reason;
            expectModelMatchesReader(path, loaded.model, mode);
            EXPECT_EQ(loaded.model.groups->front().mesh->reached, MeshSection::kFrames);
        }
    }
    const std::string sample = test::everyRecordKind().writeTo(dir.path("sample.mdl"));
    const LoadResult loaded = loadModel(sample.c_str());
    EXPECT_TRUE(loaded.complete());
    expectModelMatchesReader(sample, loaded.model);
    // What the model adds to the stored records: the image kinds' meaning,
    // the external file's name without its terminator.
    const Mesh& mesh = *loaded.model.groups->front().mesh;
    EXPECT_EQ(mesh.skins[0].layout, ImageLayout::kUndefined);
    EXPECT_EQ(mesh.skins[1].layout, ImageLayout::kExternal);
    EXPECT_EQ(mesh.skins[1].externalFile, "tex.tga");
}

TEST(Mdl7LoaderTest, KeepsWhatCameBeforeWhereverTheFileIsCut)
{
    test::TempDir dir;
    // The run models hold only parts an export uses, so a load for export
    // stops where a whole load does.
    const std::pair<Mdl7Builder, bool> models[] = {
        {runModel(16, 16, 1030), true}, {runModel(26, 26, 40), true}, {test::everyRecordKind(), false}};
    for (const auto& [model, onlyExported] : models) {
        const std::vector<std::uint8_t> whole = model.bytes();
        for (std::size_t length = 48; length < whole.size(); length += length < 1000 ? 1 : 61) {
            SCOPED_TRACE("cut at " + std::to_string(length));
            const std::string path = model.writeTo(dir.path("cut.mdl"), length);
            for (const LoadMode mode : {LoadMode::kWhole, LoadMode::kForExport}) {
                if (mode == LoadMode::kForExport && !onlyExported) continue;
                const LoadResult loaded = loadModel(path.c_str(), mode);
                ASSERT_TRUE(loaded.openError.empty()) << loaded.openError;
                ASSERT_TRUE(loaded.failure);
                EXPECT_LE(loaded.failure->offset, std::int32_t(length));
                expectModelMatchesReader(path, loaded.model, mode);
            }
        }
    }
}

TEST(Mdl7LoaderTest, AnnouncesEachMeshOnceItIsReadWhole)
{
    // Each announcement: the group, the mesh and its frame count then (the
    // frames are read last).
    class Recorder final : public LoadObserver {
      public:
        void meshLoaded(std::size_t group, Mesh& mesh) override
        {
            seen.emplace_back(group, &mesh, mesh.frames.size());
        }
        std::vector<std::tuple<std::size_t, const Mesh*, std::size_t>> seen;
    } recorder;
    test::TempDir dir;
    Mdl7Builder b = runModel(16, 16, 1030); // a mesh group, then an opaque one
    b.group({.triangleCount = 1, .vertexCount = 3})
        .triangle({.vertex = {0, 1, 2}})
        .vertex({})
        .vertex({})
        .vertex({});
    const std::string path = b.writeTo(dir.path("observed.mdl"));
    LoadResult loaded;
    loadModel(path.c_str(), LoadMode::kForExport, recorder, loaded);
    ASSERT_TRUE(loaded.complete());
    const std::vector<Group>& groups = *loaded.model.groups;
    EXPECT_EQ(recorder.seen, (std::vector<std::tuple<std::size_t, const Mesh*, std::size_t>>{
                                 {0, &*groups[0].mesh, 1}, {2, &*groups[2].mesh, 0}}));
}

TEST(Mdl7LoaderTest, ForExportStepsOverWhatItDoesNotExport)
{
    test::TempDir dir;
    const auto expectWarning = [&](const Mdl7Builder& b, const std::string& place) -> LoadResult {
        SCOPED_TRACE(place);
        const std::string path = b.writeTo(dir.path("part.mdl"));
        const LoadResult whole = loadModel(path.c_str());
        EXPECT_EQ(whole.failure.value_or(LoadFailure{}).place, place);
        LoadResult exported = loadModel(path.c_str(), LoadMode::kForExport);
        EXPECT_TRUE(exported.complete());
        EXPECT_EQ(exported.warnings.size(), 1u);
        EXPECT_EQ(exported.warnings.at(0).place, place);
        EXPECT_EQ(exported.warnings.at(0).offset, whole.failure.value_or(LoadFailure{}).offset);
        return exported;
    };
    const auto meshGroup = [](Mdl7Builder& b, const Mdl7Builder::Group& group) {
        b.group(group).triangle({.vertex = {0, 1, 2}}).vertex({}).vertex({}).vertex({.x = 5});
    };

    // Bones too short to decode: stepped over by their stored size.
    Mdl7Builder bones;
    bones.setRecordSize(mdl7::header::kBoneRecordSize, 12).bone(1, 2, 3, 4).bone(0, 0, 0, 0);
    meshGroup(bones, {.triangleCount = 1, .vertexCount = 3});
    LoadResult loaded = expectWarning(bones, "bone 0");
    EXPECT_EQ(loaded.model.groups->at(0).mesh->vertices.at(2).position.x, 5.0f);

    // Bone transforms too short to decode: the frame's others are stepped
    // over and the next frame is read.
    Mdl7Builder transforms;
    transforms.setRecordSize(mdl7::header::kBoneTransformRecordSize, 60);
    meshGroup(transforms, {.triangleCount = 1, .vertexCount = 3, .frameCount = 2});
    transforms.frame({.frameVertexCount = 1, .boneTransformCount = 2}).frameVertex({});
    transforms.boneTransform(0, {}).boneTransform(1, {});
    transforms.frame({.name = "next", .frameVertexCount = 1}).frameVertex({.x = 7, .index = 2});
    loaded = expectWarning(transforms, "group 0: frame 0: bone transform 0");
    EXPECT_EQ(loaded.model.groups->at(0).mesh->frames.at(1).vertices.at(0).position.x, 7.0f);

    // A deformer cut short, and a trailer too short for its header.
    Mdl7Builder deformer;
    meshGroup(deformer, {.deformerCount = 1, .triangleCount = 1, .vertexCount = 3});
    deformer.deformer({.elementCount = 1, .deformerDataSize = 16 + 28});
    expectWarning(deformer, "deformer 0: element 0");
    Mdl7Builder trailer;
    meshGroup(trailer, {.triangleCount = 1, .vertexCount = 3});
    trailer.beginTrailer().fill(11);
    expectWarning(trailer, "trailer");
}

TEST(Mdl7LoaderTest, CountsAFileClaimsAllocateNothingBeyondItsData)
{
    constexpr std::int32_t kHuge = std::numeric_limits<std::int32_t>::max();
    test::TempDir dir;
    const auto expectSmall = [&](const Mdl7Builder& b, const std::string& place) {
        SCOPED_TRACE(place);
        const std::string path = b.writeTo(dir.path("huge.mdl"));
        largestRequest = 0;
        watching = true;
        const LoadResult loaded = loadModel(path.c_str(), LoadMode::kForExport);
        watching = false;
        EXPECT_LT(largestRequest, std::size_t{64} << 10);
        ASSERT_TRUE(loaded.failure);
        EXPECT_EQ(loaded.failure->place, place);
    };
    // Bones read until the data runs out, then groups of nothing.
    Mdl7Builder groups;
    groups.setBoneCount(kHuge).setGroupCount(kHuge).fill(2000);
    expectSmall(groups, "group 0");
    for (int section = 0; section < 5; ++section) {
        Mdl7Builder b;
        std::int32_t counts[5] = {};
        counts[section] = kHuge;
        b.group({.skinCount = counts[0],
                 .texCoordCount = counts[1],
                 .triangleCount = counts[2],
                 .vertexCount = counts[3],
                 .frameCount = counts[4]});
        b.fill(2000, 0x01);
        const char* places[5] = {"skin 71", "texture coordinate 250", "triangle 76", "vertex 76",
                                 "frame 0: frame vertex 76"};
        expectSmall(b, std::string("group 0: ") + places[section]);
    }
    Mdl7Builder frame;
    frame.group({.frameCount = 1}).frame({.frameVertexCount = kHuge, .boneTransformCount = kHuge}).fill(100);
    expectSmall(frame, "group 0: frame 0: frame vertex 3");
}

} // namespace
} // namespace kelvane::scene
