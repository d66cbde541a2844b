// samplemodel OUTPUT: writes the sample model that ships in examples/.
// samplemodel --help prints the usage.
//
// A small ship with something of every kind for the split to do: two bones;
// a hull group with skins of four image kinds (one with mipmaps, one with a
// material record, one external texture reference, one with an extra block);
// an opaque group of another type, which the split steps over; a mast group
// with two frames of frame vertices and a bone transform; and a flag group
// with a skin of its own. The output is the same, byte for byte, every run.
#include "mdl/ImageSize.h"
#include "mdl/Mdl7Writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using kelvane::imageByteCount;
using kelvane::Mdl7Writer;
using kelvane::mipmapByteCount;

struct Point {
    float x, y, z;
};

// A deterministic image: every byte a function of its position.
std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 3));
    return bytes;
}

// One skin with image data (and its three mipmaps when `mipmaps` is set).
void writeImageSkin(Mdl7Writer& writer, std::uint8_t type, const char* name, std::int32_t width,
                    std::int32_t height, std::int32_t bytesPerPixel, bool mipmaps)
{
    writer.beginSkin(type, name);
    writer.setSkinImage(width, height, bytesPerPixel, mipmaps);
    const auto main = pattern(std::size_t(imageByteCount(width, height, bytesPerPixel)), type);
    const auto mip1 = pattern(std::size_t(mipmapByteCount(width, height, bytesPerPixel, 1)), 1);
    const auto mip2 = pattern(std::size_t(mipmapByteCount(width, height, bytesPerPixel, 2)), 2);
    const auto mip3 = pattern(std::size_t(mipmapByteCount(width, height, bytesPerPixel, 3)), 3);
    writer.writeSkinPixels(main.data(), mip1.data(), mip2.data(), mip3.data());
}

// An axis-aligned box from `low` to `high`: 8 vertices, 12 triangles, one
// texture coordinate per corner of a face. Every triangle uses `skinIndex`.
void writeBox(Mdl7Writer& writer, Point low, Point high, std::int32_t skinIndex, std::int32_t boneIndex)
{
    const float s[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    const float t[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    for (int i = 0; i < 4; ++i)
        writer.writeTexCoord(s[i], t[i]);

    // Faces as corner quads; corner k has bit 0 = x, bit 1 = y, bit 2 = z.
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (const auto& f : faces) {
        writer.writeTriangle(f[0], f[1], f[2], 0, 1, 2, skinIndex);
        writer.writeTriangle(f[0], f[2], f[3], 0, 2, 3, skinIndex);
    }
    for (int k = 0; k < 8; ++k) {
        const float x = (k & 1) ? high.x : low.x;
        const float y = (k & 2) ? high.y : low.y;
        const float z = (k & 4) ? high.z : low.z;
        // Corner normals point away from the box's centre.
        const float n = 0.57735027f;
        writer.writeVertex(x, y, z, boneIndex, (k & 1) ? n : -n, (k & 2) ? n : -n, (k & 4) ? n : -n);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // As mdlinfo does: asked for, the usage goes to stdout with exit code 0;
    // after a mistake to stderr with 1. An argument that starts with '-' is
    // an option, never the name of the model to write.
    constexpr const char* kUsage =
        "usage: samplemodel OUTPUT\nWrites the sample model of examples/ to OUTPUT.\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 1;
    }
    Mdl7Writer writer;
    if (writer.open(argv[1]) < 0) {
        std::fprintf(stderr, "samplemodel: %s: cannot be created\n", argv[1]);
        return 2;
    }

    writer.writeBone(0xFFFF, 0.0f, 0.0f, 0.0f, "keel");
    writer.writeBone(0, 0.0f, 3.0f, 0.0f, "masthead");

    // Group 0: the hull, with four skins. Its triangles use skin 0.
    writer.beginGroup(1, "hull");
    writeImageSkin(writer, 0x0D, "hull:1", 8, 8, 4, true); // RGBA with mipmaps
    writer.finishSkin();
    writeImageSkin(writer, 0x14, "deck", 4, 4, 3, false); // RGB with a material record
    const float diffuse[4] = {0.8f, 0.7f, 0.5f, 1.0f};
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    const float specular[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    const float emissive[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    writer.writeMaterial(diffuse, ambient, specular, emissive, 12.5f);
    writer.finishSkin();
    const char sails[] = "sails.tga";
    writer.beginSkin(0x07, "sails"); // a reference to an external texture file
    writer.setSkinImage(sizeof sails, 1, 1, false);
    writer.writeSkinPixels(sails, nullptr, nullptr, nullptr);
    writer.finishSkin();
    writeImageSkin(writer, 0x20, "rope", 2, 2, 1, false); // palette image with an extra block
    const char note[] = "shader=rope;tiling=4";
    writer.writeSizedData(static_cast<std::int32_t>(std::strlen(note)), note);
    writer.finishSkin();
    writeBox(writer, {-3.0f, -1.0f, -1.5f}, {5.0f, 1.0f, 1.5f}, 0, 0);
    writer.finishGroup();

    // Group 1: opaque content of another type; the split steps over it.
    writer.beginGroup(2, "rigging");
    for (int i = 0; i < 3; ++i)
        writer.writeTexCoord(float(i), float(-i));
    writer.finishGroup();

    // Group 2: the mast, with two frames. Its triangles use the deck skin.
    writer.beginGroup(1, "mast");
    writeBox(writer, {-0.25f, 1.0f, -0.25f}, {0.25f, 6.0f, 0.25f}, 1, 1);
    for (int f = 0; f < 2; ++f) {
        writer.beginFrame(f == 0 ? "upright" : "leaning");
        for (int k = 0; k < 8; ++k) {
            writer.writeFrameVertex(k, (k & 1) ? 0.25f + 0.1f * float(f) : -0.25f, (k & 2) ? 6.0f : 1.0f,
                                    (k & 4) ? 0.25f : -0.25f, 0.0f, 1.0f, 0.0f);
        }
        float matrix[16] = {};
        for (int i = 0; i < 4; ++i)
            matrix[i * 5] = 1.0f;
        matrix[12] = 0.1f * float(f);
        writer.writeBoneTransform(1, matrix);
        writer.finishFrame();
    }
    writer.finishGroup();

    // Group 3: the flag, with a skin of its own (table position 4).
    writer.beginGroup(1, "flag");
    writeImageSkin(writer, 0x02, "flag:red", 4, 2, 2, false);
    writer.finishSkin();
    writeBox(writer, {0.3f, 5.0f, -0.02f}, {1.5f, 5.8f, 0.02f}, 4, 1);
    writer.finishGroup();

    if (!writer.close()) {
        std::fprintf(stderr, "samplemodel: %s: could not be written completely\n", argv[1]);
        return 2;
    }
    return 0;
}
