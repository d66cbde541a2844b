#include "mdl/NormalTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace kelvane {
namespace {

TEST(NormalTableTest, EveryEntryIsItsOwnNearestNormal)
{
    for (std::int32_t i = 0; i < NormalTable::kCount; ++i) {
        float x = 0, y = 0, z = 0;
        ASSERT_TRUE(NormalTable::normalFromIndex(i, x, y, z)) << i;
        EXPECT_EQ(NormalTable::nearestNormalIndex(x, y, z), i);
        // Scaling keeps the direction, so the same entry wins.
        EXPECT_EQ(NormalTable::nearestNormalIndex(x * 3.0f, y * 3.0f, z * 3.0f), i);
    }
}

TEST(NormalTableTest, LooksUpLastEntryAndRefusesIndicesOutsideTable)
{
    float x = 0, y = 0, z = 0;
    ASSERT_TRUE(NormalTable::normalFromIndex(161, x, y, z));
    EXPECT_EQ(x, -0.688191f);
    EXPECT_EQ(y, -0.587785f);
    EXPECT_EQ(z, -0.425325f);

    for (std::int32_t bad :
         {162, -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        float a = 7.0f, b = 8.0f, c = 9.0f;
        EXPECT_FALSE(NormalTable::normalFromIndex(bad, a, b, c)) << bad;
        EXPECT_EQ(a, 7.0f);
        EXPECT_EQ(b, 8.0f);
        EXPECT_EQ(c, 9.0f);
    }
}

TEST(NormalTableTest, NearestNormalOfSpecialVectors)
{
    EXPECT_EQ(NormalTable::nearestNormalIndex(0.0f, 0.0f, 1.0f), 5);
    EXPECT_EQ(NormalTable::nearestNormalIndex(0.0f, 0.0f, 2.0f), 5);
    EXPECT_EQ(NormalTable::nearestNormalIndex(0.0f, 0.0f, -1.0f), 84);
    EXPECT_EQ(NormalTable::nearestNormalIndex(0.0f, 0.0f, 0.0f), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(NormalTable::nearestNormalIndex(nan, 0.0f, 1.0f), 0);
    EXPECT_EQ(NormalTable::nearestNormalIndex(0.0f, 1.0f, nan), 0);
}

TEST(NormalTableTest, DotProductIsFormedInDouble)
{
    // 2^24 + 1 is not a float, but the double sum of these products is exact.
    const float a[3] = {16777216.0f, 1.0f, 0.0f};
    const float b[3] = {1.0f, 1.0f, 5.0f};
    EXPECT_EQ(NormalTable::dotProduct(a, b), 16777217.0);
}

TEST(NormalTableTest, EntriesAreUnitVectorsOverTwentyOneMagnitudes)
{
    std::set<float> magnitudes;
    for (std::int32_t i = 0; i < NormalTable::kCount; ++i) {
        float v[3] = {};
        ASSERT_TRUE(NormalTable::normalFromIndex(i, v[0], v[1], v[2]));
        EXPECT_NEAR(std::sqrt(NormalTable::dotProduct(v, v)), 1.0, 1e-6) << i;
        for (float c : v)
            magnitudes.insert(std::fabs(c));
    }
    const std::set<float> expected = {0.0f,      0.147621f, 0.162460f, 0.238856f, 0.262866f, 0.295242f,
                                      0.309017f, 0.425325f, 0.442863f, 0.5f,      0.525731f, 0.587785f,
                                      0.681718f, 0.688191f, 0.716567f, 0.809017f, 0.850651f, 0.864188f,
                                      0.951056f, 0.955423f, 1.0f};
    EXPECT_EQ(magnitudes, expected);
}

} // namespace
} // namespace kelvane
