// Cost of loading the wide benchmark model (BenchModels.h) into the
// in-memory Model, as an export does: BM_LoadModel opens the file, walks
// every record into the model, lets go of the file and then of the model.
// The model goes to a private folder under /tmp (or $TMPDIR), removed at
// exit.
#include "bench/generate/BenchModels.h"
#include "scene/LoadModel.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace kelvane;

void BM_LoadModel(benchmark::State& state)
{
    static const bench::ScratchFolder folder("kelvane-load-bench");
    static const std::string path = folder.path() + "/wide.mdl";
    if (!std::filesystem::exists(path) && !bench::writeWideModel(path)) {
        std::fprintf(stderr, "writing %s failed\n", path.c_str());
        std::exit(1);
    }
    std::int64_t triangles = 0;
    for (auto _ : state) {
        const scene::LoadResult loaded = scene::loadModel(path.c_str(), scene::LoadMode::kForExport);
        if (!loaded.complete()) {
            state.SkipWithError("the model did not load whole");
            break;
        }
        for (const scene::Group& group : *loaded.model.groups)
            triangles += std::int64_t(group.mesh->triangles.size());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) *
                            std::int64_t(std::filesystem::file_size(path)));
    state.SetItemsProcessed(triangles);
}
BENCHMARK(BM_LoadModel)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
