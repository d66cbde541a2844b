// The run reads (readTexCoords, readTriangles, readVertices) against the
// single-record reads they stand for: on every record size the file header
// may give, on every truncation of the group and with a triangle refused for
// its vertex index, both ways must hand out the same values and leave the
// reader in the same place.
#include "mdl/Mdl7Reader.h"

#include "mdl/Mdl7Format.h"
#include "support/Mdl7Builder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::Mdl7Builder;

constexpr std::int32_t kTexCoords = 5;
constexpr std::int32_t kTriangles = 6;
constexpr std::int32_t kVertices = 4;

// Entries start as this pattern, so an entry a read leaves alone stays
// recognisable.
template <typename Record> std::vector<Record> sentinels(std::size_t count)
{
    std::vector<Record> records(count);
    for (Record& record : records)
        std::memset(static_cast<void*>(&record), 0x5A, sizeof record);
    return records;
}

template <typename Record> bool same(const std::vector<Record>& a, const std::vector<Record>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0;
}

// What one way of reading the group left behind.
struct Outcome {
    std::vector<TexCoordRecord> texCoords = sentinels<TexCoordRecord>(kTexCoords);
    std::vector<TriangleRecord> triangles = sentinels<TriangleRecord>(kTriangles);
    std::vector<VertexRecord> vertices = sentinels<VertexRecord>(kVertices);
    std::size_t texCoordsRead = 0, trianglesRead = 0, verticesRead = 0;
    std::int32_t tellAfterTexCoords = -1, tellAfterTriangles = -1, tellAfterVertices = -1;
    // The normal of the current vertex afterwards.
    float normal[3] = {-7, -7, -7};
    bool normalStored = false;
    // Whether a further single read of each kind still succeeds afterwards.
    bool nextTexCoord = false, nextTriangle = false, nextVertex = false;
};

// Reads the group's counts, then each kind of record to its count, either
// one record per call or as one run per kind. Each kind is read even when
// the one before stopped early, so the runs are also tried on a reader
// whose cursor already stands at the end of the data.
Outcome readGroup(const std::string& path, bool runs)
{
    Outcome out;
    Mdl7Reader reader;
    if (reader.open(path.c_str()) < 0) return out;
    std::int32_t i32 = 0;
    reader.readHeader(i32, i32, i32, i32, i32);
    std::uint8_t type = 0;
    char name[mdl7::group::kNameSize];
    if (!reader.readGroupHeader(type, i32, name)) return out;

    if (runs) {
        out.texCoordsRead = reader.readTexCoords(out.texCoords);
    } else {
        while (out.texCoordsRead < out.texCoords.size()) {
            TexCoordRecord& c = out.texCoords[out.texCoordsRead];
            if (!reader.readTexCoord(c.s, c.t)) break;
            ++out.texCoordsRead;
        }
    }
    out.tellAfterTexCoords = reader.tell();

    if (runs) {
        out.trianglesRead = reader.readTriangles(out.triangles);
    } else {
        while (out.trianglesRead < out.triangles.size()) {
            TriangleRecord& t = out.triangles[out.trianglesRead];
            if (!reader.readTriangle(t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2], t.texCoordIndex[0],
                                     t.texCoordIndex[1], t.texCoordIndex[2], t.skinIndex)) {
                break;
            }
            ++out.trianglesRead;
        }
    }
    out.tellAfterTriangles = reader.tell();

    if (runs) {
        out.verticesRead = reader.readVertices(out.vertices);
    } else {
        while (out.verticesRead < out.vertices.size()) {
            VertexRecord& v = out.vertices[out.verticesRead];
            if (!reader.readVertex(v.x, v.y, v.z, v.boneIndex)) break;
            (void)reader.readVertexNormal(v.nx, v.ny, v.nz);
            ++out.verticesRead;
        }
    }
    out.tellAfterVertices = reader.tell();

    // The run leaves the last vertex it read current, as single reads do.
    out.normalStored = reader.readVertexNormal(out.normal[0], out.normal[1], out.normal[2]);
    float s = 0, t = 0;
    std::int32_t v[7] = {};
    out.nextTexCoord = reader.readTexCoord(s, t);
    out.nextTriangle = reader.readTriangle(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    float x = 0, y = 0, z = 0;
    out.nextVertex = reader.readVertex(x, y, z, v[0]);
    return out;
}

void expectSame(const Outcome& single, const Outcome& runs)
{
    EXPECT_EQ(runs.texCoordsRead, single.texCoordsRead);
    EXPECT_EQ(runs.trianglesRead, single.trianglesRead);
    EXPECT_EQ(runs.verticesRead, single.verticesRead);
    EXPECT_TRUE(same(runs.texCoords, single.texCoords));
    EXPECT_TRUE(same(runs.triangles, single.triangles));
    EXPECT_TRUE(same(runs.vertices, single.vertices));
    EXPECT_EQ(runs.tellAfterTexCoords, single.tellAfterTexCoords);
    EXPECT_EQ(runs.tellAfterTriangles, single.tellAfterTriangles);
    EXPECT_EQ(runs.tellAfterVertices, single.tellAfterVertices);
    EXPECT_EQ(runs.normalStored, single.normalStored);
    EXPECT_EQ(std::memcmp(runs.normal, single.normal, sizeof runs.normal), 0);
    EXPECT_EQ(runs.nextTexCoord, single.nextTexCoord);
    EXPECT_EQ(runs.nextTriangle, single.nextTriangle);
    EXPECT_EQ(runs.nextVertex, single.nextVertex);
}

struct RecordSizes {
    std::uint16_t texCoord;
    std::uint16_t triangle;
    std::uint16_t vertex;
};

// One mesh group with distinct values in every field. `badTriangle` (when
// not negative) names a vertex outside the group.
Mdl7Builder groupModel(const RecordSizes& sizes, int badTriangle)
{
    Mdl7Builder b;
    b.setRecordSize(mdl7::header::kTexCoordRecordSize, sizes.texCoord);
    b.setRecordSize(mdl7::header::kTriangleRecordSize, sizes.triangle);
    b.setRecordSize(mdl7::header::kVertexRecordSize, sizes.vertex);
    b.group(
        {.name = "g", .texCoordCount = kTexCoords, .triangleCount = kTriangles, .vertexCount = kVertices});
    for (int i = 0; i < kTexCoords; ++i)
        b.texCoord(0.25f * float(i), -1.5f * float(i));
    for (int i = 0; i < kTriangles; ++i) {
        Mdl7Builder::Triangle t;
        t.vertex = {std::uint16_t(i % kVertices), std::uint16_t((i + 1) % kVertices),
                    std::uint16_t(i == badTriangle ? kVertices + 7 : (i + 2) % kVertices)};
        t.texCoord = {std::uint16_t(i), 0xFFFF, std::uint16_t(i + 2)};
        t.skinIndex = 10 + i;
        b.triangle(t);
    }
    for (int i = 0; i < kVertices; ++i) {
        Mdl7Builder::Vertex v;
        v.x = float(i) + 0.5f;
        v.y = -float(i);
        v.z = 3.0f * float(i);
        v.index = i == 1 ? 0xFFFF : std::uint16_t(i);
        v.nx = 0.125f * float(i);
        v.ny = 1.0f;
        v.nz = -0.5f;
        // The last one lies outside the normal table: the normal is left as it was.
        v.normalIndex = i == kVertices - 1 ? 4000 : std::uint16_t(20 * i);
        b.vertex(v);
    }
    return b;
}

class Mdl7ReaderRunsTest : public testing::TestWithParam<RecordSizes> {
  protected:
    test::TempDir dir_;

    void compareOn(const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = dir_.path("group.mdl");
        std::remove(path.c_str());
        ASSERT_TRUE(Mdl7Builder::writeFile(path, bytes));
        expectSame(readGroup(path, false), readGroup(path, true));
    }
};

TEST_P(Mdl7ReaderRunsTest, MatchSingleReadsOnEveryTruncation)
{
    const std::vector<std::uint8_t> model = groupModel(GetParam(), -1).bytes();
    const std::size_t records = mdl7::kFileHeaderSize + mdl7::kGroupHeaderSize;
    for (std::size_t length = records; length <= model.size(); ++length) {
        SCOPED_TRACE(length);
        compareOn({model.begin(), model.begin() + std::ptrdiff_t(length)});
        if (HasFailure()) break;
    }
}

TEST_P(Mdl7ReaderRunsTest, StopAtTheRefusedTriangleAsSingleReadsDo)
{
    for (int bad : {0, 3, kTriangles - 1}) {
        SCOPED_TRACE(bad);
        compareOn(groupModel(GetParam(), bad).bytes());
    }
}

INSTANTIATE_TEST_SUITE_P(RecordSizes, Mdl7ReaderRunsTest,
                         testing::Values(RecordSizes{8, 26, 26},   // what the writer writes
                                         RecordSizes{12, 12, 14},  // the shortest readable records
                                         RecordSizes{8, 16, 16},   // skin index, normal by table index
                                         RecordSizes{20, 40, 36},  // longer than any field needs
                                         RecordSizes{7, 11, 13})); // too short: nothing is read

TEST(Mdl7ReaderRuns, RefuseWithoutMovingWhenThereIsNoGroupOrCount)
{
    test::TempDir dir;
    Mdl7Builder b;
    b.group({.name = "empty"});
    const std::string path = b.writeTo(dir.path("empty.mdl"));

    Mdl7Reader reader;
    std::vector<TexCoordRecord> texCoords(2);
    std::vector<TriangleRecord> triangles(2);
    std::vector<VertexRecord> vertices(2);
    // Closed.
    EXPECT_EQ(reader.readTexCoords(texCoords), 0u);
    ASSERT_GE(reader.open(path.c_str()), 0);
    // No current group yet.
    const std::int32_t start = reader.tell();
    EXPECT_EQ(reader.readTriangles(triangles), 0u);
    EXPECT_EQ(reader.tell(), start);
    // A group whose counts are 0.
    std::uint8_t type = 0;
    std::int32_t size = 0;
    ASSERT_TRUE(reader.readGroupHeader(type, size, nullptr));
    const std::int32_t afterHeader = reader.tell();
    EXPECT_EQ(reader.readTexCoords(texCoords), 0u);
    EXPECT_EQ(reader.readTriangles(triangles), 0u);
    EXPECT_EQ(reader.readVertices(vertices), 0u);
    EXPECT_EQ(reader.tell(), afterHeader);
    // An empty run takes nothing.
    EXPECT_EQ(reader.readVertices({}), 0u);
    EXPECT_EQ(reader.tell(), afterHeader);
}

} // namespace
} // namespace kelvane
