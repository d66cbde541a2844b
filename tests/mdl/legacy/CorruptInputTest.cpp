// The legacy readers on damaged files: every truncation of a valid model,
// and counts and skin sizes that are negative or far too large. The checks
// here are mostly that nothing reads outside the data (the sanitizer build
// catches that), that nothing overflows, and that each failure is reported.
#include "mdl/legacy/Idp2Reader.h"
#include "mdl/legacy/Mdl2Reader.h"
#include "mdl/legacy/Mdl3Reader.h"
#include "mdl/legacy/Mdl4Reader.h"
#include "mdl/legacy/Mdl5Reader.h"
#include "mdl/legacy/Mdl6Reader.h"

#include "LegacyFileBuilder.h"
#include "LegacyWalk.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace kelvane {
namespace {

using namespace testing_legacy;

std::unique_ptr<LegacyModelReader> readerFor(const std::string& tag)
{
    if (tag == "IDPO" || tag == "MDL2") return std::make_unique<Mdl2Reader>();
    if (tag == "MDL3") return std::make_unique<Mdl3Reader>();
    if (tag == "IDP2") return std::make_unique<Idp2Reader>();
    if (tag == "MDL4") return std::make_unique<Mdl4Reader>();
    if (tag == "MDL5") return std::make_unique<Mdl5Reader>();
    return std::make_unique<Mdl6Reader>();
}

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(LegacyCorruptInputTest, EveryTruncationFailsCleanly)
{
    for (const char* tag : {"IDPO", "MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6"}) {
        const Bytes bytes = sampleModel(tag);
        const std::int32_t headerSize = std::string(tag) == "IDP2" ? 68 : 84;
        {
            const Attached whole(bytes);
            auto reader = readerFor(tag);
            ASSERT_GT(reader->parseHeader(whole.data(), whole.length()), 0) << tag;
            const WalkResult result = walkModel(*reader, tag);
            EXPECT_TRUE(result.complete) << tag << " stopped at " << result.stoppedAt;
            EXPECT_EQ(reader->remaining(), 0) << tag;
        }
        for (std::int32_t length = 0; length < bytes.size(); ++length) {
            // A fresh exact-size buffer per prefix, so that any overrun is seen.
            const Attached prefix(bytes, static_cast<std::size_t>(length));
            auto reader = readerFor(tag);
            if (length < headerSize) {
                EXPECT_EQ(reader->parseHeader(prefix.data(), prefix.length()), 0) << tag << " " << length;
                continue;
            }
            ASSERT_EQ(reader->parseHeader(prefix.data(), prefix.length()), length);
            EXPECT_FALSE(walkModel(*reader, tag).complete) << tag << " prefix " << length;
            EXPECT_EQ(reader->remaining(), 0) << tag << " prefix " << length;

            auto skipper = readerFor(tag);
            ASSERT_GT(skipper->parseHeader(prefix.data(), prefix.length()), 0);
            EXPECT_FALSE(skipper->skipGroup()) << tag << " prefix " << length;
        }
    }
}

TEST(LegacyCorruptInputTest, ImpossibleSkinSizesFailAtTheEndOfTheData)
{
    const std::int32_t sizes[][2] = {{-1, 4}, {4, -1}, {kMax, kMax}, {kMin, kMin}, {kMax, 2}, {65536, 65536}};
    for (const auto& size : sizes) {
        Counts c;
        c.skins = 1;
        c.skinWidth = size[0];
        c.skinHeight = size[1];
        Bytes old = header84("MDL4", c);
        old.i32(3).fill(64); // 2 bytes per pixel
        const Attached oldData(old);
        Mdl4Reader oldReader;
        ASSERT_GT(oldReader.parseHeader(oldData.data(), oldData.length()), 0);
        EXPECT_FALSE(oldReader.skipSkins()) << size[0] << " x " << size[1];
        EXPECT_EQ(oldReader.remaining(), 0);

        // With the mipmap bit and 4 bytes per pixel.
        Counts one;
        one.skins = 1;
        Bytes wide = header84("MDL5", one);
        wide.i32(13).i32(size[0]).i32(size[1]).fill(64);
        const Attached wideData(wide);
        Mdl5Reader wideReader;
        ASSERT_GT(wideReader.parseHeader(wideData.data(), wideData.length()), 0);
        const std::uint8_t* image = nullptr;
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool hasMipmaps = false;
        ASSERT_TRUE(wideReader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
        EXPECT_FALSE(wideReader.readSkinPixels(&image, nullptr, nullptr, nullptr))
            << size[0] << " x " << size[1];
        EXPECT_EQ(wideReader.remaining(), 0);
    }
}

TEST(LegacyCorruptInputTest, NegativeAndHugeCountsFail)
{
    for (const char* tag : {"IDPO", "MDL3", "IDP2", "MDL5"}) {
        for (const std::int32_t bad : {-1, kMin, kMax}) {
            const bool idp2 = std::string(tag) == "IDP2";
            // Each count in turn set to `bad`, the others valid.
            for (int which = 0; which < 5; ++which) {
                Bytes bytes = sampleModel(tag);
                const int offsets84[] = {48, 60, 64, 68, 72};
                const int offsets68[] = {20, 24, 32, 40, 28};
                const int offset = idp2 ? offsets68[which] : offsets84[which];
                bytes.patchI32(static_cast<std::size_t>(offset), bad);
                const Attached data(bytes);
                auto reader = readerFor(tag);
                ASSERT_GT(reader->parseHeader(data.data(), data.length()), 0);
                const std::string where =
                    std::string(tag) + " field " + std::to_string(offset) + " = " + std::to_string(bad);
                if (std::string(tag) == "IDPO" && offset == 72) {
                    // Not a count in this format.
                    EXPECT_TRUE(reader->skipGroup()) << where;
                    continue;
                }
                EXPECT_FALSE(reader->skipGroup()) << where;
                // Surplus skins may also stop at a refused image kind, which
                // does not move the cursor to the end.
                if (which != 0) {
                    EXPECT_EQ(reader->remaining(), 0) << where;
                }

                auto walker = readerFor(tag);
                ASSERT_GT(walker->parseHeader(data.data(), data.length()), 0);
                const WalkResult result = walkModel(*walker, where, false);
                // A negative count reads as "none" to a caller that stops at
                // the count, so only a huge one must stop the walk.
                if (bad == kMax) {
                    EXPECT_FALSE(result.complete) << where;
                }
            }
        }
    }
}

} // namespace
} // namespace kelvane
