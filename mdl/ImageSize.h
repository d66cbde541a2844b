// ImageSize: how many bytes a skin image and its mipmaps take in a model file.
//
// A skin's main image is width x height pixels of bytesPerPixel bytes each.
// A skin with the mipmap flag is followed by kMipmapCount smaller images,
// each halving both dimensions of the one before with truncation, so a 5 x 3
// image has mipmaps of 2 x 1, 1 x 0 and 0 x 0 pixels. The MDL7 reader and
// writer and the legacy readers all size images here, so what the writer
// stores is what every reader takes back.
#pragma once

#include <cstdint>
#include <limits>

namespace kelvane {

// Mipmap images that follow the main image of a skin with the mipmap flag.
inline constexpr int kMipmapCount = 3;

// Bytes of an image of width x height pixels of bytesPerPixel bytes. -1 when
// a factor is negative or the image would not fit a 32-bit size, since no
// model file (its sizes are 32-bit) can hold it; the readers' cursor refuses
// -1 exactly like running out of data. 0 when a factor is 0, whatever the
// others: an image kind without pixel bytes takes nothing at any size.
constexpr std::int64_t imageByteCount(std::int64_t width, std::int64_t height, std::int64_t bytesPerPixel)
{
    if (width < 0 || height < 0 || bytesPerPixel < 0) return -1;
    if (width == 0 || height == 0 || bytesPerPixel == 0) return 0;
    // Dividing the limit instead of multiplying the factors keeps every step
    // exact for any 64-bit arguments.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    if (width > kLimit / height) return -1;
    const std::int64_t pixels = width * height;
    if (pixels > kLimit / bytesPerPixel) return -1;
    return pixels * bytesPerPixel;
}

// Bytes of mipmap `level` (1 to kMipmapCount) of a width x height image: its
// dimensions are halved `level` times, truncating at every step (which is
// one division by 2^level).
constexpr std::int64_t mipmapByteCount(std::int64_t width, std::int64_t height, std::int64_t bytesPerPixel,
                                       int level)
{
    const std::int64_t divisor = std::int64_t(1) << level;
    return imageByteCount(width / divisor, height / divisor, bytesPerPixel);
}

} // namespace kelvane
