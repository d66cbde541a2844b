// The MDL7 file layout: every record's size, field offsets and constants.
//
// This header is the one place that knows the layout. The reader, the writer,
// the split driver and the skin table address fields only through these
// names and the little-endian helpers of ByteOrder.h.
//
// A file is, in order: a 48-byte file header; boneCount bone records; the
// groups (each a 44-byte group header and its content); the deformers; then
// the trailer (trailerSize bytes at offset modelDataSize) and the second
// trailer (secondTrailerSize bytes after it). modelDataSize covers everything
// up to the trailer, the file header included. All numbers are little-endian
// and records are packed without padding.
//
// The ten record sizes in the file header are authoritative for reading: a
// reader steps over each such record by its stored size, so files may carry
// longer records than the layout below. Fields tied to a minimum record size
// (a bone's name, a triangle's skin index, a vertex's normal) are present only
// when the stored size reaches them.
#pragma once

#include "mdl/ByteOrder.h"

#include <cstdint>

namespace kelvane::mdl7 {

// --- File header -----------------------------------------------------------

inline constexpr char kMagic[4] = {'M', 'D', 'L', '7'};
inline constexpr std::int32_t kFileHeaderSize = 48;

namespace header {
inline constexpr int kMagic = 0;                    // char[4] "MDL7", no terminator
inline constexpr int kVersion = 4;                  // int32, ignored when reading
inline constexpr int kBoneCount = 8;                // int32
inline constexpr int kGroupCount = 12;              // int32
inline constexpr int kModelDataSize = 16;           // int32, sections up to the trailer
inline constexpr int kTrailerSize = 20;             // int32
inline constexpr int kSecondTrailerSize = 24;       // int32
inline constexpr int kBoneRecordSize = 28;          // uint16
inline constexpr int kSkinHeaderSize = 30;          // uint16
inline constexpr int kColourValueSize = 32;         // uint16, not used when reading
inline constexpr int kMaterialRecordSize = 34;      // uint16
inline constexpr int kTexCoordRecordSize = 36;      // uint16
inline constexpr int kTriangleRecordSize = 38;      // uint16
inline constexpr int kVertexRecordSize = 40;        // uint16
inline constexpr int kFrameVertexRecordSize = 42;   // uint16
inline constexpr int kBoneTransformRecordSize = 44; // uint16
inline constexpr int kFrameHeaderSize = 46;         // uint16
static_assert(kFrameHeaderSize + 2 == kFileHeaderSize);
} // namespace header

// The data a file header announces: the three section sizes summed in
// 32-bit arithmetic, as the format defines it (a sum that wraps is simply a
// large or small limit). Reads the header's first 28 bytes.
inline std::uint32_t dataSizeSum(const std::uint8_t* fileHeader)
{
    return loadU32(fileHeader + header::kModelDataSize) + loadU32(fileHeader + header::kTrailerSize) +
           loadU32(fileHeader + header::kSecondTrailerSize);
}

// The record sizes this system writes into every file header.
inline constexpr std::uint16_t kBoneRecordSize = 36;
inline constexpr std::uint16_t kSkinHeaderSize = 28;
inline constexpr std::uint16_t kColourValueSize = 16;
inline constexpr std::uint16_t kMaterialRecordSize = 68;
inline constexpr std::uint16_t kTexCoordRecordSize = 8;
inline constexpr std::uint16_t kTriangleRecordSize = 26;
inline constexpr std::uint16_t kVertexRecordSize = 26;
inline constexpr std::uint16_t kFrameVertexRecordSize = 26;
inline constexpr std::uint16_t kBoneTransformRecordSize = 68;
inline constexpr std::uint16_t kFrameHeaderSize = 24;

// --- Bone record -----------------------------------------------------------

namespace bone {
inline constexpr int kParentIndex = 0; // uint16, 0xFFFF -> -1
inline constexpr int kX = 4;           // float32 x, y, z
inline constexpr int kY = 8;
inline constexpr int kZ = 12;
inline constexpr int kName = 16; // char[20], read only when the record reaches it
inline constexpr int kNameSize = 20;
// Fields every bone read takes (parent and position).
inline constexpr int kMinReadSize = 16;
static_assert(kName + kNameSize == kBoneRecordSize);
} // namespace bone

// --- Group header (fixed 44 bytes, not stored in the file header) ---------

inline constexpr std::int32_t kGroupHeaderSize = 44;
inline constexpr std::uint8_t kMeshGroupType = 1;

namespace group {
inline constexpr int kType = 0;          // uint8, 1 = mesh group
inline constexpr int kDeformerCount = 1; // uint8
inline constexpr int kMaxWeights = 2;    // uint8
inline constexpr int kReserved = 3;      // uint8, written as zero
inline constexpr int kGroupDataSize = 4; // int32, header plus content
inline constexpr int kName = 8;          // char[16]
inline constexpr int kNameSize = 16;
inline constexpr int kSkinCount = 24; // int32
inline constexpr int kTexCoordCount = 28;
inline constexpr int kTriangleCount = 32;
inline constexpr int kVertexCount = 36;
inline constexpr int kFrameCount = 40;
static_assert(kFrameCount + 4 == kGroupHeaderSize);
} // namespace group

// --- Skin header ---------------------------------------------------------

namespace skin {
inline constexpr int kType = 0;   // uint8: image kind, mipmap, material, extra bits
inline constexpr int kWidth = 4;  // int32
inline constexpr int kHeight = 8; // int32
inline constexpr int kName = 12;  // char[16]
inline constexpr int kNameSize = 16;
inline constexpr int kMinReadSize = 28;
static_assert(kName + kNameSize == kSkinHeaderSize);

// Bits of the type byte. Bits 6 and 7 are carried along without meaning.
inline constexpr std::uint8_t kImageKindMask = 0x07;
inline constexpr std::uint8_t kMipmapFlag = 0x08;   // three mipmap images follow
inline constexpr std::uint8_t kMaterialFlag = 0x10; // a material record follows
inline constexpr std::uint8_t kExtraFlag = 0x20;    // a length-prefixed extra block follows

// Image kinds (type & 7).
inline constexpr std::uint8_t kKindNoImage = 1;  // no image bytes at all
inline constexpr std::uint8_t kKindRawBlock = 6; // width x height bytes, uninterpreted
inline constexpr std::uint8_t kKindExternal = 7; // the image is a texture file name

// Bytes per pixel that size a skin's image, by image kind.
inline constexpr std::int32_t kBytesPerPixel[8] = {1, 0, 2, 2, 3, 4, 1, 1};
} // namespace skin

// The extra block opens with this length prefix.
inline constexpr std::int32_t kExtraLengthSize = 4;

// --- Material record -------------------------------------------------------

namespace material {
inline constexpr int kColour1 = 0; // four float32 each
inline constexpr int kColour2 = 16;
inline constexpr int kColour3 = 32;
inline constexpr int kColour4 = 48;
inline constexpr int kScalar = 64; // float32
inline constexpr int kMinReadSize = 68;
static_assert(kScalar + 4 == kMaterialRecordSize);
} // namespace material

// --- Texture coordinate ----------------------------------------------------

namespace texcoord {
inline constexpr int kS = 0; // float32
inline constexpr int kT = 4; // float32
inline constexpr int kMinReadSize = 8;
} // namespace texcoord

// --- Triangle --------------------------------------------------------------

namespace triangle {
inline constexpr int kVertexIndex = 0;     // 3 x uint16, delivered as stored (no -1)
inline constexpr int kTexCoordIndex = 6;   // 3 x uint16, 0xFFFF -> -1
inline constexpr int kSkinIndex = 12;      // int32, present when the record is >= 16 bytes
inline constexpr int kTexCoordIndex2 = 16; // 3 x uint16, present when >= 26 bytes
inline constexpr int kSkinIndex2 = 22;     // int32, present when >= 26 bytes
inline constexpr int kMinReadSize = 12;
inline constexpr int kSizeWithSkin = 16;
inline constexpr int kSizeWithSecondSet = 26;
static_assert(kSkinIndex2 + 4 == kTriangleRecordSize);
} // namespace triangle

// --- Vertex and frame vertex ----------------------------------------------

namespace vertex {
inline constexpr int kX = 0; // float32 x, y, z
inline constexpr int kY = 4;
inline constexpr int kZ = 8;
inline constexpr int kIndex = 12;  // uint16: bone index (vertex) or vertex index (frame vertex)
inline constexpr int kNormal = 14; // float32 nx, ny, nz when the record is >= 26 bytes
inline constexpr int kMinReadSize = 14;
// A 16-byte record holds a uint16 index into the normal table at kNormal.
inline constexpr int kSizeWithNormalIndex = 16;
inline constexpr int kSizeWithNormal = 26;
static_assert(kNormal + 12 == kVertexRecordSize);
} // namespace vertex

// --- Frame header ------------------------------------------------------------

namespace frame {
inline constexpr int kName = 0; // char[16]
inline constexpr int kNameSize = 16;
inline constexpr int kFrameVertexCount = 16;   // int32
inline constexpr int kBoneTransformCount = 20; // int32
inline constexpr int kMinReadSize = 24;
static_assert(kBoneTransformCount + 4 == kFrameHeaderSize);
} // namespace frame

// --- Bone transform ----------------------------------------------------------

namespace bonetransform {
inline constexpr int kMatrix = 0; // 16 x float32, passed through as a block
inline constexpr int kMatrixSize = 64;
inline constexpr int kBoneIndex = 64; // uint16, 0xFFFF -> -1
inline constexpr int kMinReadSize = 66;
static_assert(kBoneIndex + 4 == kBoneTransformRecordSize);
} // namespace bonetransform

// --- Deformers (fixed sizes) ------------------------------------------------

inline constexpr std::int32_t kDeformerHeaderSize = 16;
inline constexpr std::int32_t kDeformerElementSize = 28;
inline constexpr std::int32_t kDeformerWeightSize = 8;

namespace deformer {
inline constexpr int kVersion = 0;           // uint8, written as 0, not read
inline constexpr int kDeformerType = 1;      // uint8
inline constexpr int kGroupIndex = 4;        // int32
inline constexpr int kElementCount = 8;      // int32
inline constexpr int kDeformerDataSize = 12; // int32: 16 + 28 per element + 8 per weight
} // namespace deformer

namespace element {
inline constexpr int kElementIndex = 0; // int32
inline constexpr int kName = 4;         // char[20]
inline constexpr int kNameSize = 20;
inline constexpr int kWeightCount = 24; // int32
static_assert(kWeightCount + 4 == kDeformerElementSize);
} // namespace element

namespace weight {
inline constexpr int kTargetIndex = 0; // int32
inline constexpr int kWeight = 4;      // float32
} // namespace weight

// --- Trailers (fixed sizes) --------------------------------------------------

inline constexpr std::int32_t kTrailerHeaderSize = 12;
inline constexpr std::int32_t kTrailerEntrySize = 8;
inline constexpr std::int32_t kTrailerSubEntrySize = 8;
inline constexpr std::int32_t kSecondTrailerHeaderSize = 8;
inline constexpr std::int32_t kTrailerKind = 1;

namespace trailer {
inline constexpr int kTrailerKind = 0;   // int32, written as 1
inline constexpr int kTrailerLength = 4; // int32: 12 + 8/entry + 8/sub-entry + 26/triangle
inline constexpr int kEntryCount = 8;    // int32
} // namespace trailer

namespace trailerentry {
inline constexpr int kEntryId = 0;       // int32
inline constexpr int kSubEntryCount = 4; // int32
} // namespace trailerentry

namespace trailersubentry {
inline constexpr int kSubEntryId = 0;    // int32
inline constexpr int kTriangleCount = 4; // int32
} // namespace trailersubentry

namespace secondtrailer {
inline constexpr int kIdentifier = 0; // int32
inline constexpr int kLength = 4;     // int32
} // namespace secondtrailer

} // namespace kelvane::mdl7
