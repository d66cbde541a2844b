// encodePalettePng: an 8-bit palette-index image as an indexed PNG file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvane::scene::gltf {

// Encodes `width` x `height` palette indices, row by row from the top, with
// the 256 RGB triples of `palette` as the PNG's palette. Returns false, and
// says why in `error`, when the sizes are not positive, `pixels` does not
// hold exactly width x height bytes, or the encoder fails.
[[nodiscard]] bool encodePalettePng(std::int32_t width, std::int32_t height,
                                    const std::vector<std::uint8_t>& pixels,
                                    const std::array<std::uint8_t, 768>& palette, std::string& png,
                                    std::string& error);

} // namespace kelvane::scene::gltf
