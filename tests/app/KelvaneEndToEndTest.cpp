// The Kelvane executable run on models made by the test builder: its
// standard output, standard error, exit code and every file it leaves.
//
// Expected model files are made with Mdl7Writer, record by record, so a
// comparison covers every byte, headers and back-patched counts included.
#include "mdl/Mdl7Writer.h"

#include "SplitTestModels.h"
#include "support/Mdl7Builder.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::addMesh;
using test::addOtherGroup;
using test::exists;
using test::filesIn;
using test::kelvane;
using test::Mdl7Builder;
using test::ProcessResult;
using test::readFileBytes;
using test::readText;

// The bytes Mdl7Writer produces for the calls `write` makes between open
// and close.
std::vector<std::uint8_t> written(const std::function<void(Mdl7Writer&)>& write)
{
    test::TempDir dir;
    const std::string path = dir.path("expected.mdl");
    Mdl7Writer writer;
    EXPECT_GE(writer.open(path.c_str()), 0);
    write(writer);
    EXPECT_TRUE(writer.close());
    return readFileBytes(path);
}

// The kind-4 skin addMesh writes: 1 x 1, three bytes "rgb".
void writeImageSkin(Mdl7Writer& w, const char* name)
{
    w.beginSkin(4, name);
    w.setSkinImage(1, 1, 3, false);
    w.writeSkinPixels("rgb", nullptr, nullptr, nullptr);
    w.finishSkin();
}

// A kind-7 reference to the texture file `fileName`.
void writeReferenceSkin(Mdl7Writer& w, const char* name, const std::string& fileName)
{
    w.beginSkin(7, name);
    w.setSkinImage(static_cast<std::int32_t>(fileName.size() + 1), 1, 1, false);
    w.writeSkinPixels(fileName.c_str(), nullptr, nullptr, nullptr);
    w.finishSkin();
}

using Names = std::vector<std::string>;

TEST(KelvaneEndToEndTest, SplitsEveryMeshGroupNextToTheInput)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir.path("models"));
    Mdl7Builder b;
    addMesh(b, {.name = "first",
                .skins = {"wood"},
                .texCoords = 2,
                .triangleSkins = {0},
                .vertices = {{.x = 0, .y = 0, .z = 0, .index = 3, .nx = 0, .ny = 1, .nz = 0},
                             {.x = 2, .y = 4, .z = -6, .index = 0xFFFF, .nx = 1, .ny = 0, .nz = 0}}});
    addOtherGroup(b, 2, 12);
    addMesh(
        b, {.name = "third", .triangleSkins = {0}, .vertices = {{.x = 5, .y = -7, .z = 0.25f}}, .frames = 2});
    addMesh(b, {.name = "empty", .texCoords = 1, .triangleSkins = {0, 0}});
    addMesh(b, {.name = "last",
                .triangleSkins = {0},
                .vertices = {{.x = 1, .y = 1, .z = 1}, {.x = 3, .y = 3, .z = 3}}});
    b.writeTo(dir.path("models/ship.mdl"));

    const ProcessResult r = kelvane(dir, {"models/ship.mdl", "--offsetmesh", "--wmp"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "0 5 " + std::to_string(b.bytes().size()) +
                         " 0 0\n"
                         "first 1 2 1 2 0\nmodels/ship000.mdl\nskin: wood\n"
                         "third 0 0 1 1 2\nmodels/ship002.mdl\n"
                         "empty 0 1 2 0 0\nmodels/ship003.mdl\n"
                         "last 0 0 1 2 0\nmodels/ship004.mdl\n");
    EXPECT_EQ(filesIn(dir.root()), Names{"models"}) << "every output lands beside the input";
    EXPECT_EQ(filesIn(dir.path("models")),
              (Names{"ship.mdl", "ship.wmp", "ship000.mdl", "ship002.mdl", "ship003.mdl", "ship004.mdl",
                     "ship_off.mdl", "ship_pos.txt"}));

    EXPECT_EQ(readText(dir.path("models/ship_pos.txt")), "models/ship000.mdl   1.000000 2.000000 -3.000000\n"
                                                         "models/ship002.mdl   5.000000 -7.000000 0.250000\n"
                                                         "models/ship004.mdl   2.000000 2.000000 2.000000\n");
    // Vertices moved by the centre, bone indices and normals as read; the
    // skin of the first triangle; no frames.
    EXPECT_EQ(readFileBytes(dir.path("models/ship000.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, "first");
                  writeImageSkin(w, "wood");
                  w.writeTexCoord(0, 1);
                  w.writeTexCoord(0.25f, 0.75f);
                  w.writeTriangle(0, 1, 1, 0, -1, 0, 0);
                  w.writeVertex(-1, -2, 3, 3, 0, 1, 0);
                  w.writeVertex(1, 2, -3, -1, 1, 0, 0);
                  w.finishGroup();
              }));
    EXPECT_EQ(readFileBytes(dir.path("models/ship002.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, "third");
                  writeImageSkin(w, "wood");
                  w.writeTriangle(0, 0, 0, 0, -1, 0, 0);
                  w.writeVertex(0, 0, 0, 0, 0, 0, 1);
                  w.finishGroup();
              }));
    EXPECT_EQ(readFileBytes(dir.path("models/ship003.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, "empty");
                  w.finishGroup();
              }));
    EXPECT_EQ(readFileBytes(dir.path("models/ship004.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, "last");
                  writeImageSkin(w, "wood");
                  w.writeTriangle(0, 1, 1, 0, -1, 0, 0);
                  w.writeVertex(-1, -1, -1, 0, 0, 0, 1);
                  w.writeVertex(1, 1, 1, 0, 0, 0, 1);
                  w.finishGroup();
              }));
    EXPECT_EQ(readFileBytes(dir.path("models/ship_off.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, nullptr);
                  w.writeVertex(1, 2, -3, 0, 0, 0, 0);
                  w.writeVertex(5, -7, 0.25f, 0, 0, 0, 0);
                  w.writeVertex(2, 2, 2, 0, 0, 0, 0);
                  w.finishGroup();
              }));

    const std::string level = readText(dir.path("models/ship.wmp"));
    EXPECT_EQ(level.rfind("kelvane-level 1\ncreate path=\"models/ship.wmp\" args=0,6,6,0,0\n", 0), 0u)
        << level;
    EXPECT_NE(level.find("name=\"root\""), std::string::npos);
    EXPECT_NE(level.find("name=\"models/ship000.mdl\" position=1,2,-3 "), std::string::npos) << level;
    EXPECT_NE(level.find("name=\"models/ship004.mdl\" position=2,2,2 "), std::string::npos) << level;
    EXPECT_EQ(level.find("ship003.mdl"), std::string::npos) << "a group without vertices has no entity";
    EXPECT_TRUE(level.ends_with("\nend objects=4\n")) << level;
}

TEST(KelvaneEndToEndTest, ModelWithoutGroups)
{
    test::TempDir dir;
    Mdl7Builder().writeTo(dir.path("ship.mdl"));
    const ProcessResult r = kelvane(dir, {"ship.mdl", "--wmp", "--offsetmesh"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0 0 48 0 0\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(filesIn(dir.root()), (Names{"ship.mdl", "ship_off.mdl", "ship_pos.txt"}));
    EXPECT_EQ(readText(dir.path("ship_pos.txt")), "");
    EXPECT_EQ(readFileBytes(dir.path("ship_off.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, nullptr);
                  w.finishGroup();
              }));
}

// Three skins in the first group, chosen by the later ones.
void writeSkinChoiceModel(const test::TempDir& dir)
{
    const std::vector<Mdl7Builder::Vertex> three = {{.x = 0}, {.x = 2}, {.x = 4}};
    Mdl7Builder b;
    addMesh(b, {.name = "a", .skins = {"s0:x", "s1", "s2"}, .triangleSkins = {2, 1}, .vertices = three});
    addMesh(b, {.name = "b", .triangleSkins = {1}, .vertices = three});
    addMesh(b, {.name = "c", .triangleSkins = {7}, .vertices = three}); // beyond every table
    b.writeTo(dir.path("ship.mdl"));
}

void writeSkinChoiceVertices(Mdl7Writer& w)
{
    w.writeVertex(-2, 0, 0, 0, 0, 0, 1);
    w.writeVertex(0, 0, 0, 0, 0, 0, 1);
    w.writeVertex(2, 0, 0, 0, 0, 0, 1);
}

TEST(KelvaneEndToEndTest, SkinChoiceWithNormalMapsAndWithAll)
{
    {
        test::TempDir dir;
        writeSkinChoiceModel(dir);
        const ProcessResult r = kelvane(dir, {"ship.mdl", "--ext", "tga", "--nm"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "0 3 " + std::to_string(readFileBytes(dir.path("ship.mdl")).size()) +
                             " 0 0\na 3 0 2 3 0\nship000.mdl\nskin: s0:x\nskin: s1\nskin: s2\n"
                             "b 0 0 1 3 0\nship001.mdl\nc 0 0 1 3 0\nship002.mdl\n");
        EXPECT_EQ(readFileBytes(dir.path("ship000.mdl")), written([](Mdl7Writer& w) {
                      w.beginGroup(1, "a");
                      writeReferenceSkin(w, "s2", "s2.tga");
                      writeReferenceSkin(w, "s2", "s2_nm.tga");
                      w.writeTriangle(0, 1, 2, 0, -1, 0, 0);
                      w.writeTriangle(0, 1, 2, 0, -1, 0, 0);
                      writeSkinChoiceVertices(w);
                      w.finishGroup();
                  }));
        // Skin 1 of the table and its normal map at 3 + 1.
        EXPECT_EQ(readFileBytes(dir.path("ship001.mdl")), written([](Mdl7Writer& w) {
                      w.beginGroup(1, "b");
                      writeReferenceSkin(w, "s1", "s1.tga");
                      writeReferenceSkin(w, "s1", "s1_nm.tga");
                      w.writeTriangle(0, 1, 2, 0, -1, 0, 0);
                      writeSkinChoiceVertices(w);
                      w.finishGroup();
                  }));
        EXPECT_EQ(readFileBytes(dir.path("ship002.mdl")), written([](Mdl7Writer& w) {
                      w.beginGroup(1, "c");
                      w.writeTriangle(0, 1, 2, 0, -1, 0, 0);
                      writeSkinChoiceVertices(w);
                      w.finishGroup();
                  }));
    }
    {
        test::TempDir dir;
        writeSkinChoiceModel(dir);
        const ProcessResult r = kelvane(dir, {"ship.mdl", "--all", "--ext", "tga", "--nm"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // Every skin of the table, normal maps included; triangles keep their skins.
        EXPECT_EQ(readFileBytes(dir.path("ship002.mdl")), written([](Mdl7Writer& w) {
                      w.beginGroup(1, "c");
                      writeReferenceSkin(w, "s0:x", "s0.tga");
                      writeReferenceSkin(w, "s1", "s1.tga");
                      writeReferenceSkin(w, "s2", "s2.tga");
                      writeReferenceSkin(w, "s0:x", "s0_nm.tga");
                      writeReferenceSkin(w, "s1", "s1_nm.tga");
                      writeReferenceSkin(w, "s2", "s2_nm.tga");
                      w.writeTriangle(0, 1, 2, 0, -1, 0, 7);
                      writeSkinChoiceVertices(w);
                      w.finishGroup();
                  }));
    }
}

// --- Runs that stop: exit code 2, the reason on stderr ------------------------------

TEST(KelvaneEndToEndTest, InputThatEndsTooEarly)
{
    test::TempDir dir;
    Mdl7Builder b;
    addMesh(b, {.name = "done", .triangleSkins = {0}, .vertices = {{.x = 2}, {.x = 4}}});
    addMesh(b, {.name = "cut", .triangleSkins = {0, 0, 0}, .vertices = {{.x = 1}, {.x = 2}, {.x = 3}}});
    const std::size_t cutLength = b.bytes().size() - 26 - 10;
    b.writeTo(dir.path("ship.mdl"), cutLength);

    const ProcessResult r = kelvane(dir, {"ship.mdl", "--wmp"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "0 2 " + std::to_string(b.bytes().size()) +
                         " 0 0\ndone 0 0 1 2 0\nship000.mdl\ncut 0 0 3 3 0\nship001.mdl\n");
    EXPECT_EQ(r.err, "Kelvane: ship.mdl: group 1: vertex 1 of 3: the data ends at offset " +
                         std::to_string(cutLength) + "\n");
    EXPECT_EQ(readText(dir.path("ship_pos.txt")), "ship000.mdl   3.000000 0.000000 0.000000\n");
    EXPECT_EQ(readFileBytes(dir.path("ship000.mdl")), written([](Mdl7Writer& w) {
                  w.beginGroup(1, "done");
                  w.writeTriangle(0, 1, 1, 0, -1, 0, 0);
                  w.writeVertex(-1, 0, 0, 0, 0, 0, 1);
                  w.writeVertex(1, 0, 0, 0, 0, 0, 1);
                  w.finishGroup();
              }));
    // The group in hand: provisional headers and its triangles.
    EXPECT_EQ(readFileBytes(dir.path("ship001.mdl")).size(), 48u + 44u + 3 * 26u);
    const std::string level = readText(dir.path("ship.wmp"));
    EXPECT_EQ(level.find("end objects"), std::string::npos) << "the level file is left unfinished";
}

TEST(KelvaneEndToEndTest, CountsThatCannotFitStopBeforeAnythingIsSized)
{
    {
        test::TempDir dir;
        Mdl7Builder b;
        b.setGroupCount(-5);
        b.writeTo(dir.path("ship.mdl"));
        const ProcessResult r = kelvane(dir, {"ship.mdl", "--wmp"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "0 -5 48 0 0\n");
        EXPECT_EQ(r.err,
                  "Kelvane: ship.mdl: the header announces -5 groups, but 0 bytes are left after the bones "
                  "(44 bytes per group header)\n");
        EXPECT_EQ(filesIn(dir.root()), (Names{"ship.mdl", "ship_pos.txt"})) << "no level file";
    }
    {
        test::TempDir dir;
        Mdl7Builder b;
        b.group({.name = "huge", .triangleCount = 1, .vertexCount = INT_MAX}).fill(26 * 4);
        b.writeTo(dir.path("ship.mdl"));
        const ProcessResult r = kelvane(dir, {"ship.mdl"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "0 1 196 0 0\nhuge 0 0 1 2147483647 0\n");
        EXPECT_EQ(r.err,
                  "Kelvane: ship.mdl: group 0: 2147483647 vertex records of 26 bytes cannot fit in the 104 "
                  "bytes left after the group header\n");
        EXPECT_FALSE(exists(dir.path("ship000.mdl")));
    }
}

TEST(KelvaneEndToEndTest, NameTooShortForOutputNames)
{
    test::TempDir dir;
    Mdl7Builder().writeTo(dir.path("abc"));
    const ProcessResult r = kelvane(dir, {"abc"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Kelvane: abc: ", 0), 0u) << r.err;
    EXPECT_EQ(filesIn(dir.root()), Names{"abc"}) << "no file is created";
}

TEST(KelvaneEndToEndTest, PathsOfAnyLength)
{
    test::TempDir dir;
    std::string folder = "models";
    while (folder.size() < 300)
        folder += "/" + std::string(50, 'f');
    std::filesystem::create_directories(dir.path(folder));
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    b.writeTo(dir.path(folder + "/ship.mdl"));
    const ProcessResult r = kelvane(dir, {folder + "/ship.mdl"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(exists(dir.path(folder + "/ship000.mdl")));
    EXPECT_EQ(readText(dir.path(folder + "/ship_pos.txt")),
              folder + "/ship000.mdl   1.000000 0.000000 0.000000\n");

#ifndef _WIN32 // the system's words for it
    // A name the system refuses: its reason, and nothing is written.
    const std::string refused = std::string(300, 'n') + ".mdl";
    const ProcessResult tooLong = kelvane(dir, {refused});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_EQ(tooLong.err, "Kelvane: " + refused + ": cannot be opened: File name too long\n");
    EXPECT_EQ(filesIn(dir.root()), Names{"models"});
#endif
}

#ifndef _WIN32 // file modes and the umask are POSIX
TEST(KelvaneEndToEndTest, EveryOutputGetsTheModeOfATextFile)
{
    test::TempDir dir;
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    b.writeTo(dir.path("ship.mdl"));
    const ProcessResult r = kelvane(dir, {"ship.mdl", "--offsetmesh", "--wmp"}, "umask 027");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"ship000.mdl", "ship_off.mdl", "ship_pos.txt", "ship.wmp"}) {
        const auto perms = std::filesystem::status(dir.path(name)).permissions();
        EXPECT_EQ(static_cast<int>(perms), 0640) << name;
    }
}
#endif

TEST(KelvaneEndToEndTest, OutputsThatCannotBeCreatedOrWritten)
{
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    const std::string headerLine = "0 1 " + std::to_string(b.bytes().size()) + " 0 0\n";
    {
        // A folder where the group file should go.
        test::TempDir dir;
        b.writeTo(dir.path("ship.mdl"));
        std::filesystem::create_directory(dir.path("ship000.mdl"));
        const ProcessResult r = kelvane(dir, {"ship.mdl"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, headerLine + "g 0 0 1 1 0\nship000.mdl\n");
        EXPECT_EQ(r.err.rfind("Kelvane: ship000.mdl: cannot be created", 0), 0u) << r.err;
    }
    {
        // A folder where the level file should go: stops before the first group.
        test::TempDir dir;
        b.writeTo(dir.path("ship.mdl"));
        std::filesystem::create_directory(dir.path("ship.wmp"));
        const ProcessResult r = kelvane(dir, {"ship.mdl", "--wmp"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, headerLine);
        EXPECT_EQ(r.err, "Kelvane: ship.wmp: cannot be created\n");
        EXPECT_FALSE(exists(dir.path("ship000.mdl")));
    }
#ifndef _WIN32 // the file size limit is set by the POSIX shell
    {
        // Files may not grow beyond 1024 bytes (two blocks of 512), and the
        // group file needs more: its writes fall short.
        test::TempDir dir;
        Mdl7Builder big;
        std::vector<Mdl7Builder::Vertex> vertices(60);
        for (std::size_t i = 0; i < vertices.size(); ++i)
            vertices[i].x = float(i);
        addMesh(big, {.name = "big", .triangleSkins = {0}, .vertices = vertices});
        big.writeTo(dir.path("ship.mdl"));
        const ProcessResult r = kelvane(dir, {"ship.mdl"}, "ulimit -f 2; trap '' XFSZ");
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err, "Kelvane: ship000.mdl: could not be written completely\n");
    }
    {
        // The same limit with small group files and a level file that
        // outgrows it: the failure shows when the level file is closed.
        test::TempDir dir;
        Mdl7Builder several;
        for (int g = 0; g < 3; ++g)
            addMesh(several, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
        several.writeTo(dir.path("ship.mdl"));
        const ProcessResult r = kelvane(dir, {"ship.mdl", "--wmp"}, "ulimit -f 2; trap '' XFSZ");
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err, "Kelvane: ship.wmp: could not be written completely\n");
        EXPECT_EQ(readText(dir.path("ship_pos.txt")), "ship000.mdl   1.000000 0.000000 0.000000\n"
                                                      "ship001.mdl   1.000000 0.000000 0.000000\n"
                                                      "ship002.mdl   1.000000 0.000000 0.000000\n");
    }
#endif
}

} // namespace
} // namespace kelvane
