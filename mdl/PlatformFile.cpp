#include "mdl/PlatformFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvane::platform {

namespace {

#ifdef _WIN32
// _O_NOINHERIT: as with O_CLOEXEC, programs started meanwhile do not keep
// the file open.
constexpr int kReadFlags = _O_RDONLY | _O_BINARY | _O_NOINHERIT;
constexpr int kWriteFlags = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT;
// The Windows runtime knows only read and write for everyone.
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
// The Windows runtime moves at most an unsigned int per call.
constexpr std::int64_t kMaxChunk = 1 << 30;
#else
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC;
constexpr int kWriteFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
// Read and write for everyone, less the umask: what fopen gives text files,
// so model files and text files written side by side share their mode.
constexpr mode_t kCreateMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
constexpr std::int64_t kMaxChunk = std::int64_t(1) << 30;
#endif

std::int64_t readChunk(int descriptor, void* data, std::int64_t count)
{
#ifdef _WIN32
    return _read(descriptor, data, static_cast<unsigned>(count));
#else
    return ::read(descriptor, data, static_cast<size_t>(count));
#endif
}

std::int64_t writeChunk(int descriptor, const void* data, std::int64_t count)
{
#ifdef _WIN32
    return _write(descriptor, data, static_cast<unsigned>(count));
#else
    return ::write(descriptor, data, static_cast<size_t>(count));
#endif
}

std::int64_t seek(int descriptor, std::int64_t offset, int whence)
{
#ifdef _WIN32
    return _lseeki64(descriptor, offset, whence);
#else
    return ::lseek(descriptor, static_cast<off_t>(offset), whence);
#endif
}

} // namespace

std::filesystem::path filesystemPath(const char* name)
{
#ifdef _WIN32
    const int size = ::MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), size);
    wide.resize(static_cast<std::size_t>(size - 1)); // the terminating zero
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(name);
#endif
}

bool sameFile(const char* a, const char* b)
{
    std::error_code error;
    return std::filesystem::equivalent(filesystemPath(a), filesystemPath(b), error) && !error;
}

int openRead(const char* path)
{
#ifdef _WIN32
    return _open(path, kReadFlags);
#else
    return ::open(path, kReadFlags);
#endif
}

int openWrite(const char* path)
{
#ifdef _WIN32
    return _open(path, kWriteFlags, kCreateMode);
#else
    return ::open(path, kWriteFlags, kCreateMode);
#endif
}

std::int64_t readAll(int descriptor, void* data, std::int64_t count)
{
    auto* out = static_cast<unsigned char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
        const std::int64_t n = readChunk(descriptor, out + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        if (n == 0) break; // end of file
        done += n;
    }
    return done;
}

std::int64_t writeAll(int descriptor, const void* data, std::int64_t count)
{
    const auto* in = static_cast<const unsigned char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
        const std::int64_t n = writeChunk(descriptor, in + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        if (n == 0) break; // the device takes no more
        done += n;
    }
    return done;
}

std::int64_t readAt([[maybe_unused]] int descriptor, [[maybe_unused]] std::int64_t offset,
                    [[maybe_unused]] void* data, [[maybe_unused]] std::int64_t count)
{
#ifdef _WIN32
    return -1;
#else
    if (offset < 0 || count < 0 || count > kMaxChunk) return -1;
    for (;;) {
        const ssize_t n = ::pread(descriptor, data, static_cast<size_t>(count), static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
#endif
}

std::int64_t seekSet(int descriptor, std::int64_t offset) { return seek(descriptor, offset, SEEK_SET); }

std::int64_t seekEnd(int descriptor) { return seek(descriptor, 0, SEEK_END); }

std::int64_t tell(int descriptor) { return seek(descriptor, 0, SEEK_CUR); }

const void* mapRead([[maybe_unused]] int descriptor, [[maybe_unused]] std::int64_t length)
{
#ifdef _WIN32
    return nullptr;
#else
    if (length <= 0 || static_cast<std::uint64_t>(length) > SIZE_MAX) return nullptr;
    void* mapping = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, descriptor, 0);
    return mapping == MAP_FAILED ? nullptr : mapping;
#endif
}

void unmap([[maybe_unused]] const void* data, [[maybe_unused]] std::int64_t length)
{
#ifndef _WIN32
    if (data != nullptr && length > 0) ::munmap(const_cast<void*>(data), static_cast<size_t>(length));
#endif
}

int close(int descriptor)
{
#ifdef _WIN32
    return _close(descriptor);
#else
    return ::close(descriptor);
#endif
}

} // namespace kelvane::platform
