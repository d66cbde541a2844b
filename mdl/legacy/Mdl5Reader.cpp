#include "mdl/legacy/Mdl5Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/ImageSize.h"
#include "mdl/legacy/LegacyFormat.h"

namespace kelvane {

Mdl5Reader::Mdl5Reader() { formatCode_ = kFormatMdl5; }

std::int32_t Mdl5Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::header::kSize, legacy::kMagicMdl5, nullptr);
}

bool Mdl5Reader::close()
{
    Mdl4Reader::close();
    currentSkin_ = nullptr;
    return true;
}

bool Mdl5Reader::readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                std::int32_t& bytesPerPixel, bool& hasMipmaps)
{
    if (!hasData() || getSkinCount() <= 0) return false;
    currentSkin_ = advance(legacy::skin::kHeaderSize);
    if (currentSkin_ == nullptr) return false;
    const std::int32_t storedType = loadI32(currentSkin_ + legacy::skin::kType);

    width = loadI32(currentSkin_ + legacy::skin::kWidth);
    height = loadI32(currentSkin_ + legacy::skin::kHeight);
    return describeSkin(storedType, legacy::skin::kNewBytesPerPixel, type, bytesPerPixel, hasMipmaps);
}

bool Mdl5Reader::readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                const std::uint8_t** mipmap2, const std::uint8_t** mipmap3)
{
    if (!hasData() || currentSkin_ == nullptr) return false;
    const std::int32_t width = loadI32(currentSkin_ + legacy::skin::kWidth);
    const std::int32_t height = loadI32(currentSkin_ + legacy::skin::kHeight);
    if (!takeImage(imageByteCount(width, height, bytesPerPixel_), image)) return false;
    if (!hasMipmaps_) return true;
    const std::uint8_t** const mipmaps[kMipmapCount] = {mipmap1, mipmap2, mipmap3};
    for (int level = 1; level <= kMipmapCount; ++level) {
        const std::int64_t byteCount = mipmapByteCount(width, height, bytesPerPixel_, level);
        if (!takeImage(byteCount, mipmaps[level - 1])) return false;
    }
    return true;
}

} // namespace kelvane
