// Mdl6Reader: reads "MDL6" model files, laid out as "MDL5" files.
#pragma once

#include "mdl/legacy/Mdl5Reader.h"

namespace kelvane {

class Mdl6Reader : public Mdl5Reader {
  public:
    Mdl6Reader();

    // Accepts only "MDL6", in a file of at least 84 bytes.
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;
    // Also clears the reserved fields.
    bool close() override;

  protected:
    // Reserved; zero after construction and after close, used by nothing.
    std::int32_t reserved1_ = 0;
    std::int32_t reserved2_ = 0;
};

} // namespace kelvane
