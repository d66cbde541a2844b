// Idp2Reader: reads "IDP2" model files.
//
// A 68-byte header of its own; each skin is a 64-byte record naming an
// external texture file (no image bytes); texture coordinates and triangles
// as "MDL3"; each frame a 40-byte header with the scale and translation that
// unpack its byte positions, followed by 4-byte vertex records.
#pragma once

#include "mdl/legacy/Mdl3Reader.h"

namespace kelvane {

class Idp2Reader : public Mdl3Reader {
  public:
    Idp2Reader();

    // Accepts "IDP2" in a file of at least 68 bytes.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;
    // Also forgets the skin name record read last.
    bool close() override;

    [[nodiscard]] std::int32_t getSkinCount() const override;
    [[nodiscard]] std::int32_t getVertexCount() const override;
    [[nodiscard]] std::int32_t getTriangleCount() const override;
    [[nodiscard]] std::int32_t getTexCoordCount() const override;
    [[nodiscard]] std::int32_t getFrameCount() const override;

    // Steps over the next 64-byte name record and reports it as an external
    // texture reference: type 7, width 64, height 0, 0 bytes per pixel, no
    // mipmaps.
    [[nodiscard]] bool readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                      std::int32_t& bytesPerPixel, bool& hasMipmaps) override;
    // Hands out the name record read last in `image`; fails when none has been
    // read. Moves nothing.
    [[nodiscard]] bool readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                      const std::uint8_t** mipmap2, const std::uint8_t** mipmap3) override;
    // The name record is the whole skin: succeeds without moving.
    bool skipSkin() override;
    // Reports the bounding box as the whole byte range, (0, 0, 0) to
    // (255, 255, 255), and fills scale and translate. Frames have no type.
    [[nodiscard]] bool readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax,
                                       float* scale, float* translate) override;

    // The header's skin width and height (offsets 8 and 12).
    [[nodiscard]] bool getTexCoordSkinSize(std::int32_t& width, std::int32_t& height) const override;
    // Frames carry their own unpacking: always false.
    [[nodiscard]] bool getPackedScale(std::span<float, 3> scale,
                                      std::span<float, 3> translate) const override;
    // Frames have no type: always false.
    [[nodiscard]] bool getFrameType(std::int32_t& type) const override;

  protected:
    const std::uint8_t* currentSkin_ = nullptr;
};

} // namespace kelvane
