// Mdl4Reader: reads "MDL4" model files.
//
// Like "MDL3" except for the frames: a 36-byte frame header of type 2 with
// 16-bit bounding-box corners, followed by 8-byte vertex records with 16-bit
// positions.
#pragma once

#include "mdl/legacy/Mdl3Reader.h"

namespace kelvane {

class Mdl4Reader : public Mdl3Reader {
  public:
    Mdl4Reader();

    // Accepts only "MDL4", in a file of at least 84 bytes.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;

    // Single frames have type 2; any other type fails. Scale and translate
    // are left untouched.
    [[nodiscard]] bool readFrameHeader(char* name, std::uint16_t* bboxMin, std::uint16_t* bboxMax,
                                       float* scale, float* translate) override;
    bool skipFrame() override;
    [[nodiscard]] bool readVertex(std::span<std::uint16_t, 3> position, std::int32_t& normalIndex) override;
    bool nextVertex() override;
};

} // namespace kelvane
