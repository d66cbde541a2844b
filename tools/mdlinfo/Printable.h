// Text-form escaping shared by the summaries of every format.
#pragma once

#include <string>
#include <string_view>

namespace kelvane::mdlinfo {

// Names and texts from files may hold any byte: returns `bytes` with
// quote, backslash and every byte outside printable ASCII written as \xHH,
// so a summary line stays one readable line.
[[nodiscard]] std::string printable(std::string_view bytes);

} // namespace kelvane::mdlinfo
