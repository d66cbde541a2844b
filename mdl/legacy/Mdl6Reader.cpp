#include "mdl/legacy/Mdl6Reader.h"

#include "mdl/legacy/LegacyFormat.h"

namespace kelvane {

Mdl6Reader::Mdl6Reader() { formatCode_ = kFormatMdl6; }

std::int32_t Mdl6Reader::parseHeader(const std::uint8_t* data, std::int32_t length)
{
    return acceptHeader(data, length, legacy::header::kSize, legacy::kMagicMdl6, nullptr);
}

bool Mdl6Reader::close()
{
    Mdl5Reader::close();
    reserved1_ = 0;
    reserved2_ = 0;
    return true;
}

} // namespace kelvane
