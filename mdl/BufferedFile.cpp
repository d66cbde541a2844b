#include "mdl/BufferedFile.h"

#include "mdl/PlatformFile.h"

#include <algorithm>

namespace kelvane {

namespace {

// Offsets and positions stay far below the point where adding a byte count
// could overflow; no file system reaches this size.
constexpr std::int64_t kMaxOffset = std::int64_t(1) << 62;

} // namespace

BufferedFile::BufferedFile(std::int64_t capacity)
    : capacity_(std::clamp<std::int64_t>(capacity, 1, std::int64_t(1) << 30)),
      buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(capacity_)))
{
}

BufferedFile::~BufferedFile() { close(); }

int BufferedFile::open(const char* path)
{
    if (descriptor_ >= 0) close();
    failed_ = false;
    bufferStart_ = 0;
    bufferLength_ = 0;
    appendRoom_ = 0;
    position_ = 0;
    end_ = 0;
    diskEnd_ = 0;
    descriptorPosition_ = 0; // a freshly created or truncated file
    const int result = platform::openWrite(path);
    descriptor_ = result >= 0 ? result : -1;
    return result;
}

void BufferedFile::updateAppendRoom()
{
    const bool appending =
        descriptor_ >= 0 && !failed_ && bufferLength_ > 0 && position_ == bufferStart_ + bufferLength_;
    appendRoom_ = appending ? capacity_ - bufferLength_ : 0;
}

std::int64_t BufferedFile::writeSlow(const void* data, std::int64_t count)
{
    const std::int64_t result = writeUnbuffered(data, count);
    updateAppendRoom();
    return result;
}

std::int64_t BufferedFile::writeUnbuffered(const void* data, std::int64_t count)
{
    if (descriptor_ < 0) return -1;
    if (count <= 0) return 0;
    if (count > kMaxOffset - position_) {
        recordFailure();
        return -1;
    }
    if (failed_) {
        // After a failure every byte goes straight to the descriptor, so the
        // caller sees each short write as it happens. A seek failure may have
        // been recorded while bytes were still buffered; they go first.
        flushBuffer();
        return writeDirect(data, count);
    }

    // Inside the buffered range or right at its end, and still fitting: the
    // bytes replace or extend what is buffered, which is what a seek back
    // for a patch usually meets.
    const std::int64_t bufferEnd = bufferStart_ + bufferLength_;
    if (bufferLength_ > 0 && position_ >= bufferStart_ && position_ <= bufferEnd &&
        count <= capacity_ - (position_ - bufferStart_)) {
        const std::int64_t at = position_ - bufferStart_;
        std::memcpy(buffer_.get() + at, data, static_cast<std::size_t>(count));
        bufferLength_ = std::max(bufferLength_, at + count);
        position_ += count;
        end_ = std::max(end_, position_);
        return count;
    }

    // Anywhere else the buffered bytes must reach the file first: where the
    // two ranges share offsets, the later write has to win.
    flushBuffer();
    if (failed_ || count >= capacity_) return writeDirect(data, count);

    bufferStart_ = position_;
    std::memcpy(buffer_.get(), data, static_cast<std::size_t>(count));
    bufferLength_ = count;
    position_ += count;
    end_ = std::max(end_, position_);
    return count;
}

std::int64_t BufferedFile::writeDirect(const void* data, std::int64_t count)
{
    std::int64_t written = 0;
    if (placeDescriptor(position_)) {
        written = std::max<std::int64_t>(platform::writeAll(descriptor_, data, count), 0);
        descriptorPosition_ = position_ + written;
    }
    // As on the bare descriptor, only the bytes the system took move the
    // position, and only a write that took some bytes can lengthen the file
    // (the position may lie past the end after a seek).
    position_ += written;
    if (written > 0) {
        diskEnd_ = std::max(diskEnd_, position_);
        end_ = std::max(end_, position_);
    }
    if (written != count) recordFailure();
    return written;
}

bool BufferedFile::placeDescriptor(std::int64_t offset)
{
    if (descriptorPosition_ == offset) return true;
    if (platform::seekSet(descriptor_, offset) != offset) {
        descriptorPosition_ = -1;
        return false;
    }
    descriptorPosition_ = offset;
    return true;
}

bool BufferedFile::flush()
{
    const bool flushed = flushBuffer();
    updateAppendRoom();
    return flushed;
}

bool BufferedFile::flushBuffer()
{
    if (descriptor_ < 0) return false;
    if (bufferLength_ == 0) return true;

    const std::int64_t start = bufferStart_;
    const std::int64_t length = bufferLength_;
    bufferLength_ = 0;

    std::int64_t written = 0;
    if (placeDescriptor(start)) {
        written = std::max<std::int64_t>(platform::writeAll(descriptor_, buffer_.get(), length), 0);
        descriptorPosition_ = start + written;
    }
    if (written > 0) diskEnd_ = std::max(diskEnd_, start + written);
    if (written == length) return true;

    // The system stopped part way. The buffered writes past that point would
    // each have fallen short on the bare descriptor, leaving nothing of
    // theirs in the file and the position where the system stopped; the
    // dropped bytes and the moved position reproduce that. A caller that had
    // already seeked elsewhere keeps its position.
    recordFailure();
    if (position_ == start + length) position_ = start + written;
    end_ = diskEnd_;
    return false;
}

std::int64_t BufferedFile::seek(std::int64_t offset)
{
    if (descriptor_ < 0) return -1;
    if (offset < 0 || offset > kMaxOffset) {
        recordFailure();
        updateAppendRoom();
        return -1;
    }
    // Only the caller's position moves; the descriptor follows when bytes
    // are actually written.
    position_ = offset;
    updateAppendRoom();
    return position_;
}

std::int64_t BufferedFile::seekEnd()
{
    if (descriptor_ < 0) return -1;
    position_ = end_;
    updateAppendRoom();
    return position_;
}

bool BufferedFile::close()
{
    if (descriptor_ < 0) return true;
    flush();
    if (platform::close(descriptor_) != 0) recordFailure();
    descriptor_ = -1;
    bufferStart_ = 0;
    bufferLength_ = 0;
    position_ = 0;
    end_ = 0;
    diskEnd_ = 0;
    descriptorPosition_ = -1;
    appendRoom_ = 0;
    return !failed_;
}

} // namespace kelvane
