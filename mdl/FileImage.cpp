#include "mdl/FileImage.h"

#include "mdl/PlatformFile.h"

#include <cstring>

// GCC announces AddressSanitizer with a macro, Clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define KELVANE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVANE_ADDRESS_SANITIZER 1
#endif
#endif

#if !defined(KELVANE_ADDRESS_SANITIZER)
#define KELVANE_MAP_FILES 1
#endif

namespace kelvane {

FileImage::~FileImage() { release(); }

bool FileImage::load(int descriptor, std::int64_t length)
{
    release();
    if (length <= 0) return false;

#ifdef KELVANE_MAP_FILES
    // A private read-only mapping: the file's cached pages are used in place.
    // Files the system does not map (not regular files, or no mapping on
    // this platform) are read.
    if (const void* mapping = platform::mapRead(descriptor, length); mapping != nullptr) {
        data_ = static_cast<const std::uint8_t*>(mapping);
        length_ = length;
        mappedDescriptor_ = descriptor;
        return true;
    }
#endif

    block_ = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(length));
    if (platform::seekSet(descriptor, 0) != 0 ||
        platform::readAll(descriptor, block_.get(), length) != length) {
        block_.reset();
        return false;
    }
    data_ = block_.get();
    length_ = length;
    return true;
}

bool FileImage::holds(const std::uint8_t* at, std::int64_t count) const
{
    // Compared as addresses: `at` may point into some other block.
    const auto start = reinterpret_cast<std::uintptr_t>(data_);
    const auto first = reinterpret_cast<std::uintptr_t>(at);
    return data_ != nullptr && count >= 0 && first >= start && first - start <= std::uint64_t(length_) &&
           std::uint64_t(count) <= std::uint64_t(length_) - (first - start);
}

void FileImage::copyOut(std::int64_t offset, void* out, std::int64_t count) const
{
    if (mappedDescriptor_ >= 0 && platform::readAt(mappedDescriptor_, offset, out, count) == count) return;
    std::memcpy(out, data_ + offset, static_cast<std::size_t>(count));
}

void FileImage::release()
{
    if (mappedDescriptor_ >= 0) platform::unmap(data_, length_);
    mappedDescriptor_ = -1;
    block_.reset();
    data_ = nullptr;
    length_ = 0;
}

} // namespace kelvane
