// BufferedFile: a write-only file with a write-behind buffer.
//
// Model files are written one small record at a time, with an occasional seek
// back to rewrite a header whose counts became known later. Handing every
// record to the system would cost one system call per record; this layer
// gathers them in one contiguous buffer instead, so a file of many thousand
// records costs a few calls.
//
// The layer keeps the meaning of the plain descriptor calls it stands in for:
// `tell` counts the bytes accepted so far, `seek` may go back to any offset
// (inside or outside the buffered range) and the next write lands there, and
// the buffered bytes reach the file at `flush`, at `close` and when the object
// is destroyed. Whatever path a caller takes, the file ends up holding the
// bytes that the same calls made directly on the descriptor would have left.
//
// Failures. The system may take fewer bytes than asked (a full disk, a file
// size limit). When a flush falls short, the bytes the system took stay on
// disk, the rest of the buffer is dropped (exactly as the writes that made up
// that part of the buffer would each have fallen short), the position moves
// back to where the system stopped if it was at the end of the buffer, and
// from then on the layer writes through to the descriptor without buffering.
// So from the moment the failure comes to light, every write, seek and tell
// behaves as on the bare descriptor. The one thing that cannot be undone is a
// position handed out by `tell` between a write that was accepted into the
// buffer and the flush that found it could not be written: such a position
// counts bytes that never reached the file. Every failure is remembered until
// the next `open` and reported by `failed` and by `close`.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

namespace kelvane {

class BufferedFile {
  public:
    // Large writes are markedly cheaper for the system to take into its file
    // cache than many 64 KiB ones (about 1 ms less for a 5.5 MB model). The
    // buffer is not initialised, so a small file touches only the pages it
    // fills.
    static constexpr std::int64_t kDefaultCapacity = 4 * 1024 * 1024;

    // `capacity` is the size of the write-behind buffer (at least 1 byte).
    explicit BufferedFile(std::int64_t capacity = kDefaultCapacity);
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;
    // Flushes and closes an open file; the result is lost (call close first
    // when it matters).
    ~BufferedFile();

    // Creates or truncates `path` for writing (binary, with the mode fopen
    // gives: read and write for everyone, less the umask). An open file is
    // closed first. Returns the
    // descriptor (0 or more) or the system's negative result. Clears the
    // failure record.
    [[nodiscard]] int open(const char* path);

    [[nodiscard]] bool isOpen() const { return descriptor_ >= 0; }

    // Writes `count` bytes at the current position and moves past them.
    // Returns the number of bytes accepted: `count` when they went into the
    // buffer or were written whole, fewer when a direct write fell short, 0
    // for a count of zero or less, and -1 when no file is open. A short flush
    // of earlier bytes that this write triggers does not lower the result;
    // it is recorded by `failed`.
    std::int64_t write(const void* data, std::int64_t count)
    {
        // The common case: appending a small record to the buffer.
        if (count > 0 && count <= appendRoom_) {
            std::memcpy(buffer_.get() + bufferLength_, data, static_cast<std::size_t>(count));
            advanceAppend(count);
            return count;
        }
        return writeSlow(data, count);
    }

    // Room for `count` bytes at the current position inside the buffer, for
    // a caller that builds a record in place instead of copying it in: the
    // bytes count as written at once, and the caller must fill all of them
    // before its next call on this object. Returns null, changing nothing,
    // when they cannot go into the buffer right now (it is empty or full,
    // the position is elsewhere, or a failure has switched buffering off);
    // the caller then hands the record to `write`.
    std::uint8_t* reserve(std::int64_t count)
    {
        if (count > 0 && count <= appendRoom_) {
            std::uint8_t* const room = buffer_.get() + bufferLength_;
            advanceAppend(count);
            return room;
        }
        return nullptr;
    }

    // How many bytes `reserve` would take right now (0 when it would give
    // null for any count).
    [[nodiscard]] std::int64_t appendRoom() const { return appendRoom_; }

    // The current position: bytes accepted, counted from the start of the
    // file (0 when no file is open).
    [[nodiscard]] std::int64_t tell() const { return position_; }

    // Moves the position to `offset` from the start of the file, which may
    // lie beyond the end (a later write leaves a gap of zeros, as on the
    // descriptor). Returns the new position, or -1 (recorded as a failure)
    // for a negative offset or when no file is open.
    std::int64_t seek(std::int64_t offset);
    // Moves the position to the end of the file: the furthest byte written
    // or buffered. Returns the new position, or -1 when no file is open.
    std::int64_t seekEnd();

    // Hands the buffered bytes to the system. Returns false when they were
    // not all written (recorded as a failure) or no file is open.
    bool flush();

    // Flushes, closes the descriptor and returns true when every write,
    // flush, seek and the close itself succeeded since `open`. Closing a
    // file that is not open returns true.
    bool close();

    // Whether any write, flush or seek fell short since `open`.
    [[nodiscard]] bool failed() const { return failed_; }

  private:
    void advanceAppend(std::int64_t count)
    {
        bufferLength_ += count;
        position_ += count;
        appendRoom_ -= count;
        if (position_ > end_) end_ = position_;
    }
    // Recomputes appendRoom_ after anything but an append changed the state.
    void updateAppendRoom();
    std::int64_t writeSlow(const void* data, std::int64_t count);
    std::int64_t writeUnbuffered(const void* data, std::int64_t count);
    bool flushBuffer();
    // Writes straight to the descriptor at `position_`.
    std::int64_t writeDirect(const void* data, std::int64_t count);
    // Puts the descriptor's own position at `offset` unless it is there.
    bool placeDescriptor(std::int64_t offset);
    void recordFailure() { failed_ = true; }

    std::int64_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    int descriptor_ = -1;
    bool failed_ = false;
    // The buffer holds the bytes of [bufferStart_, bufferStart_ + bufferLength_)
    // that have not reached the file yet.
    std::int64_t bufferStart_ = 0;
    std::int64_t bufferLength_ = 0;
    // Bytes that may still be appended to the buffer by the inline paths:
    // the free space when the position stands at the end of a non-empty
    // buffer and nothing has failed, otherwise 0.
    std::int64_t appendRoom_ = 0;
    // The caller's position and the end of the file as the caller sees it.
    std::int64_t position_ = 0;
    std::int64_t end_ = 0;
    // Where the descriptor itself stands (-1 when unknown) and how long the
    // file on disk is.
    std::int64_t descriptorPosition_ = -1;
    std::int64_t diskEnd_ = 0;
};

} // namespace kelvane
