// Test helpers: little-endian byte building for the older model formats, and
// ways to hand built bytes to a reader or write them to a test's folder.
#pragma once

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kelvane::testing_legacy {

class Bytes {
  public:
    // Room for a header and a few records from the start: GCC 12 at -O3
    // takes the first small growths of the vector for reads past its end
    // (-Wstringop-overread, -Warray-bounds) and would warn in a Release build.
    Bytes() { data.reserve(256); }

    std::vector<std::uint8_t> data;

    Bytes& tag(const char* magic)
    {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<std::uint8_t>(magic[i]));
        return *this;
    }
    Bytes& u8(std::uint8_t v)
    {
        data.push_back(v);
        return *this;
    }
    Bytes& u16(std::uint16_t v)
    {
        const std::size_t at = grow(2);
        storeU16(data.data() + at, v);
        return *this;
    }
    Bytes& i32(std::int32_t v)
    {
        const std::size_t at = grow(4);
        storeI32(data.data() + at, v);
        return *this;
    }
    Bytes& f32(float v)
    {
        const std::size_t at = grow(4);
        storeF32(data.data() + at, v);
        return *this;
    }
    // `count` bytes of `fill`.
    Bytes& fill(std::size_t count, std::uint8_t value = 0)
    {
        data.insert(data.end(), count, value);
        return *this;
    }
    // A fixed-size field holding `raw` (not necessarily terminated), the rest
    // filled with `pad`.
    Bytes& field(const char* raw, std::size_t size, std::uint8_t pad = 0)
    {
        const std::size_t n = std::min(std::strlen(raw), size);
        for (std::size_t i = 0; i < n; ++i)
            data.push_back(static_cast<std::uint8_t>(raw[i]));
        data.insert(data.end(), size - n, pad);
        return *this;
    }
    void patchI32(std::size_t offset, std::int32_t v) { storeI32(data.data() + offset, v); }
    [[nodiscard]] std::int32_t size() const { return static_cast<std::int32_t>(data.size()); }

  private:
    std::size_t grow(std::size_t n)
    {
        const std::size_t at = data.size();
        data.resize(at + n);
        return at;
    }
};

struct Counts {
    std::int32_t skins = 0;
    std::int32_t skinWidth = 0;
    std::int32_t skinHeight = 0;
    std::int32_t vertices = 0;
    std::int32_t triangles = 0;
    std::int32_t frames = 0;
    std::int32_t texCoords = 0;
};

// The 84-byte header shared by "IDPO", "MDL2" to "MDL6"; bytes the readers
// do not read are filled with 0xEE so that a reader using them shows up.
inline Bytes header84(const char* magic, const Counts& c)
{
    Bytes b;
    b.tag(magic).fill(44, 0xEE);
    b.i32(c.skins).i32(c.skinWidth).i32(c.skinHeight).i32(c.vertices).i32(c.triangles).i32(c.frames);
    b.i32(c.texCoords).fill(8, 0xEE);
    return b;
}

// The 68-byte "IDP2" header.
inline Bytes header68(const Counts& c)
{
    Bytes b;
    b.tag("IDP2").fill(16, 0xEE);
    b.i32(c.skins).i32(c.vertices).i32(c.texCoords).i32(c.triangles).fill(4, 0xEE).i32(c.frames);
    b.fill(24, 0xEE);
    return b;
}

// A small complete model of the format that `magic` names: 2 skins, 3
// vertices, 4 texture coordinates (3 for "IDPO"/"MDL2", one per vertex),
// 1 triangle and 2 frames, with the records laid out in file order.
inline Bytes sampleModel(const char* magic)
{
    const std::string tag(magic, 4);
    const bool oldStyle = tag == "IDPO" || tag == "MDL2";
    const bool idp2 = tag == "IDP2";
    const bool wide = tag == "MDL4" || tag == "MDL5" || tag == "MDL6";
    const bool skinHeaders = tag == "MDL5" || tag == "MDL6";

    Counts c;
    c.skins = 2;
    c.skinWidth = 4;
    c.skinHeight = 2;
    c.vertices = 3;
    c.triangles = 1;
    c.frames = 2;
    c.texCoords = oldStyle ? 0 : 4;
    Bytes b = idp2 ? header68(c) : header84(magic, c);

    // Skins.
    if (idp2) {
        b.field("skins/first.pcx", 64).field("skins/second.pcx", 64);
    } else if (skinHeaders) {
        b.i32(0).i32(4).i32(2).fill(8, 0x11);                        // 1 byte per pixel
        b.i32(8 | 2).i32(4).i32(4).fill(32, 0x22).fill(8 + 2, 0x33); // mipmaps 2x2 and 1x1; 0x0 is empty
    } else {
        b.i32(0).fill(8, 0x11);
        b.i32(2).fill(16, 0x22); // 2 bytes per pixel
    }

    // Texture coordinates.
    if (oldStyle) {
        for (std::int32_t i = 0; i < 3; ++i)
            b.i32(0).i32(i).i32(10 + i);
    } else {
        for (std::uint16_t i = 0; i < 4; ++i)
            b.u16(i).u16(static_cast<std::uint16_t>(10 + i));
    }

    // One triangle.
    if (oldStyle) {
        b.i32(1).i32(0).i32(1).i32(2);
    } else {
        b.u16(0).u16(1).u16(2).u16(3).u16(2).u16(1);
    }

    // Two frames of three vertices.
    for (int f = 0; f < 2; ++f) {
        const char* name = f == 0 ? "stand1" : "stand2";
        if (idp2) {
            b.f32(1.0f).f32(2.0f).f32(3.0f).f32(-1.0f).f32(-2.0f).f32(-3.0f).field(name, 16);
        } else if (wide) {
            b.i32(2).u16(1).u16(2).u16(3).u16(0).u16(400).u16(500).u16(600).u16(0).field(name, 16);
        } else {
            b.i32(0).u8(1).u8(2).u8(3).u8(0).u8(40).u8(50).u8(60).u8(0).field(name, 16);
        }
        for (std::uint8_t v = 0; v < 3; ++v) {
            if (wide) {
                b.u16(static_cast<std::uint16_t>(300 + v))
                    .u16(v)
                    .u16(v)
                    .u8(static_cast<std::uint8_t>(v + 1))
                    .u8(0xEE);
            } else {
                b.u8(v).u8(v).u8(v).u8(static_cast<std::uint8_t>(v + 1));
            }
        }
    }
    return b;
}

// Keeps an exact-size copy of built bytes alive while a reader works on it,
// so that AddressSanitizer catches any read past the end.
class Attached {
  public:
    explicit Attached(const Bytes& bytes, std::size_t length = SIZE_MAX)
        : length_(std::min(length, bytes.data.size())), copy_(new std::uint8_t[length_ == 0 ? 1 : length_])
    {
        std::memcpy(copy_.get(), bytes.data.data(), length_);
    }
    [[nodiscard]] const std::uint8_t* data() const { return copy_.get(); }
    [[nodiscard]] std::int32_t length() const { return static_cast<std::int32_t>(length_); }

  private:
    std::size_t length_;
    std::unique_ptr<std::uint8_t[]> copy_;
};

// Writes `bytes` to a file of that name in `folder`; returns its path.
inline std::string writeFile(const test::TempDir& folder, const std::string& name,
                             const std::vector<std::uint8_t>& bytes)
{
    const std::string file = folder.path(name);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

} // namespace kelvane::testing_legacy
