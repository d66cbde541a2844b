#include "mdl/ImageSize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace kelvane {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

TEST(ImageSizeTest, OneRuleAndOneLimitForEveryImage)
{
    EXPECT_EQ(imageByteCount(64, 32, 2), 4096);
    // A kind without pixel bytes takes nothing at any size, and neither does
    // an image with an empty side.
    EXPECT_EQ(imageByteCount(0x10000, 0x10000, 0), 0);
    EXPECT_EQ(imageByteCount(0, kInt32Max, 4), 0);
    // A negative factor is corrupt even where the product would be 0 or
    // positive.
    EXPECT_EQ(imageByteCount(-1, 0, 1), -1);
    EXPECT_EQ(imageByteCount(-2, -3, 1), -1);
    EXPECT_EQ(imageByteCount(4, 4, -1), -1);
    // The largest 32-bit size passes; one byte more does not, whichever
    // factor carries it, and products beyond 64 bits are refused too.
    EXPECT_EQ(imageByteCount(kInt32Max, 1, 1), kInt32Max);
    EXPECT_EQ(imageByteCount(0x7FFF, 0x10001, 1), 0x7FFF * 0x10001);
    EXPECT_EQ(imageByteCount(0x10000, 0x8000, 1), -1);
    EXPECT_EQ(imageByteCount(0x8000, 0x8000, 2), -1);
    EXPECT_EQ(imageByteCount(1, 1, kInt32Max + 1), -1);
    EXPECT_EQ(imageByteCount(kInt64Max, kInt64Max, kInt64Max), -1);
}

TEST(ImageSizeTest, MipmapsHalveBothSidesTruncatingAtEveryLevel)
{
    // 5 x 3 at 4 bytes per pixel: 2 x 1, 1 x 0 and 0 x 0 pixels.
    EXPECT_EQ(mipmapByteCount(5, 3, 4, 1), 8);
    EXPECT_EQ(mipmapByteCount(5, 3, 4, 2), 0);
    EXPECT_EQ(mipmapByteCount(5, 3, 4, 3), 0);
    // 15 x 40: 7 x 20, 3 x 10, 1 x 5.
    EXPECT_EQ(mipmapByteCount(15, 40, 2, 1), 280);
    EXPECT_EQ(mipmapByteCount(15, 40, 2, 2), 60);
    EXPECT_EQ(mipmapByteCount(15, 40, 2, 3), 10);
    // Levels are sized by the same limit as the main image.
    EXPECT_EQ(mipmapByteCount(0x20000, 0x20000, 1, 1), -1);
    EXPECT_EQ(mipmapByteCount(0x20000, 0x20000, 1, 2), 0x40000000);
}

} // namespace
} // namespace kelvane
