#include "scene/gltf/MorphTarget.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelvane::scene::gltf {

namespace {

Vec3 minus(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

} // namespace

MorphTargetBuilder::MorphTargetBuilder(const MeshGeometry& geometry) : geometry_(geometry)
{
    const std::size_t sourceCount = geometry.sourceVertexCount();
    basePosition_.resize(sourceCount);
    baseNormal_.resize(sourceCount);
    for (std::size_t s = 0; s < sourceCount; ++s) {
        basePosition_[s] = geometry.basePosition(std::int32_t(s));
        baseNormal_[s] = geometry.baseNormal(std::int32_t(s));
    }
}

void MorphTargetBuilder::build(const Frame& frame, MorphTarget& target)
{
    target.indices.clear();
    target.position.clear();
    target.normal.clear();
    target.verticesOutside = 0;
    target.valuesNonFinite = 0;
    if (geometry_.packed()) {
        buildDense(frame, target);
    } else {
        buildSparse(frame, target);
    }
    finishBounds(target);
}

void MorphTargetBuilder::buildSparse(const Frame& frame, MorphTarget& target)
{
    target.dense = false;
    const std::size_t sourceCount = geometry_.sourceVertexCount();
    if (recordOf_.size() != sourceCount) recordOf_.assign(sourceCount, -1);
    listed_.clear();
    const std::vector<Vertex>& records = frame.vertices;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::int32_t source = records[r].index;
        if (source < 0 || std::size_t(source) >= sourceCount) {
            ++target.verticesOutside;
            continue;
        }
        if (recordOf_[std::size_t(source)] < 0) listed_.push_back(source);
        recordOf_[std::size_t(source)] = std::int32_t(r); // the last record wins
    }

    // Differences per listed vertex, then one entry per output vertex made
    // from it, in output order.
    entries_.clear();
    positionOf_.clear();
    normalOf_.clear();
    for (const std::int32_t source : listed_) {
        const Vertex& record = records[std::size_t(recordOf_[std::size_t(source)])];
        recordOf_[std::size_t(source)] = -1;
        if (geometry_.outputCount(source) == 0) continue;
        bool finite = true;
        Vec3 position = minus(record.position, basePosition_[std::size_t(source)]);
        if (!isFinite(record.position) || !isFinite(position)) {
            position = {};
            finite = false;
        }
        Vec3 normal;
        Vec3 unit;
        if (record.hasNormal && normalise(record.normal, unit)) {
            normal = minus(unit, baseNormal_[std::size_t(source)]);
        }
        if (record.hasNormal && !isFinite(record.normal)) finite = false;
        if (!finite) ++target.valuesNonFinite;
        const std::size_t slot = positionOf_.size();
        positionOf_.push_back(position);
        normalOf_.push_back(normal);
        geometry_.forEachOutput(source, [&](std::uint32_t output) { entries_.emplace_back(output, slot); });
    }
    std::sort(entries_.begin(), entries_.end());
    target.indices.reserve(entries_.size());
    target.position.reserve(entries_.size());
    for (const auto& [output, slot] : entries_) {
        target.indices.push_back(output);
        target.position.push_back(positionOf_[slot]);
        if (geometry_.hasNormals()) target.normal.push_back(normalOf_[slot]);
    }
}

void MorphTargetBuilder::buildDense(const Frame& frame, MorphTarget& target)
{
    target.dense = true;
    const std::size_t vertexCount = geometry_.vertexCount();
    target.position.assign(vertexCount, Vec3{});
    target.normal.assign(vertexCount, Vec3{});
    const std::vector<PackedVertex>& records = frame.packedVertices;
    const std::size_t sourceCount = std::min(records.size(), geometry_.sourceVertexCount());
    const Mesh& mesh = geometry_.mesh();
    // A frame that stops early (only a load that stopped makes one) leaves
    // the vertices it lacks where the base pose has them.
    for (std::size_t s = 0; s < sourceCount; ++s) {
        const auto source = std::int32_t(s);
        if (geometry_.outputCount(source) == 0) continue;
        const Vec3 unpacked = unpackPosition(mesh, frame, records[s]);
        Vec3 position = minus(unpacked, basePosition_[s]);
        if (!isFinite(unpacked) || !isFinite(position)) {
            position = {};
            ++target.valuesNonFinite;
        }
        Vec3 normal;
        Vec3 stored;
        Vec3 unit;
        if (packedNormal(records[s], stored) && normalise(stored, unit)) {
            normal = minus(unit, baseNormal_[s]);
        }
        geometry_.forEachOutput(source, [&](std::uint32_t output) {
            target.position[output] = position;
            target.normal[output] = normal;
        });
    }
}

void MorphTargetBuilder::finishBounds(MorphTarget& target) const
{
    const bool someZero = target.valueCount() < geometry_.vertexCount() || target.valueCount() == 0;
    bool first = !someZero;
    target.min = {};
    target.max = {};
    for (const Vec3& v : target.position) {
        if (first) {
            target.min = target.max = v;
            first = false;
            continue;
        }
        target.min = {std::min(target.min.x, v.x), std::min(target.min.y, v.y), std::min(target.min.z, v.z)};
        target.max = {std::max(target.max.x, v.x), std::max(target.max.y, v.y), std::max(target.max.z, v.z)};
    }
}

} // namespace kelvane::scene::gltf
