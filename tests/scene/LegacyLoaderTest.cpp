// Loads models of the older formats, built byte by byte and from the shared
// test data, and checks what the model makes of their packed records.
#include "scene/LegacyLoader.h"

#include "mdl/ByteOrder.h"
#include "scene/LoadModel.h"
#include "support/TempDir.h"
#include "tests/mdl/legacy/LegacyFileBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::scene {
namespace {

using testing_legacy::Bytes;
using testing_legacy::sampleModel;

// Where the records of sampleModel("IDPO") start.
constexpr std::size_t kIdpoTexCoords = 84 + (4 + 8) + (4 + 16);
constexpr std::size_t kIdpoTriangle = kIdpoTexCoords + 3 * 12;

LoadResult load(const test::TempDir& dir, const Bytes& bytes)
{
    const std::string path = testing_legacy::writeFile(dir, "model.bin", bytes.data);
    return loadModel(path.c_str());
}

const Mesh& meshOf(const LoadResult& loaded) { return *loaded.model.groups->at(0).mesh; }

TEST(LegacyLoaderTest, IdpoKeepsItsFlagsUnpackingAndImagesInTheModel)
{
    test::TempDir dir;
    Bytes bytes = sampleModel("IDPO");
    storeF32(bytes.data.data() + 8, 0.25f);   // scale x
    storeF32(bytes.data.data() + 28, -12.5f); // translate z
    bytes.patchI32(kIdpoTexCoords + 12, 1);   // the second coordinate is on the seam
    bytes.patchI32(kIdpoTriangle, 0);         // the triangle faces back
    const LoadResult loaded = load(dir, bytes);
    ASSERT_TRUE(loaded.complete());
    EXPECT_EQ(loaded.model.format, "IDPO");
    ASSERT_EQ(loaded.model.groups->size(), 1u);
    const Mesh& mesh = meshOf(loaded);
    EXPECT_EQ(mesh.reached, MeshSection::kFrames);
    EXPECT_EQ(mesh.counts.texCoordCount, 3);

    EXPECT_TRUE(mesh.texCoordsByVertex);
    EXPECT_EQ(mesh.texCoordDivisor, (std::array<float, 2>{4, 2}));
    EXPECT_EQ(mesh.onSeam, (std::vector<std::uint8_t>{0, 1, 0}));
    EXPECT_EQ(mesh.texCoords.at(2).s, 2.0f);
    EXPECT_EQ(mesh.texCoords.at(2).t, 12.0f);
    ASSERT_EQ(mesh.triangles.size(), 1u);
    EXPECT_FALSE(mesh.triangles[0].facesFront);
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (std::array<std::int32_t, 3>{0, 1, 2}));
    EXPECT_EQ(mesh.triangles[0].texCoordIndex, (std::array<std::int32_t, 3>{-1, -1, -1}));
    EXPECT_FALSE(mesh.hasSkinIndex);
    EXPECT_EQ(mesh.packedScale.x, 0.25f);
    EXPECT_EQ(mesh.packedTranslate.z, -12.5f);

    // An 8-bit skin keeps its image; a 16-bit one, whose channels no format
    // defines, keeps none.
    ASSERT_EQ(mesh.skins.size(), 2u);
    EXPECT_EQ(mesh.skins[0].layout, ImageLayout::kIndexed8);
    EXPECT_EQ(mesh.skins[0].pixels, std::vector<std::uint8_t>(8, 0x11));
    EXPECT_EQ(mesh.skins[1].layout, ImageLayout::kUndefined);
    EXPECT_TRUE(mesh.skins[1].pixels.empty());

    ASSERT_EQ(mesh.frames.size(), 2u);
    const Frame& frame = mesh.frames[1];
    EXPECT_EQ(frame.name, "stand2");
    EXPECT_EQ(frame.bboxMax, (std::array<std::uint16_t, 3>{40, 50, 60}));
    EXPECT_FALSE(frame.scale);
    ASSERT_EQ(frame.packedVertices.size(), 3u);
    EXPECT_EQ(frame.packedVertices[2].position, (std::array<std::uint16_t, 3>{2, 2, 2}));
    EXPECT_EQ(frame.packedVertices[2].normalIndex, 3);
}

TEST(LegacyLoaderTest, Idp2NamesTextureFilesAndFramesCarryTheirOwnUnpacking)
{
    test::TempDir dir;
    Bytes bytes = sampleModel("IDP2");
    bytes.patchI32(8, 256);
    bytes.patchI32(12, 128);
    const LoadResult loaded = load(dir, bytes);
    ASSERT_TRUE(loaded.complete());
    const Mesh& mesh = meshOf(loaded);
    EXPECT_FALSE(mesh.texCoordsByVertex);
    EXPECT_TRUE(mesh.onSeam.empty());
    EXPECT_EQ(mesh.texCoordDivisor, (std::array<float, 2>{256, 128}));
    EXPECT_TRUE(mesh.triangles.at(0).facesFront);
    EXPECT_EQ(mesh.triangles.at(0).texCoordIndex, (std::array<std::int32_t, 3>{3, 2, 1}));
    EXPECT_EQ(mesh.packedScale.x, 1.0f); // the header holds none
    ASSERT_EQ(mesh.skins.size(), 2u);
    EXPECT_EQ(mesh.skins[1].layout, ImageLayout::kExternal);
    EXPECT_EQ(mesh.skins[1].externalFile, "skins/second.pcx");
    EXPECT_EQ(mesh.skins[1].name, "skins/second.pcx");
    ASSERT_EQ(mesh.frames.size(), 2u);
    ASSERT_TRUE(mesh.frames[0].scale && mesh.frames[0].translate);
    EXPECT_EQ(mesh.frames[0].scale->z, 3.0f);
    EXPECT_EQ(mesh.frames[0].translate->y, -2.0f);
}

TEST(LegacyLoaderTest, NewerSkinsKeepTheirOwnSizeAndOnlyTheMainImage)
{
    test::TempDir dir;
    Bytes bytes = sampleModel("MDL5");
    bytes.data[84 + 12] = 0x7F; // the first pixel of the 8-bit skin
    const LoadResult loaded = load(dir, bytes);
    ASSERT_TRUE(loaded.complete());
    const Mesh& mesh = meshOf(loaded);
    std::vector<std::uint8_t> pixels(8, 0x11);
    pixels[0] = 0x7F;
    EXPECT_EQ(mesh.skins.at(0).pixels, pixels);
    EXPECT_TRUE(mesh.skins.at(1).hasMipmaps);
    EXPECT_EQ(mesh.skins.at(1).layout, ImageLayout::kUndefined);
    EXPECT_EQ(mesh.frames.at(0).packedVertices.at(1).position[0], 301);
    EXPECT_EQ(mesh.frames.at(0).bboxMax[0], 400);
}

TEST(LegacyLoaderTest, StopsAtAGroupOfFramesKeepingTheFramesBefore)
{
    const std::string path = std::string(KELVANE_TESTDATA) + "/legacy/idpo/flame2.mdl";
    const LoadResult loaded = loadModel(path.c_str(), LoadMode::kForExport);
    ASSERT_TRUE(loaded.openError.empty()) << loaded.openError;
    ASSERT_TRUE(loaded.failure);
    const Mesh& mesh = meshOf(loaded);
    EXPECT_EQ(loaded.failure->place, "frame " + std::to_string(mesh.frames.size()));
    EXPECT_EQ(loaded.failure->reason, "starts a group of frames (type 1), which is not read");
    EXPECT_EQ(mesh.reached, MeshSection::kFrames);
    for (const Frame& frame : mesh.frames) {
        EXPECT_EQ(frame.packedVertices.size(), std::size_t(mesh.counts.vertexCount));
    }
}

} // namespace
} // namespace kelvane::scene
