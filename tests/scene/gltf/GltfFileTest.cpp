// The file layer: temporary names, renames, nothing left on failure, and
// refusing to overwrite the input.
#include "scene/gltf/GltfFile.h"

#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kelvane::scene::gltf {
namespace {

namespace fs = std::filesystem;
using test::filesIn;
using test::readFile;

Model triangleModel()
{
    Mesh mesh;
    for (int i = 0; i < 3; ++i) {
        Vertex v;
        v.position = {float(i), float(i * i), 1};
        mesh.vertices.push_back(v);
    }
    Triangle triangle;
    triangle.vertexIndex = {0, 1, 2};
    triangle.texCoordIndex = {-1, -1, -1};
    mesh.triangles = {triangle};
    Group group;
    group.name = "tri";
    group.mesh = mesh;
    Model model;
    model.groups = std::vector<Group>{group};
    return model;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(GltfFileTest, OutputKindComesFromTheExtensionInAnyCase)
{
    EXPECT_EQ(outputKindOf("a.glb"), OutputKind::kGlb);
    EXPECT_EQ(outputKindOf("dir/A.GLTF"), OutputKind::kGltf);
    EXPECT_EQ(outputKindOf("a.glb.txt"), std::nullopt);
    EXPECT_EQ(outputKindOf("gltf"), std::nullopt);
    EXPECT_EQ(binaryPathFor("dir/ship.gltf"), "dir/ship.bin");
}

TEST(GltfFileTest, AFailedExportLeavesNoFileAndKeepsTheOldOne)
{
    test::TempDir dir;
    writeFile(dir.path("out.glb"), "old");
    ExportOptions options;
    options.maxOutputBytes = 100;
    ExportReport report;
    EXPECT_FALSE(writeGltfFile(triangleModel(), options, dir.path("in.mdl"), dir.path("out.glb"), report));
    EXPECT_EQ(report.failure.rfind(dir.path("out.glb") + ": the output would take ", 0), 0u)
        << report.failure;
    EXPECT_FALSE(writeGltfFile(triangleModel(), options, dir.path("in.mdl"), dir.path("new.gltf"), report));
    EXPECT_EQ(filesIn(dir.root()), std::vector<std::string>{"out.glb"});
    EXPECT_EQ(readFile(dir.path("out.glb")), "old");
}

TEST(GltfFileTest, AModelWithoutMeshesNeedsNoBinFile)
{
    test::TempDir dir;
    Model model;
    model.groups = std::vector<Group>{Group{}};
    ExportReport report;
    ASSERT_TRUE(writeGltfFile(model, {}, dir.path("in.mdl"), dir.path("out.gltf"), report)) << report.failure;
    EXPECT_EQ(filesIn(dir.root()), std::vector<std::string>{"out.gltf"});
    EXPECT_EQ(readFile(dir.path("out.gltf")).find("buffers"), std::string::npos);
}

TEST(GltfFileTest, RefusesToOverwriteTheInputUnderAnyName)
{
    test::TempDir dir;
    fs::create_directory(dir.path("sub"));
    writeFile(dir.path("model.glb"), "input");
    writeFile(dir.path("model.bin"), "input");
    ExportReport report;
    EXPECT_FALSE(
        writeGltfFile(triangleModel(), {}, dir.path("model.glb"), dir.path("sub/../model.glb"), report));
    EXPECT_NE(report.failure.find("is the input file"), std::string::npos) << report.failure;
    // A .gltf's .bin would replace the input.
    EXPECT_FALSE(writeGltfFile(triangleModel(), {}, dir.path("model.bin"), dir.path("model.gltf"), report));
    EXPECT_EQ(report.failure, dir.path("model.bin") + ": is the input file; the export would overwrite it");
#ifndef _WIN32
    fs::create_hard_link(dir.path("model.glb"), dir.path("link.glb"));
    EXPECT_FALSE(writeGltfFile(triangleModel(), {}, dir.path("model.glb"), dir.path("link.glb"), report));
#endif
    EXPECT_EQ(readFile(dir.path("model.glb")), "input");
    EXPECT_EQ(readFile(dir.path("model.bin")), "input");
    EXPECT_FALSE(fs::exists(dir.path("model.gltf")));
}

} // namespace
} // namespace kelvane::scene::gltf
