// Cost of loading the wide benchmark model (BenchModels.h) into the
// in-memory Model, as an export does: BM_LoadModel opens the file, walks
// every record into the model, lets go of the file and then of the model.
// The model goes to a private folder under /tmp (or $TMPDIR), removed at
// exit.
#include "bench/generate/BenchModels.h"
#include "scene/LoadModel.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace kelvane;

void BM_LoadModel(benchmark::State& state)
{
    static const bench::WideModelFile model("kelvane-load-bench");
    std::int64_t triangles = 0;
    for (auto _ : state) {
        const scene::LoadResult loaded = scene::loadModel(model.path.c_str(), scene::LoadMode::kForExport);
        if (!loaded.complete()) {
            state.SkipWithError("the model did not load whole");
            break;
        }
        for (const scene::Group& group : *loaded.model.groups)
            triangles += std::int64_t(group.mesh->triangles.size());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * model.size);
    state.SetItemsProcessed(triangles);
}
BENCHMARK(BM_LoadModel)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
