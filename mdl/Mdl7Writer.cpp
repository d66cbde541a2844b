#include "mdl/Mdl7Writer.h"

#include "mdl/ByteOrder.h"
#include "mdl/ImageSize.h"
#include "mdl/Mdl7RecordCodec.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kelvane {

using namespace mdl7;

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// 16- and 8-bit fields take the low bits of their argument, so -1 becomes
// 0xFFFF (the "no index" value) and 0xFF.
constexpr std::uint16_t low16(std::int32_t value) { return static_cast<std::uint16_t>(value); }
constexpr std::uint8_t low8(std::int32_t value) { return static_cast<std::uint8_t>(value); }

} // namespace

// --- Bookkeeping -------------------------------------------------------------

// Counts and sizes are 32-bit fields and wrap as such. None of them can
// exceed the length of the file unless a write fell short (each counts bytes
// that went into the file, or records of 8 bytes and more), so close needs
// to check only that length to know that every field holds its true value.
inline void Mdl7Writer::setField(std::uint8_t* field, std::int64_t value)
{
    storeU32(field, static_cast<std::uint32_t>(value));
}

inline void Mdl7Writer::addToField(std::uint8_t* field, std::int64_t delta)
{
    storeU32(field, loadU32(field) + static_cast<std::uint32_t>(delta));
}

inline void Mdl7Writer::addToGroupAndModel(std::int64_t delta)
{
    addToField(groupSlot_ + group::kGroupDataSize, delta);
    addToField(header_ + header::kModelDataSize, delta);
}

inline void Mdl7Writer::countRun(int countOffset, std::size_t count, std::int64_t recordSize)
{
    // The fields wrap at 32 bits, so adding the run's total at once leaves
    // what adding its records one by one would.
    const std::uint64_t records = count;
    addToField(groupSlot_ + countOffset, static_cast<std::int64_t>(records & 0xFFFFFFFFu));
    addToGroupAndModel(
        static_cast<std::int64_t>((records * static_cast<std::uint64_t>(recordSize)) & 0xFFFFFFFFu));
}

inline std::int32_t Mdl7Writer::groupCount(int offset) const { return loadI32(groupSlot_ + offset); }

inline bool Mdl7Writer::hasRecordsFrom(int countOffset) const
{
    // The group header stores its counts in the order the records follow.
    static_assert(group::kTexCoordCount + 4 == group::kTriangleCount &&
                  group::kTriangleCount + 4 == group::kVertexCount &&
                  group::kVertexCount + 4 == group::kFrameCount);
    for (int offset = countOffset; offset <= group::kFrameCount; offset += 4) {
        if (groupCount(offset) != 0) return true;
    }
    return false;
}

inline bool Mdl7Writer::put(const void* record, std::int64_t size)
{
    return file_.write(record, size) == size;
}

template <typename Build> inline bool Mdl7Writer::emit(std::int64_t size, const Build& build)
{
    // Building in place saves copying each small record, and reading back
    // a record just stored field by field, which stalls the processor.
    // One build through one pointer: with two inlined builds the compiler
    // tends to assemble the record once in a temporary and copy it.
    std::uint8_t local[kMaterialRecordSize];
    static_assert(kMaterialRecordSize >= kBoneTransformRecordSize && kMaterialRecordSize >= kBoneRecordSize);
    std::uint8_t* const room = file_.reserve(size);
    build(room != nullptr ? room : local);
    return room != nullptr || put(local, size);
}

template <typename Build>
inline bool Mdl7Writer::emitRun(std::int64_t size, std::size_t count, const Build& build)
{
    bool whole = true;
    std::size_t done = 0;
    while (done < count) {
        const auto fit = static_cast<std::size_t>(
            std::min<std::uint64_t>(count - done, static_cast<std::uint64_t>(file_.appendRoom() / size)));
        if (fit == 0) {
            // The buffer is empty, full or bypassed: this record goes the
            // ordinary way, which starts a new buffer where it can.
            whole &= emit(size, [&](std::uint8_t* record) { build(record, done); });
            ++done;
            continue;
        }
        std::uint8_t* record = file_.reserve(static_cast<std::int64_t>(fit) * size);
        for (std::size_t i = 0; i < fit; ++i, record += size)
            build(record, done + i);
        done += fit;
    }
    return whole;
}

void Mdl7Writer::patch(std::int64_t offset, const std::uint8_t* image, std::int64_t size)
{
    // Failures here are remembered by the file and reported by close.
    const std::int64_t position = file_.tell();
    file_.seek(offset);
    file_.write(image, size);
    file_.seek(position);
}

void Mdl7Writer::patchAndResynchronise(std::int64_t offset, const std::uint8_t* image, std::int64_t size)
{
    patch(offset, image, size);
    // The position is taken once the buffered records, the patch among them,
    // are with the system: when it took fewer bytes than were buffered, the
    // position falls back to where the file really ends, so modelDataSize
    // never counts bytes that did not reach the disk (as with one system
    // call per record). Patching first lets the patch go out in the same
    // call as the records around it.
    file_.flush();
    setField(header_ + header::kModelDataSize, file_.tell());
}

// --- File --------------------------------------------------------------------

std::int32_t Mdl7Writer::open(const char* path)
{
    if (file_.isOpen()) close();
    const int descriptor = file_.open(path);
    if (descriptor < 0) return descriptor;

    std::memset(header_, 0, sizeof header_);
    std::memcpy(header_ + header::kMagic, kMagic, sizeof kMagic);
    storeU16(header_ + header::kBoneRecordSize, kBoneRecordSize);
    storeU16(header_ + header::kSkinHeaderSize, kSkinHeaderSize);
    storeU16(header_ + header::kColourValueSize, kColourValueSize);
    storeU16(header_ + header::kMaterialRecordSize, kMaterialRecordSize);
    storeU16(header_ + header::kTexCoordRecordSize, kTexCoordRecordSize);
    storeU16(header_ + header::kTriangleRecordSize, kTriangleRecordSize);
    storeU16(header_ + header::kVertexRecordSize, kVertexRecordSize);
    storeU16(header_ + header::kFrameVertexRecordSize, kFrameVertexRecordSize);
    storeU16(header_ + header::kBoneTransformRecordSize, kBoneTransformRecordSize);
    storeU16(header_ + header::kFrameHeaderSize, kFrameHeaderSize);

    // The provisional header goes to disk at once, so that a file that
    // cannot even take its header is given up here. It carries
    // modelDataSize 0; the image counts the header from now on.
    if (!put(header_, kFileHeaderSize) || !file_.flush()) {
        file_.close();
        return -1;
    }
    storeI32(header_ + header::kModelDataSize, kFileHeaderSize);
    return descriptor;
}

bool Mdl7Writer::close()
{
    if (!file_.isOpen()) return true;
    file_.seek(0);
    file_.write(header_, kFileHeaderSize);
    // A file longer than a 32-bit size can describe has fields that wrapped.
    const bool describable = file_.seekEnd() <= kInt32Max;
    const bool written = file_.close();
    return written && describable;
}

// --- Bones and groups --------------------------------------------------------

bool Mdl7Writer::writeBone(std::int32_t parentIndex, float x, float y, float z, const char* name)
{
    // Bones precede the first group.
    if (!isOpen() || loadI32(header_ + header::kGroupCount) != 0) return false;
    addToField(header_ + header::kBoneCount, 1);
    addToField(header_ + header::kModelDataSize, kBoneRecordSize);
    return emit(kBoneRecordSize, [&](std::uint8_t* record) {
        storeU16(record + bone::kParentIndex, low16(parentIndex));
        storeU16(record + bone::kParentIndex + 2, 0); // reserved
        storeF32(record + bone::kX, x);
        storeF32(record + bone::kY, y);
        storeF32(record + bone::kZ, z);
        storeName(record + bone::kName, bone::kNameSize, name);
    });
}

bool Mdl7Writer::beginGroup(std::int32_t type, const char* name)
{
    if (!isOpen()) return false;
    // Zeroing the image also zeroes the counts through which the section
    // order of the previous group was tracked.
    std::memset(groupSlot_, 0, kGroupHeaderSize);
    storeU8(groupSlot_ + group::kType, low8(type));
    storeI32(groupSlot_ + group::kGroupDataSize, kGroupHeaderSize);
    storeName(groupSlot_ + group::kName, group::kNameSize, name);
    addToField(header_ + header::kGroupCount, 1);
    addToField(header_ + header::kModelDataSize, kGroupHeaderSize);
    groupSlotOffset_ = file_.tell();
    return put(groupSlot_, kGroupHeaderSize);
}

bool Mdl7Writer::finishGroup()
{
    if (!isOpen()) return true;
    // Re-synchronising with the file position takes in bytes that no size
    // counted (writeZeros) and makes modelDataSize the file length.
    patchAndResynchronise(groupSlotOffset_, groupSlot_, kGroupHeaderSize);
    return true;
}

bool Mdl7Writer::setGroupDeformers(std::int32_t deformerCount, std::int32_t maxWeights)
{
    storeU8(groupSlot_ + group::kDeformerCount, low8(deformerCount));
    storeU8(groupSlot_ + group::kMaxWeights, low8(maxWeights));
    return finishGroup();
}

// --- Skins ---------------------------------------------------------------------

bool Mdl7Writer::beginSkin(std::int32_t type, const char* name)
{
    // Skins come first in a group.
    if (!isOpen() || hasRecordsFrom(group::kTexCoordCount)) return false;
    std::memset(skinHeader_, 0, kSkinHeaderSize);
    storeU8(skinHeader_ + skin::kType, low8(type));
    storeName(skinHeader_ + skin::kName, skin::kNameSize, name);
    bytesPerPixel_ = 0;
    addToField(groupSlot_ + group::kSkinCount, 1);
    addToGroupAndModel(kSkinHeaderSize);
    skinHeaderOffset_ = file_.tell();
    return put(skinHeader_, kSkinHeaderSize);
}

bool Mdl7Writer::setSkinImage(std::int32_t width, std::int32_t height, std::int32_t bytesPerPixel,
                              bool hasMipmaps)
{
    storeI32(skinHeader_ + skin::kWidth, width);
    storeI32(skinHeader_ + skin::kHeight, height);
    bytesPerPixel_ = bytesPerPixel;
    hasMipmaps_ = hasMipmaps;
    return true;
}

bool Mdl7Writer::writeSkinPixels(const void* main, const void* mip1, const void* mip2, const void* mip3)
{
    if (!isOpen()) return false;
    const std::int32_t width = loadI32(skinHeader_ + skin::kWidth);
    const std::int32_t height = loadI32(skinHeader_ + skin::kHeight);
    // A raw block (type byte exactly 6) is width x height bytes whatever the
    // bytes per pixel; its mipmaps, if any, are sized by the usual rule.
    const bool rawBlock = loadU8(skinHeader_ + skin::kType) == skin::kKindRawBlock;
    const std::int64_t mainBytes = imageByteCount(width, height, rawBlock ? 1 : bytesPerPixel_);
    if (mainBytes < 0 || (mainBytes > 0 && main == nullptr)) return false;

    // Only images written whole are counted.
    if (file_.write(main, mainBytes) != mainBytes) return false;
    addToGroupAndModel(mainBytes);
    if (!hasMipmaps_) return true;
    if (mip1 == nullptr || mip2 == nullptr || mip3 == nullptr) return false;

    const void* const mipmaps[kMipmapCount] = {mip1, mip2, mip3};
    for (int level = 1; level <= kMipmapCount; ++level) {
        const std::int64_t bytes = mipmapByteCount(width, height, bytesPerPixel_, level);
        if (bytes < 0 || file_.write(mipmaps[level - 1], bytes) != bytes) return false;
        addToGroupAndModel(bytes);
    }
    return true;
}

bool Mdl7Writer::writeMaterial(const float colour1[4], const float colour2[4], const float colour3[4],
                               const float colour4[4], float scalar)
{
    if (!isOpen() || colour1 == nullptr || colour2 == nullptr || colour3 == nullptr || colour4 == nullptr) {
        return false;
    }
    addToGroupAndModel(kMaterialRecordSize);
    return emit(kMaterialRecordSize, [&](std::uint8_t* record) {
        const float* const colours[4] = {colour1, colour2, colour3, colour4};
        const int offsets[4] = {material::kColour1, material::kColour2, material::kColour3,
                                material::kColour4};
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < 4; ++i)
                storeF32(record + offsets[c] + 4 * i, colours[c][i]);
        }
        storeF32(record + material::kScalar, scalar);
    });
}

bool Mdl7Writer::writeSizedData(std::int32_t length, const void* data)
{
    if (!isOpen() || length < 0 || (length > 0 && data == nullptr)) return false;
    addToGroupAndModel(std::int64_t(kExtraLengthSize) + length);
    // The data is attempted even when the length fell short.
    const bool lengthWritten =
        emit(kExtraLengthSize, [&](std::uint8_t* prefix) { storeI32(prefix, length); });
    const bool dataWritten = put(data, length);
    return lengthWritten && dataWritten;
}

bool Mdl7Writer::finishSkin()
{
    if (!isOpen()) return true;
    patchAndResynchronise(skinHeaderOffset_, skinHeader_, kSkinHeaderSize);
    return true;
}

// --- Texture coordinates, triangles, vertices ----------------------------------

bool Mdl7Writer::writeTexCoord(float s, float t)
{
    if (!isOpen() || hasRecordsFrom(group::kTriangleCount)) return false;
    addToField(groupSlot_ + group::kTexCoordCount, 1);
    addToGroupAndModel(kTexCoordRecordSize);
    return emit(kTexCoordRecordSize, [&](std::uint8_t* record) { encodeTexCoord(record, s, t); });
}

bool Mdl7Writer::writeTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                               std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                               std::int32_t skinIndex)
{
    return putTriangle(vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2, skinIndex,
                       kNoSecondTexCoord, kNoSecondTexCoord, kNoSecondTexCoord, kNoSecondSkin);
}

bool Mdl7Writer::writeTriangleBothSets(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                                       std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                                       std::int32_t skinIndex, std::int32_t secondTexCoord0,
                                       std::int32_t secondTexCoord1, std::int32_t secondTexCoord2,
                                       std::int32_t skinIndex2)
{
    return putTriangle(vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2, skinIndex, secondTexCoord0,
                       secondTexCoord1, secondTexCoord2, skinIndex2);
}

inline bool Mdl7Writer::putTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                                    std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                                    std::int32_t skinIndex, std::int32_t secondTexCoord0,
                                    std::int32_t secondTexCoord1, std::int32_t secondTexCoord2,
                                    std::int32_t skinIndex2)
{
    if (!isOpen() || hasRecordsFrom(group::kVertexCount)) return false;
    addToField(groupSlot_ + group::kTriangleCount, 1);
    addToGroupAndModel(kTriangleRecordSize);
    return emit(kTriangleRecordSize, [&](std::uint8_t* record) {
        encodeTriangle(record, vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2, skinIndex,
                       secondTexCoord0, secondTexCoord1, secondTexCoord2, skinIndex2);
    });
}

bool Mdl7Writer::writeVertex(float x, float y, float z, std::int32_t boneIndex, float nx, float ny, float nz)
{
    if (!isOpen() || hasRecordsFrom(group::kFrameCount)) return false;
    addToField(groupSlot_ + group::kVertexCount, 1);
    addToGroupAndModel(kVertexRecordSize);
    return emit(kVertexRecordSize,
                [&](std::uint8_t* record) { encodeVertex(record, x, y, z, boneIndex, nx, ny, nz); });
}

bool Mdl7Writer::writeTexCoords(std::span<const TexCoordRecord> texCoords)
{
    if (!isOpen() || hasRecordsFrom(group::kTriangleCount)) return false;
    countRun(group::kTexCoordCount, texCoords.size(), kTexCoordRecordSize);
    return emitRun(kTexCoordRecordSize, texCoords.size(), [&](std::uint8_t* record, std::size_t i) {
        encodeTexCoord(record, texCoords[i].s, texCoords[i].t);
    });
}

bool Mdl7Writer::writeTriangles(std::span<const TriangleRecord> triangles)
{
    if (!isOpen() || hasRecordsFrom(group::kVertexCount)) return false;
    countRun(group::kTriangleCount, triangles.size(), kTriangleRecordSize);
    return emitRun(kTriangleRecordSize, triangles.size(), [&](std::uint8_t* record, std::size_t i) {
        const TriangleRecord& t = triangles[i];
        encodeTriangle(record, t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2], t.texCoordIndex[0],
                       t.texCoordIndex[1], t.texCoordIndex[2], t.skinIndex, kNoSecondTexCoord,
                       kNoSecondTexCoord, kNoSecondTexCoord, kNoSecondSkin);
    });
}

bool Mdl7Writer::writeVertices(std::span<const VertexRecord> vertices)
{
    if (!isOpen() || hasRecordsFrom(group::kFrameCount)) return false;
    countRun(group::kVertexCount, vertices.size(), kVertexRecordSize);
    return emitRun(kVertexRecordSize, vertices.size(), [&](std::uint8_t* record, std::size_t i) {
        const VertexRecord& v = vertices[i];
        encodeVertex(record, v.x, v.y, v.z, v.boneIndex, v.nx, v.ny, v.nz);
    });
}

// --- Frames ---------------------------------------------------------------------

bool Mdl7Writer::beginFrame(const char* name)
{
    if (!isOpen()) return false;
    std::memset(frameSlot_, 0, kFrameHeaderSize);
    storeName(frameSlot_ + frame::kName, frame::kNameSize, name);
    addToField(groupSlot_ + group::kFrameCount, 1);
    addToGroupAndModel(kFrameHeaderSize);
    frameSlotOffset_ = file_.tell();
    return put(frameSlot_, kFrameHeaderSize);
}

bool Mdl7Writer::writeFrameVertex(std::int32_t vertexIndex, float x, float y, float z, float nx, float ny,
                                  float nz)
{
    if (!isOpen()) return false;
    addToField(frameSlot_ + frame::kFrameVertexCount, 1);
    addToGroupAndModel(kFrameVertexRecordSize);
    return emit(kFrameVertexRecordSize,
                [&](std::uint8_t* record) { encodeVertex(record, x, y, z, vertexIndex, nx, ny, nz); });
}

bool Mdl7Writer::writeBoneTransform(std::int32_t boneIndex, const float matrix[16])
{
    if (!isOpen() || matrix == nullptr) return false;
    addToField(frameSlot_ + frame::kBoneTransformCount, 1);
    addToGroupAndModel(kBoneTransformRecordSize);
    return emit(kBoneTransformRecordSize, [&](std::uint8_t* record) {
        for (int i = 0; i < 16; ++i)
            storeF32(record + bonetransform::kMatrix + 4 * i, matrix[i]);
        storeU16(record + bonetransform::kBoneIndex, low16(boneIndex));
        storeU16(record + bonetransform::kBoneIndex + 2, 0); // reserved
    });
}

bool Mdl7Writer::finishFrame()
{
    if (isOpen()) patch(frameSlotOffset_, frameSlot_, kFrameHeaderSize);
    return true;
}

// --- Deformers --------------------------------------------------------------------

bool Mdl7Writer::beginDeformer(std::int32_t deformerType, std::int32_t groupIndex)
{
    if (!isOpen()) return false;
    std::memset(groupSlot_, 0, kDeformerHeaderSize);
    storeU8(groupSlot_ + deformer::kDeformerType, low8(deformerType));
    storeI32(groupSlot_ + deformer::kGroupIndex, groupIndex);
    storeI32(groupSlot_ + deformer::kDeformerDataSize, kDeformerHeaderSize);
    addToField(header_ + header::kModelDataSize, kDeformerHeaderSize);
    groupSlotOffset_ = file_.tell();
    return put(groupSlot_, kDeformerHeaderSize);
}

bool Mdl7Writer::beginDeformerElement(std::int32_t elementIndex, const char* name)
{
    if (!isOpen()) return false;
    std::memset(frameSlot_, 0, kDeformerElementSize);
    storeI32(frameSlot_ + element::kElementIndex, elementIndex);
    storeName(frameSlot_ + element::kName, element::kNameSize, name);
    addToField(groupSlot_ + deformer::kElementCount, 1);
    addToField(groupSlot_ + deformer::kDeformerDataSize, kDeformerElementSize);
    addToField(header_ + header::kModelDataSize, kDeformerElementSize);
    frameSlotOffset_ = file_.tell();
    return put(frameSlot_, kDeformerElementSize);
}

bool Mdl7Writer::writeDeformerWeight(std::int32_t vertexIndex, float weight)
{
    if (!isOpen()) return false;
    addToField(frameSlot_ + element::kWeightCount, 1);
    addToField(groupSlot_ + deformer::kDeformerDataSize, kDeformerWeightSize);
    addToField(header_ + header::kModelDataSize, kDeformerWeightSize);
    return emit(kDeformerWeightSize, [&](std::uint8_t* record) {
        storeI32(record + weight::kTargetIndex, vertexIndex);
        storeF32(record + weight::kWeight, weight);
    });
}

bool Mdl7Writer::finishDeformerElement()
{
    if (!isOpen()) return true;
    patchAndResynchronise(frameSlotOffset_, frameSlot_, kDeformerElementSize);
    return true;
}

bool Mdl7Writer::finishDeformer()
{
    if (!isOpen()) return true;
    patchAndResynchronise(groupSlotOffset_, groupSlot_, kDeformerHeaderSize);
    return true;
}

// --- Trailer ------------------------------------------------------------------------
//
// Trailer records lie beyond modelDataSize and count in trailerSize only.

bool Mdl7Writer::beginTrailer()
{
    if (!isOpen()) return false;
    std::memset(trailerHeader_, 0, kTrailerHeaderSize);
    storeI32(trailerHeader_ + trailer::kTrailerKind, kTrailerKind);
    storeI32(trailerHeader_ + trailer::kTrailerLength, kTrailerHeaderSize);
    addToField(header_ + header::kTrailerSize, kTrailerHeaderSize);
    trailerHeaderOffset_ = file_.tell();
    return put(trailerHeader_, kTrailerHeaderSize);
}

bool Mdl7Writer::beginTrailerEntry(std::int32_t entryId)
{
    if (!isOpen()) return false;
    std::memset(groupSlot_, 0, kTrailerEntrySize);
    storeI32(groupSlot_ + trailerentry::kEntryId, entryId);
    addToField(trailerHeader_ + trailer::kEntryCount, 1);
    addToField(trailerHeader_ + trailer::kTrailerLength, kTrailerEntrySize);
    addToField(header_ + header::kTrailerSize, kTrailerEntrySize);
    groupSlotOffset_ = file_.tell();
    return put(groupSlot_, kTrailerEntrySize);
}

bool Mdl7Writer::beginTrailerSubEntry(std::int32_t subEntryId)
{
    if (!isOpen()) return false;
    std::memset(frameSlot_, 0, kTrailerSubEntrySize);
    storeI32(frameSlot_ + trailersubentry::kSubEntryId, subEntryId);
    addToField(groupSlot_ + trailerentry::kSubEntryCount, 1);
    addToField(trailerHeader_ + trailer::kTrailerLength, kTrailerSubEntrySize);
    addToField(header_ + header::kTrailerSize, kTrailerSubEntrySize);
    frameSlotOffset_ = file_.tell();
    return put(frameSlot_, kTrailerSubEntrySize);
}

bool Mdl7Writer::writeTrailerTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                                      std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                                      std::int32_t skinIndex)
{
    if (!isOpen()) return false;
    addToField(frameSlot_ + trailersubentry::kTriangleCount, 1);
    addToField(trailerHeader_ + trailer::kTrailerLength, kTriangleRecordSize);
    addToField(header_ + header::kTrailerSize, kTriangleRecordSize);
    return emit(kTriangleRecordSize, [&](std::uint8_t* record) {
        encodeTriangle(record, vertex0, vertex1, vertex2, texCoord0, texCoord1, texCoord2, skinIndex,
                       kNoSecondTexCoord, kNoSecondTexCoord, kNoSecondTexCoord, kNoSecondSkin);
    });
}

bool Mdl7Writer::finishTrailerSubEntry()
{
    if (isOpen()) patch(frameSlotOffset_, frameSlot_, kTrailerSubEntrySize);
    return true;
}

bool Mdl7Writer::finishTrailerEntry()
{
    if (isOpen()) patch(groupSlotOffset_, groupSlot_, kTrailerEntrySize);
    return true;
}

bool Mdl7Writer::finishTrailer()
{
    if (isOpen()) patch(trailerHeaderOffset_, trailerHeader_, kTrailerHeaderSize);
    return true;
}

// --- Zero fill --------------------------------------------------------------------

bool Mdl7Writer::writeZeros(std::int32_t count)
{
    if (count <= 0) return true;
    if (!isOpen()) return false;
    static constexpr std::uint8_t kZeros[4096] = {};
    for (std::int64_t left = count; left > 0;) {
        const std::int64_t chunk = left < std::int64_t(sizeof kZeros) ? left : sizeof kZeros;
        if (!put(kZeros, chunk)) return false;
        left -= chunk;
    }
    return true;
}

} // namespace kelvane
