// MeshGeometry: one mesh's drawable geometry in the shape glTF wants it.
//
// glTF gives every vertex exactly one position, normal and texture
// coordinate, while the model formats index positions and texture
// coordinates separately. MeshGeometry keeps the triangles that can be drawn
// and "un-welds" them: each distinct (vertex, final texture coordinate) pair
// the kept triangles use becomes one output vertex, numbered in first-use
// order. The export builds it twice per mesh, once to plan the asset and once
// to write it, so that only one mesh's working data is ever held.
//
// Everything here works from the model's fields, never its format: the base
// pose is the mesh's vertices, or for the older formats (no vertices, frames
// of packed vertices) the first frame, unpacked.
#pragma once

#include "scene/Model.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kelvane::scene::gltf {

// Normalises a normal; a zero-length or non-finite one gives false and
// leaves `out` untouched.
[[nodiscard]] bool normalise(const Vec3& normal, Vec3& out);

// Unpacks an older format's frame vertex: position * scale + translate with
// the frame's own unpacking, else the mesh's.
[[nodiscard]] Vec3 unpackPosition(const Mesh& mesh, const Frame& frame, const PackedVertex& vertex);

// A packed vertex's normal from the normal table; false for an index outside it.
[[nodiscard]] bool packedNormal(const PackedVertex& vertex, Vec3& out);

[[nodiscard]] bool isFinite(const Vec3& v);

struct PrimitiveGeometry {
    std::int32_t skin = -1; // -1: the default material
    std::int64_t triangleCount = 0;
    std::uint32_t maxIndex = 0;
};

class MeshGeometry {
  public:
    // Builds the geometry of `mesh`, which must outlive its use here. Never
    // fails: what cannot be drawn is left out and counted. One object serves
    // mesh after mesh, reusing its memory.
    void build(const Mesh& mesh);

    [[nodiscard]] const Mesh& mesh() const { return *mesh_; }
    // The base pose comes from the first frame's packed vertices.
    [[nodiscard]] bool packed() const { return packed_; }
    // Whether the output has a NORMAL attribute: packed vertices always
    // carry one; MDL7 vertices when at least one used vertex has a normal.
    [[nodiscard]] bool hasNormals() const { return hasNormals_; }

    [[nodiscard]] std::size_t vertexCount() const { return outSource_.size(); }
    [[nodiscard]] std::int32_t sourceOf(std::size_t outVertex) const { return outSource_[outVertex]; }
    [[nodiscard]] const TexCoord& texCoord(std::size_t outVertex) const
    {
        return slotValue_[outSlot_[outVertex]];
    }
    // The base pose of a source vertex (only vertices of kept triangles,
    // whose positions are finite).
    [[nodiscard]] Vec3 basePosition(std::int32_t source) const
    {
        return packed_ ? packedBasePosition(source)
                       : mesh_->vertices[static_cast<std::size_t>(source)].position;
    }
    // The normalised base normal, (0, 0, 1) where there is none to use.
    [[nodiscard]] Vec3 baseNormal(std::int32_t source) const;

    // The bounds of the output vertices' positions (zero without any).
    [[nodiscard]] const Vec3& positionMin() const { return positionMin_; }
    [[nodiscard]] const Vec3& positionMax() const { return positionMax_; }

    // Kept triangles' primitives: ascending skin index, the default last.
    [[nodiscard]] const std::vector<PrimitiveGeometry>& primitives() const { return primitives_; }
    // Calls emit(index) for the output-vertex indices of primitive p, three
    // per triangle, triangles in file order.
    template <typename Emit> void forEachIndex(std::size_t p, Emit&& emit) const
    {
        for (std::size_t k = primitiveStart_[p]; k < primitiveStart_[p + 1]; ++k) {
            const std::size_t triangle = primitiveOrder_[k];
            for (std::size_t c = 0; c < 3; ++c) {
                emit(cornerVertex_[triangle * 3 + c]);
            }
        }
    }

    [[nodiscard]] std::size_t keptTriangleCount() const { return cornerVertex_.size() / 3; }
    // Triangles left out: flagged by the loader or naming a vertex outside
    // the mesh; using a vertex whose position is not finite.
    [[nodiscard]] std::int64_t trianglesOutside() const { return trianglesOutside_; }
    [[nodiscard]] std::int64_t trianglesNonFinite() const { return trianglesNonFinite_; }

    // The output vertices made from `source`, ascending (for frames, which
    // name source vertices).
    template <typename Visit> void forEachOutput(std::int32_t source, Visit&& visit) const
    {
        buildOutputsBySource();
        const auto s = static_cast<std::size_t>(source);
        for (std::uint32_t k = outputsStart_[s]; k < outputsStart_[s + 1]; ++k) {
            visit(outputs_[k]);
        }
    }
    [[nodiscard]] std::size_t outputCount(std::int32_t source) const
    {
        buildOutputsBySource();
        const auto s = static_cast<std::size_t>(source);
        return outputsStart_[s + 1] - outputsStart_[s];
    }
    [[nodiscard]] std::size_t sourceVertexCount() const { return sourceCount_; }

  private:
    [[nodiscard]] Vec3 packedBasePosition(std::int32_t source) const;
    void unweld();
    void sortPrimitives(const std::vector<std::int32_t>& keptSkin);
    void buildSlots();
    void buildOutputsBySource() const;

    const Mesh* mesh_ = nullptr;
    bool packed_ = false;
    bool hasNormals_ = false;
    std::size_t sourceCount_ = 0;

    std::vector<std::int32_t> outSource_;
    // Texture-coordinate records as drawn ("slots"): slot i < n is record i
    // (divided, cleaned), slot n is (0, 0) for a missing index, and slot
    // n + 1 + i record i moved by half a skin (on-seam, back face).
    std::vector<TexCoord> slotValue_;
    std::vector<std::uint32_t> outSlot_;
    // Three output vertices per kept triangle, in file order.
    std::vector<std::uint32_t> cornerVertex_;
    std::vector<PrimitiveGeometry> primitives_;
    // Kept-triangle numbers grouped by primitive; primitive p owns
    // [primitiveStart_[p], primitiveStart_[p + 1]).
    std::vector<std::uint32_t> primitiveOrder_;
    std::vector<std::size_t> primitiveStart_;
    std::int64_t trianglesOutside_ = 0;
    std::int64_t trianglesNonFinite_ = 0;
    Vec3 positionMin_;
    Vec3 positionMax_;

    // Working memory of build(), kept for the next mesh.
    // A source vertex's first output vertices: the texture-coordinate slot
    // and output vertex of each (a bucket is one cache line).
    struct Bucket {
        static constexpr std::size_t kSize = 8;
        std::array<std::uint32_t, kSize> slot;
        std::array<std::uint32_t, kSize> output;
    };
    std::vector<Bucket> buckets_;
    std::vector<std::uint8_t> bucketCount_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> next_;
    std::vector<std::uint8_t> usable_;
    std::vector<std::int32_t> keptSkin_;

    // Built on first use: output vertices grouped by source vertex.
    mutable std::vector<std::uint32_t> outputsStart_;
    mutable std::vector<std::uint32_t> outputs_;
};

} // namespace kelvane::scene::gltf
