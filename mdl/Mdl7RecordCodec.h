// Mdl7RecordCodec: the one decode and the one encode of each MDL7 mesh
// record: texture coordinates, triangles, and vertices with frame vertices.
//
// The reader decodes every record of these kinds here, whether it reads one
// record per call or a run into an array (and the trailer's triangles too);
// the writer encodes them here on both of its paths. So each field's offset
// and conversion stands once per direction, beside its counterpart. The
// offsets are those of Mdl7Format.h; a decode reads only the fields its
// caller has found inside the stored record size, an encode writes the full
// record the writer stores.
//
// Conversions: vertex indices of triangles are plain unsigned 16-bit values
// (0xFFFF is 65535, a vertex outside any group, not "no vertex"); the other
// 16-bit indices decode 0xFFFF as -1. Encoding keeps the low 16 bits of an
// index, so -1 is stored as 0xFFFF. Floats are copied bit for bit.
#pragma once

#include "mdl/ByteOrder.h"
#include "mdl/Mdl7Format.h"
#include "mdl/NormalTable.h"

#include <cstdint>

namespace kelvane::mdl7 {

// --- Texture coordinates ------------------------------------------------------

inline void decodeTexCoord(const std::uint8_t* record, float& s, float& t)
{
    s = loadF32(record + texcoord::kS);
    t = loadF32(record + texcoord::kT);
}

inline void encodeTexCoord(std::uint8_t* record, float s, float t)
{
    storeF32(record + texcoord::kS, s);
    storeF32(record + texcoord::kT, t);
}

// --- Triangles -------------------------------------------------------------------

// The three vertex and three texture-coordinate indices (every record).
inline void decodeTriangleIndices(const std::uint8_t* record, std::int32_t& vertex0, std::int32_t& vertex1,
                                  std::int32_t& vertex2, std::int32_t& texCoord0, std::int32_t& texCoord1,
                                  std::int32_t& texCoord2)
{
    vertex0 = loadU16(record + triangle::kVertexIndex);
    vertex1 = loadU16(record + triangle::kVertexIndex + 2);
    vertex2 = loadU16(record + triangle::kVertexIndex + 4);
    texCoord0 = loadIndex16(record + triangle::kTexCoordIndex);
    texCoord1 = loadIndex16(record + triangle::kTexCoordIndex + 2);
    texCoord2 = loadIndex16(record + triangle::kTexCoordIndex + 4);
}

// The skin index (records of triangle::kSizeWithSkin bytes or more).
inline std::int32_t decodeTriangleSkin(const std::uint8_t* record)
{
    return loadI32(record + triangle::kSkinIndex);
}

// The second texture-coordinate set and its skin index (records of
// triangle::kSizeWithSecondSet bytes or more).
inline void decodeTriangleSecondSet(const std::uint8_t* record, std::int32_t& texCoord0,
                                    std::int32_t& texCoord1, std::int32_t& texCoord2, std::int32_t& skinIndex)
{
    texCoord0 = loadIndex16(record + triangle::kTexCoordIndex2);
    texCoord1 = loadIndex16(record + triangle::kTexCoordIndex2 + 2);
    texCoord2 = loadIndex16(record + triangle::kTexCoordIndex2 + 4);
    skinIndex = loadI32(record + triangle::kSkinIndex2);
}

// What a triangle written without a second set holds there: texture
// coordinates 0, 0, 0 and skin index -1.
inline constexpr std::int32_t kNoSecondTexCoord = 0;
inline constexpr std::int32_t kNoSecondSkin = -1;

// A whole triangle record, both sets.
inline void encodeTriangle(std::uint8_t* record, std::int32_t vertex0, std::int32_t vertex1,
                           std::int32_t vertex2, std::int32_t texCoord0, std::int32_t texCoord1,
                           std::int32_t texCoord2, std::int32_t skinIndex, std::int32_t secondTexCoord0,
                           std::int32_t secondTexCoord1, std::int32_t secondTexCoord2,
                           std::int32_t skinIndex2)
{
    storeU16(record + triangle::kVertexIndex, static_cast<std::uint16_t>(vertex0));
    storeU16(record + triangle::kVertexIndex + 2, static_cast<std::uint16_t>(vertex1));
    storeU16(record + triangle::kVertexIndex + 4, static_cast<std::uint16_t>(vertex2));
    storeU16(record + triangle::kTexCoordIndex, static_cast<std::uint16_t>(texCoord0));
    storeU16(record + triangle::kTexCoordIndex + 2, static_cast<std::uint16_t>(texCoord1));
    storeU16(record + triangle::kTexCoordIndex + 4, static_cast<std::uint16_t>(texCoord2));
    storeI32(record + triangle::kSkinIndex, skinIndex);
    storeU16(record + triangle::kTexCoordIndex2, static_cast<std::uint16_t>(secondTexCoord0));
    storeU16(record + triangle::kTexCoordIndex2 + 2, static_cast<std::uint16_t>(secondTexCoord1));
    storeU16(record + triangle::kTexCoordIndex2 + 4, static_cast<std::uint16_t>(secondTexCoord2));
    storeI32(record + triangle::kSkinIndex2, skinIndex2);
}

// --- Vertices and frame vertices ------------------------------------------------
//
// Both have one layout: a position, a 16-bit index (the bone of a vertex,
// the vertex a frame vertex moves) and, in records long enough, a normal.

inline void decodeVertex(const std::uint8_t* record, float& x, float& y, float& z, std::int32_t& index)
{
    x = loadF32(record + vertex::kX);
    y = loadF32(record + vertex::kY);
    z = loadF32(record + vertex::kZ);
    index = loadIndex16(record + vertex::kIndex);
}

// The normal of a record of `recordSize` bytes. True only when the record
// stores the normal itself (vertex::kSizeWithNormal bytes or more). A
// 16-byte record holds an index into the normal table: its vector is handed
// out, an index outside the table leaves the outputs unchanged, and the
// result is false, since the normal was not stored. Other sizes give
// (0, 0, 0) and false.
inline bool decodeVertexNormal(const std::uint8_t* record, std::int32_t recordSize, float& nx, float& ny,
                               float& nz)
{
    if (recordSize >= vertex::kSizeWithNormal) {
        nx = loadF32(record + vertex::kNormal);
        ny = loadF32(record + vertex::kNormal + 4);
        nz = loadF32(record + vertex::kNormal + 8);
        return true;
    }
    if (recordSize == vertex::kSizeWithNormalIndex) {
        (void)NormalTable::normalFromIndex(loadU16(record + vertex::kNormal), nx, ny, nz);
        return false;
    }
    nx = 0.0f;
    ny = 0.0f;
    nz = 0.0f;
    return false;
}

inline void encodeVertex(std::uint8_t* record, float x, float y, float z, std::int32_t index, float nx,
                         float ny, float nz)
{
    storeF32(record + vertex::kX, x);
    storeF32(record + vertex::kY, y);
    storeF32(record + vertex::kZ, z);
    storeU16(record + vertex::kIndex, static_cast<std::uint16_t>(index));
    storeF32(record + vertex::kNormal, nx);
    storeF32(record + vertex::kNormal + 4, ny);
    storeF32(record + vertex::kNormal + 8, nz);
}

} // namespace kelvane::mdl7
