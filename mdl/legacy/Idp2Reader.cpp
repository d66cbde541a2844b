#include "mdl/legacy/Idp2Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"

namespace kelvane {

Idp2Reader::Idp2Reader() { formatCode_ = kFormatIdp2; }

std::int32_t Idp2Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::idp2header::kSize, legacy::kMagicIdp2, nullptr);
}

bool Idp2Reader::close()
{
    Mdl3Reader::close();
    currentSkin_ = nullptr;
    return true;
}

std::int32_t Idp2Reader::getSkinCount() const { return headerField(legacy::idp2header::kSkinCount); }
std::int32_t Idp2Reader::getVertexCount() const { return headerField(legacy::idp2header::kVertexCount); }
std::int32_t Idp2Reader::getTriangleCount() const { return headerField(legacy::idp2header::kTriangleCount); }
std::int32_t Idp2Reader::getTexCoordCount() const { return headerField(legacy::idp2header::kTexCoordCount); }
std::int32_t Idp2Reader::getFrameCount() const { return headerField(legacy::idp2header::kFrameCount); }

bool Idp2Reader::readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                std::int32_t& bytesPerPixel, bool& hasMipmaps)
{
    if (!hasData() || getSkinCount() <= 0) return false;
    currentSkin_ = advance(legacy::skin::kNameRecordSize);
    if (currentSkin_ == nullptr) return false;
    bytesPerPixel_ = 0;
    hasMipmaps_ = false;
    type = legacy::skin::kIdp2Type;
    width = legacy::skin::kIdp2Width;
    height = 0;
    bytesPerPixel = 0;
    hasMipmaps = false;
    return true;
}

bool Idp2Reader::readSkinPixels(const std::uint8_t** image, const std::uint8_t**, const std::uint8_t**,
                                const std::uint8_t**)
{
    if (currentSkin_ == nullptr) return false;
    if (image != nullptr) *image = currentSkin_;
    return true;
}

bool Idp2Reader::skipSkin() { return hasData(); }

bool Idp2Reader::readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax, float* scale,
                                 float* translate)
{
    if (!hasData() || getFrameCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::frame::kIdp2Size);
    currentFrame_ = record;
    if (record == nullptr) return false;
    copyFrameName(record + legacy::frame::kIdp2Name, name);
    for (int i = 0; i < 3; ++i) {
        if (bboxMin != nullptr) bboxMin[i] = legacy::frame::kIdp2BboxMin;
        if (bboxMax != nullptr) bboxMax[i] = legacy::frame::kIdp2BboxMax;
        if (scale != nullptr) scale[i] = loadF32(record + legacy::frame::kIdp2Scale + 4 * i);
        if (translate != nullptr) translate[i] = loadF32(record + legacy::frame::kIdp2Translate + 4 * i);
    }
    return true;
}

bool Idp2Reader::getTexCoordSkinSize(std::int32_t& width, std::int32_t& height) const
{
    if (!hasData()) return false;
    width = headerField(legacy::idp2header::kSkinWidth);
    height = headerField(legacy::idp2header::kSkinHeight);
    return true;
}

bool Idp2Reader::getPackedScale(std::span<float, 3>, std::span<float, 3>) const { return false; }

bool Idp2Reader::getFrameType(std::int32_t&) const { return false; }

} // namespace kelvane
