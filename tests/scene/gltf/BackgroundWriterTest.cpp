// Passes buffers through the writer thread into sinks that record or refuse.
#include "scene/gltf/BackgroundWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::scene::gltf {
namespace {

// Fills `used` bytes of the next buffer with a pattern that tells buffers
// apart, and appends the same bytes to `expected`.
void submitPattern(BackgroundWriter& writer, std::size_t used, int round, std::string& expected)
{
    const std::span<std::uint8_t> buffer = writer.buffer();
    ASSERT_EQ(buffer.size(), BackgroundWriter::kBufferSize);
    for (std::size_t i = 0; i < used; ++i) {
        buffer[i] = std::uint8_t(round * 31 + int(i % 251));
        expected += char(buffer[i]);
    }
    writer.submit(used);
}

TEST(BackgroundWriterTest, SinkGetsEveryBufferInOrderAndWhole)
{
    StringSink sink;
    std::string expected;
    {
        BackgroundWriter writer(sink);
        // More buffers than are in flight at once, so that each is reused.
        for (int round = 0; round < 20; ++round) {
            const std::size_t used =
                round % 3 == 0 ? BackgroundWriter::kBufferSize : std::size_t(round) * 1000;
            submitPattern(writer, used, round, expected);
        }
        writer.submit(0); // nothing: no write, the buffer stays
        submitPattern(writer, 7, 99, expected);
        ASSERT_TRUE(writer.finish());
        EXPECT_TRUE(writer.finish());
    }
    EXPECT_EQ(sink.bytes.size(), expected.size());
    EXPECT_TRUE(sink.bytes == expected);
}

TEST(BackgroundWriterTest, WritesNothingAfterARefusalAndSaysSo)
{
    class RefusingSink final : public ByteSink {
      public:
        bool write(const void*, std::size_t) override { return ++calls < 3; }
        int calls = 0;
    } sink;
    BackgroundWriter writer(sink);
    std::string expected;
    // The producer goes on without blocking after the refusal.
    for (int round = 0; round < 10; ++round) {
        submitPattern(writer, 100, round, expected);
    }
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(sink.calls, 3);
    EXPECT_FALSE(writer.finish());
}

} // namespace
} // namespace kelvane::scene::gltf
