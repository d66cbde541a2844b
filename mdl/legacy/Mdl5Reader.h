// Mdl5Reader: reads "MDL5" model files.
//
// Like "MDL4" except for the skins: each has a 12-byte header of its own
// (type, width, height), then its image, then, when bit 3 of the type is set,
// three mipmap images of (width / 2) x (height / 2), (width / 4) x (height / 4)
// and (width / 8) x (height / 8) pixels, each dimension halved with
// truncation at every step. More image kinds are allowed than in the older
// formats, including one without image bytes (kind 6).
#pragma once

#include "mdl/legacy/Mdl4Reader.h"

namespace kelvane {

class Mdl5Reader : public Mdl4Reader {
  public:
    Mdl5Reader();

    // Accepts only "MDL5", in a file of at least 84 bytes.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;
    // Also forgets the skin header read last.
    bool close() override;

    // Steps over the 12-byte skin header; width and height come from it.
    // Image kinds 0 (1 byte per pixel), 2, 3 (2), 4 (3), 5 (4) and 6 (0).
    [[nodiscard]] bool readSkinFormat(std::uint8_t& type, std::int32_t& width, std::int32_t& height,
                                      std::int32_t& bytesPerPixel, bool& hasMipmaps) override;
    // Hands out (or skips, for a null output) the main image and, when the
    // skin has mipmaps, the three mipmap images. Fails when no skin header
    // has been read.
    [[nodiscard]] bool readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                      const std::uint8_t** mipmap2, const std::uint8_t** mipmap3) override;

  protected:
    const std::uint8_t* currentSkin_ = nullptr;
};

} // namespace kelvane
