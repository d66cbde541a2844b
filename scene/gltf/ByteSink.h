// ByteSink: where an export's bytes go, in order.
//
// The glTF export writes a file as a stream of appends, so the same code can
// fill a file, a string in a test or the buffer of an in-memory fuzz
// harness. Writes come in large pieces (the export gathers small values
// itself), so a sink need not buffer.
#pragma once

#include <cstddef>
#include <string>

namespace kelvane::scene::gltf {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Appends `size` bytes. Returns false when they could not all be taken;
    // the export then stops and reports the failure.
    [[nodiscard]] virtual bool write(const void* data, std::size_t size) = 0;
};

// Collects everything in a string (tests and the fuzz harness).
class StringSink final : public ByteSink {
  public:
    [[nodiscard]] bool write(const void* data, std::size_t size) override
    {
        bytes.append(static_cast<const char*>(data), size);
        return true;
    }

    std::string bytes;
};

} // namespace kelvane::scene::gltf
