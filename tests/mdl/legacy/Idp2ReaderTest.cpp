#include "mdl/legacy/Idp2Reader.h"

#include "LegacyFileBuilder.h"
#include "LegacyWalk.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

using namespace testing_legacy;

TEST(Idp2ReaderTest, SkinIsANameRecordWithoutImageBytes)
{
    const Bytes bytes = sampleModel("IDP2");
    const Attached data(bytes);
    Idp2Reader reader;
    ASSERT_EQ(reader.parseHeader(data.data(), data.length()), bytes.size());
    EXPECT_EQ(reader.getSkinCount(), 2);
    EXPECT_EQ(reader.getVertexCount(), 3);
    EXPECT_EQ(reader.getTexCoordCount(), 4);
    EXPECT_EQ(reader.getTriangleCount(), 1);
    EXPECT_EQ(reader.getFrameCount(), 2);

    // No name record read yet: nothing to hand out.
    const std::uint8_t* image = nullptr;
    EXPECT_FALSE(reader.readSkinPixels(&image, nullptr, nullptr, nullptr));

    std::uint8_t type = 0;
    std::int32_t width = 0, height = -1, bytesPerPixel = -1;
    bool hasMipmaps = true;
    ASSERT_TRUE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
    EXPECT_EQ(type, 7);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(bytesPerPixel, 0);
    EXPECT_FALSE(hasMipmaps);
    EXPECT_EQ(reader.tell(), 68 + 64);
    ASSERT_TRUE(reader.readSkinPixels(&image, nullptr, nullptr, nullptr));
    EXPECT_EQ(image, data.data() + 68);
    EXPECT_STREQ(reinterpret_cast<const char*>(image), "skins/first.pcx");
    EXPECT_TRUE(reader.skipSkin());
    EXPECT_EQ(reader.tell(), 68 + 64); // the name record is the whole skin

    ASSERT_TRUE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
    ASSERT_TRUE(reader.readSkinPixels(&image, nullptr, nullptr, nullptr));
    EXPECT_STREQ(reinterpret_cast<const char*>(image), "skins/second.pcx");
    EXPECT_EQ(reader.tell(), 68 + 128);
}

TEST(Idp2ReaderTest, ZeroCountsFailWhateverTheOtherFieldsHold)
{
    Counts c;
    c.skins = 0;
    c.vertices = 3;
    c.texCoords = 4;
    c.triangles = 0;
    c.frames = 2;
    Bytes bytes = header68(c);
    bytes.fill(200, 0x41);
    const Attached data(bytes);
    Idp2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);

    std::uint8_t type = 0;
    std::int32_t width = 0, height = 0, bytesPerPixel = 0;
    bool hasMipmaps = false;
    EXPECT_FALSE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
    EXPECT_EQ(reader.tell(), 68); // refused without moving
    EXPECT_TRUE(reader.skipSkins());
    std::int32_t vertices[3] = {}, texCoords[3] = {};
    EXPECT_FALSE(reader.readTriangle(vertices, texCoords));
    EXPECT_EQ(reader.tell(), 68);
    EXPECT_TRUE(reader.skipTriangles());
    EXPECT_EQ(reader.tell(), 68);
}

TEST(Idp2ReaderTest, FramesCarryScaleAndTranslateAndTheFullByteRange)
{
    const Bytes bytes = sampleModel("IDP2");
    const Attached data(bytes);
    Idp2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
    ASSERT_TRUE(reader.skipSkins());
    ASSERT_TRUE(reader.skipTexCoords());
    std::int32_t vertices[3] = {}, texCoords[3] = {};
    ASSERT_TRUE(reader.readTriangle(vertices, texCoords));
    EXPECT_EQ(texCoords[0], 3);

    char name[16];
    std::uint16_t bboxMin[3] = {9, 9, 9}, bboxMax[3] = {};
    float scale[3] = {}, translate[3] = {};
    ASSERT_TRUE(reader.readFrameHeader(name, bboxMin, bboxMax, scale, translate));
    EXPECT_STREQ(name, "stand1");
    EXPECT_EQ(bboxMin[0], 0);
    EXPECT_EQ(bboxMin[2], 0);
    EXPECT_EQ(bboxMax[0], 255);
    EXPECT_EQ(bboxMax[2], 255);
    EXPECT_EQ(scale[0], 1.0f);
    EXPECT_EQ(scale[2], 3.0f);
    EXPECT_EQ(translate[1], -2.0f);
    ASSERT_TRUE(reader.skipFrame());
    EXPECT_EQ(reader.tell(), bytes.size() - 40 - 12);

    // Frames have no type: any value in the first bytes is a scale.
    ASSERT_TRUE(reader.readFrameHeader(name, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(name, "stand2");
    std::int32_t type = -1;
    EXPECT_FALSE(reader.getFrameType(type));
    EXPECT_EQ(type, -1);
}

TEST(Idp2ReaderTest, SkinSizeComesFromItsOwnHeaderAndThereIsNoSharedUnpacking)
{
    Bytes bytes = sampleModel("IDP2");
    bytes.patchI32(8, 256);
    bytes.patchI32(12, -3); // handed out unchecked
    const Attached data(bytes);
    Idp2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
    std::int32_t width = 0, height = 0;
    ASSERT_TRUE(reader.getTexCoordSkinSize(width, height));
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, -3);
    float scale[3] = {7, 7, 7}, translate[3] = {};
    EXPECT_FALSE(reader.getPackedScale(scale, translate));
    EXPECT_EQ(scale[0], 7.0f);

    ASSERT_TRUE(reader.skipSkins());
    std::int16_t s = 0, t = 0;
    ASSERT_TRUE(reader.readTexCoord(s, t));
    bool onSeam = false;
    EXPECT_FALSE(reader.getTexCoordOnSeam(onSeam));
}

} // namespace
} // namespace kelvane
