// MeshGeometry: one mesh's drawable geometry in the shape glTF wants it.
//
// glTF gives every vertex exactly one position, normal and texture
// coordinate, while the model formats index positions and texture
// coordinates separately. MeshGeometry keeps the triangles that can be drawn
// and "un-welds" them: each distinct (vertex, final texture coordinate) pair
// the kept triangles use becomes one output vertex, numbered in first-use
// order. The export builds every mesh's geometry once, before it plans the
// asset, and keeps it until the mesh's data is written.
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
    // The working memory of build(), kept from mesh to mesh. Geometries
    // built at the same time on different threads need one each.
    class Workspace;

    // Builds the geometry of `mesh`, which must outlive its use here. Never
    // fails: what cannot be drawn is left out and counted. What is kept is
    // stored compactly (16-bit numbers where the mesh allows), so that the
    // geometries of a whole model can be held at once.
    void build(const Mesh& mesh, Workspace& workspace);

    [[nodiscard]] const Mesh& mesh() const { return *mesh_; }
    // The base pose comes from the first frame's packed vertices.
    [[nodiscard]] bool packed() const { return packed_; }
    // Whether the output has a NORMAL attribute: packed vertices always
    // carry one; MDL7 vertices when at least one used vertex has a normal.
    [[nodiscard]] bool hasNormals() const { return hasNormals_; }

    [[nodiscard]] std::size_t vertexCount() const { return outSource_.size(); }
    [[nodiscard]] std::int32_t sourceOf(std::size_t outVertex) const
    {
        return std::int32_t(outSource_[outVertex]);
    }
    // The texture coordinate of an output vertex is slotValues[slotOf(o)],
    // with the table fillSlotValues makes (once per mesh).
    [[nodiscard]] std::uint32_t slotOf(std::size_t outVertex) const { return outSlot_[outVertex]; }
    void fillSlotValues(std::vector<TexCoord>& slotValues) const;
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
    // The output-vertex indices of primitive p, three per triangle,
    // triangles in file order, are index(k) for k in
    // [firstIndex(p), firstIndex(p + 1)).
    [[nodiscard]] std::size_t firstIndex(std::size_t p) const { return 3 * primitiveStart_[p]; }
    [[nodiscard]] std::uint32_t index(std::size_t k) const { return indices_[k]; }

    [[nodiscard]] std::size_t keptTriangleCount() const { return indices_.size() / 3; }
    // Triangles left out: flagged by the loader or naming a vertex outside
    // the mesh; using a vertex whose position is not finite.
    [[nodiscard]] std::int64_t trianglesOutside() const { return trianglesOutside_; }
    [[nodiscard]] std::int64_t trianglesNonFinite() const { return trianglesNonFinite_; }

    // The output vertices made from `source`, ascending (for frames, which
    // name source vertices). The first call builds a table that later calls
    // share: not to be called on one geometry from two threads at once.
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
    // Texture-coordinate slots: one per stored coordinate, then (0, 0), then
    // where coordinates can be on the seam a moved copy of each.
    [[nodiscard]] std::size_t slotCount() const
    {
        const std::size_t n = mesh_->texCoords.size();
        return mesh_->onSeam.empty() ? n + 1 : 2 * n + 1;
    }

    // Numbers below a bound known when they are stored: 16 bits each when
    // the bound allows, else 32.
    class NumberList {
      public:
        void assign(const std::uint32_t* values, std::size_t count, std::uint64_t bound);
        [[nodiscard]] std::size_t size() const { return wide_ ? wideValues_.size() : narrowValues_.size(); }
        [[nodiscard]] std::uint32_t operator[](std::size_t i) const
        {
            return wide_ ? wideValues_[i] : narrowValues_[i];
        }

      private:
        bool wide_ = false;
        std::vector<std::uint16_t> narrowValues_;
        std::vector<std::uint32_t> wideValues_;
    };

    [[nodiscard]] Vec3 packedBasePosition(std::int32_t source) const;
    void unweld(Workspace& workspace);
    // Fills primitives_ and primitiveStart_; false when there is one
    // primitive, whose corners need no regrouping, else true with the
    // regrouped corners in the workspace.
    [[nodiscard]] bool sortPrimitives(Workspace& workspace, std::size_t kept, std::uint32_t outputCount);
    void buildOutputsBySource() const;

    const Mesh* mesh_ = nullptr;
    bool packed_ = false;
    bool hasNormals_ = false;
    std::size_t sourceCount_ = 0;

    // Per output vertex: its source vertex and its texture-coordinate slot.
    // Slot i < n is record i (divided, cleaned), slot n is (0, 0) for a
    // missing index, and slot n + 1 + i record i moved by half a skin
    // (on-seam, back face).
    NumberList outSource_;
    NumberList outSlot_;
    // Three output vertices per kept triangle, grouped by primitive
    // (primitive p owns triangles [primitiveStart_[p], primitiveStart_[p +
    // 1])), each primitive's in file order.
    NumberList indices_;
    std::vector<PrimitiveGeometry> primitives_;
    std::vector<std::size_t> primitiveStart_;
    std::int64_t trianglesOutside_ = 0;
    std::int64_t trianglesNonFinite_ = 0;
    Vec3 positionMin_;
    Vec3 positionMax_;

    // Built on first use: output vertices grouped by source vertex.
    mutable std::vector<std::uint32_t> outputsStart_;
    mutable std::vector<std::uint32_t> outputs_;
};

class MeshGeometry::Workspace {
  private:
    friend class MeshGeometry;

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
    // The un-weld's results at full width, before they are stored compactly.
    std::vector<std::int32_t> keptSkin_;
    std::vector<std::uint32_t> corners_;
    std::vector<std::uint32_t> outSource_;
    std::vector<std::uint32_t> outSlot_;
    // The corners grouped by primitive, and the counting sort's tables.
    std::vector<std::uint32_t> grouped_;
    std::vector<std::size_t> skinCount_;
    std::vector<std::size_t> primitiveOfSkin_;
    std::vector<std::size_t> nextOfPrimitive_;
};

} // namespace kelvane::scene::gltf
