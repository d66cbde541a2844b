#include "mdl/Mdl7Reader.h"

#include "mdl/Mdl7Format.h"
#include "support/Mdl7Builder.h"
#include "support/Mdl7Samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>

namespace kelvane {
namespace {

using test::Mdl7Builder;
namespace hdr = mdl7::header;

class Mdl7ReaderTest : public testing::Test {
  protected:
    test::TempDir dir_;
    Mdl7Reader reader_;

    bool openBuilt(const Mdl7Builder& builder)
    {
        return reader_.open(builder.writeTo(dir_.path("model.mdl")).c_str()) >= 0;
    }

    bool readGroup(std::uint8_t* typeOut = nullptr, char* name = nullptr)
    {
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        const bool ok = reader_.readGroupHeader(type, groupDataSize, name);
        if (typeOut != nullptr) *typeOut = type;
        return ok;
    }
};

// --- Opening -----------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, OpensEmptyModelAndReportsHeader)
{
    ASSERT_TRUE(openBuilt(Mdl7Builder()));
    EXPECT_EQ(reader_.formatCode(), kFormatMdl7);
    EXPECT_EQ(reader_.dataLimit(), 48);
    EXPECT_EQ(reader_.tell(), 48);
    std::int32_t bones = -1, groups = -1, model = -1, trailer = -1, second = -1;
    EXPECT_TRUE(reader_.readHeader(bones, groups, model, trailer, second));
    EXPECT_EQ(bones, 0);
    EXPECT_EQ(groups, 0);
    EXPECT_EQ(model, 48);
    EXPECT_EQ(trailer, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(reader_.triangleRecordSize(), 26);
    ASSERT_NE(reader_.getHeader(), nullptr);
    EXPECT_EQ(std::memcmp(reader_.getHeader(), "MDL7", 4), 0);
    EXPECT_TRUE(reader_.skipBones());
    EXPECT_TRUE(reader_.skipDeformers());
    // No group announced: the read fails and leaves the cursor alone.
    EXPECT_FALSE(readGroup());
    EXPECT_EQ(reader_.tell(), 48);
}

TEST_F(Mdl7ReaderTest, RejectsFilesThatAreNotMdl7)
{
    EXPECT_LT(reader_.open(dir_.path("missing.mdl").c_str()), 0);

    Mdl7Builder wrongMagic;
    wrongMagic.setMagic("MDL6");
    EXPECT_EQ(reader_.open(wrongMagic.writeTo(dir_.path("a.mdl")).c_str()), -1);
    EXPECT_FALSE(reader_.isOpen());
    EXPECT_EQ(reader_.getHeader(), nullptr);

    Mdl7Builder shortLimit;
    shortLimit.setModelDataSize(40);
    EXPECT_EQ(reader_.open(shortLimit.writeTo(dir_.path("b.mdl")).c_str()), -1);

    // The three sizes wrap around to zero as 32-bit values.
    Mdl7Builder wrapsToZero;
    wrapsToZero.setModelDataSize(0x7FFFFFFF).setTrailerSize(0x7FFFFFFF).setSecondTrailerSize(2);
    EXPECT_EQ(reader_.open(wrapsToZero.writeTo(dir_.path("c.mdl")).c_str()), -1);

    EXPECT_EQ(reader_.open(Mdl7Builder().writeTo(dir_.path("d.mdl"), 47).c_str()), -1);
    EXPECT_FALSE(reader_.isOpen());
}

TEST_F(Mdl7ReaderTest, CutsAnnouncedDataToTheFile)
{
    Mdl7Builder wrapped; // -16 + 100 wraps to 84, more than the 60 bytes loaded
    wrapped.setModelDataSize(-16).setTrailerSize(100).fill(12);
    ASSERT_TRUE(openBuilt(wrapped));
    EXPECT_EQ(reader_.dataLimit(), 60);
    reader_.close();

    Mdl7Builder huge; // the sum is negative as int32: a huge unsigned limit
    huge.setModelDataSize(0x7FFFFFF0).setTrailerSize(0x7FFFFFF0).fill(4);
    ASSERT_TRUE(openBuilt(huge));
    EXPECT_EQ(reader_.dataLimit(), 52);
    EXPECT_FALSE(reader_.skip(5));
    EXPECT_EQ(reader_.tell(), 52);
}

TEST_F(Mdl7ReaderTest, EveryOperationFailsOnClosedReader)
{
    std::int32_t i = 0;
    std::uint8_t b = 0;
    float f = 0;
    bool flag = false;
    char name[20];
    const std::uint8_t* pixels = nullptr;
    EXPECT_FALSE(reader_.readHeader(i, i, i, i, i));
    EXPECT_FALSE(reader_.skipBones());
    EXPECT_FALSE(reader_.readBone(i, f, f, f, name));
    EXPECT_FALSE(reader_.readGroupHeader(b, i, name));
    EXPECT_FALSE(reader_.readGroupCounts(i, i, i, i, i));
    EXPECT_FALSE(reader_.skipGroup());
    EXPECT_FALSE(reader_.readSkinHeader(b, name));
    EXPECT_FALSE(reader_.readSkinFormat(i, i, i, flag));
    EXPECT_FALSE(reader_.readSkinPixels(&pixels, nullptr, nullptr, nullptr));
    EXPECT_FALSE(reader_.skipSkins());
    EXPECT_FALSE(reader_.readTexCoord(f, f));
    EXPECT_FALSE(reader_.readTriangle(i, i, i, i, i, i, i));
    EXPECT_FALSE(reader_.readVertex(f, f, f, i));
    EXPECT_FALSE(reader_.readVertexNormal(f, f, f));
    EXPECT_FALSE(reader_.readBoneTransform(i, nullptr));
    EXPECT_FALSE(reader_.skipDeformers());
    EXPECT_FALSE(reader_.seekTrailer());
    EXPECT_FALSE(reader_.readTrailerEntry(i, i));
    EXPECT_FALSE(reader_.skipSecondTrailer());
    EXPECT_TRUE(reader_.close());
    EXPECT_TRUE(reader_.close());
}

// --- Bones ---------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsBonesByStoredSize)
{
    Mdl7Builder b;
    b.bone(0xFFFF, 1.0f, 2.0f, 3.0f, "root").bone(0, 4.0f, 5.0f, 6.0f, "a-very-long-bone-name-x");
    ASSERT_TRUE(openBuilt(b));
    std::int32_t parent = 0;
    float x = 0, y = 0, z = 0;
    char name[20];
    ASSERT_TRUE(reader_.readBone(parent, x, y, z, name));
    EXPECT_EQ(parent, -1);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(z, 3.0f);
    EXPECT_STREQ(name, "root");
    ASSERT_TRUE(reader_.readBone(parent, x, y, z, name));
    EXPECT_EQ(parent, 0);
    EXPECT_EQ(y, 5.0f);
    EXPECT_STREQ(name, "a-very-long-bone-na"); // 19 characters, terminated
    reader_.close();

    // A 30-byte record cannot hold the 20-byte name at offset 16.
    Mdl7Builder shortBones;
    shortBones.setRecordSize(hdr::kBoneRecordSize, 30).bone(2, 7.0f, 0, 0, "cut").bone(3, 8.0f, 0, 0);
    ASSERT_TRUE(openBuilt(shortBones));
    std::strcpy(name, "garbage");
    ASSERT_TRUE(reader_.readBone(parent, x, y, z, name));
    EXPECT_STREQ(name, "");
    ASSERT_TRUE(reader_.readBone(parent, x, y, z, nullptr));
    EXPECT_EQ(parent, 3);
    EXPECT_EQ(x, 8.0f);
    EXPECT_EQ(reader_.tell(), 48 + 60);
}

TEST_F(Mdl7ReaderTest, RefusesBonesTooShortToDecode)
{
    Mdl7Builder b;
    b.setRecordSize(hdr::kBoneRecordSize, 15).bone(0, 1, 2, 3);
    ASSERT_TRUE(openBuilt(b));
    std::int32_t parent = 0;
    float x = 0, y = 0, z = 0;
    EXPECT_FALSE(reader_.readBone(parent, x, y, z, nullptr));
    EXPECT_EQ(reader_.tell(), 48);
    // Stepping over is still possible by the stored size.
    EXPECT_TRUE(reader_.skipBones());
    EXPECT_EQ(reader_.tell(), 48 + 15);
}

TEST_F(Mdl7ReaderTest, SkipsHugeAndNegativeBoneCountsInOneStep)
{
    Mdl7Builder zeroSize;
    zeroSize.setRecordSize(hdr::kBoneRecordSize, 0).setBoneCount(2'000'000'000);
    ASSERT_TRUE(openBuilt(zeroSize));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(reader_.skipBones());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(reader_.tell(), 48);
    reader_.close();

    Mdl7Builder tooMany;
    tooMany.setBoneCount(2'000'000'000).bone(0, 0, 0, 0);
    ASSERT_TRUE(openBuilt(tooMany));
    EXPECT_FALSE(reader_.skipBones());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
    reader_.close();

    Mdl7Builder negative;
    negative.setBoneCount(-5).bone(0, 0, 0, 0);
    ASSERT_TRUE(openBuilt(negative));
    EXPECT_TRUE(reader_.skipBones());
    EXPECT_EQ(reader_.tell(), 48);
    std::int32_t parent = 0;
    float x = 0;
    EXPECT_FALSE(reader_.readBone(parent, x, x, x, nullptr));
}

// --- Groups -------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsGroupHeadersAndAccumulatesDeformerCounts)
{
    Mdl7Builder b;
    b.setGroupCount(3);
    b.group({.deformerCount = 2,
             .maxWeights = 4,
             .name = "fifteen-chars-x",
             .skinCount = 1,
             .texCoordCount = 2,
             .triangleCount = 3,
             .vertexCount = 4,
             .frameCount = 5});
    b.group(
        {.type = 2, .deformerCount = 3, .maxWeights = 2, .groupDataSize = 44, .name = "sixteen-chars-xy"});
    b.group({.type = 2, .groupDataSize = 44});
    b.group({.type = 7, .groupDataSize = 44, .name = "fourth"});
    ASSERT_TRUE(openBuilt(b));

    char name[16];
    std::uint8_t type = 0;
    std::int32_t dataSize = 0;
    ASSERT_TRUE(reader_.readGroupHeader(type, dataSize, name));
    EXPECT_EQ(type, 1);
    EXPECT_EQ(dataSize, 44);
    EXPECT_STREQ(name, "fifteen-chars-x");
    std::int32_t counts[5] = {};
    ASSERT_TRUE(reader_.readGroupCounts(counts[0], counts[1], counts[2], counts[3], counts[4]));
    EXPECT_EQ(counts[0], 1);
    EXPECT_EQ(counts[3], 4);
    EXPECT_EQ(counts[4], 5);
    EXPECT_EQ(reader_.currentVertexCount(), 4);

    ASSERT_TRUE(reader_.readGroupHeader(type, dataSize, name));
    EXPECT_STREQ(name, "sixteen-chars-x"); // a full field without a NUL loses its last byte
    EXPECT_EQ(reader_.deformerTotal(), 5);
    EXPECT_EQ(reader_.maxWeights(), 4);
    ASSERT_TRUE(readGroup());
    // The count is only tested for being positive: a fourth header after
    // three is still read.
    ASSERT_TRUE(readGroup(&type, name));
    EXPECT_EQ(type, 7);
    EXPECT_STREQ(name, "fourth");
}

TEST_F(Mdl7ReaderTest, SkipsOpaqueGroupsBySize)
{
    Mdl7Builder b;
    b.group({.type = 2, .groupDataSize = 100}).fill(56, 0xAB);
    b.group({.type = 2, .groupDataSize = 44});
    b.group({.type = 2, .groupDataSize = 43});
    ASSERT_TRUE(openBuilt(b));
    EXPECT_FALSE(reader_.skipGroup()); // no current group yet
    ASSERT_TRUE(readGroup());
    EXPECT_TRUE(reader_.skipGroup());
    EXPECT_EQ(reader_.tell(), 48 + 100);
    ASSERT_TRUE(readGroup());
    EXPECT_FALSE(reader_.skipGroup()); // only a header: reported as a failure
    EXPECT_EQ(reader_.tell(), 48 + 100 + 44);
    ASSERT_TRUE(readGroup());
    EXPECT_FALSE(reader_.skipGroup()); // a size below the header is corrupt
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
}

TEST_F(Mdl7ReaderTest, SkipsWholeModelToItsDeformersAndTrailers)
{
    ASSERT_TRUE(openBuilt(test::everyRecordKind()));
    std::int32_t bones = 0, groups = 0, model = 0, trailer = 0, second = 0;
    ASSERT_TRUE(reader_.readHeader(bones, groups, model, trailer, second));
    ASSERT_TRUE(reader_.skipBones());
    for (int g = 0; g < groups; ++g) {
        ASSERT_TRUE(readGroup()) << g;
        ASSERT_TRUE(reader_.skipGroup()) << g;
    }
    EXPECT_EQ(reader_.deformerTotal(), 1);
    ASSERT_TRUE(reader_.skipDeformers());
    EXPECT_EQ(reader_.tell(), model);
    ASSERT_TRUE(reader_.seekSecondTrailer());
    std::int32_t id = 0, length = 0;
    ASSERT_TRUE(reader_.readSecondTrailerHeader(id, length));
    EXPECT_EQ(id, 42);
    EXPECT_TRUE(reader_.skipSecondTrailer());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
}

// --- Skins --------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsSkinImageMipmapsMaterialAndExtra)
{
    ASSERT_TRUE(openBuilt(test::everyRecordKind()));
    ASSERT_TRUE(reader_.skipBones());
    ASSERT_TRUE(readGroup());
    std::uint8_t type = 0;
    char name[16];
    ASSERT_TRUE(reader_.readSkinHeader(type, name));
    EXPECT_EQ(type, 5 | 0x08 | 0x10 | 0x20);
    EXPECT_STREQ(name, "wood");
    std::int32_t width = 0, height = 0, bytesPerPixel = 0;
    bool mipmaps = false;
    ASSERT_TRUE(reader_.readSkinFormat(width, height, bytesPerPixel, mipmaps));
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    EXPECT_EQ(bytesPerPixel, 4);
    EXPECT_TRUE(mipmaps);

    // 5 x 3 x 4 = 60 bytes, then mipmaps of 2 x 1, 1 x 0 and 0 x 0 pixels.
    const std::int32_t start = reader_.tell();
    const std::uint8_t* image = nullptr;
    const std::uint8_t* mip[3] = {};
    ASSERT_TRUE(reader_.readSkinPixels(&image, &mip[0], &mip[1], &mip[2]));
    EXPECT_EQ(image, reader_.data() + start);
    EXPECT_EQ(mip[0], reader_.data() + start + 60);
    EXPECT_EQ(mip[1], reader_.data() + start + 68);
    EXPECT_EQ(mip[2], reader_.data() + start + 68);
    EXPECT_EQ(reader_.tell(), start + 68);

    float colours[4][4] = {};
    float scalar = 0;
    ASSERT_TRUE(reader_.readSkinMaterial(colours[0], colours[1], colours[2], colours[3], &scalar));
    EXPECT_EQ(colours[0][0], 1.0f);
    EXPECT_EQ(colours[3][3], 16.0f);
    EXPECT_EQ(scalar, 17.0f);
    std::int32_t length = 0;
    ASSERT_TRUE(reader_.readSkinExtraLength(length));
    EXPECT_EQ(length, 5);
    char text[6] = {};
    ASSERT_TRUE(reader_.readSkinExtraData(text));
    EXPECT_STREQ(text, "hello");

    // The external-texture skin has neither material nor extra block.
    ASSERT_TRUE(reader_.readSkinHeader(type, name));
    EXPECT_FALSE(reader_.readSkinMaterial(nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(reader_.readSkinExtraLength(length));
    EXPECT_TRUE(reader_.skipSkin());
    float s = 0, t = 0;
    ASSERT_TRUE(reader_.readTexCoord(s, t));
    EXPECT_EQ(s, 0.0f);
}

TEST_F(Mdl7ReaderTest, SizesSkinImagesByKind)
{
    Mdl7Builder b;
    b.group({.skinCount = 4});
    b.skin({.type = 1 | 0x08, .width = 64, .height = 64});      // no image at all
    b.skin({.type = 6, .width = 3, .height = 5}).fill(3, 0x66); // stepped over by width
    b.skin({.type = 4, .width = -2, .height = -3});             // no image bytes
    b.skin({.type = 0x20 | 2, .width = 0, .height = 9}).extra(0, "");
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());

    std::uint8_t type = 0;
    std::int32_t width = 0, height = 0, bytesPerPixel = -1;
    bool mipmaps = false;
    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    ASSERT_TRUE(reader_.readSkinFormat(width, height, bytesPerPixel, mipmaps));
    EXPECT_EQ(bytesPerPixel, 0);
    EXPECT_TRUE(mipmaps);
    const std::int32_t afterHeader = reader_.tell();
    const std::uint8_t* image = nullptr;
    const std::uint8_t* mip[3] = {};
    EXPECT_TRUE(reader_.readSkinPixels(&image, &mip[0], &mip[1], &mip[2]));
    EXPECT_EQ(reader_.tell(), afterHeader);

    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    ASSERT_TRUE(reader_.skipSkin());
    EXPECT_EQ(reader_.tell(), afterHeader + 28 + 3);
    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    ASSERT_TRUE(reader_.skipSkin());
    EXPECT_EQ(reader_.tell(), afterHeader + 28 + 3 + 28);

    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    std::int32_t length = -1;
    ASSERT_TRUE(reader_.readSkinExtraLength(length));
    EXPECT_EQ(length, 0);
    const std::int32_t before = reader_.tell();
    char text[1];
    EXPECT_FALSE(reader_.readSkinExtraData(text));
    EXPECT_EQ(reader_.tell(), before);
}

TEST_F(Mdl7ReaderTest, FailsOnSkinImagesBeyondTheData)
{
    Mdl7Builder b;
    b.group({.skinCount = 3});
    b.skin({.type = 5 | 0x08, .width = 0x7FFFFFFF, .height = 0x7FFFFFFF});
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());
    std::uint8_t type = 0;
    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    std::int32_t w = 0, h = 0, bpp = 0;
    bool mipmaps = false;
    ASSERT_TRUE(reader_.readSkinFormat(w, h, bpp, mipmaps));
    // With null places running out is not reported, but the cursor ends up
    // at the end of the data either way.
    EXPECT_TRUE(reader_.readSkinPixels(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
    const std::uint8_t* image = nullptr;
    EXPECT_FALSE(reader_.readSkinPixels(&image, nullptr, nullptr, nullptr));
    EXPECT_EQ(image, nullptr);
    reader_.close();

    Mdl7Builder negative;
    negative.group({.skinCount = 1}).skin({.type = 0, .width = -4, .height = -4}).fill(16);
    ASSERT_TRUE(openBuilt(negative));
    ASSERT_TRUE(readGroup());
    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    ASSERT_TRUE(reader_.readSkinFormat(w, h, bpp, mipmaps));
    EXPECT_FALSE(reader_.readSkinPixels(&image, nullptr, nullptr, nullptr));
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
}

TEST_F(Mdl7ReaderTest, RefusesShortSkinHeadersAndMaterials)
{
    Mdl7Builder b;
    b.setRecordSize(hdr::kMaterialRecordSize, 64);
    b.group({.skinCount = 1}).skin({.type = 1 | 0x10}).fill(64);
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());
    std::uint8_t type = 0;
    ASSERT_TRUE(reader_.readSkinHeader(type, nullptr));
    const std::int32_t before = reader_.tell();
    float scalar = 0;
    EXPECT_FALSE(reader_.readSkinMaterial(nullptr, nullptr, nullptr, nullptr, &scalar));
    EXPECT_EQ(reader_.tell(), before);
    reader_.close();

    Mdl7Builder shortHeader;
    shortHeader.setRecordSize(hdr::kSkinHeaderSize, 27).group({.skinCount = 1}).skin({});
    ASSERT_TRUE(openBuilt(shortHeader));
    ASSERT_TRUE(readGroup());
    const std::int32_t afterGroup = reader_.tell();
    EXPECT_FALSE(reader_.readSkinHeader(type, nullptr));
    EXPECT_FALSE(reader_.skipSkins());
    EXPECT_EQ(reader_.tell(), afterGroup);
}

// --- Triangles, texture coordinates, vertices ------------------------------------

TEST_F(Mdl7ReaderTest, ChecksTriangleVertexIndices)
{
    Mdl7Builder b;
    b.group({.triangleCount = 3, .vertexCount = 3});
    b.triangle({.vertex = {0, 3, 1}, .skinIndex = 9}); // 3 is not below 3
    b.triangle({.vertex = {2, 1, 0}, .texCoord = {0xFFFF, 4, 0xFFFE}, .skinIndex = 4});
    b.triangle({.vertex = {0xFFFF, 0, 0}, .skinIndex = 5, .texCoord2 = {0xFFFF, 2, 3}, .skinIndex2 = 6});
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());
    std::int32_t v[3], t[3], skin = -100;
    EXPECT_FALSE(reader_.readTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(skin, -100); // a rejected triangle leaves the skin index alone
    EXPECT_EQ(reader_.tell(), 48 + 44 + 26);
    ASSERT_TRUE(reader_.readTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(t[0], -1);
    EXPECT_EQ(t[1], 4);
    EXPECT_EQ(t[2], 0xFFFE);
    EXPECT_EQ(skin, 4);
    // The both-sets form writes every output before judging the vertices.
    std::int32_t t2[3] = {}, skin2 = 0;
    EXPECT_FALSE(
        reader_.readTriangleBothSets(v[0], v[1], v[2], t[0], t[1], t[2], skin, t2[0], t2[1], t2[2], skin2));
    EXPECT_EQ(v[0], 65535);
    EXPECT_EQ(skin, 5);
    EXPECT_EQ(t2[0], -1);
    EXPECT_EQ(t2[2], 3);
    EXPECT_EQ(skin2, 6);
}

TEST_F(Mdl7ReaderTest, ReadsTrianglesOfEveryRecordSize)
{
    Mdl7Builder b;
    b.setRecordSize(hdr::kTriangleRecordSize, 12);
    b.group({.triangleCount = 1, .vertexCount = 3}).triangle({.vertex = {0, 1, 2}, .skinIndex = 7});
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());
    std::int32_t v[3], t[3], skin = -100, t2[3] = {-9, -9, -9}, skin2 = -9;
    ASSERT_TRUE(
        reader_.readTriangleBothSets(v[0], v[1], v[2], t[0], t[1], t[2], skin, t2[0], t2[1], t2[2], skin2));
    EXPECT_EQ(skin, -100);
    EXPECT_EQ(t2[0], -9);
    EXPECT_EQ(skin2, -9);
    EXPECT_EQ(reader_.tell(), 48 + 44 + 12);
    reader_.close();

    // Surplus bytes after the known fields are stepped over.
    Mdl7Builder longer;
    longer.setRecordSize(hdr::kTriangleRecordSize, 30);
    longer.group({.triangleCount = 2, .vertexCount = 3});
    longer.triangle({.vertex = {0, 1, 2}, .skinIndex = 1}).triangle({.vertex = {1, 2, 0}, .skinIndex = 2});
    ASSERT_TRUE(openBuilt(longer));
    ASSERT_TRUE(readGroup());
    ASSERT_TRUE(reader_.readTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    ASSERT_TRUE(reader_.readTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(skin, 2);
    reader_.close();

    Mdl7Builder tooShort;
    tooShort.setRecordSize(hdr::kTriangleRecordSize, 11).group({.triangleCount = 1, .vertexCount = 3});
    tooShort.triangle({});
    ASSERT_TRUE(openBuilt(tooShort));
    ASSERT_TRUE(readGroup());
    EXPECT_FALSE(reader_.readTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    EXPECT_EQ(reader_.tell(), 48 + 44);
    EXPECT_TRUE(reader_.skipTriangles()); // the skip steps by the stored size
    EXPECT_EQ(reader_.tell(), 48 + 44 + 11);
}

TEST_F(Mdl7ReaderTest, ReadsVertexNormalsByRecordSize)
{
    for (const std::uint16_t size : {26, 30, 16, 20}) {
        SCOPED_TRACE(size);
        Mdl7Builder b;
        b.setRecordSize(hdr::kVertexRecordSize, size);
        b.group({.vertexCount = 2});
        b.vertex({.x = 1,
                  .y = 2,
                  .z = 3,
                  .index = 0xFFFF,
                  .nx = 0.5f,
                  .ny = 0.25f,
                  .nz = 0.125f,
                  .normalIndex = 5});
        b.vertex({.index = 7, .normalIndex = 162});
        ASSERT_TRUE(openBuilt(b));
        ASSERT_TRUE(readGroup());
        float nx = 9, ny = 9, nz = 9;
        EXPECT_FALSE(reader_.readVertexNormal(nx, ny, nz)); // no vertex yet
        float x = 0, y = 0, z = 0;
        std::int32_t bone = 0;
        ASSERT_TRUE(reader_.readVertex(x, y, z, bone));
        EXPECT_EQ(bone, -1);
        EXPECT_EQ(z, 3.0f);
        const bool stored = reader_.readVertexNormal(nx, ny, nz);
        if (size >= 26) {
            EXPECT_TRUE(stored);
            EXPECT_EQ(nx, 0.5f);
            EXPECT_EQ(nz, 0.125f);
        } else if (size == 16) {
            EXPECT_FALSE(stored);
            EXPECT_EQ(nx, 0.0f); // table entry 5 is (0, 0, 1)
            EXPECT_EQ(nz, 1.0f);
        } else {
            EXPECT_FALSE(stored);
            EXPECT_EQ(nz, 0.0f);
        }
        ASSERT_TRUE(reader_.readVertex(x, y, z, bone));
        EXPECT_EQ(bone, 7);
        nx = ny = nz = 9;
        reader_.readVertexNormal(nx, ny, nz);
        if (size == 16) {
            EXPECT_EQ(nx, 9.0f); // index 162 lies outside the table
        }
        EXPECT_EQ(reader_.tell(), 48 + 44 + 2 * size);
        reader_.close();
    }
}

TEST_F(Mdl7ReaderTest, SkipsRecordRunsWithCheckedLengths)
{
    Mdl7Builder b;
    b.group({.texCoordCount = 2, .triangleCount = 0, .vertexCount = 1});
    b.texCoord(0, 0).texCoord(1, 1).vertex({});
    ASSERT_TRUE(openBuilt(b));
    EXPECT_FALSE(reader_.skipTexCoords()); // no group yet
    ASSERT_TRUE(readGroup());
    EXPECT_TRUE(reader_.skipTexCoords());
    EXPECT_TRUE(reader_.skipTriangles());
    EXPECT_TRUE(reader_.skipVertices());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
    reader_.close();

    for (const std::int32_t count : {-1, 0x7FFFFFFF}) {
        Mdl7Builder bad;
        bad.group({.vertexCount = count}).vertex({});
        ASSERT_TRUE(openBuilt(bad));
        ASSERT_TRUE(readGroup());
        EXPECT_FALSE(reader_.skipVertices()) << count;
        EXPECT_EQ(reader_.tell(), reader_.dataLimit());
        reader_.close();
    }
}

// --- Frames --------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsFramesWithVerticesAndBoneTransforms)
{
    ASSERT_TRUE(openBuilt(test::everyRecordKind()));
    ASSERT_TRUE(reader_.skipBones());
    ASSERT_TRUE(readGroup());
    ASSERT_TRUE(reader_.skipSkins());
    ASSERT_TRUE(reader_.skipTexCoords());
    ASSERT_TRUE(reader_.skipTriangles());
    ASSERT_TRUE(reader_.skipVertices());
    std::int32_t frameVertices = 0, transforms = 0;
    char name[16];
    ASSERT_TRUE(reader_.readFrameHeader(frameVertices, transforms, name));
    EXPECT_STREQ(name, "idle");
    EXPECT_EQ(frameVertices, 1);
    EXPECT_EQ(transforms, 1);
    std::int32_t index = 0;
    float x = 0, y = 0, z = 0;
    ASSERT_TRUE(reader_.readFrameVertex(index, x, y, z));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(x, 9.0f);
    float nx = 0, ny = 0, nz = 0;
    EXPECT_TRUE(reader_.readFrameVertexNormal(nx, ny, nz));
    EXPECT_EQ(nz, 1.0f);
    std::int32_t bone = 0;
    std::uint8_t matrix[64] = {};
    ASSERT_TRUE(reader_.readBoneTransform(bone, matrix));
    EXPECT_EQ(bone, -1);
    EXPECT_EQ(loadF32(matrix), 1.0f);
    EXPECT_EQ(loadF32(matrix + 60), 1.0f);
    EXPECT_EQ(loadF32(matrix + 4), 0.0f);
    // The next group header follows the frame.
    std::uint8_t type = 0;
    ASSERT_TRUE(readGroup(&type));
    EXPECT_EQ(type, 3);
}

TEST_F(Mdl7ReaderTest, SkipsFramesToTheNextGroup)
{
    // Frames of many pages each, so that the headers the skip reads lie far
    // apart in the file, followed by a group of another type.
    Mdl7Builder b;
    b.group({.frameCount = 3});
    b.frame({.frameVertexCount = 400});
    for (int i = 0; i < 400; ++i)
        b.frameVertex({.x = float(i)});
    b.frame({.boneTransformCount = 100});
    for (int i = 0; i < 100; ++i)
        b.boneTransform(0, {});
    b.frame({.frameVertexCount = 1, .boneTransformCount = 1}).frameVertex({}).boneTransform(1, {});
    b.group({.type = 3});
    const std::vector<std::uint8_t> bytes = b.bytes();

    const auto skipAndReadNext = [](Mdl7Reader& reader) {
        std::uint8_t type = 0;
        std::int32_t size = 0;
        if (!reader.readGroupHeader(type, size, nullptr) || !reader.skipFrames()) return -1;
        if (!reader.readGroupHeader(type, size, nullptr)) return -2;
        return int(type);
    };
    // From the file, where the headers are copied out of it, and from memory
    // handed to parseHeader.
    ASSERT_TRUE(openBuilt(b));
    EXPECT_EQ(skipAndReadNext(reader_), 3);
    Mdl7Reader attached;
    ASSERT_EQ(attached.parseHeader(bytes.data(), std::int32_t(bytes.size())), std::int32_t(bytes.size()));
    EXPECT_EQ(skipAndReadNext(attached), 3);

    // A frame that announces more than the data holds.
    Mdl7Builder cut;
    cut.group({.frameCount = 2}).frame({.frameVertexCount = 1}).frameVertex({});
    cut.frame({.frameVertexCount = 2}).frameVertex({});
    ASSERT_TRUE(openBuilt(cut));
    ASSERT_TRUE(readGroup());
    EXPECT_FALSE(reader_.skipFrames());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
}

TEST_F(Mdl7ReaderTest, RefusesShortFrameRecordsAndBadFrameCounts)
{
    Mdl7Builder b;
    b.setRecordSize(hdr::kBoneTransformRecordSize, 65);
    b.group({.frameCount = 2}).frame({.frameVertexCount = 0, .boneTransformCount = 1}).fill(65);
    b.frame({.frameVertexCount = -1});
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(readGroup());
    std::int32_t frameVertices = 0, transforms = 0;
    EXPECT_FALSE(reader_.skipFrame()); // no frame yet
    ASSERT_TRUE(reader_.readFrameHeader(frameVertices, transforms, nullptr));
    std::int32_t bone = 0;
    const std::int32_t before = reader_.tell();
    EXPECT_FALSE(reader_.readBoneTransform(bone, nullptr));
    EXPECT_EQ(reader_.tell(), before);
    ASSERT_TRUE(reader_.skipFrame());
    ASSERT_TRUE(reader_.readFrameHeader(frameVertices, transforms, nullptr));
    std::int32_t index = 0;
    float x = 0;
    EXPECT_FALSE(reader_.readFrameVertex(index, x, x, x));
    EXPECT_FALSE(reader_.skipFrame());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
    reader_.close();

    Mdl7Builder shortHeader;
    shortHeader.setRecordSize(hdr::kFrameHeaderSize, 23).group({.frameCount = 1}).frame({});
    ASSERT_TRUE(openBuilt(shortHeader));
    ASSERT_TRUE(readGroup());
    EXPECT_FALSE(reader_.readFrameHeader(frameVertices, transforms, nullptr));
    EXPECT_FALSE(reader_.skipFrames());
    EXPECT_EQ(reader_.tell(), 48 + 44);
}

// --- Deformers -------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsAndSkipsDeformers)
{
    Mdl7Builder b;
    b.group({.type = 2, .deformerCount = 3, .groupDataSize = 48}).fill(4);
    b.deformer({.deformerType = 4, .groupIndex = 1, .elementCount = 1, .deformerDataSize = 16 + 28 + 8});
    b.deformerElement(6, "elbow", 1).deformerWeight(3, 0.5f);
    b.deformer({.deformerDataSize = 16});
    b.deformer({.deformerDataSize = 15});
    ASSERT_TRUE(openBuilt(b));
    EXPECT_FALSE(reader_.skipDeformer()); // no group header announced any
    EXPECT_TRUE(reader_.skipDeformers());
    ASSERT_TRUE(readGroup());
    ASSERT_TRUE(reader_.skipGroup());
    const std::int32_t deformers = reader_.tell();

    std::uint8_t type = 0;
    std::int32_t group = 0, elements = 0, dataSize = 0;
    ASSERT_TRUE(reader_.readDeformerHeader(type, group, elements, &dataSize));
    EXPECT_EQ(type, 4);
    EXPECT_EQ(group, 1);
    EXPECT_EQ(elements, 1);
    EXPECT_EQ(dataSize, 52);
    EXPECT_FALSE(reader_.skipDeformerWeights()); // no element yet
    std::int32_t index = 0, weights = 0;
    char name[20];
    ASSERT_TRUE(reader_.readDeformerElement(index, name, weights));
    EXPECT_EQ(index, 6);
    EXPECT_STREQ(name, "elbow");
    std::int32_t target = 0;
    float weight = 0;
    ASSERT_TRUE(reader_.readDeformerWeight(target, weight));
    EXPECT_EQ(target, 3);
    EXPECT_EQ(weight, 0.5f);
    // A deformer of only its header is a skip of zero bytes; one whose size
    // does not even cover its header is corrupt.
    ASSERT_TRUE(reader_.skipDeformer());
    EXPECT_FALSE(reader_.skipDeformer());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());

    ASSERT_TRUE(reader_.seek(deformers));
    EXPECT_FALSE(reader_.skipDeformers());
}

// --- Trailers ---------------------------------------------------------------------------

TEST_F(Mdl7ReaderTest, ReadsTrailerRecords)
{
    ASSERT_TRUE(openBuilt(test::everyRecordKind()));
    std::int32_t bones = 0, groups = 0, model = 0, trailer = 0, second = 0;
    ASSERT_TRUE(reader_.readHeader(bones, groups, model, trailer, second));
    std::int32_t kind = 0, entries = 0;
    // The cursor stands before the trailer: a header here does not lie in it.
    EXPECT_FALSE(reader_.readTrailerHeader(kind, entries));
    EXPECT_EQ(reader_.tell(), 48);
    EXPECT_FALSE(reader_.skipTrailer());

    ASSERT_TRUE(reader_.seekTrailer());
    EXPECT_EQ(reader_.tell(), model);
    ASSERT_TRUE(reader_.readTrailerHeader(kind, entries));
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(reader_.currentTrailerLength(), 54);
    std::int32_t id = 0, count = 0;
    ASSERT_TRUE(reader_.readTrailerEntry(id, count));
    EXPECT_EQ(id, 10);
    ASSERT_TRUE(reader_.readTrailerSubEntry(id, count));
    EXPECT_EQ(id, 20);
    EXPECT_EQ(count, 1);
    std::int32_t v[3], t[3], skin = 0;
    ASSERT_TRUE(reader_.readTrailerTriangle(v[0], v[1], v[2], t[0], t[1], t[2], skin));
    EXPECT_EQ(v[0], 4464);
    EXPECT_EQ(v[1], 65535); // vertex indices are delivered as stored
    EXPECT_EQ(t[0], -1);
    EXPECT_EQ(skin, -3);
    EXPECT_EQ(reader_.tell(), model + trailer);

    // The trailer header ends the current group.
    std::int32_t c[5];
    EXPECT_FALSE(reader_.readGroupCounts(c[0], c[1], c[2], c[3], c[4]));
    EXPECT_FALSE(reader_.skipSecondTrailer()); // the current header is the first trailer's
    ASSERT_TRUE(reader_.seekTrailer());
    ASSERT_TRUE(reader_.readTrailerHeader(kind, entries));
    ASSERT_TRUE(reader_.skipTrailer());
    EXPECT_EQ(reader_.tell(), model + trailer);
}

TEST_F(Mdl7ReaderTest, BoundsTrailerHeadersByTheirSection)
{
    for (const std::int32_t size : {12, 11}) {
        Mdl7Builder b;
        b.beginTrailer().trailerHeader(1, 12, 0).setTrailerSize(size);
        ASSERT_TRUE(openBuilt(b));
        ASSERT_TRUE(reader_.seekTrailer());
        std::int32_t kind = 0, entries = 0;
        EXPECT_EQ(reader_.readTrailerHeader(kind, entries), size == 12);
        EXPECT_EQ(reader_.tell(), size == 12 ? 60 : 48);
        reader_.close();
    }

    Mdl7Builder none;
    none.fill(10);
    ASSERT_TRUE(openBuilt(none));
    ASSERT_TRUE(reader_.skip(3));
    EXPECT_FALSE(reader_.seekTrailer());
    EXPECT_EQ(reader_.tell(), 51);
    reader_.close();

    // A trailer announced beyond the loaded data cannot be reached; the
    // failed seek leaves the cursor at the start.
    Mdl7Builder cut;
    cut.setModelDataSize(100).setTrailerSize(20).fill(10);
    ASSERT_TRUE(openBuilt(cut));
    EXPECT_FALSE(reader_.seekTrailer());
    EXPECT_EQ(reader_.tell(), 0);
}

TEST_F(Mdl7ReaderTest, SkipsTrailerByItsLengthWithinTheSection)
{
    // Two trailer records back to back: the length field leads to the next.
    Mdl7Builder b;
    b.beginTrailer().trailerHeader(1, 20, 1).trailerEntry(5, 0).trailerHeader(2, 12, 0);
    b.beginSecondTrailer().secondTrailerHeader(7, 4000).fill(4);
    ASSERT_TRUE(openBuilt(b));
    ASSERT_TRUE(reader_.seekTrailer());
    std::int32_t kind = 0, entries = 0;
    ASSERT_TRUE(reader_.readTrailerHeader(kind, entries));
    ASSERT_TRUE(reader_.skipTrailer());
    EXPECT_EQ(reader_.tell(), 48 + 20);
    ASSERT_TRUE(reader_.readTrailerHeader(kind, entries));
    EXPECT_EQ(kind, 2);
    ASSERT_TRUE(reader_.skipTrailer());
    EXPECT_EQ(reader_.tell(), 48 + 32);

    // A length beyond the section falls back to the section's end, which
    // here is the end of the data.
    ASSERT_TRUE(reader_.seekSecondTrailer());
    std::int32_t id = 0, length = 0;
    ASSERT_TRUE(reader_.readSecondTrailerHeader(id, length));
    EXPECT_EQ(length, 4000);
    ASSERT_TRUE(reader_.skipSecondTrailer());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
    reader_.close();

    // A section that reaches past the loaded bytes cannot be skipped.
    Mdl7Builder cut;
    cut.beginTrailer().trailerHeader(1, 0, 0).setTrailerSize(500);
    ASSERT_TRUE(openBuilt(cut));
    ASSERT_TRUE(reader_.seekTrailer());
    ASSERT_TRUE(reader_.readTrailerHeader(kind, entries));
    EXPECT_FALSE(reader_.skipTrailer());
    EXPECT_EQ(reader_.tell(), reader_.dataLimit());
}

} // namespace
} // namespace kelvane
