// Mdl3Reader: reads "MDL3" model files.
//
// Like "IDPO"/"MDL2" except that the header has a texture-coordinate count of
// its own (offset 72), texture coordinates are two 16-bit values, and
// triangles carry three uint16 vertex indices and three uint16
// texture-coordinate indices.
#pragma once

#include "mdl/legacy/Mdl2Reader.h"

namespace kelvane {

class Mdl3Reader : public Mdl2Reader {
  public:
    Mdl3Reader();

    // Accepts only "MDL3", in a file of at least 84 bytes.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;

    [[nodiscard]] std::int32_t getTexCoordCount() const override;
    bool skipTexCoords() override;
    bool skipTriangles() override;
    [[nodiscard]] bool readTexCoord(std::int16_t& s, std::int16_t& t) override;
    // The six stored uint16 values, zero-extended, in record order.
    [[nodiscard]] bool readTriangle(std::span<std::int32_t, 3> vertexIndices,
                                    std::span<std::int32_t, 3> texCoordIndices) override;
    // These records carry no on-seam or faces-front flag: always false.
    [[nodiscard]] bool getTexCoordOnSeam(bool& onSeam) const override;
    [[nodiscard]] bool getTriangleFacesFront(bool& facesFront) const override;
};

} // namespace kelvane
