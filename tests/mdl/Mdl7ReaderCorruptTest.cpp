// The reader on damaged files: every prefix of a complete model, and every
// single-bit flip of it. Each variant is a file of its own, loaded into a
// buffer of exactly its length, so the sanitizers see any read past it.
#include "mdl/Mdl7Reader.h"

#include "support/Mdl7Builder.h"
#include "support/Mdl7Samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelvane {
namespace {

// Every step must leave the cursor inside the data.
#define KELVANE_STEP(call)                                                                                   \
    do {                                                                                                     \
        const bool stepOk = (call);                                                                          \
        EXPECT_GE(reader.tell(), 0);                                                                         \
        EXPECT_LE(reader.tell(), reader.dataLimit());                                                        \
        if (!stepOk) return false;                                                                           \
    } while (0)

// Reads every record of the model with the read operations, as an inspection
// tool does. Loops are bounded by the data: every read takes bytes or fails.
bool readEverything(Mdl7Reader& reader)
{
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondSize = 0;
    KELVANE_STEP(reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondSize));
    char name[20];
    std::int32_t i32 = 0;
    float f = 0;
    for (std::int32_t b = 0; b < boneCount; ++b)
        KELVANE_STEP(reader.readBone(i32, f, f, f, name));
    for (std::int32_t g = 0; g < groupCount; ++g) {
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        KELVANE_STEP(reader.readGroupHeader(type, groupDataSize, name));
        if (type != 1) {
            if (groupDataSize != 44) KELVANE_STEP(reader.skipGroup());
            continue;
        }
        std::int32_t skins = 0, texCoords = 0, triangles = 0, vertices = 0, frames = 0;
        KELVANE_STEP(reader.readGroupCounts(skins, texCoords, triangles, vertices, frames));
        for (std::int32_t s = 0; s < skins; ++s) {
            std::uint8_t skinType = 0;
            KELVANE_STEP(reader.readSkinHeader(skinType, name));
            std::int32_t width = 0, height = 0, bpp = 0;
            bool mipmaps = false;
            KELVANE_STEP(reader.readSkinFormat(width, height, bpp, mipmaps));
            const std::uint8_t* image[4] = {};
            if (width > 0 && height > 0) {
                KELVANE_STEP(reader.readSkinPixels(&image[0], &image[1], &image[2], &image[3]));
            }
            if (skinType & 0x10) {
                float colours[4][4];
                KELVANE_STEP(reader.readSkinMaterial(colours[0], colours[1], colours[2], colours[3], &f));
            }
            if (skinType & 0x20) {
                std::int32_t length = 0;
                KELVANE_STEP(reader.readSkinExtraLength(length));
                if (length > 0) {
                    // Never allocate what a file claims before it is known to be there.
                    if (length > reader.remaining()) return false;
                    std::vector<char> text(static_cast<std::size_t>(length));
                    KELVANE_STEP(reader.readSkinExtraData(text.data()));
                }
            }
        }
        for (std::int32_t t = 0; t < texCoords; ++t)
            KELVANE_STEP(reader.readTexCoord(f, f));
        for (std::int32_t t = 0; t < triangles; ++t) {
            std::int32_t v[11];
            KELVANE_STEP(reader.readTriangleBothSets(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8],
                                                     v[9], v[10]));
        }
        for (std::int32_t v = 0; v < vertices; ++v) {
            KELVANE_STEP(reader.readVertex(f, f, f, i32));
            reader.readVertexNormal(f, f, f);
        }
        for (std::int32_t fr = 0; fr < frames; ++fr) {
            std::int32_t frameVertices = 0, transforms = 0;
            KELVANE_STEP(reader.readFrameHeader(frameVertices, transforms, name));
            for (std::int32_t v = 0; v < frameVertices; ++v) {
                KELVANE_STEP(reader.readFrameVertex(i32, f, f, f));
                reader.readFrameVertexNormal(f, f, f);
            }
            std::uint8_t matrix[64];
            for (std::int32_t t = 0; t < transforms; ++t)
                KELVANE_STEP(reader.readBoneTransform(i32, matrix));
        }
    }
    for (std::int64_t d = 0; d < reader.deformerTotal(); ++d) {
        std::uint8_t type = 0;
        std::int32_t group = 0, elements = 0;
        KELVANE_STEP(reader.readDeformerHeader(type, group, elements, nullptr));
        for (std::int32_t e = 0; e < elements; ++e) {
            std::int32_t weights = 0;
            KELVANE_STEP(reader.readDeformerElement(i32, name, weights));
            KELVANE_STEP(reader.skipDeformerWeights());
        }
    }
    if (trailerSize != 0) {
        KELVANE_STEP(reader.seekTrailer());
        std::int32_t kind = 0, entries = 0;
        KELVANE_STEP(reader.readTrailerHeader(kind, entries));
        for (std::int32_t e = 0; e < entries; ++e) {
            std::int32_t subEntries = 0;
            KELVANE_STEP(reader.readTrailerEntry(i32, subEntries));
            for (std::int32_t s = 0; s < subEntries; ++s) {
                std::int32_t triangles = 0;
                KELVANE_STEP(reader.readTrailerSubEntry(i32, triangles));
                for (std::int32_t t = 0; t < triangles; ++t) {
                    std::int32_t v[7];
                    KELVANE_STEP(reader.readTrailerTriangle(v[0], v[1], v[2], v[3], v[4], v[5], v[6]));
                }
            }
        }
    }
    if (secondSize != 0) {
        KELVANE_STEP(reader.seekSecondTrailer());
        std::int32_t id = 0, length = 0;
        KELVANE_STEP(reader.readSecondTrailerHeader(id, length));
        KELVANE_STEP(reader.skipSecondTrailer());
    }
    return true;
}

// Steps over everything with the skip operations.
bool skipEverything(Mdl7Reader& reader)
{
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondSize = 0;
    KELVANE_STEP(reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondSize));
    KELVANE_STEP(reader.skipBones());
    for (std::int32_t g = 0; g < groupCount; ++g) {
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        KELVANE_STEP(reader.readGroupHeader(type, groupDataSize, nullptr));
        KELVANE_STEP(reader.skipGroup());
    }
    KELVANE_STEP(reader.skipDeformers());
    if (trailerSize != 0) {
        KELVANE_STEP(reader.seekTrailer());
        std::int32_t kind = 0, entries = 0;
        KELVANE_STEP(reader.readTrailerHeader(kind, entries));
        KELVANE_STEP(reader.skipTrailer());
    }
    return true;
}

#undef KELVANE_STEP

class Mdl7ReaderCorruptTest : public testing::Test {
  protected:
    test::TempDir dir_;
    const std::vector<std::uint8_t> model_ = test::everyRecordKind().bytes();

    // Opens `bytes` as a file and runs both walks; returns whether the read
    // walk got through (-1 when the file did not open).
    int walk(const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = dir_.path("variant.mdl");
        // A fresh file each time: rewriting a truncated file in place makes
        // some file systems flush it, which slows thousands of variants down.
        std::remove(path.c_str());
        if (!test::Mdl7Builder::writeFile(path, bytes)) return -1;
        Mdl7Reader reader;
        if (reader.open(path.c_str()) < 0) return -1;
        const bool read = readEverything(reader);
        reader.close();
        if (reader.open(path.c_str()) < 0) return -1;
        skipEverything(reader);
        return read ? 1 : 0;
    }
};

TEST_F(Mdl7ReaderCorruptTest, ReadsTheCompleteModel) { EXPECT_EQ(walk(model_), 1); }

TEST_F(Mdl7ReaderCorruptTest, FailsCleanlyOnEveryTruncation)
{
    for (std::size_t length = 0; length < model_.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<std::uint8_t> prefix(model_.begin(), model_.begin() + std::ptrdiff_t(length));
        // Below 48 bytes nothing opens; above, some record is always missing.
        const int result = walk(prefix);
        if (length < 48) {
            EXPECT_EQ(result, -1);
        } else {
            EXPECT_EQ(result, 0);
        }
    }
}

TEST_F(Mdl7ReaderCorruptTest, SurvivesEveryBitFlip)
{
    for (std::size_t bit = 0; bit < model_.size() * 8; ++bit) {
        SCOPED_TRACE(bit);
        std::vector<std::uint8_t> flipped = model_;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        walk(flipped);
        if (HasFailure()) break;
    }
}

TEST_F(Mdl7ReaderCorruptTest, SurvivesExtremeFieldValues)
{
    // Every aligned and unaligned 32-bit window set to values that break
    // naive arithmetic: the extremes, -1, and sizes just past the data.
    const std::uint32_t values[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 0x00010000};
    for (std::size_t offset = 0; offset + 4 <= model_.size(); ++offset) {
        for (const std::uint32_t value : values) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " value " << value);
            std::vector<std::uint8_t> changed = model_;
            for (std::size_t i = 0; i < 4; ++i)
                changed[offset + i] = std::uint8_t(value >> (8 * i));
            walk(changed);
        }
        if (HasFailure()) break;
    }
}

} // namespace
} // namespace kelvane
