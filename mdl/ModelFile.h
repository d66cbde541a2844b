// ModelFile: the base of every model reader.
//
// A reader loads the whole file into one buffer when it is opened (a mapping
// of the file where the system allows, see FileImage.h) and walks it with a
// bounds-checked cursor. Records are never copied out: `advance` hands out a
// pointer to the next n bytes and moves past them, and fields are read from
// that pointer with the little-endian helpers.
//
// The cursor never leaves [buffer, buffer + dataLimit]. A request that does
// not fit in what remains (including a negative byte count, which corrupt
// counts produce) moves the cursor to the end of the data and fails, so every
// later read fails too. Safe to use on untrusted files.
#pragma once

#include "mdl/FileImage.h"

#include <cstdint>

namespace kelvane {

// Which reader class an object is; set by each reader's constructor.
enum FormatCode : std::int32_t {
    kFormatNone = 0,
    kFormatMdl2 = 1, // "IDPO" and "MDL2"
    kFormatIdp2 = 2,
    kFormatMdl3 = 4,
    kFormatMdl4 = 5,
    kFormatMdl5 = 6,
    kFormatMdl6 = 7,
    kFormatMdl7 = 8,
};

class ModelFile {
  public:
    // Every file shorter than this is refused before its header is parsed.
    static constexpr std::int32_t kMinimumFileLength = 48;

    ModelFile() = default;
    ModelFile(const ModelFile&) = delete;
    ModelFile& operator=(const ModelFile&) = delete;
    // Releases the buffer and the file through the base close.
    virtual ~ModelFile();

    // Opens `path` read-only, loads it whole and hands it to parseHeader.
    // Returns the descriptor (0 or more) on success; the runtime's negative
    // value when the path cannot be opened; -1 after any later failure (file
    // shorter than 48 bytes or of 2 GiB or more, short read, header rejected),
    // in which case the object is closed. A data limit from the header that
    // exceeds the loaded length is cut to that length.
    virtual std::int32_t open(const char* path);

    // Checks the format's magic and minimum length in `data` (the loaded file
    // of `length` bytes), sets the reader's header pointer, puts the cursor
    // past the header and sets the data limit. Returns the data limit, or 0
    // when the file is not of this format. `data` must stay valid and hold at
    // least the returned number of bytes while the object reads from it.
    virtual std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) = 0;

    // Releases the buffer and the descriptor; always true. Closing a closed
    // object only clears its fields again.
    virtual bool close();

    // Step over parts of a model without decoding them. Each returns false
    // when the data runs out or the reader is not positioned where the
    // operation needs it; a format without such a part returns true.
    virtual bool skipBones() = 0;
    virtual bool skipGroup() = 0;
    virtual bool skipSkin() = 0;
    virtual bool skipSkins() = 0;
    virtual bool skipTexCoords() = 0;
    virtual bool skipTriangles() = 0;
    virtual bool skipVertices() = 0;
    virtual bool skipFrame() = 0;
    virtual bool skipFrames() = 0;

    // Hands out the next n bytes and moves past them. When n is negative or
    // more than remains, the cursor moves to the end of the data and the
    // result is null. advance(0) returns the current position.
    // Defined inline below: every record of every reader passes through it.
    [[nodiscard]] const std::uint8_t* advance(std::int64_t n);
    // advance(n), reporting whether it gave a pointer.
    bool skip(std::int64_t n);
    // Offset of the cursor from the start of the buffer (0 when closed).
    [[nodiscard]] std::int32_t tell() const;
    // Moves the cursor to `offset`, which must lie in [0, dataLimit). A failed
    // seek leaves the cursor where it was.
    bool seek(std::int64_t offset);
    // Sets the file's own position to (file end) - (dataLimit - tell) when a
    // file is open; returns the descriptor.
    std::int32_t syncFilePosition();
    // Sets the cursor to the file's own position when a file is open; a
    // position outside the data puts the cursor at the nearer end.
    void syncCursor();

    [[nodiscard]] std::int32_t formatCode() const { return formatCode_; }
    [[nodiscard]] std::int32_t descriptor() const { return descriptor_; }
    [[nodiscard]] std::int32_t dataLimit() const { return dataLimit_; }
    [[nodiscard]] bool isOpen() const { return descriptor_ >= 0; }
    // Start of the loaded data (null when closed).
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    // Bytes between the cursor and the end of the data.
    [[nodiscard]] std::int64_t remaining() const;

  protected:
    // The shared body of `open`: load the file whole, then parseHeader with
    // the file's length (or `parseLengthArgument` when it is not negative),
    // and accept a result of at least `minimumLimit` compared unsigned.
    std::int32_t loadAndParse(const char* path, std::int64_t parseLengthArgument, std::uint32_t minimumLimit);

    // Copies `count` bytes at `at`, which lie inside the data, to `out`
    // without bringing the pages around them into the mapping (see
    // FileImage::copyOut): for the few fields a reader needs from records it
    // otherwise steps over.
    void peek(const std::uint8_t* at, void* out, std::int64_t count) const;

    // Called by parseHeader implementations: the data starts at `data`, the
    // cursor at data + cursorOffset, and dataLimit becomes `limit`.
    void attachData(const std::uint8_t* data, std::int32_t cursorOffset, std::int32_t limit);

    std::int32_t formatCode_ = kFormatNone;

  private:
    void closeBase();

    std::int32_t descriptor_ = -1;
    FileImage image_;
    const std::uint8_t* data_ = nullptr;
    const std::uint8_t* cursor_ = nullptr;
    std::int32_t dataLimit_ = 0;
};

inline const std::uint8_t* ModelFile::advance(std::int64_t n)
{
    if (data_ == nullptr) return nullptr;
    const std::uint8_t* end = data_ + dataLimit_;
    // Compare what is needed with what remains: cursor + n could wrap.
    if (n < 0 || n > end - cursor_) {
        cursor_ = end;
        return nullptr;
    }
    const std::uint8_t* record = cursor_;
    cursor_ += n;
    return record;
}

} // namespace kelvane
