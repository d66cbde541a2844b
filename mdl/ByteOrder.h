// Little-endian loads and stores for the packed model formats.
//
// Model files are packed byte streams: a 32-bit field may start at any
// offset (a vertex normal starts at offset 14), so fields are never read by
// casting a pointer to a wider type. Every field goes through these helpers,
// which assemble the value byte by byte; compilers turn them into single
// unaligned moves on little-endian hosts.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kelvane {

[[nodiscard]] inline std::uint8_t loadU8(const std::uint8_t* p) { return p[0]; }

[[nodiscard]] inline std::uint16_t loadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

[[nodiscard]] inline std::uint32_t loadU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

[[nodiscard]] inline std::int32_t loadI32(const std::uint8_t* p)
{
    return std::bit_cast<std::int32_t>(loadU32(p));
}

[[nodiscard]] inline float loadF32(const std::uint8_t* p) { return std::bit_cast<float>(loadU32(p)); }

inline void storeU8(std::uint8_t* p, std::uint8_t v) { p[0] = v; }

// On little-endian hosts the stores copy the value's bytes, which are already
// in file order: compilers do not always fuse the byte-wise form below into
// one move when many adjacent fields are stored, and a record built that way
// costs several times more.
inline void storeU16(std::uint8_t* p, std::uint16_t v)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
        return;
    }
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void storeU32(std::uint8_t* p, std::uint32_t v)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
        return;
    }
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void storeI32(std::uint8_t* p, std::int32_t v) { storeU32(p, std::bit_cast<std::uint32_t>(v)); }

inline void storeF32(std::uint8_t* p, float v) { storeU32(p, std::bit_cast<std::uint32_t>(v)); }

// A stored 16-bit index of 0xFFFF means "no index" and reaches callers as -1;
// every other value is delivered zero-extended.
[[nodiscard]] inline std::int32_t loadIndex16(const std::uint8_t* p)
{
    const std::uint16_t v = loadU16(p);
    return v == 0xFFFF ? -1 : std::int32_t(v);
}

// A field's bytes up to its first zero, or all `size` of them when it has
// none (unlike loadName, which keeps room for a terminator).
[[nodiscard]] inline std::string_view textBeforeZero(const std::uint8_t* field, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(field), size);
    return all.substr(0, all.find('\0'));
}

// Copies a fixed-size name field into `out` (which holds at least
// `fieldSize` bytes): at most fieldSize - 1 characters, stopping at the
// field's first zero byte, always terminated. A null `out` copies nothing.
inline void loadName(const std::uint8_t* field, std::size_t fieldSize, char* out)
{
    if (out == nullptr) return;
    std::size_t n = 0;
    while (n + 1 < fieldSize && field[n] != 0) {
        out[n] = static_cast<char>(field[n]);
        ++n;
    }
    out[n] = '\0';
}

// Fills a fixed-size name field: zero-filled, at most fieldSize - 1
// characters of `name`, so the field is always terminated. A null name gives
// an empty field.
inline void storeName(std::uint8_t* field, std::size_t fieldSize, const char* name)
{
    std::size_t n = 0;
    if (name != nullptr) {
        while (n + 1 < fieldSize && name[n] != '\0') {
            field[n] = static_cast<std::uint8_t>(name[n]);
            ++n;
        }
    }
    for (; n < fieldSize; ++n)
        field[n] = 0;
}

} // namespace kelvane
