// NormalTable: the fixed set of 162 unit vectors that MDL7 vertex records
// refer to by index.
//
// Vertex and frame-vertex records may store a normal as a small index into
// this table instead of three floats. The table is constant data: it is never
// written, so any thread may read it at any time.
#pragma once

#include <cstdint>

namespace kelvane {

class NormalTable {
  public:
    // Number of entries; valid indices are 0 to kCount - 1.
    static constexpr std::int32_t kCount = 162;

    // x*x' + y*y' + z*z', each product and the sum formed in double precision.
    static double dotProduct(const float a[3], const float b[3]);

    // Index of the entry closest in direction to (x, y, z): the one with the
    // greatest dot product (rounded to float). The vector need not be of unit
    // length. Ties keep the lowest index. A vector with a NaN component and
    // the zero vector both give 0. Never fails.
    static std::int32_t nearestNormalIndex(float x, float y, float z);

    // For 0 <= index < kCount stores the entry's components and returns true.
    // Any other index returns false and leaves x, y and z untouched.
    [[nodiscard]] static bool normalFromIndex(std::int32_t index, float& x, float& y, float& z);
};

} // namespace kelvane
