// FileImage: the whole content of an open file as one read-only block of
// memory.
//
// Where the system allows it the file is mapped: its cached pages become the
// block, nothing is copied, and pages a reader steps over without looking at
// them are never brought in. Elsewhere (Windows, or a file the system will not
// map) the file is read into an allocated block instead. Readers see the same
// bytes either way.
//
// A mapped file must not be shortened by another program while the image is
// held: pages past its new end can no longer be read and the process is
// stopped by the system when it touches them. Builds with AddressSanitizer
// always read into an allocated block, so that a read past the end of the
// data is caught there, as it would be on any other buffer.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvane {

class FileImage {
  public:
    FileImage() = default;
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;
    ~FileImage();

    // Makes the first `length` bytes of the file open on `descriptor` (read
    // access, `length` > 0 and not beyond the file) the image, releasing any
    // earlier one. The descriptor's position afterwards is unspecified.
    // Returns false, holding nothing, when the bytes cannot all be read.
    // Throws std::bad_alloc when a block cannot be allocated.
    [[nodiscard]] bool load(int descriptor, std::int64_t length);

    // Releases the image; releasing an empty image does nothing.
    void release();

    // Start of the image; null when nothing is held.
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    // Whether the `count` bytes at `at` lie inside the image.
    [[nodiscard]] bool holds(const std::uint8_t* at, std::int64_t count) const;

    // Copies `count` bytes at `offset` of the image (the caller keeps both
    // inside it) to `out`. A mapped image reads them from the file where it
    // can, without touching the mapping: the system maps the pages around a
    // page that is touched as well (64 KiB on Linux), so a reader that needs
    // a few header bytes here and there in a long stretch it steps over
    // would have the whole stretch mapped, and unmapped again at the end.
    // The descriptor given to load must still be open.
    void copyOut(std::int64_t offset, void* out, std::int64_t count) const;

  private:
    const std::uint8_t* data_ = nullptr;
    std::int64_t length_ = 0;
    // When data_ is a mapping: the descriptor of the mapped file; otherwise -1.
    int mappedDescriptor_ = -1;
    // Set when data_ is an allocated block.
    std::unique_ptr<std::uint8_t[]> block_;
};

} // namespace kelvane
