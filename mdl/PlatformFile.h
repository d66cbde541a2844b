// The C runtime's low-level descriptor calls, behind one small interface.
//
// Everything else in the code base talks to files through these functions,
// so only PlatformFile.cpp knows whether it runs on the Windows C runtime
// (_open with O_BINARY, _lseek, ...) or on POSIX. Files are always opened in
// binary mode: no line-end translation ever touches model data. Files are
// mapped into memory on POSIX only; elsewhere mapRead says no and callers
// read.
#pragma once

#include <cstdint>
#include <filesystem>

namespace kelvane::platform {

// The path that the calls below open for `name`. On Windows the C runtime
// reads a narrow name in the process's ANSI code page (UTF-8 under
// Kelvane.exe's manifest), while std::filesystem does not; this converts as
// the runtime does, so both name the same file. Elsewhere names are bytes.
[[nodiscard]] std::filesystem::path filesystemPath(const char* name);

// Whether `a` and `b` name one existing file (through links and other
// spellings). False when either is missing or cannot be examined.
[[nodiscard]] bool sameFile(const char* a, const char* b);

// Opens an existing file read-only. Returns the descriptor (0 or more) or a
// negative value.
[[nodiscard]] int openRead(const char* path);

// Creates or truncates a file for writing, with the mode fopen gives (read
// and write for everyone, less the umask). Returns the descriptor (0 or
// more) or a negative value.
[[nodiscard]] int openWrite(const char* path);

// Reads up to `count` bytes; returns the number read, or -1 on error. Short
// reads are retried until end of file, so a result below `count` means the
// file ended (or an error stopped it).
[[nodiscard]] std::int64_t readAll(int descriptor, void* data, std::int64_t count);

// Writes `count` bytes; returns the number written (retrying after partial
// writes), or -1 when nothing could be written.
[[nodiscard]] std::int64_t writeAll(int descriptor, const void* data, std::int64_t count);

// Reads up to `count` bytes at `offset` without moving the file position.
// Returns the number read, or -1 on error and on the Windows runtime, which
// has no positioned read (nothing is mapped there, so nothing needs one).
[[nodiscard]] std::int64_t readAt(int descriptor, std::int64_t offset, void* data, std::int64_t count);

// Moves the file position; returns the new position or -1.
std::int64_t seekSet(int descriptor, std::int64_t offset);
std::int64_t seekEnd(int descriptor);
[[nodiscard]] std::int64_t tell(int descriptor);

// Maps the first `length` bytes of the file open on `descriptor` (read
// access) as private, read-only memory. Returns the start of the mapping, or
// null when the system cannot map this file (a pipe, a device, a length the
// address space cannot hold) or this runtime does not map files at all (the
// Windows runtime): callers then read the file instead.
[[nodiscard]] const void* mapRead(int descriptor, std::int64_t length);

// Releases a mapping made by mapRead with the same length.
void unmap(const void* data, std::int64_t length);

// Closes the descriptor; returns 0 on success.
int close(int descriptor);

} // namespace kelvane::platform
