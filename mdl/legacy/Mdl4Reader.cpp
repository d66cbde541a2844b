#include "mdl/legacy/Mdl4Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"

namespace kelvane {

Mdl4Reader::Mdl4Reader() { formatCode_ = kFormatMdl4; }

std::int32_t Mdl4Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::header::kSize, legacy::kMagicMdl4, nullptr);
}

bool Mdl4Reader::readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax, float*, float*)
{
    if (!hasData() || getFrameCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::frame::kSize);
    currentFrame_ = record;
    if (record == nullptr) return false;
    if (loadI32(record + legacy::frame::kType) != legacy::frame::kRequiredType) return false;
    copyFrameName(record + legacy::frame::kName, name);
    for (int i = 0; i < 3; ++i) {
        if (bboxMin != nullptr) bboxMin[i] = loadU16(record + legacy::frame::kBboxMin + 2 * i);
        if (bboxMax != nullptr) bboxMax[i] = loadU16(record + legacy::frame::kBboxMax + 2 * i);
    }
    return true;
}

bool Mdl4Reader::skipFrame() { return skipRecords(getVertexCount(), legacy::vertex::kSize); }

bool Mdl4Reader::nextVertex()
{
    if (!hasData() || getVertexCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::vertex::kSize);
    currentVertex_ = record;
    return record != nullptr;
}

bool Mdl4Reader::readVertex(std::span<std::uint16_t, 3> position, std::int32_t& normalIndex)
{
    if (!nextVertex()) return false;
    for (int i = 0; i < 3; ++i)
        position[i] = loadU16(currentVertex_ + 2 * i);
    normalIndex = clampNormalIndex(loadU8(currentVertex_ + legacy::vertex::kNormalIndex));
    return true;
}

} // namespace kelvane
