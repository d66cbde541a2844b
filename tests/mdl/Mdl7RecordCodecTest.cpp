#include "mdl/Mdl7RecordCodec.h"

#include "mdl/NormalTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace kelvane::mdl7 {
namespace {

TEST(Mdl7RecordCodecTest, TriangleDecodesWhatItsEncodeStored)
{
    std::array<std::uint8_t, kTriangleRecordSize> record{};
    encodeTriangle(record.data(), 0xFFFF, 1, 2, -1, 3, 4, -7, 5, -1, 6, kNoSecondSkin);
    std::int32_t v[3] = {}, t[3] = {}, second[3] = {}, skin2 = 0;
    decodeTriangleIndices(record.data(), v[0], v[1], v[2], t[0], t[1], t[2]);
    decodeTriangleSecondSet(record.data(), second[0], second[1], second[2], skin2);
    // A vertex index is a plain 16-bit value; the other indices come back as
    // -1 from 0xFFFF.
    EXPECT_EQ(v[0], 0xFFFF);
    EXPECT_EQ(t[0], -1);
    EXPECT_EQ(t[2], 4);
    EXPECT_EQ(decodeTriangleSkin(record.data()), -7);
    EXPECT_EQ(second[1], -1);
    EXPECT_EQ(second[2], 6);
    EXPECT_EQ(skin2, -1);
}

TEST(Mdl7RecordCodecTest, VertexNormalFollowsTheStoredRecordSize)
{
    std::array<std::uint8_t, kVertexRecordSize> record{};
    encodeVertex(record.data(), 1.5f, -2.0f, 3.0f, -1, 0.25f, 0.5f, 0.75f);
    float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0;
    std::int32_t index = 0;
    decodeVertex(record.data(), x, y, z, index);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(y, -2.0f);
    EXPECT_TRUE(decodeVertexNormal(record.data(), vertex::kSizeWithNormal, nx, ny, nz));
    EXPECT_EQ(nz, 0.75f);

    // A 16-byte record holds an index into the normal table instead.
    storeU16(record.data() + vertex::kNormal, 5);
    float ex = 0, ey = 0, ez = 0;
    ASSERT_TRUE(NormalTable::normalFromIndex(5, ex, ey, ez));
    EXPECT_FALSE(decodeVertexNormal(record.data(), vertex::kSizeWithNormalIndex, nx, ny, nz));
    EXPECT_EQ(nx, ex);
    EXPECT_EQ(nz, ez);
    // A record without a normal gives the zero normal.
    EXPECT_FALSE(decodeVertexNormal(record.data(), vertex::kMinReadSize, nx, ny, nz));
    EXPECT_EQ(nx, 0.0f);
    EXPECT_EQ(ny, 0.0f);
}

} // namespace
} // namespace kelvane::mdl7
