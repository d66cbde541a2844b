// endsWithNoCase: whether a file name ends in an extension, in any case.
#pragma once

#include <string_view>

namespace kelvane::scene::gltf {

// `lowerSuffix` is written in lower case (".png"); ASCII letters of `text`
// match either case. Bytes outside ASCII match only themselves.
[[nodiscard]] inline bool endsWithNoCase(std::string_view text, std::string_view lowerSuffix)
{
    if (text.size() < lowerSuffix.size()) return false;
    const std::string_view tail = text.substr(text.size() - lowerSuffix.size());
    for (std::size_t i = 0; i < lowerSuffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lowerSuffix[i]) return false;
    }
    return true;
}

} // namespace kelvane::scene::gltf
