// The split run in-process, with the level-file library replaced by a
// recorder. The tool's exit codes and the output files' exact bytes are
// checked end to end in KelvaneEndToEndTest.cpp.
#include "app/SplitDriver.h"

#include "level/Wmpio.h"
#include "mdl/ByteOrder.h"
#include "mdl/NormalTable.h"

#include "SplitTestModels.h"
#include "support/Mdl7Builder.h"
#include "support/Mdl7Dump.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::addMesh;
using test::addOtherGroup;
using test::DumpedModel;
using test::dumpMdl7;
using test::exists;
using test::Mdl7Builder;
using test::MeshDesc;
using test::readText;

// What reached the level-file library.
struct LevelCall {
    std::string op{};   // "create", "object", "close"
    std::string text{}; // create: the path; object: the object's name
    std::array<std::int32_t, 5> args{};
    std::string typeName{};
    std::array<double, 3> position{};
};

class RecordingBackend final : public WmpioBackend {
  public:
    RecordingBackend() : previous_(setWmpioBackend(this)) {}
    ~RecordingBackend() override { setWmpioBackend(previous_); }
    RecordingBackend(const RecordingBackend&) = delete;
    RecordingBackend& operator=(const RecordingBackend&) = delete;

    void create(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                std::int32_t a5) override
    {
        calls.push_back({.op = "create", .text = path, .args = {a1, a2, a3, a4, a5}});
        failed_ = failCreate;
    }
    void registerBuffer(const WmpBufferDesc*) override {}
    void addObject(const WmpObjectDesc* object, const WmpObjectAux*, const WmpPayloadDesc*, std::int32_t,
                   std::int32_t*) override
    {
        calls.push_back({.op = "object",
                         .text = object->name,
                         .typeName = object->typeName,
                         .position = {object->position[0], object->position[1], object->position[2]}});
    }
    void close() override
    {
        calls.push_back({.op = "close"});
        failed_ = failed_ || failClose;
    }
    bool failed() const override { return failed_; }

    std::vector<std::string> ops() const
    {
        std::vector<std::string> result;
        for (const LevelCall& call : calls)
            result.push_back(call.op);
        return result;
    }

    std::vector<LevelCall> calls;
    bool failCreate = false;
    bool failClose = false;

  private:
    WmpioBackend* previous_;
    bool failed_ = false;
};

struct SplitResult {
    bool completed = false;
    std::string out;
    std::string err;
};

SplitResult split(const std::string& input, const Options& options = {})
{
    std::ostringstream out, err;
    SplitDriver driver(options, out, err);
    SplitResult r;
    r.completed = driver.run(input.c_str());
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string headerLine(const Mdl7Builder& b, std::int32_t groupCount)
{
    return "0 " + std::to_string(groupCount) + " " + std::to_string(b.bytes().size()) + " 0 0\n";
}

Options withOffsetMeshAndLevel()
{
    Options options;
    options.offsetMesh = 1;
    options.writeWmp = 1;
    return options;
}

TEST(SplitDriverTest, WritesMeshGroupsUnderTheirIndexAndSkipsOthers)
{
    test::TempDir dir;
    Mdl7Builder b;
    addMesh(b, {.name = "first",
                .skins = {"wood"},
                .texCoords = 1,
                .triangleSkins = {0},
                .vertices = {{.x = 0, .y = 0, .z = 0}, {.x = 2, .y = 4, .z = -6}}});
    addOtherGroup(b, 2, 8);
    addMesh(b, {.name = "third",
                .triangleSkins = {0},
                .vertices = {{.x = 1, .y = 1, .z = 1}, {.x = 3, .y = 1, .z = 1}, {.x = 2, .y = 5, .z = 1}},
                .frames = 1});
    const std::string input = b.writeTo(dir.path("ship.mdl"));
    RecordingBackend level;

    const SplitResult r = split(input, withOffsetMeshAndLevel());
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.err, "");
    const std::string first = dir.path("ship000.mdl");
    const std::string third = dir.path("ship002.mdl");
    EXPECT_EQ(r.out, headerLine(b, 3) + "first 1 1 1 2 0\n" + first + "\nskin: wood\nthird 0 0 1 3 1\n" +
                         third + "\n");
    EXPECT_FALSE(exists(dir.path("ship001.mdl")));
    EXPECT_EQ(readText(dir.path("ship_pos.txt")),
              first + "   1.000000 2.000000 -3.000000\n" + third + "   2.000000 3.000000 1.000000\n");

    // The table outlives the group: the third group's first triangle picks
    // skin 0, read with the first group. Frames are left behind.
    const DumpedModel model = dumpMdl7(third);
    ASSERT_TRUE(model.ok) << model.error;
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_EQ(model.groups[0].name, "third");
    EXPECT_EQ(model.groups[0].frameCount, 0);
    ASSERT_EQ(model.groups[0].skins.size(), 1u);
    EXPECT_EQ(model.groups[0].skins[0].name, "wood");

    const DumpedModel offsets = dumpMdl7(dir.path("ship_off.mdl"));
    ASSERT_TRUE(offsets.ok) << offsets.error;
    ASSERT_EQ(offsets.groups.size(), 1u);
    EXPECT_EQ(offsets.groups[0].name, "");
    ASSERT_EQ(offsets.groups[0].vertices.size(), 2u);
    EXPECT_EQ(offsets.groups[0].vertices[1].x, 2.0f);
    EXPECT_EQ(offsets.groups[0].vertices[1].y, 3.0f);
    EXPECT_EQ(offsets.groups[0].vertices[1].boneIndex, 0);
    EXPECT_EQ(offsets.groups[0].triangleCount, 0);

    ASSERT_EQ(level.ops(), (std::vector<std::string>{"create", "object", "object", "object", "close"}));
    EXPECT_EQ(level.calls[0].text, dir.path("ship.wmp"));
    EXPECT_EQ(level.calls[0].args, (std::array<std::int32_t, 5>{0, 4, 4, 0, 0}));
    EXPECT_EQ(level.calls[1].typeName, "level");
    EXPECT_EQ(level.calls[2].typeName, "model");
    EXPECT_EQ(level.calls[2].text, first);
    EXPECT_EQ(level.calls[2].position, (std::array<double, 3>{1, 2, -3}));
    EXPECT_EQ(level.calls[3].text, third);
}

TEST(SplitDriverTest, GroupWithoutVerticesKeepsOnlyItsHeaders)
{
    test::TempDir dir;
    Mdl7Builder b;
    // The triangles cannot be read (there is no vertex for them to use); they
    // are stepped over, so the frame and the next group are found where they are.
    addMesh(b, {.name = "empty", .texCoords = 2, .triangleSkins = {0, 0}, .frames = 1});
    addMesh(b, {.name = "next", .triangleSkins = {0}, .vertices = {{.x = 4, .y = 4, .z = 4}}});
    const std::string input = b.writeTo(dir.path("ship.mdl"));
    RecordingBackend level;

    const SplitResult r = split(input, withOffsetMeshAndLevel());
    EXPECT_TRUE(r.completed) << r.err;
    EXPECT_EQ(r.out, headerLine(b, 2) + "empty 0 2 2 0 1\n" + dir.path("ship000.mdl") + "\nnext 0 0 1 1 0\n" +
                         dir.path("ship001.mdl") + "\n");
    EXPECT_EQ(readText(dir.path("ship_pos.txt")),
              dir.path("ship001.mdl") + "   4.000000 4.000000 4.000000\n");

    const DumpedModel empty = dumpMdl7(dir.path("ship000.mdl"));
    ASSERT_TRUE(empty.ok) << empty.error;
    EXPECT_EQ(empty.modelDataSize, 48 + 44);
    EXPECT_EQ(empty.groups[0].name, "empty");
    EXPECT_EQ(empty.groups[0].texCoordCount + empty.groups[0].triangleCount + empty.groups[0].vertexCount, 0);

    const DumpedModel offsets = dumpMdl7(dir.path("ship_off.mdl"));
    ASSERT_TRUE(offsets.ok);
    EXPECT_EQ(offsets.groups[0].vertices.size(), 1u);
    EXPECT_EQ(level.ops(), (std::vector<std::string>{"create", "object", "object", "close"}));
}

TEST(SplitDriverTest, ModelWithoutGroupsLeavesEmptyPositionsAndACompleteOffsetMesh)
{
    test::TempDir dir;
    Mdl7Builder b;
    const std::string input = b.writeTo(dir.path("ship.mdl"));
    RecordingBackend level;

    const SplitResult r = split(input, withOffsetMeshAndLevel());
    EXPECT_TRUE(r.completed) << r.err;
    EXPECT_EQ(r.out, "0 0 48 0 0\n");
    EXPECT_TRUE(exists(dir.path("ship_pos.txt")));
    EXPECT_EQ(readText(dir.path("ship_pos.txt")), "");
    const DumpedModel offsets = dumpMdl7(dir.path("ship_off.mdl"));
    ASSERT_TRUE(offsets.ok) << offsets.error;
    EXPECT_EQ(offsets.groupCount, 1);
    EXPECT_EQ(offsets.modelDataSize, 48 + 44);
    EXPECT_EQ(offsets.groups[0].vertexCount, 0);
    // The level file is closed although none was created.
    EXPECT_EQ(level.ops(), std::vector<std::string>{"close"});
}

// Three skins in the first group; the later groups have none and choose
// among them by their first triangle.
std::string skinChoiceModel(const test::TempDir& dir)
{
    const std::vector<Mdl7Builder::Vertex> three = {{.x = 0}, {.x = 1}, {.x = 2}};
    Mdl7Builder b;
    addMesh(b, {.name = "a", .skins = {"s0", "s1", "s2"}, .triangleSkins = {2, 1}, .vertices = three});
    addMesh(b, {.name = "b", .triangleSkins = {1}, .vertices = three});
    addMesh(b, {.name = "c", .vertices = three}); // no triangle to choose by
    addMesh(b, {.name = "d", .triangleSkins = {-1, 2}, .vertices = three});
    return b.writeTo(dir.path("ship.mdl"));
}

struct GroupSkins {
    std::vector<std::string> names; // skin names, or texture file names for kind 7
    std::vector<std::int32_t> triangleSkins;
};

GroupSkins skinsOf(const std::string& path)
{
    GroupSkins result;
    const DumpedModel model = dumpMdl7(path);
    EXPECT_TRUE(model.ok) << model.error;
    if (!model.ok || model.groups.empty()) return result;
    for (const auto& skin : model.groups[0].skins) {
        result.names.push_back(skin.type == 7 ? std::string(skin.image.c_str()) : skin.name);
    }
    for (const auto& triangle : model.groups[0].triangles)
        result.triangleSkins.push_back(triangle.skinIndex);
    return result;
}

using Names = std::vector<std::string>;
using Indices = std::vector<std::int32_t>;

TEST(SplitDriverTest, FirstTriangleChoosesTheSkin)
{
    {
        test::TempDir dir;
        const SplitResult r = split(skinChoiceModel(dir));
        ASSERT_TRUE(r.completed) << r.err;
        GroupSkins g = skinsOf(dir.path("ship000.mdl"));
        EXPECT_EQ(g.names, Names{"s2"});
        EXPECT_EQ(g.triangleSkins, (Indices{0, 0}));
        EXPECT_EQ(skinsOf(dir.path("ship001.mdl")).names, Names{"s1"});
        // No triangle, or a first triangle with skin -1: every skin.
        EXPECT_EQ(skinsOf(dir.path("ship002.mdl")).names, (Names{"s0", "s1", "s2"}));
        g = skinsOf(dir.path("ship003.mdl"));
        EXPECT_EQ(g.names, (Names{"s0", "s1", "s2"}));
        EXPECT_EQ(g.triangleSkins, (Indices{0, 0}));
    }
    {
        test::TempDir dir;
        Options options;
        options.allSkins = 1;
        const SplitResult r = split(skinChoiceModel(dir), options);
        ASSERT_TRUE(r.completed) << r.err;
        const GroupSkins g = skinsOf(dir.path("ship000.mdl"));
        EXPECT_EQ(g.names, (Names{"s0", "s1", "s2"}));
        EXPECT_EQ(g.triangleSkins, (Indices{2, 1}));
        EXPECT_EQ(skinsOf(dir.path("ship003.mdl")).triangleSkins, (Indices{-1, 2}));
    }
}

TEST(SplitDriverTest, NormalMapOfTheChosenSkinFollowsIt)
{
    Options options;
    options.externalTextures = 1;
    options.normalMaps = 1;
    std::strcpy(options.textureExt, "tga");
    {
        test::TempDir dir;
        const SplitResult r = split(skinChoiceModel(dir), options);
        ASSERT_TRUE(r.completed) << r.err;
        EXPECT_EQ(skinsOf(dir.path("ship000.mdl")).names, (Names{"s2.tga", "s2_nm.tga"}));
        EXPECT_EQ(skinsOf(dir.path("ship001.mdl")).names, (Names{"s1.tga", "s1_nm.tga"}));
        EXPECT_EQ(skinsOf(dir.path("ship002.mdl")).names,
                  (Names{"s0.tga", "s1.tga", "s2.tga", "s0_nm.tga", "s1_nm.tga", "s2_nm.tga"}));
    }
    {
        // Skin indices whose normal-map place lies outside the table: one
        // skin, so the place is 1 + k. k = -2 gives -1, which must not be
        // taken as "every skin"; k = INT_MAX must not wrap around.
        test::TempDir dir;
        const std::vector<Mdl7Builder::Vertex> one = {{.x = 1}};
        Mdl7Builder b;
        addMesh(b, {.name = "a", .skins = {"only"}, .triangleSkins = {-2}, .vertices = one});
        addMesh(b, {.name = "b", .triangleSkins = {INT_MAX}, .vertices = one});
        addMesh(b, {.name = "c", .triangleSkins = {2}, .vertices = one});
        const SplitResult r = split(b.writeTo(dir.path("ship.mdl")), options);
        ASSERT_TRUE(r.completed) << r.err;
        EXPECT_EQ(skinsOf(dir.path("ship000.mdl")).names, Names{});
        EXPECT_EQ(skinsOf(dir.path("ship001.mdl")).names, Names{});
        // Skin 2 of a two-record table is not there; its normal-map place 3 neither.
        EXPECT_EQ(skinsOf(dir.path("ship002.mdl")).names, Names{});
    }
}

TEST(SplitDriverTest, KeepsTheNormalsOfRecordsWithoutStoredNormals)
{
    float tableX = 0, tableY = 0, tableZ = 0;
    ASSERT_TRUE(NormalTable::normalFromIndex(5, tableX, tableY, tableZ));
    for (const std::uint16_t recordSize : {std::uint16_t(16), std::uint16_t(14), std::uint16_t(20)}) {
        SCOPED_TRACE(recordSize);
        test::TempDir dir;
        Mdl7Builder b;
        b.setRecordSize(mdl7::header::kVertexRecordSize, recordSize);
        addMesh(b, {.name = "n",
                    .triangleSkins = {0},
                    .vertices = {{.x = 1, .index = 2, .normalIndex = 5},
                                 {.x = 3, .index = 4, .normalIndex = 500}}});
        const SplitResult r = split(b.writeTo(dir.path("ship.mdl")));
        ASSERT_TRUE(r.completed) << r.err;
        const DumpedModel model = dumpMdl7(dir.path("ship000.mdl"));
        ASSERT_TRUE(model.ok) << model.error;
        ASSERT_EQ(model.groups[0].vertices.size(), 2u);
        const test::DumpedVertex& v0 = model.groups[0].vertices[0];
        const test::DumpedVertex& v1 = model.groups[0].vertices[1];
        EXPECT_EQ(v0.x, -1.0f);
        EXPECT_EQ(v1.boneIndex, 4);
        if (recordSize == 16) {
            EXPECT_EQ(v0.nx, tableX);
            EXPECT_EQ(v0.ny, tableY);
            EXPECT_EQ(v0.nz, tableZ);
        } else {
            EXPECT_EQ(v0.nx, 0.0f);
            EXPECT_EQ(v0.nz, 0.0f);
        }
        // An index outside the table gives a zero normal.
        EXPECT_EQ(v1.nx, 0.0f);
        EXPECT_EQ(v1.ny, 0.0f);
        EXPECT_EQ(v1.nz, 0.0f);
    }
}

TEST(SplitDriverTest, BoundingBoxIsDefinedForNaNCoordinates)
{
    test::TempDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Mdl7Builder b;
    addMesh(b, {.name = "n",
                .triangleSkins = {0},
                .vertices = {{.x = nan, .y = 0, .z = 0}, {.x = 2, .y = 1, .z = 1}}});
    const SplitResult r = split(b.writeTo(dir.path("ship.mdl")));
    ASSERT_TRUE(r.completed) << r.err;
    // The NaN of the first vertex is replaced by the next coordinate, as
    // "not less than" and "not greater than" hold for every comparison
    // with NaN.
    EXPECT_EQ(readText(dir.path("ship_pos.txt")),
              dir.path("ship000.mdl") + "   2.000000 0.500000 0.500000\n");
    const DumpedModel model = dumpMdl7(dir.path("ship000.mdl"));
    ASSERT_TRUE(model.ok);
    EXPECT_TRUE(std::isnan(model.groups[0].vertices[0].x));
    EXPECT_EQ(model.groups[0].vertices[1].x, 0.0f);
}

// --- Runs that stop ---------------------------------------------------------------

TEST(SplitDriverTest, StopsOnCountsThatCannotFitBeforeCreatingTheGroupFile)
{
    struct Case {
        const char* what;
        Mdl7Builder::Group group;
        const char* expectedInMessage;
    };
    const Case cases[] = {
        {"negative skins", {.name = "g", .skinCount = -1}, "skin count -1"},
        {"negative texture coordinates", {.name = "g", .texCoordCount = -3}, "texture coordinate count -3"},
        {"negative triangles", {.name = "g", .triangleCount = INT_MIN}, "triangle count -2147483648"},
        {"negative vertices", {.name = "g", .vertexCount = -1}, "vertex count -1"},
        {"too many skins", {.name = "g", .skinCount = 2}, "2 skin records of 28 bytes"},
        {"too many texture coordinates",
         {.name = "g", .texCoordCount = 1 << 28},
         "268435456 texture coordinate"},
        {"too many triangles",
         {.name = "g", .triangleCount = 2, .vertexCount = 0},
         "2 triangle records of 26"},
        {"too many vertices", {.name = "g", .vertexCount = INT_MAX}, "2147483647 vertex records"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        Mdl7Builder b;
        b.group(c.group).fill(40); // 40 bytes of data after the group header
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        const SplitResult r = split(input);
        EXPECT_FALSE(r.completed);
        const auto& g = c.group;
        EXPECT_EQ(r.out, headerLine(b, 1) + "g " + std::to_string(g.skinCount) + " " +
                             std::to_string(g.texCoordCount) + " " + std::to_string(g.triangleCount) + " " +
                             std::to_string(g.vertexCount) + " 0\n");
        EXPECT_NE(r.err.find(input + ": group 0: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expectedInMessage), std::string::npos) << r.err;
        EXPECT_FALSE(exists(dir.path("ship000.mdl")));
    }

    // A stored record size of 0 does not let a huge count through.
    test::TempDir dir;
    Mdl7Builder b;
    b.setRecordSize(mdl7::header::kVertexRecordSize, 0);
    b.group({.name = "g", .vertexCount = 1 << 30}).fill(40);
    const SplitResult r = split(b.writeTo(dir.path("ship.mdl")));
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(exists(dir.path("ship000.mdl")));
}

TEST(SplitDriverTest, StopsOnAGroupCountThatCannotFitBeforeTheLevelFile)
{
    for (const std::int32_t groupCount : {-1, 3, INT_MAX}) {
        SCOPED_TRACE(groupCount);
        test::TempDir dir;
        Mdl7Builder b;
        b.setGroupCount(groupCount);
        addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}}); // room for one group only
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        RecordingBackend level;
        const SplitResult r = split(input, withOffsetMeshAndLevel());
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.out, headerLine(b, groupCount));
        EXPECT_NE(r.err.find(input + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(std::to_string(groupCount) + " groups"), std::string::npos) << r.err;
        EXPECT_TRUE(level.calls.empty());
        EXPECT_FALSE(exists(dir.path("ship000.mdl")));
    }
}

TEST(SplitDriverTest, StopsWhereTheDataEndsAndLeavesWhatWasWritten)
{
    test::TempDir dir;
    Mdl7Builder b;
    addMesh(b, {.name = "done", .triangleSkins = {0}, .vertices = {{.x = 2}, {.x = 4}}});
    // Each kind of record fits in what is left after the group header, all of
    // them together do not: the vertices run out at vertex 1.
    addMesh(b, {.name = "cut", .triangleSkins = {0, 0, 0}, .vertices = {{.x = 1}, {.x = 2}, {.x = 3}}});
    const std::string input = b.writeTo(dir.path("ship.mdl"), b.bytes().size() - 26 - 10);
    RecordingBackend level;

    const SplitResult r = split(input, withOffsetMeshAndLevel());
    EXPECT_FALSE(r.completed);
    const std::string done = dir.path("ship000.mdl");
    const std::string cut = dir.path("ship001.mdl");
    EXPECT_EQ(r.out, headerLine(b, 2) + "done 0 0 1 2 0\n" + done + "\ncut 0 0 3 3 0\n" + cut + "\n");
    EXPECT_EQ(r.err, "Kelvane: " + input + ": group 1: vertex 1 of 3: the data ends at offset " +
                         std::to_string(b.bytes().size() - 26 - 10) + "\n");

    EXPECT_TRUE(dumpMdl7(done).ok) << "a group finished before the failure is complete";
    EXPECT_EQ(readText(dir.path("ship_pos.txt")), done + "   3.000000 0.000000 0.000000\n");
    // The group in hand keeps what was written, under its provisional headers.
    const std::vector<std::uint8_t> partial = test::readFileBytes(cut);
    ASSERT_EQ(partial.size(), 48u + 44u + 3 * 26u);
    EXPECT_EQ(loadI32(&partial[mdl7::header::kGroupCount]), 0);
    EXPECT_EQ(loadI32(&partial[48 + mdl7::group::kTriangleCount]), 0);
    // The offset mesh has its vertex but was not finished; the level file not closed.
    EXPECT_EQ(test::readFileBytes(dir.path("ship_off.mdl")).size(), 48u + 44u + 26u);
    EXPECT_EQ(level.ops(), (std::vector<std::string>{"create", "object", "object"}));
}

TEST(SplitDriverTest, DroppedSkinsAreReportedAndNamedByTheStopTheyCause)
{
    test::TempDir dir;
    const auto runOn = [&](const Mdl7Builder& b, std::size_t length) {
        return split(b.writeTo(dir.path("ship.mdl"), length));
    };
    const std::string prefix = "Kelvane: " + dir.path("ship.mdl") + ": group 0: ";
    {
        // Refused without reading its material record, which the triangle
        // is then read from.
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = 1, .triangleCount = 1, .vertexCount = 1});
        b.skin({.type = 0x14, .width = 0, .height = 1, .name = "m"}).fill(68, 0xFF);
        b.triangle({}).vertex({});
        const SplitResult r = runOn(b, b.bytes().size());
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.err,
                  prefix + "skin 0 of 1 (\"m\") is dropped: an image of kind 4 cannot be 0 x 1 pixels\n" +
                      prefix + "triangle 0 uses vertex 65535 of 1 (after skin 0 of 1 (\"m\") was dropped)\n");
    }
    {
        // The data ends inside skin 1: the skins after it are summed up, and
        // the stop blames skin 1, not the texture coordinate after it.
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = 4, .texCoordCount = 2, .triangleCount = 1, .vertexCount = 1});
        b.skin({.type = 4, .width = 1, .height = 1, .name = "a"}).raw("rgb");
        b.skin({.type = 4, .width = 16, .height = 16, .name = "b"}).fill(768);
        const std::size_t imageAt = 48 + 44 + 28 + 3 + 28;
        const SplitResult r = runOn(b, imageAt + 200);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.out,
                  headerLine(b, 1) + "g 4 2 1 1 0\n" + dir.path("ship000.mdl") + "\nskin: a\nskin: b\n");
        const std::string why =
            "its image (16 x 16, 3 bytes per pixel) does not fit in the 200 bytes left at offset " +
            std::to_string(imageAt) + "\n";
        EXPECT_EQ(r.err, prefix + "skin 1 of 4 (\"b\") is dropped: " + why + prefix +
                             "skins 2 to 3 are dropped: the data ended in skin 1\n" + prefix +
                             "skin 1 of 4 (\"b\"): " + why);
    }
}

TEST(SplitDriverTest, NamesTheMissingVertexOfATriangle)
{
    test::TempDir dir;
    Mdl7Builder b;
    b.group({.name = "g", .triangleCount = 1, .vertexCount = 3});
    b.triangle({.vertex = {0, 5, 1}});
    b.vertex({}).vertex({}).vertex({});
    const std::string input = b.writeTo(dir.path("ship.mdl"));
    const SplitResult r = split(input);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.err, "Kelvane: " + input + ": group 0: triangle 0 uses vertex 5 of 3\n");
}

TEST(SplitDriverTest, InputThatCannotBeUsedCreatesNothing)
{
    Mdl7Builder oldFormat;
    oldFormat.setMagic("MDL5");
    Mdl7Builder noData;
    noData.setModelDataSize(40);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes; // not written for "missing.mdl"; a folder for "folder.mdl"
        std::string why;
    };
    const Case cases[] = {
        {"missing.mdl", {}, "cannot be opened: No such file or directory"},
        {"folder.mdl", {}, "is a directory"},
        {"empty.mdl", {}, "is not an MDL7 file (it is empty)"},
        {"old.mdl", oldFormat.bytes(), "is not an MDL7 file (it starts with \"MDL5\", not \"MDL7\")"},
        {"cut.mdl",
         {'M', 'D', 'L', '7', 0},
         "is not an MDL7 file (it has 5 bytes, fewer than the 48 of the file header)"},
        {"nodata.mdl", noData.bytes(),
         "is not an MDL7 file (the header's data sizes add up to 40, less than the 48 bytes of the header "
         "itself)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string input = dir.path(c.name);
        if (c.name == std::string("folder.mdl")) {
            ASSERT_TRUE(std::filesystem::create_directory(input));
        } else if (c.name != std::string("missing.mdl")) {
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(c.bytes.data()),
                       static_cast<std::streamsize>(c.bytes.size()));
        }
        RecordingBackend level;
        const SplitResult r = split(input, withOffsetMeshAndLevel());
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Kelvane: " + input + ": " + c.why + "\n");
        const auto entries = std::distance(std::filesystem::directory_iterator(dir.root()), {});
        EXPECT_EQ(entries, c.name == std::string("missing.mdl") ? 0 : 1) << "no output is created";
        EXPECT_TRUE(level.calls.empty());
    }
    {
        const SplitResult r = split("a.m");
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("Kelvane: a.m: ", 0), 0u) << r.err;
    }
}

TEST(SplitDriverTest, StopsWhenAnOutputCannotBeCreated)
{
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    for (const char* blocked : {"ship_pos.txt", "ship_off.mdl", "ship000.mdl"}) {
        SCOPED_TRACE(blocked);
        test::TempDir dir;
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        // A folder of the output's name: the file cannot be created, even by root.
        ASSERT_TRUE(std::filesystem::create_directory(dir.path(blocked)));
        const SplitResult r = split(input, Options{.offsetMesh = 1});
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.err.rfind("Kelvane: " + dir.path(blocked) + ": cannot be created", 0), 0u) << r.err;
    }
}

TEST(SplitDriverTest, ReportsALevelFileThatCannotBeCreatedOrWritten)
{
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    Options options;
    options.writeWmp = 1;
    {
        test::TempDir dir;
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        RecordingBackend level;
        level.failCreate = true;
        const SplitResult r = split(input, options);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.out, headerLine(b, 1)) << "stops before the first group";
        EXPECT_EQ(r.err, "Kelvane: " + dir.path("ship.wmp") + ": cannot be created\n");
        EXPECT_FALSE(exists(dir.path("ship000.mdl")));
    }
    {
        test::TempDir dir;
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        RecordingBackend level;
        level.failClose = true;
        const SplitResult r = split(input, options);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.err, "Kelvane: " + dir.path("ship.wmp") + ": could not be written completely\n");
        EXPECT_TRUE(dumpMdl7(dir.path("ship000.mdl")).ok);
        EXPECT_EQ(level.ops().back(), "close");
    }
}

TEST(SplitDriverTest, NeverOverwritesTheInput)
{
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    {
        // The level file of an input "ship.wmp" would be the input itself.
        test::TempDir dir;
        const std::string input = b.writeTo(dir.path("ship.wmp"));
        Options options;
        options.writeWmp = 1;
        const SplitResult r = split(input, options);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(r.err, "Kelvane: " + input + ": is the input file itself; it is not overwritten\n");
        EXPECT_EQ(test::readFileBytes(input), b.bytes());
        EXPECT_FALSE(exists(dir.path("ship_pos.txt")));
        // Without --wmp the same input splits as usual.
        EXPECT_TRUE(split(input, Options{}).completed);
    }
#ifndef _WIN32
    {
        // A group file name that is a link to the input.
        test::TempDir dir;
        const std::string input = b.writeTo(dir.path("ship.mdl"));
        std::filesystem::create_symlink(input, dir.path("ship000.mdl"));
        const SplitResult r = split(input, Options{});
        EXPECT_FALSE(r.completed);
        EXPECT_NE(r.err.find("ship000.mdl: is the input file itself"), std::string::npos) << r.err;
        EXPECT_EQ(test::readFileBytes(input), b.bytes());
    }
#endif
}

} // namespace
} // namespace kelvane
