// LegacyModelReader: the shared interface of the readers of the older model
// formats ("IDPO"/"MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6").
//
// Each of these formats holds one mesh, which the interface presents as a
// single group: the counts, then the skins, the texture coordinates, the
// triangles and the frames with their vertices, pulled one record at a time
// in file order. Records are handed out as pointers into the loaded file or as
// values copied from it; pointers stay valid until close.
//
// The caller pulls in file order: open; the counts; per skin readSkinFormat
// then readSkinPixels (or skipSkin); the texture coordinates one by one; the
// triangles; per frame readFrameHeader then readVertex once per vertex (or
// skipFrame). The readers check counts only for being positive and do not
// count the records they hand out: the caller stops at the count.
//
// Every operation that returns bool reports false when the data runs out,
// when no file is open, or when its own condition fails. A read that fails
// may already have moved the cursor (to the end of the data when the record
// was incomplete), so every later read fails too. Counts and sizes from the
// file are checked in 64-bit arithmetic; a negative or oversized byte count
// fails like running out of data. Nothing is read outside the loaded file, so
// the readers are safe on untrusted input, though they may hand out garbage
// values from a corrupt one: callers check indices against the counts.
#pragma once

#include "mdl/ModelFile.h"

#include <cstdint>
#include <span>

namespace kelvane {

class LegacyModelReader : public ModelFile {
  public:
    // Number of skins, vertices per frame, triangles, texture coordinates and
    // frames as the file header states them (unchecked, possibly negative);
    // 0 while no file is open.
    [[nodiscard]] virtual std::int32_t getSkinCount() const = 0;
    [[nodiscard]] virtual std::int32_t getVertexCount() const = 0;
    [[nodiscard]] virtual std::int32_t getTriangleCount() const = 0;
    [[nodiscard]] virtual std::int32_t getTexCoordCount() const = 0;
    [[nodiscard]] virtual std::int32_t getFrameCount() const = 0;

    // Hands out the start of the file header (null when closed); always true.
    virtual bool getHeader(const std::uint8_t*& header) const = 0;

    // Steps over the next skin's leading record and reports its image type
    // (low byte of the stored type), size, bytes per pixel and mipmap flag
    // (bit 3 of the type). Fails when the skin count is not positive, the
    // record is incomplete, or the format refuses the image kind (type & 7).
    // A refused kind is still reported in `type` (kind 0 is never refused);
    // an incomplete record leaves every output untouched.
    [[nodiscard]] virtual bool readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                              std::int32_t& bytesPerPixel, bool& hasMipmaps) = 0;

    // Hands out the image of the skin whose format was read last, and, where
    // the format has them and the skin's mipmap flag is set, its three mipmap
    // images. Any argument may be null: that image is skipped. Fails when an
    // image is not complete in the data.
    [[nodiscard]] virtual bool readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                              const std::uint8_t** mipmap2, const std::uint8_t** mipmap3) = 0;

    // Reads the next texture coordinate. Fails when the texture-coordinate
    // count is not positive or the record is incomplete.
    [[nodiscard]] virtual bool readTexCoord(std::int16_t& s, std::int16_t& t) = 0;

    // Reads the next triangle: three vertex indices and three
    // texture-coordinate indices (-1 each in formats that index texture
    // coordinates by vertex). The indices are not checked against the counts.
    // Fails when the triangle count is not positive or the record is
    // incomplete.
    [[nodiscard]] virtual bool readTriangle(std::span<std::int32_t, 3> vertexIndices,
                                            std::span<std::int32_t, 3> texCoordIndices) = 0;

    // Reads the next frame header. Each output is optional (null = not
    // wanted): `name` (at least 16 chars) receives the frame name cut at its
    // first zero, zero-padded and terminated; `bboxMin`/`bboxMax` (3 values
    // each) the bounding-box corners; `scale`/`translate` (3 values each) the
    // position unpacking of formats that have it, and are left untouched by
    // the others. Fails when the frame count is not positive, the header is
    // incomplete, or the frame is not a single frame of the format's type
    // (groups of frames are not read).
    [[nodiscard]] virtual bool readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax,
                                               float* scale, float* translate) = 0;

    // Reads the next vertex record of the current frame: its packed position
    // and its normal index, which is 0 when the stored index lies outside the
    // normal table. Fails when the vertex count is not positive or the record
    // is incomplete.
    [[nodiscard]] virtual bool readVertex(std::span<std::uint16_t, 3> position,
                                          std::int32_t& normalIndex) = 0;

    // Steps over the next vertex record without decoding it; fails as
    // readVertex.
    virtual bool nextVertex() = 0;

    // Reserved; writes nothing and always returns false.
    virtual bool reservedQuery(void* first, void* second, void* third);

    // --- Values for turning packed records into plain ones -------------------
    // None of these moves the cursor. Each returns false, leaving its outputs
    // untouched, while no file is open or where the format lacks the value.

    // The skin size that texture coordinates count texels in: the file
    // header's skin width and height, unchecked (possibly 0 or negative).
    [[nodiscard]] virtual bool getTexCoordSkinSize(std::int32_t& width, std::int32_t& height) const = 0;

    // The unpacking of packed frame positions that the file header states
    // for every frame: position * scale + translate. Formats whose frames
    // carry their own (readFrameHeader's scale and translate) lack it.
    [[nodiscard]] virtual bool getPackedScale(std::span<float, 3> scale,
                                              std::span<float, 3> translate) const = 0;

    // "IDPO"/"MDL2" only: whether the texture coordinate read last lies on
    // the seam, and whether the triangle read last faces front (in both, the
    // first int32 of the record is not 0). False as well before the first
    // such record since open.
    [[nodiscard]] virtual bool getTexCoordOnSeam(bool& onSeam) const = 0;
    [[nodiscard]] virtual bool getTriangleFacesFront(bool& facesFront) const = 0;

    // The stored type of the frame header taken last, also when
    // readFrameHeader refused it for that type (a group of frames starts
    // there). False before the first header since open, after one that was
    // cut short, and for "IDP2", whose frames have no type.
    [[nodiscard]] virtual bool getFrameType(std::int32_t& type) const = 0;
};

} // namespace kelvane
