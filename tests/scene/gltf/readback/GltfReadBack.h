// GltfReadBack: reads an export back with tinygltf, a glTF reader that has
// nothing to do with the exporter, and unpacks accessors (dense, sparse or
// all-zero) into plain values for comparison with the model.
#pragma once

#include <tiny_gltf.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvane::test {

// Parses a .glb held in memory, or a .gltf file (its .bin beside it).
// Failures and the reader's warnings are reported as test failures.
[[nodiscard]] bool readGlb(const std::string& bytes, tinygltf::Model& model);
[[nodiscard]] bool readGltfFile(const std::string& path, tinygltf::Model& model);

using Floats = std::vector<float>;

// Every element of a float accessor, components in a row (count x 1, 2 or 3),
// sparse substitutions applied.
Floats readFloats(const tinygltf::Model& model, int accessor);
// An index or sparse-index accessor as 32-bit values.
std::vector<std::uint32_t> readIndices(const tinygltf::Model& model, int accessor);

// One triangle corner as a primitive draws it.
struct Corner {
    std::array<float, 3> position{};
    std::array<float, 3> normal{};
    std::array<float, 2> texCoord{};
    std::uint32_t vertex = 0;
};

struct DrawnPrimitive {
    int material = -1;
    int indexType = 0; // the index accessor's componentType
    std::vector<Corner> corners;
};

// The corners of every primitive of mesh `mesh`, in index order.
std::vector<DrawnPrimitive> drawnPrimitives(const tinygltf::Model& model, int mesh);

// The node whose mesh is `name`, or -1.
int meshNamed(const tinygltf::Model& model, const std::string& name);

} // namespace kelvane::test
