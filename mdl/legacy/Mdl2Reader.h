// Mdl2Reader: reads "IDPO" and "MDL2" model files, and is the base of the
// readers of the later formats of the same family.
//
// Layout (see LegacyFormat.h): an 84-byte header; per skin an int32 type and
// an image sized by the header's skin width and height; one 12-byte texture
// coordinate per vertex; 16-byte triangles with int32 vertex indices; per
// frame a 28-byte header of type 0 followed by 4-byte vertex records.
#pragma once

#include "mdl/legacy/LegacyModelReader.h"

#include <cstdint>

namespace kelvane {

class Mdl2Reader : public LegacyModelReader {
  public:
    Mdl2Reader();

    // Accepts "IDPO" or "MDL2" in a file of at least 84 bytes; the whole
    // loaded file is the readable data and the cursor starts past the header.
    // A refused file leaves the object unchanged.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;
    // Releases the file and clears every pointer into it.
    bool close() override;

    // No bones: succeeds without moving while a file is open.
    bool skipBones() override;
    // skipSkins, skipTexCoords, skipTriangles, skipFrames, stopping at the
    // first failure.
    bool skipGroup() override;
    // readSkinPixels with no outputs.
    bool skipSkin() override;
    // readSkinFormat then skipSkin for each skin; a negative count fails.
    bool skipSkins() override;
    bool skipTexCoords() override;
    bool skipTriangles() override;
    // Vertices exist only inside frames: succeeds without moving.
    bool skipVertices() override;
    // Steps over the vertex records of the frame whose header was read last.
    bool skipFrame() override;
    // readFrameHeader with no outputs then skipFrame for each frame; a
    // negative count fails.
    bool skipFrames() override;

    [[nodiscard]] std::int32_t getSkinCount() const override;
    [[nodiscard]] std::int32_t getVertexCount() const override;
    [[nodiscard]] std::int32_t getTriangleCount() const override;
    // One texture coordinate per vertex: the vertex count.
    [[nodiscard]] std::int32_t getTexCoordCount() const override;
    [[nodiscard]] std::int32_t getFrameCount() const override;
    bool getHeader(const std::uint8_t*& header) const override;

    // Image kinds 0 (1 byte per pixel), 2 and 3 (2 bytes per pixel); the size
    // is the header's skin width and height.
    [[nodiscard]] bool readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                      std::int32_t& bytesPerPixel, bool& hasMipmaps) override;
    // The main image only: these formats report the mipmap flag but store no
    // mipmap images, so the mipmap outputs are not used.
    [[nodiscard]] bool readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                      const std::uint8_t** mipmap2, const std::uint8_t** mipmap3) override;
    // The low 16 bits of the stored int32 s and t.
    [[nodiscard]] bool readTexCoord(std::int16_t& s, std::int16_t& t) override;
    // The stored int32 vertex indices; texture-coordinate indices are -1.
    [[nodiscard]] bool readTriangle(std::span<std::int32_t, 3> vertexIndices,
                                    std::span<std::int32_t, 3> texCoordIndices) override;
    // Byte bounding-box corners widened to 16 bits; scale and translate are
    // left untouched.
    [[nodiscard]] bool readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax,
                                       float* scale, float* translate) override;
    [[nodiscard]] bool readVertex(std::span<std::uint16_t, 3> position, std::int32_t& normalIndex) override;
    bool nextVertex() override;

    // The header's skin width and height (offsets 52 and 56).
    [[nodiscard]] bool getTexCoordSkinSize(std::int32_t& width, std::int32_t& height) const override;
    // The header's scale and translate (offsets 8 and 20).
    [[nodiscard]] bool getPackedScale(std::span<float, 3> scale,
                                      std::span<float, 3> translate) const override;
    // The flags of the 12-byte texture coordinate and the 16-byte triangle.
    [[nodiscard]] bool getTexCoordOnSeam(bool& onSeam) const override;
    [[nodiscard]] bool getTriangleFacesFront(bool& facesFront) const override;
    // The int32 at the start of the frame header.
    [[nodiscard]] bool getFrameType(std::int32_t& type) const override;

  protected:
    // Accepts `data` when `length` reaches `headerSize` and the magic is one
    // of the given ones (`otherMagic` may be null): attaches the data with
    // the cursor past the header and returns `length`. Otherwise returns 0
    // and changes nothing.
    std::int32_t acceptHeader(const std::uint8_t* data, std::int32_t length, std::int32_t headerSize,
                              const char* magic, const char* otherMagic);

    // True between a successful parseHeader and close.
    [[nodiscard]] bool hasData() const { return header_ != nullptr; }
    // The int32 at `offset` in the header; 0 while no file is open.
    [[nodiscard]] std::int32_t headerField(int offset) const;

    // Hands out (or, with a null `out`, skips) an image of `byteCount` bytes
    // as imageByteCount gives them; its -1 for a negative dimension or an
    // image beyond any loadable file fails like running out of data.
    bool takeImage(std::int64_t byteCount, const std::uint8_t** out);
    // Skips `count` records of `recordSize` bytes; a count of 0 succeeds at
    // once, a negative one fails like running out of data.
    bool skipRecords(std::int32_t count, std::int32_t recordSize);
    // Moves the cursor to the end of the data and returns false, so that
    // every later read fails too.
    bool failAtEnd();
    // Describes a skin from its stored type: the type's low byte, and the
    // bytes per pixel that `kindBytes` gives its image kind, and the mipmap
    // flag, which are also remembered for readSkinPixels. False for an image
    // kind the table rejects: both outputs and the remembered bytes per pixel
    // are then cleared, while the remembered mipmap flag keeps the previous
    // skin's (harmless: with 0 bytes per pixel every image is empty).
    bool describeSkin(std::int32_t storedType, const std::int32_t (&kindBytes)[8], std::uint8_t& type,
                      std::int32_t& bytesPerPixel, bool& hasMipmaps);

    // Copies a 16-byte frame name field: the characters up to its first zero
    // (at most 15), zero bytes up to the 16th, which is always zero.
    static void copyFrameName(const std::uint8_t* field, char* name);
    // A stored normal index outside the normal table becomes 0.
    [[nodiscard]] static std::int32_t clampNormalIndex(std::int32_t stored);

    const std::uint8_t* header_ = nullptr;
    std::int32_t bytesPerPixel_ = 0;
    bool hasMipmaps_ = false;
    const std::uint8_t* currentTexCoord_ = nullptr;
    const std::uint8_t* currentTriangle_ = nullptr;
    const std::uint8_t* currentVertex_ = nullptr;
    const std::uint8_t* currentFrame_ = nullptr;
};

} // namespace kelvane
