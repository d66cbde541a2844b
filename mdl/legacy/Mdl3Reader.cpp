#include "mdl/legacy/Mdl3Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"

namespace kelvane {

Mdl3Reader::Mdl3Reader() { formatCode_ = kFormatMdl3; }

std::int32_t Mdl3Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::header::kSize, legacy::kMagicMdl3, nullptr);
}

std::int32_t Mdl3Reader::getTexCoordCount() const { return headerField(legacy::header::kTexCoordCount); }

bool Mdl3Reader::skipTexCoords() { return skipRecords(getTexCoordCount(), legacy::texcoord::kSize); }

bool Mdl3Reader::skipTriangles() { return skipRecords(getTriangleCount(), legacy::triangle::kSize); }

bool Mdl3Reader::readTexCoord(std::int16_t& s, std::int16_t& t)
{
    if (!hasData() || getTexCoordCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::texcoord::kSize);
    if (record == nullptr) return false;
    currentTexCoord_ = record;
    s = static_cast<std::int16_t>(loadU16(record + legacy::texcoord::kS));
    t = static_cast<std::int16_t>(loadU16(record + legacy::texcoord::kT));
    return true;
}

bool Mdl3Reader::readTriangle(std::span<std::int32_t, 3> vertexIndices,
                              std::span<std::int32_t, 3> texCoordIndices)
{
    if (!hasData() || getTriangleCount() <= 0) return false;
    const std::uint8_t* record = advance(legacy::triangle::kSize);
    if (record == nullptr) return false;
    currentTriangle_ = record;
    for (int i = 0; i < 3; ++i) {
        vertexIndices[i] = loadU16(record + legacy::triangle::kVertexIndex + 2 * i);
        texCoordIndices[i] = loadU16(record + legacy::triangle::kTexCoordIndex + 2 * i);
    }
    return true;
}

bool Mdl3Reader::getTexCoordOnSeam(bool&) const { return false; }

bool Mdl3Reader::getTriangleFacesFront(bool&) const { return false; }

} // namespace kelvane
