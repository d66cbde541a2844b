#include "mdl/legacy/Mdl2Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/ImageSize.h"
#include "mdl/NormalTable.h"
#include "mdl/legacy/LegacyFormat.h"

#include <cstring>

namespace kelvane {

Mdl2Reader::Mdl2Reader() { formatCode_ = kFormatMdl2; }

std::int32_t Mdl2Reader::acceptHeader(const std::uint8_t* data, std::int32_t length, std::int32_t headerSize,
                                      const char* magic, const char* otherMagic)
{
    if (data == nullptr || length < headerSize) return 0;
    const bool known =
        std::memcmp(data, magic, 4) == 0 || (otherMagic != nullptr && std::memcmp(data, otherMagic, 4) == 0);
    if (!known) return 0;
    header_ = data;
    attachData(data, headerSize, length);
    return length;
}

std::int32_t Mdl2Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::header::kSize, legacy::kMagicIdpo, legacy::kMagicMdl2);
}

bool Mdl2Reader::close()
{
    ModelFile::close();
    header_ = nullptr;
    bytesPerPixel_ = 0;
    hasMipmaps_ = false;
    currentTexCoord_ = nullptr;
    currentTriangle_ = nullptr;
    currentVertex_ = nullptr;
    currentFrame_ = nullptr;
    return true;
}

std::int32_t Mdl2Reader::headerField(int offset) const
{
    return header_ == nullptr ? 0 : loadI32(header_ + offset);
}

std::int32_t Mdl2Reader::getSkinCount() const { return headerField(legacy::header::kSkinCount); }
std::int32_t Mdl2Reader::getVertexCount() const { return headerField(legacy::header::kVertexCount); }
std::int32_t Mdl2Reader::getTriangleCount() const { return headerField(legacy::header::kTriangleCount); }
std::int32_t Mdl2Reader::getTexCoordCount() const { return headerField(legacy::header::kVertexCount); }
std::int32_t Mdl2Reader::getFrameCount() const { return headerField(legacy::header::kFrameCount); }

bool Mdl2Reader::getHeader(const std::uint8_t*& header) const
{
    header = header_;
    return true;
}

bool Mdl2Reader::failAtEnd()
{
    (void)advance(-1); // a negative request always fails and parks the cursor at the end
    return false;
}

bool Mdl2Reader::takeImage(std::int64_t byteCount, const std::uint8_t** out)
{
    // An image no file can hold comes as -1, which fails like running out of
    // data and leaves the cursor at the end.
    const std::uint8_t* image = advance(byteCount);
    if (image == nullptr) return false;
    if (out != nullptr) *out = image;
    return true;
}

bool Mdl2Reader::skipRecords(std::int32_t count, std::int32_t recordSize)
{
    if (!hasData()) return false;
    if (count == 0) return true;
    return skip(std::int64_t(count) * recordSize); // a negative count fails in advance
}

void Mdl2Reader::copyFrameName(const std::uint8_t* field, char* name)
{
    if (name == nullptr) return;
    // Frame names are often followed by leftover bytes after their zero; those
    // are not part of the name. The 16th byte is always written as zero, so a
    // name filling the whole field still comes out terminated.
    std::int32_t n = 0;
    for (; n < legacy::kFrameNameSize - 1 && field[n] != 0; ++n)
        name[n] = static_cast<char>(field[n]);
    for (; n < legacy::kFrameNameSize; ++n)
        name[n] = '\0';
}

std::int32_t Mdl2Reader::clampNormalIndex(std::int32_t stored)
{
    return stored >= 0 && stored < NormalTable::kCount ? stored : 0;
}

bool Mdl2Reader::readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                std::int32_t& bytesPerPixel, bool& hasMipmaps)
{
    if (!hasData() || getSkinCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::skin::kTypeSize);
    if (record == nullptr) return false;
    const std::int32_t storedType = loadI32(record);

    width = headerField(legacy::header::kSkinWidth);
    height = headerField(legacy::header::kSkinHeight);
    return describeSkin(storedType, legacy::skin::kOldBytesPerPixel, type, bytesPerPixel, hasMipmaps);
}

bool Mdl2Reader::describeSkin(std::int32_t storedType, const std::int32_t (&kindBytes)[8], std::uint8_t& type,
                              std::int32_t& bytesPerPixel, bool& hasMipmaps)
{
    type = static_cast<std::uint8_t>(storedType & 0xFF);
    bytesPerPixel = bytesPerPixel_ = 0;
    hasMipmaps = false;
    const std::int32_t bytes = kindBytes[storedType & legacy::skin::kKindMask];
    if (bytes == legacy::skin::kRejected) return false;
    bytesPerPixel = bytesPerPixel_ = bytes;
    hasMipmaps = hasMipmaps_ = (storedType & legacy::skin::kMipmapFlag) != 0;
    return true;
}

bool Mdl2Reader::readSkinPixels(const std::uint8_t** image, const std::uint8_t**, const std::uint8_t**,
                                const std::uint8_t**)
{
    if (!hasData()) return false;
    return takeImage(imageByteCount(headerField(legacy::header::kSkinWidth),
                                    headerField(legacy::header::kSkinHeight), bytesPerPixel_),
                     image);
}

bool Mdl2Reader::skipSkin() { return readSkinPixels(nullptr, nullptr, nullptr, nullptr); }

bool Mdl2Reader::skipSkins()
{
    if (!hasData()) return false;
    const std::int32_t count = getSkinCount();
    if (count < 0) return failAtEnd();
    std::uint8_t type = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;
    // Every skin consumes at least its leading record, so a huge count ends
    // at the end of the data after a bounded number of steps.
    for (std::int32_t i = 0; i < count; ++i) {
        if (!readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps) || !skipSkin()) return false;
    }
    return true;
}

bool Mdl2Reader::readTexCoord(std::int16_t& s, std::int16_t& t)
{
    if (!hasData() || getTexCoordCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::texcoord::kOldSize);
    if (record == nullptr) return false;
    currentTexCoord_ = record;
    s = static_cast<std::int16_t>(loadU16(record + legacy::texcoord::kOldS));
    t = static_cast<std::int16_t>(loadU16(record + legacy::texcoord::kOldT));
    return true;
}

bool Mdl2Reader::skipTexCoords() { return skipRecords(getTexCoordCount(), legacy::texcoord::kOldSize); }

bool Mdl2Reader::readTriangle(std::span<std::int32_t, 3> vertexIndices,
                              std::span<std::int32_t, 3> texCoordIndices)
{
    if (!hasData() || getTriangleCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::triangle::kOldSize);
    if (record == nullptr) return false;
    currentTriangle_ = record;
    for (int i = 0; i < 3; ++i) {
        vertexIndices[i] = loadI32(record + legacy::triangle::kOldVertexIndex + 4 * i);
        texCoordIndices[i] = -1; // texture coordinates are indexed by vertex
    }
    return true;
}

bool Mdl2Reader::skipTriangles() { return skipRecords(getTriangleCount(), legacy::triangle::kOldSize); }

bool Mdl2Reader::readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax, float*, float*)
{
    if (!hasData() || getFrameCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::frame::kOldSize);
    currentFrame_ = record;
    if (record == nullptr) return false;
    if (loadI32(record + legacy::frame::kOldType) != legacy::frame::kOldRequiredType) return false;
    copyFrameName(record + legacy::frame::kOldName, name);
    for (int i = 0; i < 3; ++i) {
        if (bboxMin != nullptr) bboxMin[i] = loadU8(record + legacy::frame::kOldBboxMin + i);
        if (bboxMax != nullptr) bboxMax[i] = loadU8(record + legacy::frame::kOldBboxMax + i);
    }
    return true;
}

bool Mdl2Reader::skipFrame() { return skipRecords(getVertexCount(), legacy::vertex::kOldSize); }

bool Mdl2Reader::skipFrames()
{
    if (!hasData()) return false;
    const std::int32_t count = getFrameCount();
    if (count < 0) return failAtEnd();
    // Every frame consumes at least its header, so a huge count ends at the
    // end of the data after a bounded number of steps.
    for (std::int32_t i = 0; i < count; ++i) {
        if (!readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr) || !skipFrame()) return false;
    }
    return true;
}

bool Mdl2Reader::nextVertex()
{
    if (!hasData() || getVertexCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::vertex::kOldSize);
    currentVertex_ = record;
    return record != nullptr;
}

bool Mdl2Reader::readVertex(std::span<std::uint16_t, 3> position, std::int32_t& normalIndex)
{
    if (!nextVertex()) return false;
    for (int i = 0; i < 3; ++i)
        position[i] = loadU8(currentVertex_ + i);
    normalIndex = clampNormalIndex(loadU8(currentVertex_ + legacy::vertex::kOldNormalIndex));
    return true;
}

bool Mdl2Reader::getTexCoordSkinSize(std::int32_t& width, std::int32_t& height) const
{
    if (!hasData()) return false;
    width = headerField(legacy::header::kSkinWidth);
    height = headerField(legacy::header::kSkinHeight);
    return true;
}

bool Mdl2Reader::getPackedScale(std::span<float, 3> scale, std::span<float, 3> translate) const
{
    if (!hasData()) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        scale[i] = loadF32(header_ + legacy::header::kScale + 4 * i);
        translate[i] = loadF32(header_ + legacy::header::kTranslate + 4 * i);
    }
    return true;
}

bool Mdl2Reader::getTexCoordOnSeam(bool& onSeam) const
{
    if (currentTexCoord_ == nullptr) return false;
    onSeam = loadI32(currentTexCoord_ + legacy::texcoord::kOldOnSeam) != 0;
    return true;
}

bool Mdl2Reader::getTriangleFacesFront(bool& facesFront) const
{
    if (currentTriangle_ == nullptr) return false;
    facesFront = loadI32(currentTriangle_ + legacy::triangle::kOldFacesFront) != 0;
    return true;
}

bool Mdl2Reader::getFrameType(std::int32_t& type) const
{
    if (currentFrame_ == nullptr) return false;
    // Both typed frame header layouts start with the int32 type.
    static_assert(legacy::frame::kOldType == legacy::frame::kType);
    type = loadI32(currentFrame_ + legacy::frame::kOldType);
    return true;
}

bool Mdl2Reader::skipBones() { return hasData(); }

bool Mdl2Reader::skipVertices() { return hasData(); }

bool Mdl2Reader::skipGroup() { return skipSkins() && skipTexCoords() && skipTriangles() && skipFrames(); }

} // namespace kelvane
