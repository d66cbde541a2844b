// The layouts of the older model formats, as their readers read them.
//
// This header is the one place that knows them. Six readers share it:
// "IDPO"/"MDL2", "MDL3", "IDP2", "MDL4", "MDL5" and "MDL6" files. All are
// little-endian and packed. After the header the sections follow in a fixed
// order, and the readers read them in that order without consulting any
// offset stored in the file: skins; texture coordinates; triangles; frames,
// each a frame header followed by one vertex record per vertex.
#pragma once

#include <cstdint>

namespace kelvane::legacy {

// --- File headers ------------------------------------------------------------

// "IDPO", "MDL2", "MDL3", "MDL4", "MDL5" and "MDL6" share one 84-byte header.
namespace header {
inline constexpr std::int32_t kSize = 84;
inline constexpr int kMagic = 0;        // char[4]
inline constexpr int kScale = 8;        // 3 x float32, unpacks every frame's positions
inline constexpr int kTranslate = 20;   // 3 x float32, likewise
inline constexpr int kSkinCount = 48;   // int32
inline constexpr int kSkinWidth = 52;   // int32, every skin of "IDPO"/"MDL2", "MDL3", "MDL4"
inline constexpr int kSkinHeight = 56;  // int32, likewise
inline constexpr int kVertexCount = 60; // int32, vertices per frame ("IDPO"/"MDL2": also texture coordinates)
inline constexpr int kTriangleCount = 64; // int32
inline constexpr int kFrameCount = 68;    // int32
inline constexpr int kTexCoordCount = 72; // int32, "MDL3" to "MDL6"
static_assert(kTexCoordCount + 12 == kSize);
} // namespace header

// "IDP2" has a header of its own.
namespace idp2header {
inline constexpr std::int32_t kSize = 68;
inline constexpr int kMagic = 0;          // char[4]
inline constexpr int kSkinWidth = 8;      // int32, the skin size texture coordinates count texels in
inline constexpr int kSkinHeight = 12;    // int32, likewise
inline constexpr int kSkinCount = 20;     // int32
inline constexpr int kVertexCount = 24;   // int32
inline constexpr int kTexCoordCount = 28; // int32
inline constexpr int kTriangleCount = 32; // int32
inline constexpr int kFrameCount = 40;    // int32
static_assert(kFrameCount + 28 == kSize);
} // namespace idp2header

inline constexpr char kMagicIdpo[4] = {'I', 'D', 'P', 'O'};
inline constexpr char kMagicMdl2[4] = {'M', 'D', 'L', '2'};
inline constexpr char kMagicMdl3[4] = {'M', 'D', 'L', '3'};
inline constexpr char kMagicIdp2[4] = {'I', 'D', 'P', '2'};
inline constexpr char kMagicMdl4[4] = {'M', 'D', 'L', '4'};
inline constexpr char kMagicMdl5[4] = {'M', 'D', 'L', '5'};
inline constexpr char kMagicMdl6[4] = {'M', 'D', 'L', '6'};

// --- Skins -------------------------------------------------------------------

namespace skin {
// "IDPO"/"MDL2", "MDL3", "MDL4": an int32 type, then width x height x
// bytes-per-pixel image bytes, the size taken from the file header.
inline constexpr std::int32_t kTypeSize = 4;

// "MDL5", "MDL6": a header of its own, then the image, then three mipmap
// images of halved, quartered and eighth size when the mipmap bit is set.
inline constexpr std::int32_t kHeaderSize = 12;
inline constexpr int kType = 0;   // int32
inline constexpr int kWidth = 4;  // int32
inline constexpr int kHeight = 8; // int32

// "IDP2": a 64-byte record naming an external texture file.
inline constexpr std::int32_t kNameRecordSize = 64;
// What an "IDP2" skin reports: the image kind that names a texture file, and
// the name record's size as its width.
inline constexpr std::uint8_t kIdp2Type = 7;
inline constexpr std::int32_t kIdp2Width = 64;

inline constexpr std::int32_t kKindMask = 0x07;
inline constexpr std::int32_t kMipmapFlag = 0x08;

// Bytes per pixel by image kind (type & 7); -1 marks a kind the format
// refuses. Kind 6 of the newer formats is a skin without image bytes.
inline constexpr std::int32_t kRejected = -1;
inline constexpr std::int32_t kOldBytesPerPixel[8] = {1,         kRejected, 2,         2,
                                                      kRejected, kRejected, kRejected, kRejected};
inline constexpr std::int32_t kNewBytesPerPixel[8] = {1, kRejected, 2, 2, 3, 4, 0, kRejected};
} // namespace skin

// --- Texture coordinates -----------------------------------------------------

namespace texcoord {
// "IDPO"/"MDL2": one per vertex; an int32 on-seam flag (not 0: the
// coordinate lies on the seam between the front and back halves of the
// skin), then s and t as int32 of which the low 16 bits are reported.
inline constexpr std::int32_t kOldSize = 12;
inline constexpr int kOldOnSeam = 0;
inline constexpr int kOldS = 4;
inline constexpr int kOldT = 8;
// "MDL3" and later: 16-bit s and t.
inline constexpr std::int32_t kSize = 4;
inline constexpr int kS = 0;
inline constexpr int kT = 2;
} // namespace texcoord

// --- Triangles ---------------------------------------------------------------

namespace triangle {
// "IDPO"/"MDL2": an int32 faces-front flag (not 0: the triangle faces
// front), then three int32 vertex indices. Texture coordinates are indexed
// by vertex, so there are no texture-coordinate indices.
inline constexpr std::int32_t kOldSize = 16;
inline constexpr int kOldFacesFront = 0;
inline constexpr int kOldVertexIndex = 4; // 3 x int32
// "MDL3" and later: three uint16 vertex indices, then three uint16
// texture-coordinate indices.
inline constexpr std::int32_t kSize = 12;
inline constexpr int kVertexIndex = 0;   // 3 x uint16
inline constexpr int kTexCoordIndex = 6; // 3 x uint16
} // namespace triangle

// --- Frames ------------------------------------------------------------------

inline constexpr std::int32_t kFrameNameSize = 16;

namespace frame {
// "IDPO"/"MDL2", "MDL3": byte bounding-box corners (x, y, z, normal).
// Type 0 is a single frame; any other type starts a group of frames, which
// these readers do not read.
inline constexpr std::int32_t kOldSize = 28;
inline constexpr int kOldType = 0;    // int32
inline constexpr int kOldBboxMin = 4; // 4 x uint8
inline constexpr int kOldBboxMax = 8; // 4 x uint8
inline constexpr int kOldName = 12;   // char[16]
inline constexpr std::int32_t kOldRequiredType = 0;
static_assert(kOldName + kFrameNameSize == kOldSize);

// "MDL4" to "MDL6": 16-bit bounding-box corners; single frames have type 2.
inline constexpr std::int32_t kSize = 36;
inline constexpr int kType = 0;     // int32
inline constexpr int kBboxMin = 4;  // 4 x uint16
inline constexpr int kBboxMax = 12; // 4 x uint16
inline constexpr int kName = 20;    // char[16]
inline constexpr std::int32_t kRequiredType = 2;
static_assert(kName + kFrameNameSize == kSize);

// "IDP2": a scale and a translation that unpack the byte positions; no type
// and no bounding box.
inline constexpr std::int32_t kIdp2Size = 40;
inline constexpr int kIdp2Scale = 0;      // 3 x float32
inline constexpr int kIdp2Translate = 12; // 3 x float32
inline constexpr int kIdp2Name = 24;      // char[16]
static_assert(kIdp2Name + kFrameNameSize == kIdp2Size);
// The bounding box an "IDP2" frame reports: the whole byte range.
inline constexpr std::uint16_t kIdp2BboxMin = 0;
inline constexpr std::uint16_t kIdp2BboxMax = 255;
} // namespace frame

// --- Vertices ----------------------------------------------------------------

namespace vertex {
// "IDPO"/"MDL2", "MDL3", "IDP2": byte x, y, z and a normal index byte.
inline constexpr std::int32_t kOldSize = 4;
inline constexpr int kOldNormalIndex = 3;
// "MDL4" to "MDL6": uint16 x, y, z, a normal index byte, one unused byte.
inline constexpr std::int32_t kSize = 8;
inline constexpr int kNormalIndex = 6;
} // namespace vertex

} // namespace kelvane::legacy
