#include "mdl/Mdl7Reader.h"

#include "mdl/ByteOrder.h"
#include "mdl/ImageSize.h"
#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7RecordCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kelvane {

namespace {

using namespace mdl7;

// A run is read straight from the mapped file, which is rarely in the
// processor's caches. Asking for the bytes a kilobyte ahead keeps the loads
// of the records in hand from waiting on memory. The address is formed as
// an integer: it may lie past the data, and a prefetch never faults.
inline void prefetchAhead(const std::uint8_t* record)
{
#if defined(__GNUC__)
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(record) + 1024));
#else
    (void)record;
#endif
}

// A triangle is accepted when its three vertex indices lie below the
// group's vertexCount.
inline bool usesGroupVertices(std::int32_t vertexCount, std::int32_t vertex0, std::int32_t vertex1,
                              std::int32_t vertex2)
{
    return vertex0 < vertexCount && vertex1 < vertexCount && vertex2 < vertexCount;
}

// A triangle as readTriangle and readTriangles take it: the six indices,
// then, once its vertex indices are accepted, the skin index if the record
// holds one. False, with the skin index untouched, for a refused triangle.
inline bool decodeCheckedTriangle(const std::uint8_t* record, bool withSkin, std::int32_t vertexCount,
                                  std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                                  std::int32_t& texCoord0, std::int32_t& texCoord1, std::int32_t& texCoord2,
                                  std::int32_t& skinIndex)
{
    decodeTriangleIndices(record, vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2);
    if (!usesGroupVertices(vertexCount, vertex0, vertex1, vertex2)) return false;
    if (withSkin) skinIndex = decodeTriangleSkin(record);
    return true;
}

} // namespace

Mdl7Reader::Mdl7Reader() { formatCode_ = kFormatMdl7; }

Mdl7Reader::~Mdl7Reader() { Mdl7Reader::close(); }

std::int32_t Mdl7Reader::open(const char* path)
{
    // The header announces its own data limit, so the file length is not
    // handed to parseHeader; loadAndParse cuts a limit beyond the loaded bytes.
    return loadAndParse(path, std::numeric_limits<std::int32_t>::max(), kFileHeaderSize);
}

std::int32_t Mdl7Reader::parseHeader(const std::uint8_t* data, std::int32_t /*length*/)
{
    header_ = nullptr;
    if (data == nullptr || std::memcmp(data + header::kMagic, kMagic, sizeof kMagic) != 0) return 0;

    const std::uint32_t sum = dataSizeSum(data);
    const auto limit = std::bit_cast<std::int32_t>(sum);
    // A limit that does not even cover the header is rejected by open; do
    // not attach data the cursor could not stand in.
    if (sum < std::uint32_t(kFileHeaderSize)) return limit;

    header_ = data;
    attachData(data, kFileHeaderSize, limit);
    return limit;
}

bool Mdl7Reader::close()
{
    ModelFile::close();
    clearFields();
    return true;
}

void Mdl7Reader::clearFields()
{
    header_ = nullptr;
    group_ = nullptr;
    bone_ = nullptr;
    material_ = nullptr;
    skin_ = nullptr;
    bytesPerPixel_ = 0;
    hasMipmaps_ = false;
    texCoord_ = nullptr;
    triangle_ = nullptr;
    vertex_ = nullptr;
    frame_ = nullptr;
    frameVertex_ = nullptr;
    boneTransform_ = nullptr;
    extraLength_ = 0;
    deformerTotal_ = 0;
    maxWeights_ = 0;
    deformer_ = nullptr;
    deformerElement_ = nullptr;
    deformerWeight_ = nullptr;
    trailerHeader_ = nullptr;
    trailerSection_ = TrailerSection::kNone;
    trailerOffset_ = 0;
}

// --- Helpers -------------------------------------------------------------------

std::uint16_t Mdl7Reader::headerU16(int offset) const
{
    return header_ == nullptr ? 0 : loadU16(header_ + offset);
}

std::int32_t Mdl7Reader::headerI32(int offset) const
{
    return header_ == nullptr ? 0 : loadI32(header_ + offset);
}

std::int32_t Mdl7Reader::groupI32(int offset) const
{
    return group_ == nullptr ? 0 : loadI32(group_ + offset);
}

const std::uint8_t* Mdl7Reader::takeCounted(std::int32_t count, std::int32_t recordSize,
                                            std::int32_t minimumSize)
{
    if (count <= 0) return nullptr;
    // A record too short for the fields every read takes cannot be decoded;
    // refusing it before moving keeps the reader from looking past it.
    if (recordSize < minimumSize) return nullptr;
    return advance(recordSize);
}

bool Mdl7Reader::skipRecords(std::int32_t recordSize, std::int32_t count)
{
    // Both factors are below 2^31, so the 64-bit product is exact; a negative
    // count gives a negative length, which fails like running out of data.
    return skip(std::int64_t(recordSize) * count);
}

std::uint16_t Mdl7Reader::boneRecordSize() const { return headerU16(header::kBoneRecordSize); }
std::uint16_t Mdl7Reader::skinHeaderSize() const { return headerU16(header::kSkinHeaderSize); }
std::uint16_t Mdl7Reader::colourValueSize() const { return headerU16(header::kColourValueSize); }
std::uint16_t Mdl7Reader::materialRecordSize() const { return headerU16(header::kMaterialRecordSize); }
std::uint16_t Mdl7Reader::texCoordRecordSize() const { return headerU16(header::kTexCoordRecordSize); }
std::uint16_t Mdl7Reader::triangleRecordSize() const { return headerU16(header::kTriangleRecordSize); }
std::uint16_t Mdl7Reader::vertexRecordSize() const { return headerU16(header::kVertexRecordSize); }
std::uint16_t Mdl7Reader::frameVertexRecordSize() const { return headerU16(header::kFrameVertexRecordSize); }
std::uint16_t Mdl7Reader::boneTransformRecordSize() const
{
    return headerU16(header::kBoneTransformRecordSize);
}
std::uint16_t Mdl7Reader::frameHeaderSize() const { return headerU16(header::kFrameHeaderSize); }

std::int32_t Mdl7Reader::currentVertexCount() const { return groupI32(group::kVertexCount); }

std::int32_t Mdl7Reader::currentFrameVertexCount() const
{
    return frame_ == nullptr ? 0 : loadI32(frame_ + frame::kFrameVertexCount);
}

std::int32_t Mdl7Reader::currentBoneTransformCount() const
{
    return frame_ == nullptr ? 0 : loadI32(frame_ + frame::kBoneTransformCount);
}

std::int32_t Mdl7Reader::currentTrailerLength() const
{
    // Both trailer headers keep their length field at the same offset.
    static_assert(trailer::kTrailerLength == secondtrailer::kLength);
    return trailerHeader_ == nullptr ? 0 : loadI32(trailerHeader_ + trailer::kTrailerLength);
}

// --- Header and bones ------------------------------------------------------------

bool Mdl7Reader::readHeader(std::int32_t& boneCount, std::int32_t& groupCount, std::int32_t& modelDataSize,
                            std::int32_t& trailerSize, std::int32_t& secondTrailerSize)
{
    if (!isReady()) return false;
    boneCount = headerI32(header::kBoneCount);
    groupCount = headerI32(header::kGroupCount);
    modelDataSize = headerI32(header::kModelDataSize);
    trailerSize = headerI32(header::kTrailerSize);
    secondTrailerSize = headerI32(header::kSecondTrailerSize);
    return true;
}

bool Mdl7Reader::skipBones()
{
    if (!isReady()) return false;
    // One checked step instead of boneCount steps of boneRecordSize: the
    // result and the final cursor are the same, and a record size of 0 with a
    // count of two billion costs nothing.
    const std::int32_t count = headerI32(header::kBoneCount);
    if (count <= 0) return true;
    return skipRecords(boneRecordSize(), count);
}

bool Mdl7Reader::readBone(std::int32_t& parentIndex, float& x, float& y, float& z, char* name)
{
    if (!isReady()) return false;
    const std::uint16_t size = boneRecordSize();
    const std::uint8_t* record = takeCounted(headerI32(header::kBoneCount), size, bone::kMinReadSize);
    if (record == nullptr) return false;
    bone_ = record;
    parentIndex = loadIndex16(record + bone::kParentIndex);
    x = loadF32(record + bone::kX);
    y = loadF32(record + bone::kY);
    z = loadF32(record + bone::kZ);
    if (name != nullptr) {
        name[0] = '\0';
        if (size >= bone::kName + bone::kNameSize) loadName(record + bone::kName, bone::kNameSize, name);
    }
    return true;
}

// --- Groups ------------------------------------------------------------------------

bool Mdl7Reader::readGroupCounts(std::int32_t& skinCount, std::int32_t& texCoordCount,
                                 std::int32_t& triangleCount, std::int32_t& vertexCount,
                                 std::int32_t& frameCount)
{
    if (!isReady() || group_ == nullptr) return false;
    skinCount = groupI32(group::kSkinCount);
    texCoordCount = groupI32(group::kTexCoordCount);
    triangleCount = groupI32(group::kTriangleCount);
    vertexCount = groupI32(group::kVertexCount);
    frameCount = groupI32(group::kFrameCount);
    return true;
}

bool Mdl7Reader::readGroupHeader(std::uint8_t& type, std::int32_t& groupDataSize, char* name)
{
    if (!isReady()) return false;
    const std::uint8_t* record =
        takeCounted(headerI32(header::kGroupCount), kGroupHeaderSize, kGroupHeaderSize);
    if (record == nullptr) return false;
    group_ = record;
    // A new group header is now the one current header; a trailer header read
    // earlier is no longer current.
    trailerHeader_ = nullptr;
    trailerSection_ = TrailerSection::kNone;
    type = loadU8(record + group::kType);
    groupDataSize = loadI32(record + group::kGroupDataSize);
    loadName(record + group::kName, group::kNameSize, name);
    // The deformers of all groups are stored together after the last group;
    // their number is only known by adding up every group's share.
    deformerTotal_ += loadU8(record + group::kDeformerCount);
    maxWeights_ = std::max<std::int32_t>(maxWeights_, loadU8(record + group::kMaxWeights));
    return true;
}

bool Mdl7Reader::skipGroup()
{
    if (!isReady() || group_ == nullptr) return false;
    if (loadU8(group_ + group::kType) == kMeshGroupType) {
        return skipSkins() && skipTexCoords() && skipTriangles() && skipVertices() && skipFrames();
    }
    // Any other group is opaque; its size is the only way over it. A group
    // of only its header is treated as a failure, and a size below the header
    // gives a negative length, which fails like running out of data.
    const std::int64_t contentSize = std::int64_t(groupI32(group::kGroupDataSize)) - kGroupHeaderSize;
    if (contentSize == 0) return false;
    return skip(contentSize);
}

// --- Skins ---------------------------------------------------------------------------

bool Mdl7Reader::readSkinHeader(std::uint8_t& type, char* name)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint8_t* record =
        takeCounted(groupI32(group::kSkinCount), skinHeaderSize(), skin::kMinReadSize);
    if (record == nullptr) return false;
    skin_ = record;
    type = loadU8(record + skin::kType);
    loadName(record + skin::kName, skin::kNameSize, name);
    return true;
}

bool Mdl7Reader::readSkinFormat(std::int32_t& width, std::int32_t& height, std::int32_t& bytesPerPixel,
                                bool& hasMipmaps)
{
    if (!isReady() || skin_ == nullptr) return false;
    const std::uint8_t type = loadU8(skin_ + skin::kType);
    width = loadI32(skin_ + skin::kWidth);
    height = loadI32(skin_ + skin::kHeight);
    // Every kind honours the mipmap bit, even kind 1 whose images are empty.
    bytesPerPixel_ = skin::kBytesPerPixel[type & skin::kImageKindMask];
    hasMipmaps_ = (type & skin::kMipmapFlag) != 0;
    bytesPerPixel = bytesPerPixel_;
    hasMipmaps = hasMipmaps_;
    return true;
}

bool Mdl7Reader::readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                const std::uint8_t** mipmap2, const std::uint8_t** mipmap3)
{
    if (!isReady() || skin_ == nullptr) return false;
    const std::int32_t width = loadI32(skin_ + skin::kWidth);
    const std::int32_t height = loadI32(skin_ + skin::kHeight);

    // A given place must receive its image; a null place only steps over it,
    // and running out of data there is not reported.
    const auto takeImage = [this](const std::uint8_t** place, std::int64_t byteCount) {
        const std::uint8_t* pixels = advance(byteCount);
        if (place == nullptr) return true;
        *place = pixels;
        return pixels != nullptr;
    };

    if (!takeImage(image, imageByteCount(width, height, bytesPerPixel_))) return false;
    if (!hasMipmaps_) return true;
    const std::uint8_t** const places[kMipmapCount] = {mipmap1, mipmap2, mipmap3};
    for (int level = 1; level <= kMipmapCount; ++level) {
        const std::int64_t byteCount = mipmapByteCount(width, height, bytesPerPixel_, level);
        if (!takeImage(places[level - 1], byteCount)) return false;
    }
    return true;
}

bool Mdl7Reader::readSkinMaterial(float* colour1, float* colour2, float* colour3, float* colour4,
                                  float* scalar)
{
    if (!isReady() || skin_ == nullptr) return false;
    if ((loadU8(skin_ + skin::kType) & skin::kMaterialFlag) == 0) return false;
    if (materialRecordSize() < material::kMinReadSize) return false;
    const std::uint8_t* record = advance(materialRecordSize());
    if (record == nullptr) return false;
    material_ = record;
    const int offsets[4] = {material::kColour1, material::kColour2, material::kColour3, material::kColour4};
    float* places[4] = {colour1, colour2, colour3, colour4};
    for (int c = 0; c < 4; ++c) {
        if (places[c] == nullptr) continue;
        for (int i = 0; i < 4; ++i)
            places[c][i] = loadF32(record + offsets[c] + 4 * i);
    }
    if (scalar != nullptr) *scalar = loadF32(record + material::kScalar);
    return true;
}

bool Mdl7Reader::readSkinExtraLength(std::int32_t& length)
{
    if (!isReady() || skin_ == nullptr) return false;
    if ((loadU8(skin_ + skin::kType) & skin::kExtraFlag) == 0) return false;
    const std::uint8_t* prefix = advance(kExtraLengthSize);
    if (prefix == nullptr) return false;
    extraLength_ = loadI32(prefix);
    length = extraLength_;
    return true;
}

bool Mdl7Reader::readSkinExtraData(char* destination)
{
    if (!isReady() || skin_ == nullptr) return false;
    if ((loadU8(skin_ + skin::kType) & skin::kExtraFlag) == 0 || extraLength_ <= 0) return false;
    const std::uint8_t* text = advance(extraLength_);
    if (text == nullptr) return false;
    if (destination != nullptr) std::memcpy(destination, text, static_cast<std::size_t>(extraLength_));
    return true;
}

bool Mdl7Reader::skipSkin()
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;
    if (!readSkinFormat(width, height, bytesPerPixel, hasMipmaps)) return false;
    const std::uint8_t type = loadU8(skin_ + skin::kType);

    if ((type & skin::kImageKindMask) == skin::kKindRawBlock) {
        // Kind 6 is stepped over by its width alone (its blocks are written
        // with a height of 1).
        if (!skip(width)) return false;
    } else if (width > 0 && height > 0) {
        const std::uint8_t* image = nullptr;
        const std::uint8_t* mipmaps[3] = {};
        if (!readSkinPixels(&image, &mipmaps[0], &mipmaps[1], &mipmaps[2])) return false;
    }
    if ((type & skin::kMaterialFlag) != 0 && !skip(materialRecordSize())) return false;
    if ((type & skin::kExtraFlag) != 0) {
        std::int32_t length = 0;
        if (!readSkinExtraLength(length)) return false;
        if (length > 0 && !skip(length)) return false;
    }
    return true;
}

bool Mdl7Reader::skipSkins()
{
    if (!isReady() || group_ == nullptr) return false;
    // Each pass takes a skin header of at least 28 bytes or fails, so even a
    // huge count ends as soon as the data does.
    const std::int32_t count = groupI32(group::kSkinCount);
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t type = 0;
        if (!readSkinHeader(type, nullptr) || !skipSkin()) return false;
    }
    return true;
}

// --- Texture coordinates, triangles, vertices -------------------------------------

bool Mdl7Reader::skipGroupRecords(int countOffset, std::uint16_t recordSize)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::int32_t count = groupI32(countOffset);
    return count == 0 || skipRecords(recordSize, count);
}

bool Mdl7Reader::skipTexCoords() { return skipGroupRecords(group::kTexCoordCount, texCoordRecordSize()); }

bool Mdl7Reader::skipTriangles() { return skipGroupRecords(group::kTriangleCount, triangleRecordSize()); }

bool Mdl7Reader::skipVertices() { return skipGroupRecords(group::kVertexCount, vertexRecordSize()); }

bool Mdl7Reader::readTexCoord(float& s, float& t)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint8_t* record =
        takeCounted(groupI32(group::kTexCoordCount), texCoordRecordSize(), texcoord::kMinReadSize);
    if (record == nullptr) return false;
    texCoord_ = record;
    decodeTexCoord(record, s, t);
    return true;
}

bool Mdl7Reader::readTriangle(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                              std::int32_t& texCoord0, std::int32_t& texCoord1, std::int32_t& texCoord2,
                              std::int32_t& skinIndex)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint16_t size = triangleRecordSize();
    const std::uint8_t* record = takeCounted(groupI32(group::kTriangleCount), size, triangle::kMinReadSize);
    if (record == nullptr) return false;
    triangle_ = record;
    return decodeCheckedTriangle(record, size >= triangle::kSizeWithSkin, groupI32(group::kVertexCount),
                                 vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2, skinIndex);
}

bool Mdl7Reader::readTriangleBothSets(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                                      std::int32_t& texCoord0, std::int32_t& texCoord1,
                                      std::int32_t& texCoord2, std::int32_t& skinIndex,
                                      std::int32_t& texCoord2nd0, std::int32_t& texCoord2nd1,
                                      std::int32_t& texCoord2nd2, std::int32_t& skinIndex2)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint16_t size = triangleRecordSize();
    const std::uint8_t* record = takeCounted(groupI32(group::kTriangleCount), size, triangle::kMinReadSize);
    if (record == nullptr) return false;
    triangle_ = record;
    // Every output is written before the vertex indices are judged.
    decodeTriangleIndices(record, vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2);
    if (size >= triangle::kSizeWithSkin) skinIndex = decodeTriangleSkin(record);
    if (size >= triangle::kSizeWithSecondSet) {
        decodeTriangleSecondSet(record, texCoord2nd0, texCoord2nd1, texCoord2nd2, skinIndex2);
    }
    return usesGroupVertices(groupI32(group::kVertexCount), vertex0, vertex1, vertex2);
}

bool Mdl7Reader::readVertex(float& x, float& y, float& z, std::int32_t& boneIndex)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint8_t* record =
        takeCounted(groupI32(group::kVertexCount), vertexRecordSize(), vertex::kMinReadSize);
    if (record == nullptr) return false;
    vertex_ = record;
    decodeVertex(record, x, y, z, boneIndex);
    return true;
}

bool Mdl7Reader::readVertexNormal(float& nx, float& ny, float& nz)
{
    if (!isReady() || vertex_ == nullptr) return false;
    return decodeVertexNormal(vertex_, vertexRecordSize(), nx, ny, nz);
}

// --- Runs of records -------------------------------------------------------------------

template <typename Record, typename Decode>
std::size_t Mdl7Reader::readRun(int countOffset, std::uint16_t recordSize, int minimumSize,
                                std::span<Record> records, const std::uint8_t*& current, const Decode& decode)
{
    // Refused without moving exactly where the single read is.
    if (records.empty() || !isReady() || group_ == nullptr || groupI32(countOffset) <= 0 ||
        recordSize < minimumSize) {
        return 0;
    }
    const auto whole = static_cast<std::uint64_t>(std::max<std::int64_t>(remaining(), 0) / recordSize);
    const auto available = static_cast<std::size_t>(std::min<std::uint64_t>(records.size(), whole));
    const std::uint8_t* record = advance(0);
    std::size_t k = 0;
    for (; k < available; ++k, record += recordSize) {
        prefetchAhead(record);
        if (!decode(record, records[k])) {
            // Refused after the record was taken, as a triangle is.
            current = record;
            (void)advance(static_cast<std::int64_t>(k + 1) * recordSize);
            return k;
        }
    }
    if (k > 0) current = record - recordSize;
    (void)advance(static_cast<std::int64_t>(k) * recordSize);
    // A single read of the first record that does not fit moves the cursor
    // to the end of the data and fails.
    if (k < records.size()) (void)advance(recordSize);
    return k;
}

std::size_t Mdl7Reader::readTexCoords(std::span<TexCoordRecord> texCoords)
{
    return readRun(group::kTexCoordCount, texCoordRecordSize(), texcoord::kMinReadSize, texCoords, texCoord_,
                   [](const std::uint8_t* record, TexCoordRecord& c) {
                       decodeTexCoord(record, c.s, c.t);
                       return true;
                   });
}

std::size_t Mdl7Reader::readTriangles(std::span<TriangleRecord> triangles)
{
    const std::uint16_t size = triangleRecordSize();
    const bool withSkin = size >= triangle::kSizeWithSkin;
    const std::int32_t vertexCount = groupI32(group::kVertexCount);
    return readRun(group::kTriangleCount, size, triangle::kMinReadSize, triangles, triangle_,
                   [&](const std::uint8_t* record, TriangleRecord& t) {
                       return decodeCheckedTriangle(record, withSkin, vertexCount, t.vertexIndex[0],
                                                    t.vertexIndex[1], t.vertexIndex[2], t.texCoordIndex[0],
                                                    t.texCoordIndex[1], t.texCoordIndex[2], t.skinIndex);
                   });
}

std::size_t Mdl7Reader::readVertices(std::span<VertexRecord> vertices)
{
    const std::uint16_t size = vertexRecordSize();
    return readRun(group::kVertexCount, size, vertex::kMinReadSize, vertices, vertex_,
                   [&](const std::uint8_t* record, VertexRecord& v) {
                       decodeVertex(record, v.x, v.y, v.z, v.boneIndex);
                       (void)decodeVertexNormal(record, size, v.nx, v.ny, v.nz);
                       return true;
                   });
}

// --- Frames ----------------------------------------------------------------------------

bool Mdl7Reader::readFrameHeader(std::int32_t& frameVertexCount, std::int32_t& boneTransformCount, char* name)
{
    if (!isReady() || group_ == nullptr) return false;
    const std::uint8_t* record =
        takeCounted(groupI32(group::kFrameCount), frameHeaderSize(), frame::kMinReadSize);
    if (record == nullptr) return false;
    frame_ = record;
    loadName(record + frame::kName, frame::kNameSize, name);
    frameVertexCount = loadI32(record + frame::kFrameVertexCount);
    boneTransformCount = loadI32(record + frame::kBoneTransformCount);
    return true;
}

bool Mdl7Reader::skipFrame()
{
    if (!isReady() || frame_ == nullptr) return false;
    const std::int32_t frameVertexCount = currentFrameVertexCount();
    if (frameVertexCount != 0 && !skipRecords(frameVertexRecordSize(), frameVertexCount)) return false;
    const std::int32_t boneTransformCount = currentBoneTransformCount();
    if (boneTransformCount != 0 && !skipRecords(boneTransformRecordSize(), boneTransformCount)) {
        return false;
    }
    return true;
}

bool Mdl7Reader::skipFrames()
{
    if (!isReady() || group_ == nullptr) return false;
    // readFrameHeader and skipFrame for each frame, except that the two
    // counts are copied out of the header rather than read in place: frames
    // are most of many files, and reading one header through the mapping
    // would have the system map most of its frame with it. Each pass takes
    // a header of at least 24 bytes or fails, so the loop ends with the data
    // whatever the count says.
    static_assert(frame::kBoneTransformCount == frame::kFrameVertexCount + 4 &&
                  frame::kBoneTransformCount + 4 <= frame::kMinReadSize);
    const std::int32_t count = groupI32(group::kFrameCount);
    if (count <= 0) return true;
    const std::uint16_t headerSize = frameHeaderSize();
    if (headerSize < frame::kMinReadSize) return false;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* header = advance(headerSize);
        if (header == nullptr) return false;
        frame_ = header;
        std::uint8_t counts[8];
        peek(header + frame::kFrameVertexCount, counts, sizeof counts);
        const std::int32_t frameVertexCount = loadI32(counts);
        const std::int32_t boneTransformCount = loadI32(counts + 4);
        if (frameVertexCount != 0 && !skipRecords(frameVertexRecordSize(), frameVertexCount)) return false;
        if (boneTransformCount != 0 && !skipRecords(boneTransformRecordSize(), boneTransformCount)) {
            return false;
        }
    }
    return true;
}

bool Mdl7Reader::readFrameVertex(std::int32_t& vertexIndex, float& x, float& y, float& z)
{
    if (!isReady() || frame_ == nullptr) return false;
    const std::uint8_t* record =
        takeCounted(currentFrameVertexCount(), frameVertexRecordSize(), vertex::kMinReadSize);
    if (record == nullptr) return false;
    frameVertex_ = record;
    decodeVertex(record, x, y, z, vertexIndex);
    return true;
}

bool Mdl7Reader::readFrameVertexNormal(float& nx, float& ny, float& nz)
{
    if (!isReady() || frameVertex_ == nullptr) return false;
    return decodeVertexNormal(frameVertex_, frameVertexRecordSize(), nx, ny, nz);
}

bool Mdl7Reader::readBoneTransform(std::int32_t& boneIndex, std::uint8_t* matrix)
{
    if (!isReady()) return false;
    const std::uint16_t size = boneTransformRecordSize();
    if (size < bonetransform::kMinReadSize) return false;
    const std::uint8_t* record = advance(size);
    if (record == nullptr) return false;
    boneTransform_ = record;
    boneIndex = loadIndex16(record + bonetransform::kBoneIndex);
    if (matrix != nullptr) {
        std::memcpy(matrix, record + bonetransform::kMatrix, bonetransform::kMatrixSize);
    }
    return true;
}

// --- Deformers -----------------------------------------------------------------------

bool Mdl7Reader::readDeformerHeader(std::uint8_t& deformerType, std::int32_t& groupIndex,
                                    std::int32_t& elementCount, std::int32_t* deformerDataSize)
{
    if (!isReady()) return false;
    const std::uint8_t* record = advance(kDeformerHeaderSize);
    if (record == nullptr) return false;
    deformer_ = record;
    deformerType = loadU8(record + deformer::kDeformerType);
    groupIndex = loadI32(record + deformer::kGroupIndex);
    elementCount = loadI32(record + deformer::kElementCount);
    if (deformerDataSize != nullptr) *deformerDataSize = loadI32(record + deformer::kDeformerDataSize);
    return true;
}

bool Mdl7Reader::readDeformerElement(std::int32_t& elementIndex, char* name, std::int32_t& weightCount)
{
    if (!isReady()) return false;
    const std::uint8_t* record = advance(kDeformerElementSize);
    if (record == nullptr) return false;
    deformerElement_ = record;
    elementIndex = loadI32(record + element::kElementIndex);
    loadName(record + element::kName, element::kNameSize, name);
    weightCount = loadI32(record + element::kWeightCount);
    return true;
}

bool Mdl7Reader::readDeformerWeight(std::int32_t& targetIndex, float& weight)
{
    if (!isReady()) return false;
    const std::uint8_t* record = advance(kDeformerWeightSize);
    if (record == nullptr) return false;
    deformerWeight_ = record;
    targetIndex = loadI32(record + weight::kTargetIndex);
    weight = loadF32(record + weight::kWeight);
    return true;
}

bool Mdl7Reader::skipDeformer()
{
    if (!isReady() || deformerTotal_ == 0) return false;
    std::uint8_t deformerType = 0;
    std::int32_t groupIndex = 0;
    std::int32_t elementCount = 0;
    std::int32_t deformerDataSize = 0;
    if (!readDeformerHeader(deformerType, groupIndex, elementCount, &deformerDataSize)) return false;
    // The stored size covers the header just taken; a size below it gives a
    // negative length, which fails like running out of data.
    return skip(std::int64_t(deformerDataSize) - kDeformerHeaderSize);
}

bool Mdl7Reader::skipDeformers()
{
    if (!isReady()) return false;
    // Every deformer takes at least its 16-byte header, so the loop ends with
    // the data even for a huge total.
    for (std::int64_t i = 0; i < deformerTotal_; ++i) {
        if (!skipDeformer()) return false;
    }
    return true;
}

bool Mdl7Reader::skipDeformerWeights()
{
    if (!isReady() || deformerElement_ == nullptr) return false;
    const std::int32_t count = loadI32(deformerElement_ + element::kWeightCount);
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t targetIndex = 0;
        float weight = 0.0f;
        if (!readDeformerWeight(targetIndex, weight)) return false;
    }
    return true;
}

// --- Trailers --------------------------------------------------------------------------
//
// Each trailer section opens with a header whose int32 at offset 4 gives the
// length of the trailer record in bytes, counted from the start of that
// header. The header may be read anywhere inside its section as long as it
// lies wholly inside it; the reader remembers where it was read.
//
// Skipping a trailer moves the cursor to the end of the record the current
// header opens: header start + length field. The length field is trusted only
// when it covers at least the header and the record ends inside the section;
// otherwise the section's size from the file header is authoritative and the
// cursor moves to the end of the section. That end may be the end of the
// data itself, a position the cursor may take (it is where a complete read
// leaves it). An end beyond the loaded data fails like running out of data.

bool Mdl7Reader::takeTrailerHeader(TrailerSection section, std::int64_t sectionStart,
                                   std::int32_t sectionSize, std::int32_t headerSize)
{
    // Section-relative offset just past a header read at the cursor; the
    // header must lie wholly inside the section.
    const std::int64_t offsetPast = std::int64_t(tell()) - sectionStart + headerSize;
    if (offsetPast < headerSize || offsetPast > sectionSize) return false;
    const std::uint8_t* record = advance(headerSize);
    if (record == nullptr) return false;
    // The trailer header takes the place of the current group header.
    group_ = nullptr;
    trailerHeader_ = record;
    trailerSection_ = section;
    trailerOffset_ = offsetPast;
    return true;
}

bool Mdl7Reader::skipTrailerSection(TrailerSection section, std::int64_t sectionStart,
                                    std::int32_t sectionSize, std::int32_t headerSize)
{
    if (!isReady() || trailerHeader_ == nullptr || trailerSection_ != section) return false;
    const std::int64_t headerStart = sectionStart + trailerOffset_ - headerSize;
    const std::int64_t sectionEnd = sectionStart + sectionSize;
    const int lengthOffset =
        section == TrailerSection::kFirst ? trailer::kTrailerLength : secondtrailer::kLength;
    const std::int32_t length = loadI32(trailerHeader_ + lengthOffset);
    std::int64_t end = headerStart + length;
    if (length < headerSize || end > sectionEnd) end = sectionEnd;
    // Move from the start of the data so that the end of the data itself is
    // reachable; a position beyond it leaves the cursor at the end.
    if (!seek(0)) return false;
    return skip(end);
}

bool Mdl7Reader::seekTrailer()
{
    if (!isReady() || headerI32(header::kTrailerSize) == 0) return false;
    seek(0);
    return seek(headerI32(header::kModelDataSize));
}

bool Mdl7Reader::readTrailerHeader(std::int32_t& trailerKind, std::int32_t& entryCount)
{
    if (!isReady()) return false;
    if (!takeTrailerHeader(TrailerSection::kFirst, headerI32(header::kModelDataSize),
                           headerI32(header::kTrailerSize), kTrailerHeaderSize)) {
        return false;
    }
    trailerKind = loadI32(trailerHeader_ + trailer::kTrailerKind);
    entryCount = loadI32(trailerHeader_ + trailer::kEntryCount);
    return true;
}

bool Mdl7Reader::readTrailerEntry(std::int32_t& entryId, std::int32_t& subEntryCount)
{
    if (!isReady()) return false;
    const std::uint8_t* record = advance(kTrailerEntrySize);
    if (record == nullptr) return false;
    entryId = loadI32(record + trailerentry::kEntryId);
    subEntryCount = loadI32(record + trailerentry::kSubEntryCount);
    return true;
}

bool Mdl7Reader::readTrailerSubEntry(std::int32_t& subEntryId, std::int32_t& triangleCount)
{
    if (!isReady()) return false;
    const std::uint8_t* record = advance(kTrailerSubEntrySize);
    if (record == nullptr) return false;
    subEntryId = loadI32(record + trailersubentry::kSubEntryId);
    triangleCount = loadI32(record + trailersubentry::kTriangleCount);
    return true;
}

bool Mdl7Reader::readTrailerTriangle(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                                     std::int32_t& texCoord0, std::int32_t& texCoord1,
                                     std::int32_t& texCoord2, std::int32_t& skinIndex)
{
    if (!isReady()) return false;
    // The skin index is always taken here, so the record must reach it.
    const std::uint16_t size = triangleRecordSize();
    if (size < triangle::kSizeWithSkin) return false;
    const std::uint8_t* record = advance(size);
    if (record == nullptr) return false;
    triangle_ = record;
    decodeTriangleIndices(record, vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2);
    skinIndex = decodeTriangleSkin(record);
    return true;
}

bool Mdl7Reader::skipTrailer()
{
    return skipTrailerSection(TrailerSection::kFirst, headerI32(header::kModelDataSize),
                              headerI32(header::kTrailerSize), kTrailerHeaderSize);
}

bool Mdl7Reader::seekSecondTrailer()
{
    if (!isReady() || headerI32(header::kSecondTrailerSize) == 0) return false;
    seek(0);
    return seek(std::int64_t(headerI32(header::kModelDataSize)) + headerI32(header::kTrailerSize));
}

bool Mdl7Reader::readSecondTrailerHeader(std::int32_t& identifier, std::int32_t& length)
{
    if (!isReady()) return false;
    const std::int64_t sectionStart =
        std::int64_t(headerI32(header::kModelDataSize)) + headerI32(header::kTrailerSize);
    if (!takeTrailerHeader(TrailerSection::kSecond, sectionStart, headerI32(header::kSecondTrailerSize),
                           kSecondTrailerHeaderSize)) {
        return false;
    }
    identifier = loadI32(trailerHeader_ + secondtrailer::kIdentifier);
    length = loadI32(trailerHeader_ + secondtrailer::kLength);
    return true;
}

bool Mdl7Reader::skipSecondTrailer()
{
    return skipTrailerSection(TrailerSection::kSecond,
                              std::int64_t(headerI32(header::kModelDataSize)) +
                                  headerI32(header::kTrailerSize),
                              headerI32(header::kSecondTrailerSize), kSecondTrailerHeaderSize);
}

} // namespace kelvane
