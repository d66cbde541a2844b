// Cost of NormalTable::nearestNormalIndex, which compares a vector with every
// entry of the table: over unit vectors spread around the sphere, and over
// vectors of other lengths (the search does not normalise).
#include "mdl/NormalTable.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using kelvane::NormalTable;

// Points of a spiral around the unit sphere, scaled by `length`: evenly
// spread, so every table entry wins for some of them.
std::vector<float> sphereVectors(std::size_t count, float length)
{
    std::vector<float> v(count * 3);
    const double golden = 2.399963229728653; // pi x (3 - sqrt 5)
    for (std::size_t i = 0; i < count; ++i) {
        const double z = 1.0 - 2.0 * (double(i) + 0.5) / double(count);
        const double r = std::sqrt(1.0 - z * z);
        const double a = golden * double(i);
        v[i * 3] = float(r * std::cos(a)) * length;
        v[i * 3 + 1] = float(r * std::sin(a)) * length;
        v[i * 3 + 2] = float(z) * length;
    }
    return v;
}

void runScan(benchmark::State& state, float length)
{
    const std::vector<float> vectors = sphereVectors(4096, length);
    const std::size_t count = vectors.size() / 3;
    std::int64_t sum = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < count; ++i) {
            sum += NormalTable::nearestNormalIndex(vectors[i * 3], vectors[i * 3 + 1], vectors[i * 3 + 2]);
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(count));
}

void BM_NearestNormalIndexUnit(benchmark::State& state) { runScan(state, 1.0f); }
BENCHMARK(BM_NearestNormalIndexUnit);

void BM_NearestNormalIndexScaled(benchmark::State& state) { runScan(state, 37.5f); }
BENCHMARK(BM_NearestNormalIndexScaled);

} // namespace
