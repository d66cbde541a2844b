// Cost of writing a large mesh group record by record through Mdl7Writer,
// against writing the same bytes from one memory block in one call.
//
// The group: 65,535 vertices, 100,000 triangles, 65,535 texture coordinates
// and one 256 x 256 skin of four bytes per pixel with its three mipmaps,
// about 5.5 MB in some 231,000 records. Files go to a private folder under
// /tmp (or $TMPDIR), removed at exit.
#include "bench/generate/BenchModels.h"
#include "mdl/Mdl7Writer.h"
#include "mdl/PlatformFile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace kelvane;

constexpr int kVertexCount = 65535;
constexpr int kTriangleCount = 100000;
constexpr int kTexCoordCount = 65535;
constexpr int kSkinSide = 256;
constexpr int kSkinBytesPerPixel = 4;

// How the records reach the writer: one call per record, or the whole run of
// each kind in one call.
enum class Calls { kPerRecord, kRuns };

struct Scene {
    std::vector<VertexRecord> vertices;
    std::vector<TexCoordRecord> texCoords;
    std::vector<TriangleRecord> triangles;
    std::vector<std::uint8_t> skin; // main image followed by the three mipmaps
    bench::ScratchFolder folder{"kelvane-bench"};
    std::string writerPath;
    std::string blockPath;
    std::vector<std::uint8_t> fileBytes; // what the writer produces

    Scene()
    {
        vertices.resize(kVertexCount);
        for (int i = 0; i < kVertexCount; ++i) {
            VertexRecord& v = vertices[std::size_t(i)];
            v.x = float(i % 256);
            v.y = float(i / 256);
            v.z = float(i) * 0.001f;
            v.nz = 1;
            v.boneIndex = -1;
        }
        texCoords.resize(kTexCoordCount);
        for (int i = 0; i < kTexCoordCount; ++i) {
            texCoords[std::size_t(i)].s = float(i % 256) / 256;
            texCoords[std::size_t(i)].t = float(i / 256) / 256;
        }
        triangles.resize(kTriangleCount);
        for (int i = 0; i < kTriangleCount; ++i) {
            TriangleRecord& t = triangles[std::size_t(i)];
            for (int k = 0; k < 3; ++k) {
                t.vertexIndex[k] = (i + k) % kVertexCount;
                t.texCoordIndex[k] = (i + k) % kTexCoordCount;
            }
        }
        std::size_t skinBytes = 0;
        for (int side = kSkinSide, level = 0; level < 4; side /= 2, ++level) {
            skinBytes += std::size_t(side) * side * kSkinBytesPerPixel;
        }
        skin.resize(skinBytes);
        for (std::size_t i = 0; i < skin.size(); ++i)
            skin[i] = static_cast<std::uint8_t>(i * 31);

        writerPath = folder.path() + "/writer.mdl";
        blockPath = folder.path() + "/block.mdl";

        if (!writeGroup(writerPath, Calls::kPerRecord)) {
            std::fprintf(stderr, "writing %s failed\n", writerPath.c_str());
            std::exit(1);
        }
        std::ifstream in(writerPath, std::ios::binary);
        fileBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!writeGroup(blockPath, Calls::kRuns) || readFile(blockPath) != fileBytes) {
            std::fprintf(stderr, "writing %s in runs did not give the same file\n", blockPath.c_str());
            std::exit(1);
        }
    }

    static std::vector<std::uint8_t> readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    bool writeGroup(const std::string& path, Calls calls) const
    {
        Mdl7Writer writer;
        if (writer.open(path.c_str()) < 0) return false;
        bool ok = writer.beginGroup(1, "bench");
        ok &= writer.beginSkin(5 | 0x08, "skin");
        writer.setSkinImage(kSkinSide, kSkinSide, kSkinBytesPerPixel, true);
        const std::size_t main = std::size_t(kSkinSide) * kSkinSide * kSkinBytesPerPixel;
        ok &= writer.writeSkinPixels(skin.data(), skin.data() + main, skin.data() + main + main / 4,
                                     skin.data() + main + main / 4 + main / 16);
        writer.finishSkin();
        if (calls == Calls::kRuns) {
            ok &= writer.writeTexCoords(texCoords);
            ok &= writer.writeTriangles(triangles);
            ok &= writer.writeVertices(vertices);
        } else {
            for (const TexCoordRecord& c : texCoords)
                ok &= writer.writeTexCoord(c.s, c.t);
            for (const TriangleRecord& t : triangles) {
                ok &= writer.writeTriangle(t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2],
                                           t.texCoordIndex[0], t.texCoordIndex[1], t.texCoordIndex[2],
                                           t.skinIndex);
            }
            for (const VertexRecord& v : vertices) {
                ok &= writer.writeVertex(v.x, v.y, v.z, v.boneIndex, v.nx, v.ny, v.nz);
            }
        }
        writer.finishGroup();
        return writer.close() && ok;
    }
};

const Scene& scene()
{
    static const Scene instance;
    return instance;
}

// Each timed iteration creates a new file. Rewriting the previous one would
// time the file system's handling of the old blocks (truncation waits for
// their write-back), which says nothing about either way of writing.
void removeUntimed(benchmark::State& state, const std::string& path)
{
    state.PauseTiming();
    ::unlink(path.c_str());
    state.ResumeTiming();
}

void writerBench(benchmark::State& state, Calls calls)
{
    const Scene& s = scene();
    for (auto _ : state) {
        removeUntimed(state, s.writerPath);
        if (!s.writeGroup(s.writerPath, calls)) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(s.fileBytes.size()));
}

void BM_WriterRecordByRecord(benchmark::State& state) { writerBench(state, Calls::kPerRecord); }
BENCHMARK(BM_WriterRecordByRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriterRuns(benchmark::State& state) { writerBench(state, Calls::kRuns); }
BENCHMARK(BM_WriterRuns)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneCallFromMemory(benchmark::State& state)
{
    const Scene& s = scene();
    const auto size = std::int64_t(s.fileBytes.size());
    for (auto _ : state) {
        removeUntimed(state, s.blockPath);
        const int descriptor = platform::openWrite(s.blockPath.c_str());
        if (descriptor < 0 || platform::writeAll(descriptor, s.fileBytes.data(), size) != size) {
            state.SkipWithError("write failed");
        }
        if (descriptor >= 0) platform::close(descriptor);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * size);
}
BENCHMARK(BM_OneCallFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

// The writer and the one-call write in turn within every iteration, so that
// a busy machine slows them alike; reports the mean of each and their ratio
// (the figure to keep within 1.5). The iteration time is the writer's.
void writerAgainstOneCall(benchmark::State& state, Calls calls)
{
    using Clock = std::chrono::steady_clock;
    const Scene& s = scene();
    const auto size = std::int64_t(s.fileBytes.size());
    double writerSeconds = 0;
    double oneCallSeconds = 0;
    for (auto _ : state) {
        ::unlink(s.writerPath.c_str());
        ::unlink(s.blockPath.c_str());
        const auto start = Clock::now();
        const bool written = s.writeGroup(s.writerPath, calls);
        const auto middle = Clock::now();
        const int descriptor = platform::openWrite(s.blockPath.c_str());
        const bool blockWritten =
            descriptor >= 0 && platform::writeAll(descriptor, s.fileBytes.data(), size) == size;
        if (descriptor >= 0) platform::close(descriptor);
        const auto end = Clock::now();
        if (!written || !blockWritten) state.SkipWithError("write failed");
        const double writer = std::chrono::duration<double>(middle - start).count();
        writerSeconds += writer;
        oneCallSeconds += std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(writer);
    }
    const double n = double(state.iterations());
    state.counters["writer_ms"] = 1e3 * writerSeconds / n;
    state.counters["one_call_ms"] = 1e3 * oneCallSeconds / n;
    state.counters["ratio"] = oneCallSeconds > 0 ? writerSeconds / oneCallSeconds : 0;
}

void BM_WriterAgainstOneCall(benchmark::State& state) { writerAgainstOneCall(state, Calls::kPerRecord); }
BENCHMARK(BM_WriterAgainstOneCall)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_WriterRunsAgainstOneCall(benchmark::State& state) { writerAgainstOneCall(state, Calls::kRuns); }
BENCHMARK(BM_WriterRunsAgainstOneCall)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
