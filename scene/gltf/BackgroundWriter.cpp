#include "scene/gltf/BackgroundWriter.h"

namespace kelvane::scene::gltf {

BackgroundWriter::BackgroundWriter(ByteSink& sink) : sink_(sink)
{
    for (std::size_t b = 0; b < kBufferCount; ++b) {
        // Not value-initialised: every byte is written before it is used.
        buffers_.emplace_back(new std::uint8_t[kBufferSize]);
    }
    thread_ = std::thread([this] { writeAll(); });
}

BackgroundWriter::~BackgroundWriter() { (void)finish(); }

std::span<std::uint8_t> BackgroundWriter::buffer()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return submitted_ - written_ < kBufferCount; });
    return {buffers_[submitted_ % kBufferCount].get(), kBufferSize};
}

void BackgroundWriter::submit(std::size_t used)
{
    if (used == 0) return;
    {
        const std::lock_guard lock(mutex_);
        used_[submitted_ % kBufferCount] = used;
        ++submitted_;
    }
    changed_.notify_all();
}

bool BackgroundWriter::finish()
{
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    // The thread has ended: nothing else touches ok_ any more.
    return ok_;
}

void BackgroundWriter::writeAll()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return written_ < submitted_ || closing_; });
        if (written_ == submitted_) return; // closing, and everything is written
        const std::size_t b = written_ % kBufferCount;
        const std::size_t used = used_[b];
        const bool write = ok_;
        lock.unlock();
        // The buffer is the writer's until written_ moves past it.
        const bool wrote = !write || sink_.write(buffers_[b].get(), used);
        lock.lock();
        ok_ = ok_ && wrote;
        ++written_;
        changed_.notify_all();
    }
}

} // namespace kelvane::scene::gltf
