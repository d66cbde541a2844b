// The tool's options, set once from the command line and read by the split
// and the skin table.
#pragma once

#include <cstdint>

namespace kelvane {

struct Options {
    // Flags are 1 when their option was given, 0 otherwise.
    std::int32_t offsetMesh = 0;       // --offsetmesh
    std::int32_t normalMaps = 0;       // --nm
    std::int32_t allSkins = 0;         // --all
    std::int32_t disableMat = 0;       // --disableMat
    std::int32_t writeWmp = 0;         // --wmp
    std::int32_t externalTextures = 0; // --ext
    // Extension (without the dot) of external texture names: at most three
    // characters and the terminating zero.
    char textureExt[4] = {'b', 'm', 'p', '\0'};
};

} // namespace kelvane
