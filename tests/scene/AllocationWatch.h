// AllocationWatch: the largest single allocation made through operator new
// while a watch lives, for tests that a count a file claims sizes no memory.
//
// The scene tests replace the global operator new and delete (with malloc
// and free) to see every allocation; one watch at a time.
#pragma once

#include <cstddef>

namespace kelvane::scene {

class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // The largest size asked of operator new since the watch began.
    [[nodiscard]] std::size_t largest() const;
};

} // namespace kelvane::scene
