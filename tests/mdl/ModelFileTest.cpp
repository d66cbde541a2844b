#include "mdl/ModelFile.h"

#include "mdl/ByteOrder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace kelvane {
namespace {

// A minimal format for exercising the base class: magic "TEST", then an
// int32 data limit at offset 4; the cursor starts after an 8-byte header.
class TestModelFile : public ModelFile {
  public:
    int closeCalls = 0;

    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override
    {
        if (length < 8 || loadU32(data) != loadU32(reinterpret_cast<const std::uint8_t*>("TEST"))) return 0;
        attachData(data, 8, loadI32(data + 4));
        return dataLimit();
    }
    bool close() override
    {
        ++closeCalls;
        return ModelFile::close();
    }
    bool skipBones() override { return true; }
    bool skipGroup() override { return true; }
    bool skipSkin() override { return true; }
    bool skipSkins() override { return true; }
    bool skipTexCoords() override { return true; }
    bool skipTriangles() override { return true; }
    bool skipVertices() override { return true; }
    bool skipFrame() override { return true; }
    bool skipFrames() override { return true; }
};

class ModelFileTest : public testing::Test {
  protected:
    std::string path_ = testing::TempDir() + "kelvane_model_file_" +
                        testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";

    void TearDown() override { std::remove(path_.c_str()); }

    // Writes a TEST file of `length` bytes whose header announces `limit`.
    void writeFile(std::size_t length, std::int32_t limit)
    {
        std::vector<std::uint8_t> bytes(length);
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<std::uint8_t>(i);
        if (length >= 8) {
            bytes[0] = 'T', bytes[1] = 'E', bytes[2] = 'S', bytes[3] = 'T';
            storeI32(bytes.data() + 4, limit);
        }
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(length));
    }
};

TEST_F(ModelFileTest, RefusesFilesShorterThanTheMinimum)
{
    writeFile(47, 47);
    TestModelFile file;
    EXPECT_EQ(file.open(path_.c_str()), -1);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.closeCalls, 1); // the derived close runs
    EXPECT_EQ(file.advance(0), nullptr);

    writeFile(48, 48);
    EXPECT_GE(file.open(path_.c_str()), 0);
    EXPECT_EQ(file.dataLimit(), 48);
    EXPECT_EQ(file.tell(), 8);
}

TEST_F(ModelFileTest, MissingFileAndRejectedHeaderLeaveTheObjectClosed)
{
    TestModelFile file;
    EXPECT_LT(file.open((path_ + ".absent").c_str()), 0);
    EXPECT_EQ(file.closeCalls, 0);

    writeFile(64, 64);
    {
        std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
        f.write("XEST", 4);
    }
    EXPECT_EQ(file.open(path_.c_str()), -1);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.dataLimit(), 0);
    EXPECT_EQ(file.data(), nullptr);
}

TEST_F(ModelFileTest, DataLimitBeyondTheFileIsCutToTheFile)
{
    for (std::int32_t announced : {100, 0x7FFFFFFF, -5}) {
        writeFile(64, announced);
        TestModelFile file;
        ASSERT_GE(file.open(path_.c_str()), 0) << announced;
        EXPECT_EQ(file.dataLimit(), 64);
        EXPECT_FALSE(file.skip(57));
        EXPECT_EQ(file.tell(), 64);
    }
}

TEST_F(ModelFileTest, AdvanceStopsAtTheEndOfTheData)
{
    writeFile(64, 60); // the last four bytes lie outside the data
    TestModelFile file;
    ASSERT_GE(file.open(path_.c_str()), 0);
    const std::uint8_t* start = file.data();

    EXPECT_EQ(file.advance(0), start + 8);
    EXPECT_EQ(file.advance(2), start + 8);
    EXPECT_EQ(file.remaining(), 50);
    EXPECT_EQ(file.advance(50), start + 10); // exactly to the end
    EXPECT_EQ(file.tell(), 60);
    EXPECT_EQ(file.advance(1), nullptr);
    EXPECT_EQ(file.tell(), 60);
    EXPECT_EQ(file.advance(0), start + 60);
}

TEST_F(ModelFileTest, NegativeAndHugeCountsMoveTheCursorToTheEnd)
{
    writeFile(64, 64);
    TestModelFile file;
    ASSERT_GE(file.open(path_.c_str()), 0);
    for (std::int64_t n : {std::int64_t(-1), std::int64_t(INT32_MIN), std::int64_t(57),
                           std::int64_t(INT64_MAX), std::int64_t(INT64_MIN)}) {
        ASSERT_TRUE(file.seek(8));
        EXPECT_EQ(file.advance(n), nullptr) << n;
        EXPECT_EQ(file.tell(), 64) << n;
        EXPECT_FALSE(file.skip(1));
    }
}

TEST_F(ModelFileTest, SeekStaysInsideTheData)
{
    writeFile(64, 64);
    TestModelFile file;
    ASSERT_GE(file.open(path_.c_str()), 0);
    EXPECT_TRUE(file.seek(63));
    EXPECT_EQ(file.tell(), 63);
    EXPECT_FALSE(file.seek(64)); // the end is reachable by advance, not by seek
    EXPECT_FALSE(file.seek(-1));
    EXPECT_FALSE(file.seek(std::int64_t(1) << 40));
    EXPECT_EQ(file.tell(), 63);
    EXPECT_TRUE(file.seek(0));
    EXPECT_EQ(file.tell(), 0);
}

TEST_F(ModelFileTest, FilePositionAndCursorFollowEachOther)
{
    writeFile(64, 60);
    TestModelFile file;
    const int fd = file.open(path_.c_str());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(file.seek(20));
    EXPECT_EQ(file.syncFilePosition(), fd);
    ASSERT_TRUE(file.seek(0));
    file.syncCursor(); // file position: 64 - (60 - 20) = 24
    EXPECT_EQ(file.tell(), 24);
}

TEST_F(ModelFileTest, CloseTwiceAndDestroyWhileOpen)
{
    writeFile(64, 64);
    TestModelFile file;
    ASSERT_GE(file.open(path_.c_str()), 0);
    EXPECT_TRUE(file.close());
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.tell(), 0);
    EXPECT_FALSE(file.seek(0));
    EXPECT_EQ(file.advance(0), nullptr);

    // Destroying an open reader releases its buffer (the sanitizer build
    // reports a leak otherwise) and its descriptor.
    auto* open = new TestModelFile;
    const int fd = open->open(path_.c_str());
    ASSERT_GE(fd, 0);
    delete open;
    TestModelFile reopened;
    EXPECT_EQ(reopened.open(path_.c_str()), fd); // the lowest free descriptor again
}

} // namespace
} // namespace kelvane
