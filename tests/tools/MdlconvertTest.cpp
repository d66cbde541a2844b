// Runs the built mdlconvert program on MDL7 files made by the builder and on
// the real legacy files, and reads what it writes back with tinygltf.
#include "scene/LoadModel.h"
#include "support/Files.h"
#include "support/Mdl7Builder.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef KELVANE_HAVE_TINYGLTF
#include "GltfReadBack.h"
#endif

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using test::Mdl7Builder;

const std::string kLegacyData = std::string(KELVANE_TESTDATA) + "/legacy/";

class MdlconvertTest : public testing::Test {
  protected:
    test::TempDir dir_;

    test::ProcessResult mdlconvert(std::vector<std::string> arguments, const std::string& shellPrefix = "")
    {
        arguments.insert(arguments.begin(), test::builtProgram("tools/mdlconvert"));
        return test::runProcess(arguments, {.workingDir = dir_.root(), .shellPrefix = shellPrefix});
    }

    std::vector<std::string> files() const { return test::filesIn(dir_.root()); }

    std::string contents(const std::string& name) const { return test::readFile(dir_.path(name)); }

    void copyIn(const std::string& source, const std::string& name) const
    {
        fs::copy_file(source, dir_.path(name));
    }
};

// Two triangles in a group "body" with one frame; a second group of type 3.
Mdl7Builder smallModel()
{
    Mdl7Builder b;
    b.group({.name = "body", .texCoordCount = 2, .triangleCount = 3, .vertexCount = 3, .frameCount = 1});
    b.texCoord(0.25f, 0.5f).texCoord(1, 1);
    b.triangle({.vertex = {0, 1, 2}, .texCoord = {0, 1, 0}});
    b.triangle({.vertex = {0, 2, 1}, .texCoord = {1, 1, 1}});
    b.triangle({.vertex = {0, 1, 9}}); // vertex 9 is missing
    b.vertex({.x = 1}).vertex({.y = 2}).vertex({.z = 3});
    b.frame({.name = "wave", .frameVertexCount = 1});
    b.frameVertex({.x = 1, .y = 1, .z = 1, .index = 0});
    b.group({.type = 3, .groupDataSize = 44 + 4, .name = "other"});
    b.fill(4);
    return b;
}

TEST_F(MdlconvertTest, HelpGoesToStandardOutput)
{
    const test::ProcessResult run = mdlconvert({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("usage: mdlconvert INPUT OUTPUT [--palette FILE] [--no-animation]\n", 0), 0u);
    EXPECT_EQ(run.err, "");
}

TEST_F(MdlconvertTest, UsageErrorsExitWithOneAndWriteNothing)
{
    smallModel().writeTo(dir_.path("in.mdl"));
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"in.mdl"},
                                                         {"in.mdl", "out.glb", "--fast"},
                                                         {"in.mdl", "out.glb", "--palette"},
                                                         {"in.mdl", "out.obj"},
                                                         {"in.mdl", "out.glb", "third.glb"}};
    for (const std::vector<std::string>& arguments : wrong) {
        const test::ProcessResult run = mdlconvert(arguments);
        EXPECT_EQ(run.exitCode, 1) << testing::PrintToString(arguments);
        EXPECT_NE(run.err.find("usage: mdlconvert"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(files(), std::vector<std::string>{"in.mdl"});
}

TEST_F(MdlconvertTest, ConvertsAnMdl7ModelAndWarnsAboutWhatItLeftOut)
{
    smallModel().writeTo(dir_.path("in.mdl"));
    const test::ProcessResult run = mdlconvert({"in.mdl", "out.glb"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "mdlconvert: in.mdl: warning: group 0: 1 triangle left out, using a vertex the group "
                       "does not have\n");
    EXPECT_EQ(run.out, "");
    const test::ProcessResult gltf = mdlconvert({"in.mdl", "out.gltf", "--no-animation"});
    EXPECT_EQ(gltf.exitCode, 0) << gltf.err;
    // An existing output is replaced.
    const test::ProcessResult again = mdlconvert({"in.mdl", "out.gltf", "--no-animation"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"in.mdl", "out.bin", "out.glb", "out.gltf"}));
#ifdef KELVANE_HAVE_TINYGLTF
    tinygltf::Model glb, split;
    ASSERT_TRUE(test::readGlb(contents("out.glb"), glb));
    ASSERT_TRUE(test::readGltfFile(dir_.path("out.gltf"), split));
    ASSERT_EQ(glb.meshes.size(), 1u);
    EXPECT_EQ(glb.meshes[0].name, "body");
    const std::vector<test::DrawnPrimitive> drawn = test::drawnPrimitives(glb, 0);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].corners.size(), 6u);
    EXPECT_EQ(drawn[0].corners[2].position, (std::array<float, 3>{0, 0, 3}));
    EXPECT_EQ(drawn[0].corners[2].texCoord, (std::array<float, 2>{0.25f, 0.5f}));
    EXPECT_EQ(drawn[0].corners[3].texCoord, (std::array<float, 2>{1, 1}));
    EXPECT_EQ(test::readFloats(glb, glb.meshes[0].primitives[0].targets.at(0).at("POSITION")),
              (test::Floats{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(glb.animations.size(), 1u);
    EXPECT_TRUE(split.animations.empty());
    EXPECT_TRUE(split.meshes[0].primitives[0].targets.empty());
#endif
}

// A name in UTF-8 that no single-byte code page holds ("船é"): on Windows
// the tool gets it whole through its manifest, as Kelvane.exe does, names
// the .bin beside a .gltf from it and refers to that file by a URI.
TEST_F(MdlconvertTest, NamesOutsideTheSystemCodePage)
{
    const std::string base = "\xE8\x88\xB9\xC3\xA9";
    const auto inDir = [&](const std::string& name) { return fs::path(dir_.root()) / test::utf8Path(name); };
    const std::vector<std::uint8_t> model = smallModel().bytes();
    std::ofstream(inDir(base + ".mdl"), std::ios::binary)
        .write(reinterpret_cast<const char*>(model.data()), static_cast<std::streamsize>(model.size()));

    const test::ProcessResult run = mdlconvert({base + ".mdl", base + ".gltf"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(inDir(base + ".gltf")));
    EXPECT_TRUE(fs::is_regular_file(inDir(base + ".bin")));
    const std::string text = test::readFile(inDir(base + ".gltf"));
    EXPECT_NE(text.find("\"uri\":\"%E8%88%B9%C3%A9.bin\""), std::string::npos) << text;

    // The input under its own name is refused.
    fs::copy_file(inDir(base + ".mdl"), inDir(base + ".glb"));
    const test::ProcessResult refused = mdlconvert({base + ".glb", base + ".glb"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(fs::file_size(inDir(base + ".glb")), model.size());
}

TEST_F(MdlconvertTest, FailuresExitWithTwoAndLeaveNoFile)
{
    smallModel().writeTo(dir_.path("in.mdl"));
    smallModel().writeTo(dir_.path("cut.mdl"), 200);
    std::ofstream(dir_.path("short.pal"), std::ios::binary) << std::string(767, 'x');

    test::ProcessResult run = mdlconvert({"missing.mdl", "out.glb"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("mdlconvert: missing.mdl", 0), 0u) << run.err;

    run = mdlconvert({"cut.mdl", "out.glb"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("mdlconvert: cut.mdl: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("(reading stopped at offset "), std::string::npos) << run.err;

    run = mdlconvert({"in.mdl", "out.glb", "--palette", "short.pal"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "mdlconvert: short.pal: a palette is exactly 768 bytes (256 RGB colours); this file is "
              "767 bytes\n");

    // The input under another name is refused; the input stays as it was.
    const std::string before = contents("in.mdl");
    run = mdlconvert({"in.mdl", "./in.mdl.glb"});
    EXPECT_EQ(run.exitCode, 0) << run.err; // a different file: converted
    fs::remove(dir_.path("in.mdl.glb"));
    fs::copy_file(dir_.path("in.mdl"), dir_.path("in.glb"));
    fs::create_directory(dir_.path("sub"));
    run = mdlconvert({"in.glb", "./sub/../in.glb"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "mdlconvert: ./sub/../in.glb: is the input file; the export would overwrite it\n");
    EXPECT_EQ(contents("in.glb"), before);
    fs::remove(dir_.path("in.glb"));
    fs::remove(dir_.path("sub"));
    EXPECT_EQ(files(), (std::vector<std::string>{"cut.mdl", "in.mdl", "short.pal"}));
}

#ifndef _WIN32
TEST_F(MdlconvertTest, AWriteThatFailsPartWayLeavesNoTemporaryFile)
{
    smallModel().writeTo(dir_.path("in.mdl"));
    // A file size limit of one 512-byte block: the .glb cannot be completed.
    const test::ProcessResult run = mdlconvert({"in.mdl", "out.glb"}, "ulimit -f 1; trap '' XFSZ");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("\nmdlconvert: out.glb: cannot be written: "), std::string::npos) << run.err;
    EXPECT_EQ(files(), std::vector<std::string>{"in.mdl"});
}
#endif

TEST_F(MdlconvertTest, LegacyFilesThatStopAtAFrameGroupAreNotConverted)
{
    for (const char* name : {"flame2.mdl", "laser.mdl"}) {
        copyIn(kLegacyData + "idpo/" + name, name);
        const test::ProcessResult run = mdlconvert({name, "out.glb"});
        EXPECT_EQ(run.exitCode, 2) << name;
        EXPECT_EQ(run.err.rfind(std::string("mdlconvert: ") + name + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("offset "), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(dir_.path("out.glb")));
    }
}

#ifdef KELVANE_HAVE_TINYGLTF

// The real legacy files: every corner's position, texture coordinate and
// every frame's movement, against the model the loader reads.
class MdlconvertLegacyTest : public MdlconvertTest, public testing::WithParamInterface<const char*> {};

scene::Vec3 unpack(const scene::Mesh& mesh, const scene::Frame& frame, std::int32_t vertex)
{
    const scene::Vec3 scale = frame.scale.value_or(mesh.packedScale);
    const scene::Vec3 translate = frame.translate.value_or(mesh.packedTranslate);
    const auto& p = frame.packedVertices.at(std::size_t(vertex)).position;
    return {float(p[0]) * scale.x + translate.x, float(p[1]) * scale.y + translate.y,
            float(p[2]) * scale.z + translate.z};
}

TEST_P(MdlconvertLegacyTest, ConvertsEveryCornerAndFrame)
{
    const std::string source = kLegacyData + GetParam();
    copyIn(source, "in.model");
    std::string palette(768, '\0');
    for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = char(i % 251);
    }
    std::ofstream(dir_.path("colours.pal"), std::ios::binary) << palette;
    const test::ProcessResult run = mdlconvert({"in.model", "out.glb", "--palette", "colours.pal"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const scene::LoadResult loaded = scene::loadModel(source.c_str(), scene::LoadMode::kForExport);
    ASSERT_TRUE(loaded.complete());
    const scene::Mesh& mesh = *loaded.model.groups->at(0).mesh;
    tinygltf::Model gltf;
    ASSERT_TRUE(test::readGlb(contents("out.glb"), gltf));
    const std::vector<test::DrawnPrimitive> drawn = test::drawnPrimitives(gltf, 0);
    ASSERT_EQ(drawn.size(), 1u);
    const std::vector<test::Corner>& corners = drawn[0].corners;
    ASSERT_EQ(corners.size(), mesh.triangles.size() * 3);

    const scene::Frame& first = mesh.frames.at(0);
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const scene::Triangle& triangle = mesh.triangles[t];
        for (std::size_t c = 0; c < 3; ++c) {
            const test::Corner& corner = corners[t * 3 + c];
            const scene::Vec3 expected = unpack(mesh, first, triangle.vertexIndex[c]);
            EXPECT_FLOAT_EQ(corner.position[0], expected.x);
            EXPECT_FLOAT_EQ(corner.position[1], expected.y);
            EXPECT_FLOAT_EQ(corner.position[2], expected.z);
            const std::int32_t tc =
                mesh.texCoordsByVertex ? triangle.vertexIndex[c] : triangle.texCoordIndex[c];
            float s = mesh.texCoords.at(std::size_t(tc)).s;
            if (mesh.texCoordsByVertex && mesh.onSeam.at(std::size_t(tc)) != 0 && !triangle.facesFront) {
                s += mesh.texCoordDivisor[0] / 2;
            }
            EXPECT_FLOAT_EQ(corner.texCoord[0], s / mesh.texCoordDivisor[0]);
            EXPECT_FLOAT_EQ(corner.texCoord[1],
                            mesh.texCoords.at(std::size_t(tc)).t / mesh.texCoordDivisor[1]);
        }
    }
    const std::vector<tinygltf::Primitive>& primitives = gltf.meshes[0].primitives;
    ASSERT_EQ(primitives[0].targets.size(), mesh.frames.size());
    for (std::size_t f = 0; f < mesh.frames.size(); ++f) {
        const test::Floats moved = test::readFloats(gltf, primitives[0].targets[f].at("POSITION"));
        for (std::size_t k = 0; k < corners.size(); ++k) {
            const std::int32_t v = mesh.triangles[k / 3].vertexIndex[k % 3];
            const scene::Vec3 to = unpack(mesh, mesh.frames[f], v);
            const scene::Vec3 from = unpack(mesh, first, v);
            EXPECT_NEAR(moved[corners[k].vertex * 3], to.x - from.x, 1e-4) << "frame " << f;
            EXPECT_NEAR(moved[corners[k].vertex * 3 + 2], to.z - from.z, 1e-4) << "frame " << f;
        }
    }
    // 8-bit skins become PNG images with the palette given.
    if (!mesh.skins.empty() && mesh.skins[0].layout == scene::ImageLayout::kIndexed8) {
        ASSERT_EQ(gltf.images.size(), 1u);
        const tinygltf::Image& image = gltf.images[0];
        ASSERT_EQ(image.width, mesh.skins[0].width);
        const std::uint8_t index = mesh.skins[0].pixels.at(0);
        EXPECT_EQ(image.image.at(0), std::uint8_t(palette[index * 3u]));
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, MdlconvertLegacyTest,
                         testing::Values("idpo/armor.mdl", "idpo/b_g_key.mdl", "idpo/h_shams.mdl",
                                         "idpo/s_light.mdl", "idpo/s_spike.mdl", "idpo/steg.mdl",
                                         "idpo/v_rock2.mdl", "idpo/w_spike.mdl", "idp2/cube2_debris.md2",
                                         "idp2/dolphin.md2", "idp2/flag.md2", "idp2/fuel_can.md2",
                                         "idp2/horse.md2", "idp2/sydney.md2"));

#endif

} // namespace
} // namespace kelvane
