#include "mdl/legacy/Mdl5Reader.h"

#include "mdl/legacy/Mdl4Reader.h"
#include "mdl/legacy/Mdl6Reader.h"

#include "LegacyFileBuilder.h"
#include "LegacyWalk.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

using namespace testing_legacy;

// An "MDL5" file with one skin of the given type and size, its bytes filled
// in so that every image is present.
Bytes oneSkin(std::int32_t type, std::int32_t width, std::int32_t height, std::size_t imageBytes)
{
    Counts c;
    c.skins = 1;
    Bytes bytes = header84("MDL5", c);
    bytes.i32(type).i32(width).i32(height).fill(imageBytes, 0x5A);
    return bytes;
}

TEST(Mdl5ReaderTest, SkinSizesWithAndWithoutMipmaps)
{
    // Kind 5 (4 bytes per pixel) with the mipmap bit, 64 x 32: the image and
    // three mipmaps of 32 x 16, 16 x 8 and 8 x 4.
    {
        const Bytes bytes = oneSkin(13, 64, 32, 8192 + 2048 + 512 + 128);
        const Attached data(bytes);
        Mdl5Reader reader;
        ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool hasMipmaps = false;
        ASSERT_TRUE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
        EXPECT_EQ(type, 13);
        EXPECT_EQ(width, 64);
        EXPECT_EQ(height, 32);
        EXPECT_EQ(bytesPerPixel, 4);
        EXPECT_TRUE(hasMipmaps);
        const std::uint8_t* images[4] = {};
        ASSERT_TRUE(reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3]));
        const std::uint8_t* base = data.data() + 84 + 12;
        EXPECT_EQ(images[0], base);
        EXPECT_EQ(images[1], base + 8192);
        EXPECT_EQ(images[2], base + 8192 + 2048);
        EXPECT_EQ(images[3], base + 8192 + 2048 + 512);
        EXPECT_EQ(reader.remaining(), 0);
    }
    // The same kind without the bit: the image alone.
    {
        Bytes bytes = oneSkin(5, 64, 32, 8192);
        bytes.fill(100, 0xEE);
        const Attached data(bytes);
        Mdl5Reader reader;
        ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
        ASSERT_TRUE(reader.skipSkins());
        EXPECT_EQ(reader.tell(), 84 + 12 + 8192);
    }
    // Odd sizes are halved with truncation: 5 x 3 gives 2 x 1, 1 x 0, 0 x 0.
    {
        Bytes bytes = oneSkin(8, 5, 3, 15 + 2);
        bytes.data[3] = '6';
        const Attached data(bytes);
        Mdl6Reader reader;
        ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
        ASSERT_TRUE(reader.skipSkins());
        EXPECT_EQ(reader.remaining(), 0);
    }
}

TEST(Mdl5ReaderTest, AcceptsMoreImageKindsThanTheOlderFormats)
{
    const std::int32_t expectedBytes[8] = {1, -1, 2, 2, 3, 4, 0, -1};
    for (std::int32_t kind = 0; kind < 8; ++kind) {
        const Bytes bytes = oneSkin(kind, 4, 2, 32);
        const Attached data(bytes);
        Mdl5Reader reader;
        ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = -1;
        bool hasMipmaps = false;
        const bool ok = reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps);
        EXPECT_EQ(ok, expectedBytes[kind] >= 0) << "kind " << kind;
        if (!ok) continue;
        EXPECT_EQ(bytesPerPixel, expectedBytes[kind]) << "kind " << kind;
        const std::uint8_t* image = nullptr;
        ASSERT_TRUE(reader.readSkinPixels(&image, nullptr, nullptr, nullptr));
        EXPECT_EQ(image, data.data() + 96) << "kind " << kind;
        // Kind 6 has no image bytes at all.
        EXPECT_EQ(reader.tell(), 96 + 8 * expectedBytes[kind]) << "kind " << kind;
    }
}

TEST(Mdl5ReaderTest, WideFramesNeedType2)
{
    for (const char* tag : {"MDL4", "MDL5", "MDL6"}) {
        const Bytes bytes = sampleModel(tag);
        const Attached data(bytes);
        std::unique_ptr<Mdl4Reader> reader;
        if (tag[3] == '4') reader = std::make_unique<Mdl4Reader>();
        if (tag[3] == '5') reader = std::make_unique<Mdl5Reader>();
        if (tag[3] == '6') reader = std::make_unique<Mdl6Reader>();
        ASSERT_GT(reader->parseHeader(data.data(), data.length()), 0) << tag;
        ASSERT_TRUE(reader->skipSkins()) << tag;
        ASSERT_TRUE(reader->skipTexCoords()) << tag;
        ASSERT_TRUE(reader->skipTriangles()) << tag;

        char name[16];
        std::uint16_t bboxMin[3] = {}, bboxMax[3] = {};
        ASSERT_TRUE(reader->readFrameHeader(name, bboxMin, bboxMax, nullptr, nullptr)) << tag;
        EXPECT_STREQ(name, "stand1");
        EXPECT_EQ(bboxMin[0], 1);
        EXPECT_EQ(bboxMax[0], 400);
        EXPECT_EQ(bboxMax[2], 600);
        std::uint16_t position[3] = {};
        std::int32_t normalIndex = 0;
        ASSERT_TRUE(reader->readVertex(position, normalIndex));
        EXPECT_EQ(position[0], 300);
        EXPECT_EQ(normalIndex, 1);
        ASSERT_TRUE(reader->nextVertex());
        ASSERT_TRUE(reader->nextVertex());
        ASSERT_TRUE(reader->readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(reader->skipFrame());
        EXPECT_EQ(reader->remaining(), 0) << tag;

        // Any other frame type is refused.
        Bytes typed = bytes;
        typed.patchI32(bytes.data.size() - 2 * (36 + 24), 0);
        const Attached typedData(typed);
        reader->close();
        ASSERT_GT(reader->parseHeader(typedData.data(), typedData.length()), 0);
        EXPECT_FALSE(reader->skipGroup()) << tag;
    }
}

} // namespace
} // namespace kelvane
