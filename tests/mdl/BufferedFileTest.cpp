#include "mdl/BufferedFile.h"

#include "WriteTestSupport.h"
#include "mdl/PlatformFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace kelvane {
namespace {

using test::readFileBytes;
using test::runWithFileSizeLimit;
using test::TempDir;

// One step of a write session: append or overwrite bytes at the position,
// move the position, or go to the end.
struct Op {
    enum Kind { kWrite, kSeek, kSeekEnd } kind;
    std::int64_t value; // byte count or offset
    std::uint8_t fill;
};

// A random session of mostly small writes with seeks back into written data
// (the patches a model writer makes), seeks a little past the end (gaps),
// and writes larger than the buffer. Also returns the expected file.
std::vector<Op> randomSession(std::uint32_t seed, std::int64_t capacity, int steps,
                              std::vector<std::uint8_t>& expected)
{
    std::mt19937 rng(seed);
    std::vector<Op> ops;
    std::int64_t position = 0;
    expected.clear();
    for (int i = 0; i < steps; ++i) {
        const int pick = static_cast<int>(rng() % 100);
        const auto fill = static_cast<std::uint8_t>(1 + i % 251);
        if (pick < 70) {
            std::int64_t size = 1 + rng() % 40;
            if (pick < 5) size = capacity + rng() % (2 * capacity + 1);
            ops.push_back({Op::kWrite, size, fill});
            if (std::int64_t(expected.size()) < position + size) expected.resize(position + size, 0);
            std::fill_n(expected.begin() + position, size, fill);
            position += size;
        } else if (pick < 90) {
            const std::int64_t end = std::int64_t(expected.size());
            const std::int64_t offset = pick < 88 ? std::int64_t(rng() % (end + 1)) : end + 3;
            ops.push_back({Op::kSeek, offset, 0});
            position = offset;
        } else {
            ops.push_back({Op::kSeekEnd, 0, 0});
            position = std::int64_t(expected.size());
        }
    }
    return ops;
}

std::vector<std::uint8_t> pattern(const Op& op) { return std::vector<std::uint8_t>(op.value, op.fill); }

// Applies `ops` through the buffered layer.
void runBuffered(BufferedFile& file, const std::vector<Op>& ops)
{
    for (const Op& op : ops) {
        if (op.kind == Op::kWrite) {
            const auto bytes = pattern(op);
            file.write(bytes.data(), op.value);
        } else if (op.kind == Op::kSeek) {
            file.seek(op.value);
        } else {
            file.seekEnd();
        }
    }
}

// The same session with one system call per step, straight on the
// descriptor: the behaviour the buffered layer has to reproduce on disk.
void runDirect(int descriptor, const std::vector<Op>& ops)
{
    for (const Op& op : ops) {
        if (op.kind == Op::kWrite) {
            const auto bytes = pattern(op);
            (void)platform::writeAll(descriptor, bytes.data(), op.value);
        } else if (op.kind == Op::kSeek) {
            platform::seekSet(descriptor, op.value);
        } else {
            platform::seekEnd(descriptor);
        }
    }
}

TEST(BufferedFileTest, MatchesDirectWritesAcrossBufferBoundaries)
{
    TempDir dir;
    for (const std::int64_t capacity : {1, 7, 64, 4096}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE("capacity " + std::to_string(capacity) + ", seed " + std::to_string(seed));
            std::vector<std::uint8_t> expected;
            const auto ops = randomSession(seed, capacity, 1500, expected);

            const std::string path = dir.path("session.bin");
            BufferedFile file(capacity);
            ASSERT_GE(file.open(path.c_str()), 0);
            std::int64_t position = 0;
            std::int64_t end = 0;
            for (const Op& op : ops) {
                if (op.kind == Op::kWrite) {
                    // Small records alternate between being copied in and
                    // being built in place, as the model writer does.
                    std::uint8_t* room = op.fill % 2 == 0 ? file.reserve(op.value) : nullptr;
                    if (room != nullptr) {
                        std::fill_n(room, op.value, op.fill);
                    } else {
                        const auto bytes = pattern(op);
                        ASSERT_EQ(file.write(bytes.data(), op.value), op.value);
                    }
                    position += op.value;
                    end = std::max(end, position);
                } else if (op.kind == Op::kSeek) {
                    ASSERT_EQ(file.seek(op.value), op.value);
                    position = op.value;
                } else {
                    ASSERT_EQ(file.seekEnd(), end);
                    position = end;
                }
                ASSERT_EQ(file.tell(), position);
            }
            EXPECT_TRUE(file.close());
            EXPECT_FALSE(file.failed());
            EXPECT_EQ(readFileBytes(path), expected);
        }
    }
}

TEST(BufferedFileTest, GathersSmallWritesAndFlushesWhenDestroyed)
{
    TempDir dir;
    const std::string path = dir.path("records.bin");
    std::vector<std::uint8_t> expected;
    {
        BufferedFile file;
        ASSERT_GE(file.open(path.c_str()), 0);
        for (int i = 0; i < 1000; ++i) {
            const std::uint8_t record[26] = {static_cast<std::uint8_t>(i), 1, 2, 3};
            ASSERT_EQ(file.write(record, sizeof record), 26);
            expected.insert(expected.end(), record, record + sizeof record);
        }
        // A patch into the buffered range, as a header rewrite does.
        file.seek(0);
        const std::uint8_t patch[4] = {0xAA, 0xBB, 0xCC, 0xDD};
        file.write(patch, sizeof patch);
        std::copy(patch, patch + 4, expected.begin());
        file.seekEnd();

        // 26,000 bytes fit the buffer: nothing has reached the file yet.
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 0);
    } // destroyed without close
    EXPECT_EQ(readFileBytes(path), expected);
}

TEST(BufferedFileTest, ClosedFileRefusesAndClosesQuietly)
{
    BufferedFile file;
    const std::uint8_t byte = 1;
    EXPECT_EQ(file.write(&byte, 1), -1);
    EXPECT_EQ(file.seek(0), -1);
    EXPECT_FALSE(file.flush());
    EXPECT_TRUE(file.close());

    TempDir dir;
    EXPECT_LT(file.open(dir.path("missing/x.bin").c_str()), 0);
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.close());
}

TEST(BufferedFileTest, NegativeSeekIsRememberedAsFailure)
{
    TempDir dir;
    BufferedFile file;
    ASSERT_GE(file.open(dir.path("seek.bin").c_str()), 0);
    const std::uint8_t bytes[3] = {1, 2, 3};
    file.write(bytes, 3);
    EXPECT_EQ(file.seek(-1), -1);
    EXPECT_EQ(file.tell(), 3);
    EXPECT_TRUE(file.failed());
    // Later bytes still land where they belong.
    file.write(bytes, 3);
    EXPECT_FALSE(file.close());
    EXPECT_EQ(readFileBytes(dir.path("seek.bin")), (std::vector<std::uint8_t>{1, 2, 3, 1, 2, 3}));
}

// Under a file size limit the buffered layer must leave exactly the file
// that one system call per step leaves, and report the failure at close.
TEST(BufferedFileTest, ShortWritesLeaveWhatDirectWritesLeave)
{
    if (!test::kHasFileSizeLimit) GTEST_SKIP() << "needs a file size limit";
    TempDir dir;
    for (const std::int64_t capacity : {64, 4096}) {
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            std::vector<std::uint8_t> expected;
            const auto ops = randomSession(seed, capacity, 800, expected);
            for (const std::uint64_t limit : {std::uint64_t(1), expected.size() / 3, expected.size() - 5}) {
                SCOPED_TRACE("capacity " + std::to_string(capacity) + ", seed " + std::to_string(seed) +
                             ", limit " + std::to_string(limit));
                const std::string bufferedPath = dir.path("buffered.bin");
                const std::string directPath = dir.path("direct.bin");
                const int code = runWithFileSizeLimit(limit, [&] {
                    BufferedFile file(capacity);
                    if (file.open(bufferedPath.c_str()) < 0) return 2;
                    runBuffered(file, ops);
                    // Once the failure is known, the end is where the system
                    // stopped, as on the bare descriptor.
                    file.flush();
                    if (!file.failed() || file.seekEnd() != std::int64_t(limit)) return 5;
                    if (file.close()) return 3; // the failure went unreported
                    const int descriptor = platform::openWrite(directPath.c_str());
                    if (descriptor < 0) return 4;
                    runDirect(descriptor, ops);
                    platform::close(descriptor);
                    return 0;
                });
                ASSERT_EQ(code, 0);
                const auto buffered = readFileBytes(bufferedPath);
                EXPECT_EQ(buffered.size(), limit);
                EXPECT_EQ(buffered, readFileBytes(directPath));
            }
        }
    }
}

} // namespace
} // namespace kelvane
