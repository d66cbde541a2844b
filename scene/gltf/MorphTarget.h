// MorphTarget: one frame as a morph target of a mesh's output vertices.
//
// A target holds the frame's POSITION and NORMAL differences from the base
// pose. MDL7 frames name the vertices they move, so their targets are sparse:
// the output vertices made from the named vertices, ascending, with a value
// each; every other vertex keeps a zero difference. A vertex named twice
// counts once, with its last record (as if the records were applied in
// order). Frames of packed vertices (the older formats) list every vertex and
// give a dense target, one value per output vertex.
//
// Normal differences are the normalised frame normal minus the normalised
// base normal; a frame vertex without a usable normal (none stored, zero
// length or not finite) has a zero normal difference. A frame vertex that
// names a vertex outside the mesh is ignored; one with a non-finite position
// (or whose difference overflows) gets a zero position difference. Both are
// counted.
#pragma once

#include "scene/gltf/MeshGeometry.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kelvane::scene::gltf {

struct MorphTarget {
    bool dense = false;
    // Sparse only: the output vertices with a value, ascending.
    std::vector<std::uint32_t> indices;
    // One value per index (sparse) or per output vertex (dense). `normal` is
    // empty when the mesh has no NORMAL attribute.
    std::vector<Vec3> position;
    std::vector<Vec3> normal;
    // Bounds of the position differences over all output vertices, the
    // vertices without a value (zero) included.
    Vec3 min, max;
    std::int64_t verticesOutside = 0;
    std::int64_t valuesNonFinite = 0;

    // The number of values stored (sparse: indices.size()).
    [[nodiscard]] std::size_t valueCount() const { return position.size(); }
};

class MorphTargetBuilder {
  public:
    explicit MorphTargetBuilder(const MeshGeometry& geometry);

    // Fills `target` (its vectors are reused) from `frame`.
    void build(const Frame& frame, MorphTarget& target);

  private:
    void buildSparse(const Frame& frame, MorphTarget& target);
    void buildDense(const Frame& frame, MorphTarget& target);
    void finishBounds(MorphTarget& target) const;

    const MeshGeometry& geometry_;
    // The base pose per source vertex, which every frame is measured
    // against: unpacked and normalised once, not once per frame.
    std::vector<Vec3> basePosition_;
    std::vector<Vec3> baseNormal_;
    // Sparse frames: per source vertex, the frame record that moves it
    // (-1: none), and the vertices listed, in the order first listed.
    std::vector<std::int32_t> recordOf_;
    std::vector<std::int32_t> listed_;
    // Sparse frames: a difference per listed vertex, and (output vertex,
    // difference) pairs to sort into output order. Kept from frame to frame.
    std::vector<Vec3> positionOf_;
    std::vector<Vec3> normalOf_;
    std::vector<std::pair<std::uint32_t, std::size_t>> entries_;
};

} // namespace kelvane::scene::gltf
