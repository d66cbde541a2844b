// The run writes (writeTexCoords, writeTriangles, writeVertices) against the
// single-record writes they stand for: the same bytes on disk, in a file
// larger than the write buffer, when the disk fills, and the same refusals.
#include "mdl/Mdl7Writer.h"

#include "WriteTestSupport.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kelvane {
namespace {

using test::readFileBytes;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct Mesh {
    std::vector<TexCoordRecord> texCoords;
    std::vector<TriangleRecord> triangles;
    std::vector<VertexRecord> vertices;
};

// Together more than the write buffer holds, so runs meet a full buffer in
// the middle and start again in a new one.
Mesh bigMesh()
{
    Mesh m;
    const int texCoords = 90000, triangles = 110000, vertices = 70000;
    for (int i = 0; i < texCoords; ++i)
        m.texCoords.push_back({float(i) * 0.5f, -float(i)});
    for (int i = 0; i < triangles; ++i) {
        m.triangles.push_back({{i % vertices, (i + 1) % vertices, 70000 + i},
                               {i % texCoords, -1, 0x12345 + i},
                               i % 3 == 0 ? -1 : i});
    }
    for (int i = 0; i < vertices; ++i) {
        m.vertices.push_back({float(i), 1.5f, -float(i), 0, 0.25f, 1, i % 5 == 0 ? -1 : i});
    }
    return m;
}

bool writeOne(Mdl7Writer& writer, const TexCoordRecord& c) { return writer.writeTexCoord(c.s, c.t); }
bool writeOne(Mdl7Writer& writer, const TriangleRecord& t)
{
    return writer.writeTriangle(t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2], t.texCoordIndex[0],
                                t.texCoordIndex[1], t.texCoordIndex[2], t.skinIndex);
}
bool writeOne(Mdl7Writer& writer, const VertexRecord& v)
{
    return writer.writeVertex(v.x, v.y, v.z, v.boneIndex, v.nx, v.ny, v.nz);
}
bool writeRun(Mdl7Writer& writer, std::span<const TexCoordRecord> run) { return writer.writeTexCoords(run); }
bool writeRun(Mdl7Writer& writer, std::span<const TriangleRecord> run) { return writer.writeTriangles(run); }
bool writeRun(Mdl7Writer& writer, std::span<const VertexRecord> run) { return writer.writeVertices(run); }

// The first record alone, so that the run starts in a buffer that already
// holds bytes; then the rest record by record or as one run.
template <typename Record> bool writeKind(Mdl7Writer& writer, const std::vector<Record>& records, bool runs)
{
    bool ok = writeOne(writer, records[0]);
    const auto rest = std::span(records).subspan(1);
    if (runs) return writeRun(writer, rest) && ok;
    for (const Record& record : rest)
        ok &= writeOne(writer, record);
    return ok;
}

// Writes the mesh after a skin, each kind record by record or as runs.
// Returns the result of close (false when anything fell short) and whether
// every write reported success.
std::pair<bool, bool> writeMesh(const std::string& path, const Mesh& m, bool runs)
{
    Mdl7Writer writer;
    if (writer.open(path.c_str()) < 0) return {false, false};
    bool ok = writer.beginGroup(1, "mesh");
    const Bytes pixels(64 * 64 * 3, 0x3C);
    ok &= writer.beginSkin(5, "skin");
    writer.setSkinImage(64, 64, 3, false);
    ok &= writer.writeSkinPixels(pixels.data(), nullptr, nullptr, nullptr);
    writer.finishSkin();
    ok &= writeKind(writer, m.texCoords, runs);
    ok &= writeKind(writer, m.triangles, runs);
    ok &= writeKind(writer, m.vertices, runs);
    writer.finishGroup();
    return {writer.close(), ok};
}

TEST(Mdl7WriterRuns, WriteTheBytesOfSingleRecords)
{
    TempDir dir;
    const Mesh mesh = bigMesh();
    ASSERT_EQ(writeMesh(dir.path("single.mdl"), mesh, false), std::make_pair(true, true));
    ASSERT_EQ(writeMesh(dir.path("runs.mdl"), mesh, true), std::make_pair(true, true));
    const Bytes single = readFileBytes(dir.path("single.mdl"));
    ASSERT_GT(single.size(), std::size_t(BufferedFile::kDefaultCapacity));
    EXPECT_EQ(readFileBytes(dir.path("runs.mdl")), single);
}

TEST(Mdl7WriterRuns, FallShortOnAFullDiskAsSingleRecordsDo)
{
    if (!test::kHasFileSizeLimit) GTEST_SKIP() << "needs a file size limit";
    TempDir dir;
    const Mesh mesh = bigMesh();
    // One limit inside the first buffer's flush, one inside the second.
    for (const std::uint64_t limit : {1000000u, 4500000u}) {
        SCOPED_TRACE(limit);
        for (const bool runs : {false, true}) {
            const std::string path = dir.path(runs ? "runs.mdl" : "single.mdl");
            // Exit code: bit 0 set when close reported success, bit 1 when
            // every write did.
            const int code = test::runWithFileSizeLimit(limit, [&] {
                const auto [closed, written] = writeMesh(path, mesh, runs);
                return (closed ? 1 : 0) | (written ? 2 : 0);
            });
            EXPECT_EQ(code & 1, 0) << "close must report the short write";
        }
        EXPECT_EQ(readFileBytes(dir.path("runs.mdl")), readFileBytes(dir.path("single.mdl")));
    }
}

TEST(Mdl7WriterRuns, RefuseAsSingleRecordsDo)
{
    TempDir dir;
    const std::vector<TexCoordRecord> texCoords(3);
    const std::vector<TriangleRecord> triangles(3);
    const std::vector<VertexRecord> vertices(3);

    Mdl7Writer closed;
    EXPECT_FALSE(closed.writeTexCoords(texCoords));
    EXPECT_FALSE(closed.writeTriangles({}));

    // A file with one record of each kind and a frame, with every refused
    // run in between, equals the file without them; empty runs write nothing.
    const auto build = [&](const char* name, bool withRefusals) {
        Mdl7Writer writer;
        EXPECT_GE(writer.open(dir.path(name).c_str()), 0);
        EXPECT_TRUE(writer.beginGroup(1, "g"));
        EXPECT_TRUE(writer.writeTexCoords(std::span(texCoords).first(1)));
        if (withRefusals) {
            EXPECT_TRUE(writer.writeTexCoords({}));
        }
        EXPECT_TRUE(writer.writeTriangles(std::span(triangles).first(1)));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeTexCoords(texCoords));
        }
        EXPECT_TRUE(writer.writeVertices(std::span(vertices).first(1)));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeTriangles(triangles));
        }
        EXPECT_TRUE(writer.beginFrame("f"));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeVertices(vertices));
        }
        EXPECT_TRUE(writer.finishFrame());
        EXPECT_TRUE(writer.finishGroup());
        EXPECT_TRUE(writer.close());
        return readFileBytes(dir.path(name));
    };
    EXPECT_EQ(build("refused.mdl", true), build("plain.mdl", false));
}

} // namespace
} // namespace kelvane
