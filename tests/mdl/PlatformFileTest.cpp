#include "mdl/PlatformFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kelvane {
namespace {

// Every byte value goes to the file and comes back untouched: no "\n" grows
// a "\r", and neither "\r\n" nor Ctrl-Z (end of file to the Windows runtime
// in text mode) is read as anything but data.
TEST(PlatformFileTest, BytesPassThroughUnchanged)
{
    test::TempDir dir;
    const std::string path = dir.path("bytes.bin");
    std::vector<std::uint8_t> bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<std::uint8_t>(value));
    for (const int value : {0x0D, 0x0A, 0x0A, 0x1A, 0x0D})
        bytes.push_back(value);

    const int out = platform::openWrite(path.c_str());
    ASSERT_GE(out, 0);
    EXPECT_EQ(platform::writeAll(out, bytes.data(), std::int64_t(bytes.size())), std::int64_t(bytes.size()));
    EXPECT_EQ(platform::tell(out), std::int64_t(bytes.size()));
    EXPECT_EQ(platform::close(out), 0);

    const int in = platform::openRead(path.c_str());
    ASSERT_GE(in, 0);
    EXPECT_EQ(platform::seekEnd(in), std::int64_t(bytes.size()));
    EXPECT_EQ(platform::seekSet(in, 0), 0);
    std::vector<std::uint8_t> back(bytes.size() + 8);
    EXPECT_EQ(platform::readAll(in, back.data(), std::int64_t(back.size())), std::int64_t(bytes.size()));
    back.resize(bytes.size());
    EXPECT_EQ(back, bytes);
    // Where the system maps files, the mapping holds the same bytes.
    if (const void* mapped = platform::mapRead(in, std::int64_t(bytes.size()))) {
        EXPECT_EQ(std::memcmp(mapped, bytes.data(), bytes.size()), 0);
        platform::unmap(mapped, std::int64_t(bytes.size()));
    }
    EXPECT_EQ(platform::close(in), 0);

    EXPECT_LT(platform::openRead(dir.path("missing.bin").c_str()), 0);
}

} // namespace
} // namespace kelvane
