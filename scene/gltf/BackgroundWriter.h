// BackgroundWriter: hands bytes to a sink on a thread of its own.
//
//     BackgroundWriter writer(sink);
//     std::span<std::uint8_t> room = writer.buffer();
//     ... fill the first `used` bytes of room ...
//     writer.submit(used);
//     ...
//     if (!writer.finish()) ...; // the sink refused bytes
//
// The caller fills a buffer while the thread passes the buffers filled
// before to the sink, so computing the bytes and writing them (a copy into
// the system's file cache, as long as computing them) overlap. The sink sees
// the buffers in the order they were submitted, one write each, from the
// writer's thread alone, so a sink that is used by one thread at a time
// needs nothing more. After finish (or once the writer is gone) the sink is
// the caller's again.
#pragma once

#include "scene/gltf/ByteSink.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kelvane::scene::gltf {

class BackgroundWriter {
  public:
    // A few buffers of this size are in flight at a time. Buffers that the
    // processor's cache still holds are the cheapest to write.
    static constexpr std::size_t kBufferSize = std::size_t(1) << 20;

    explicit BackgroundWriter(ByteSink& sink);
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;
    // Finishes: every buffer submitted is written.
    ~BackgroundWriter();

    // The buffer to fill next (kBufferSize bytes); waits while every buffer
    // is still being written. Valid until submit.
    [[nodiscard]] std::span<std::uint8_t> buffer();
    // Hands the first `used` bytes of buffer() over to be written; 0 hands
    // nothing over and keeps the buffer.
    void submit(std::size_t used);
    // Waits until everything submitted is written and ends the thread.
    // False when the sink refused a write; nothing is written after a
    // refusal. Later calls return the same.
    [[nodiscard]] bool finish();

  private:
    static constexpr std::size_t kBufferCount = 3;

    void writeAll();

    ByteSink& sink_;
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_: buffers are submitted and written in turn; buffer
    // k % kBufferCount holds the k-th submission while
    // written_ <= k < submitted_.
    std::size_t submitted_ = 0;
    std::size_t written_ = 0;
    std::size_t used_[kBufferCount] = {};
    bool closing_ = false;
    bool ok_ = true;
    std::thread thread_;
};

} // namespace kelvane::scene::gltf
