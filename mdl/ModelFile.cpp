#include "mdl/ModelFile.h"

#include "mdl/PlatformFile.h"

#include <cstring>
#include <limits>
#include <new>

namespace kelvane {

ModelFile::~ModelFile()
{
    // Not virtual dispatch: a derived destructor has already run its own close.
    closeBase();
}

std::int32_t ModelFile::open(const char* path) { return loadAndParse(path, -1, 1); }

std::int32_t ModelFile::loadAndParse(const char* path, std::int64_t parseLengthArgument,
                                     std::uint32_t minimumLimit)
{
    const int fd = platform::openRead(path);
    if (fd < 0) return fd;
    descriptor_ = fd;

    const std::int64_t length = platform::seekEnd(fd);
    // Offsets and limits are 32-bit signed values throughout the formats, so a
    // file of 2 GiB or more cannot be addressed and is refused like a short one.
    if (length < kMinimumFileLength || length > std::numeric_limits<std::int32_t>::max()) {
        close();
        return descriptor_;
    }

    bool loaded = false;
    try {
        loaded = image_.load(fd, length);
    } catch (...) {
        close();
        throw;
    }
    if (!loaded) {
        close();
        return -1;
    }

    const auto fileLength = static_cast<std::int32_t>(length);
    const std::int32_t limit = parseHeader(
        image_.data(), parseLengthArgument < 0 ? fileLength : static_cast<std::int32_t>(parseLengthArgument));
    if (static_cast<std::uint32_t>(limit) < minimumLimit || data_ == nullptr) {
        close();
        return -1;
    }
    // The header may announce more data than the file holds; the cursor must
    // never cover bytes that were not loaded.
    if (static_cast<std::uint32_t>(dataLimit_) > static_cast<std::uint32_t>(fileLength)) {
        dataLimit_ = fileLength;
    }
    if (cursor_ < data_ || cursor_ > data_ + dataLimit_) cursor_ = data_ + dataLimit_;
    return descriptor_;
}

void ModelFile::attachData(const std::uint8_t* data, std::int32_t cursorOffset, std::int32_t limit)
{
    data_ = data;
    dataLimit_ = limit;
    cursor_ = data + cursorOffset;
}

bool ModelFile::close()
{
    closeBase();
    return true;
}

void ModelFile::peek(const std::uint8_t* at, void* out, std::int64_t count) const
{
    // Data attached from the caller's memory (parseHeader without open) is
    // not the image's.
    if (image_.holds(at, count)) {
        image_.copyOut(at - image_.data(), out, count);
    } else {
        std::memcpy(out, at, static_cast<std::size_t>(count));
    }
}

void ModelFile::closeBase()
{
    if (descriptor_ >= 0) {
        image_.release();
        platform::close(descriptor_);
        descriptor_ = -1;
    }
    image_.release();
    data_ = nullptr;
    cursor_ = nullptr;
    dataLimit_ = 0;
}

std::int64_t ModelFile::remaining() const
{
    if (data_ == nullptr) return 0;
    return (data_ + dataLimit_) - cursor_;
}

bool ModelFile::skip(std::int64_t n) { return advance(n) != nullptr; }

std::int32_t ModelFile::tell() const
{
    return data_ == nullptr ? 0 : static_cast<std::int32_t>(cursor_ - data_);
}

bool ModelFile::seek(std::int64_t offset)
{
    if (data_ == nullptr || offset < 0 || offset >= dataLimit_) return false;
    cursor_ = data_ + offset;
    return true;
}

std::int32_t ModelFile::syncFilePosition()
{
    if (descriptor_ >= 0) {
        const std::int64_t end = platform::seekEnd(descriptor_);
        if (end >= 0) platform::seekSet(descriptor_, end - (dataLimit_ - tell()));
    }
    return descriptor_;
}

void ModelFile::syncCursor()
{
    if (descriptor_ < 0 || data_ == nullptr) return;
    std::int64_t position = platform::tell(descriptor_);
    if (position < 0) position = 0;
    if (position > dataLimit_) position = dataLimit_;
    cursor_ = data_ + position;
}

} // namespace kelvane
