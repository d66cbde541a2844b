// Cost of walking every record of the wide benchmark model (BenchModels.h)
// with Mdl7Reader, the way the split reads its input: every skin image, texture
// coordinate, triangle and vertex with its normal, group by group.
//
// BM_ReaderOpen takes the file in and lets go of it; BM_ReaderWalk opens,
// walks one record per call and closes, so the difference is the walk;
// BM_ReaderWalkRuns reads each group's texture coordinates, triangles and
// vertices as runs instead, as the split does. The model goes to a private
// folder under /tmp (or $TMPDIR), removed at exit.
#include "bench/generate/BenchModels.h"
#include "mdl/Mdl7Reader.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace kelvane;

const bench::WideModelFile& wideModel()
{
    static const bench::WideModelFile instance("kelvane-reader-bench");
    return instance;
}

// Folds a field into the sink. An integer XOR rather than a float sum: a chain
// of dependent float additions would cost more than the reads it keeps.
void fold(std::uint32_t& sink, float value) { sink ^= std::bit_cast<std::uint32_t>(value); }
void fold(std::uint32_t& sink, std::int32_t value) { sink ^= static_cast<std::uint32_t>(value); }

void fold(std::uint32_t& sink, const TexCoordRecord& c)
{
    fold(sink, c.s);
    fold(sink, c.t);
}
void fold(std::uint32_t& sink, const TriangleRecord& t)
{
    fold(sink, t.vertexIndex[0] ^ t.vertexIndex[1] ^ t.vertexIndex[2] ^ t.texCoordIndex[0] ^
                   t.texCoordIndex[1] ^ t.texCoordIndex[2] ^ t.skinIndex);
}
void fold(std::uint32_t& sink, const VertexRecord& v)
{
    fold(sink, v.x);
    fold(sink, v.y);
    fold(sink, v.z);
    fold(sink, v.boneIndex);
    fold(sink, v.nx);
    fold(sink, v.ny);
    fold(sink, v.nz);
}

// How a group's records are read: one call per record, or one run per kind.
enum class Calls { kPerRecord, kRuns };

// Reads `count` records of one kind as a run into `records` (kept from
// group to group, as the split keeps its arrays) and folds them.
template <typename Record>
bool readRun(std::size_t (Mdl7Reader::*read)(std::span<Record>), Mdl7Reader& reader, std::int32_t count,
             std::vector<Record>& records, std::uint32_t& sink)
{
    records.assign(static_cast<std::size_t>(count), Record{});
    if ((reader.*read)(records) != records.size()) return false;
    for (const Record& record : records)
        fold(sink, record);
    return true;
}

// Reads every record; returns the number of records taken, or -1 when a
// read failed. The fields go into `sink` so none of the reads is dropped.
std::int64_t walk(Mdl7Reader& reader, std::uint32_t& sink, Calls calls)
{
    std::vector<TexCoordRecord> texCoords;
    std::vector<TriangleRecord> triangles;
    std::vector<VertexRecord> vertices;
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondTrailerSize = 0;
    if (!reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondTrailerSize)) return -1;
    if (boneCount != 0 && !reader.skipBones()) return -1;
    std::int64_t records = 0;
    for (std::int32_t g = 0; g < groupCount; ++g) {
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        char name[16];
        if (!reader.readGroupHeader(type, groupDataSize, name)) return -1;
        if (type != 1) {
            if (!reader.skipGroup()) return -1;
            continue;
        }
        std::int32_t skinCount = 0, texCoordCount = 0, triangleCount = 0, vertexCount = 0, frameCount = 0;
        reader.readGroupCounts(skinCount, texCoordCount, triangleCount, vertexCount, frameCount);
        for (std::int32_t k = 0; k < skinCount; ++k) {
            std::uint8_t skinType = 0;
            std::int32_t width = 0, height = 0, bytesPerPixel = 0;
            bool hasMipmaps = false;
            const std::uint8_t* images[4] = {};
            if (!reader.readSkinHeader(skinType, name) ||
                !reader.readSkinFormat(width, height, bytesPerPixel, hasMipmaps) ||
                !reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3])) {
                return -1;
            }
            fold(sink, std::int32_t(images[0][0]));
            ++records;
        }
        if (calls == Calls::kRuns) {
            if (!readRun(&Mdl7Reader::readTexCoords, reader, texCoordCount, texCoords, sink) ||
                !readRun(&Mdl7Reader::readTriangles, reader, triangleCount, triangles, sink) ||
                !readRun(&Mdl7Reader::readVertices, reader, vertexCount, vertices, sink)) {
                return -1;
            }
        } else {
            for (std::int32_t k = 0; k < texCoordCount; ++k) {
                float s = 0, t = 0;
                if (!reader.readTexCoord(s, t)) return -1;
                fold(sink, s);
                fold(sink, t);
            }
            for (std::int32_t k = 0; k < triangleCount; ++k) {
                std::int32_t v[3], c[3], skin = 0;
                if (!reader.readTriangle(v[0], v[1], v[2], c[0], c[1], c[2], skin)) return -1;
                fold(sink, v[0] ^ v[1] ^ v[2] ^ c[0] ^ c[1] ^ c[2] ^ skin);
            }
            for (std::int32_t k = 0; k < vertexCount; ++k) {
                float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0;
                std::int32_t bone = 0;
                if (!reader.readVertex(x, y, z, bone)) return -1;
                (void)reader.readVertexNormal(nx, ny, nz);
                fold(sink, x);
                fold(sink, y);
                fold(sink, z);
                fold(sink, bone);
                fold(sink, nx);
                fold(sink, ny);
                fold(sink, nz);
            }
        }
        if (!reader.skipFrames()) return -1;
        records += 1 + std::int64_t(texCoordCount) + triangleCount + vertexCount;
    }
    return records;
}

void BM_ReaderOpen(benchmark::State& state)
{
    const bench::WideModelFile& model = wideModel();
    for (auto _ : state) {
        Mdl7Reader reader;
        if (reader.open(model.path.c_str()) < 0) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(reader.data());
        reader.close();
    }
}
BENCHMARK(BM_ReaderOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

void walkBench(benchmark::State& state, Calls calls)
{
    const bench::WideModelFile& model = wideModel();
    std::int64_t records = 0;
    std::uint32_t sink = 0;
    for (auto _ : state) {
        Mdl7Reader reader;
        if (reader.open(model.path.c_str()) < 0) {
            state.SkipWithError("open failed");
            break;
        }
        const std::int64_t taken = walk(reader, sink, calls);
        if (taken < 0) {
            state.SkipWithError("a read failed");
            break;
        }
        records += taken;
        reader.close();
    }
    benchmark::DoNotOptimize(sink);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * model.size);
    state.SetItemsProcessed(records);
}

void BM_ReaderWalk(benchmark::State& state) { walkBench(state, Calls::kPerRecord); }
BENCHMARK(BM_ReaderWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReaderWalkRuns(benchmark::State& state) { walkBench(state, Calls::kRuns); }
BENCHMARK(BM_ReaderWalkRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
