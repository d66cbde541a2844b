// benchmodels FOLDER: writes FOLDER/wide.mdl and FOLDER/framed.mdl, the
// models that run-split-bench.py times the split on (see BenchModels.h).
#include "bench/generate/BenchModels.h"

#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char** argv)
{
    using namespace kelvane::bench;
    if (argc != 2) {
        std::fprintf(stderr, "usage: benchmodels FOLDER\n"
                             "writes FOLDER/wide.mdl and FOLDER/framed.mdl (the folder must exist)\n");
        return 1;
    }
    const std::string folder = argv[1];
    for (const auto& [name, write] :
         {std::pair{"wide.mdl", &writeWideModel}, std::pair{"framed.mdl", &writeFramedModel}}) {
        const std::string path = folder + "/" + name;
        if (!write(path)) {
            std::fprintf(stderr, "benchmodels: %s could not be written\n", path.c_str());
            return 2;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
