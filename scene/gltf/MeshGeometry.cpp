#include "scene/gltf/MeshGeometry.h"

#include "mdl/NormalTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <utility>

namespace kelvane::scene::gltf {

namespace {

// Most vertices carry one to four texture coordinates, so a short list per
// vertex finds a pair faster than any map. A vertex used with more distinct
// coordinates than kChainLimit (only a hostile file does that at scale)
// moves on to an ordered map, which keeps the worst case at n log n.
constexpr std::uint8_t kChainLimit = 16;

} // namespace

bool isFinite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool normalise(const Vec3& normal, Vec3& out)
{
    if (!isFinite(normal)) return false;
    // In double precision: squares of large floats would overflow a float.
    const double x = normal.x, y = normal.y, z = normal.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length)) return false;
    const double scale = 1 / length;
    out = {float(x * scale), float(y * scale), float(z * scale)};
    return true;
}

Vec3 unpackPosition(const Mesh& mesh, const Frame& frame, const PackedVertex& vertex)
{
    const Vec3 scale = frame.scale.value_or(mesh.packedScale);
    const Vec3 translate = frame.translate.value_or(mesh.packedTranslate);
    return {float(vertex.position[0]) * scale.x + translate.x,
            float(vertex.position[1]) * scale.y + translate.y,
            float(vertex.position[2]) * scale.z + translate.z};
}

bool packedNormal(const PackedVertex& vertex, Vec3& out)
{
    return NormalTable::normalFromIndex(vertex.normalIndex, out.x, out.y, out.z);
}

void MeshGeometry::build(const Mesh& mesh)
{
    mesh_ = &mesh;
    outSource_.clear();
    outSlot_.clear();
    cornerVertex_.clear();
    primitives_.clear();
    primitiveOrder_.clear();
    primitiveStart_.clear();
    trianglesOutside_ = 0;
    trianglesNonFinite_ = 0;
    positionMin_ = positionMax_ = Vec3{};
    outputsStart_.clear();
    outputs_.clear();
    packed_ = mesh.vertices.empty() && !mesh.frames.empty() && !mesh.frames.front().packedVertices.empty();
    sourceCount_ = packed_ ? mesh.frames.front().packedVertices.size() : mesh.vertices.size();
    hasNormals_ = packed_;
    buildSlots();
    unweld();
}

Vec3 MeshGeometry::packedBasePosition(std::int32_t source) const
{
    const Frame& first = mesh_->frames.front();
    return unpackPosition(*mesh_, first, first.packedVertices[static_cast<std::size_t>(source)]);
}

Vec3 MeshGeometry::baseNormal(std::int32_t source) const
{
    const auto s = static_cast<std::size_t>(source);
    Vec3 stored;
    bool has = false;
    if (packed_) {
        has = packedNormal(mesh_->frames.front().packedVertices[s], stored);
    } else {
        has = mesh_->vertices[s].hasNormal;
        stored = mesh_->vertices[s].normal;
    }
    Vec3 unit{0, 0, 1};
    if (has && normalise(stored, unit)) return unit;
    return {0, 0, 1};
}

void MeshGeometry::buildSlots()
{
    const std::size_t n = mesh_->texCoords.size();
    const bool seams = !mesh_->onSeam.empty();
    slotValue_.resize(seams ? 2 * n + 1 : n + 1);
    const float sDivisor = mesh_->texCoordDivisor[0];
    const float tDivisor = mesh_->texCoordDivisor[1];
    const auto clean = [](float v) { return std::isfinite(v) ? v : 0.0f; };
    for (std::size_t i = 0; i < n; ++i) {
        const float s = mesh_->texCoords[i].s / sDivisor;
        const float t = clean(mesh_->texCoords[i].t / tDivisor);
        slotValue_[i] = {clean(s), t};
        // The skin of these formats holds the front half and the back half
        // side by side; a seam vertex is shared by both, so a back-facing
        // triangle finds its texel half a skin further right.
        if (seams) slotValue_[n + 1 + i] = {clean(s + 0.5f), t};
    }
    slotValue_[n] = {0, 0};
}

void MeshGeometry::unweld()
{
    constexpr std::uint32_t kNone = 0xFFFFFFFF;
    // Per source vertex, its first output vertices sit in a bucket of its
    // own (one cache line holds two buckets, so most lookups touch one);
    // later ones are chained through next_ from head_, and past kChainLimit
    // they go to the ordered map.
    // Unused places of a bucket hold kNone, which no slot equals, so a
    // lookup compares all of them without branching on the count.
    Bucket empty;
    empty.slot.fill(kNone);
    buckets_.assign(sourceCount_, empty);
    bucketCount_.assign(sourceCount_, 0);
    head_.assign(sourceCount_, kNone);
    next_.clear();
    std::map<std::pair<std::int32_t, std::uint32_t>, std::uint32_t> crowded;
    // Whether each source vertex's base position is finite: worked out once.
    usable_.resize(sourceCount_);
    for (std::size_t s = 0; s < sourceCount_; ++s) {
        usable_[s] = isFinite(basePosition(std::int32_t(s))) ? 1 : 0;
    }

    // Sized for the most the triangles can make, filled through pointers
    // and cut to size at the end: no capacity test per corner.
    const std::size_t triangleCount = mesh_->triangles.size();
    keptSkin_.resize(triangleCount);
    cornerVertex_.resize(triangleCount * 3);
    outSource_.resize(triangleCount * 3);
    outSlot_.resize(triangleCount * 3);
    std::int32_t* const keptSkin = keptSkin_.data();
    std::uint32_t* const corners = cornerVertex_.data();
    std::int32_t* const outSource = outSource_.data();
    std::uint32_t* const outSlot = outSlot_.data();
    std::size_t kept = 0;
    std::uint32_t outputCount = 0;

    const auto outputFor = [&](std::int32_t source, std::uint32_t slot) {
        const auto s = std::size_t(source);
        Bucket& bucket = buckets_[s];
        unsigned match = 0;
        for (std::size_t k = 0; k < Bucket::kSize; ++k) {
            match |= unsigned(bucket.slot[k] == slot) << k;
        }
        if (match != 0) return bucket.output[std::size_t(std::countr_zero(match))];
        const std::uint8_t count = bucketCount_[s];
        if (count > Bucket::kSize) {
            for (std::uint32_t o = head_[s]; o != kNone; o = next_[o]) {
                if (outSlot[o] == slot) return o;
            }
        }
        if (count == kChainLimit) {
            const auto found = crowded.find({source, slot});
            if (found != crowded.end()) return found->second;
        }
        const std::uint32_t output = outputCount++;
        if (count == 0) {
            // The first output vertex of this source: its position joins the bounds.
            const Vec3 p = basePosition(source);
            if (output == 0) positionMin_ = positionMax_ = p;
            positionMin_ = {std::min(positionMin_.x, p.x), std::min(positionMin_.y, p.y),
                            std::min(positionMin_.z, p.z)};
            positionMax_ = {std::max(positionMax_.x, p.x), std::max(positionMax_.y, p.y),
                            std::max(positionMax_.z, p.z)};
        }
        outSource[output] = source;
        outSlot[output] = slot;
        if (count < Bucket::kSize) {
            bucket.slot[count] = slot;
            bucket.output[count] = output;
        } else if (count < kChainLimit) {
            // Chained outputs are rare: next_ only grows to the last of them.
            if (next_.size() <= output) next_.resize(output + 1, kNone);
            next_[output] = head_[s];
            head_[s] = output;
        } else {
            crowded.emplace(std::pair{source, slot}, output);
        }
        if (count < kChainLimit) bucketCount_[s] = std::uint8_t(count + 1);
        return output;
    };

    const std::size_t texCoordCount = mesh_->texCoords.size();
    const bool byVertex = mesh_->texCoordsByVertex;
    const std::vector<std::uint8_t>& onSeam = mesh_->onSeam;
    const bool hasSkinIndex = mesh_->hasSkinIndex;
    const std::size_t skinCount = mesh_->skins.size();
    for (const Triangle& triangle : mesh_->triangles) {
        bool inside = !triangle.vertexOutside;
        bool finite = true;
        for (const std::int32_t v : triangle.vertexIndex) {
            if (v < 0 || std::size_t(v) >= sourceCount_) {
                inside = false;
            } else if (usable_[std::size_t(v)] == 0) {
                finite = false;
            }
        }
        if (!inside) {
            ++trianglesOutside_;
            continue;
        }
        if (!finite) {
            ++trianglesNonFinite_;
            continue;
        }
        for (std::size_t c = 0; c < 3; ++c) {
            // The texture-coordinate slot (see slotValue_). Formats with one
            // texture coordinate per vertex index them by vertex.
            const std::int32_t index = byVertex ? triangle.vertexIndex[c] : triangle.texCoordIndex[c];
            auto slot = std::uint32_t(texCoordCount);
            if (index >= 0 && std::size_t(index) < texCoordCount) {
                const auto i = std::size_t(index);
                const bool moved = !triangle.facesFront && i < onSeam.size() && onSeam[i] != 0;
                slot = std::uint32_t(moved ? texCoordCount + 1 + i : i);
            }
            corners[kept * 3 + c] = outputFor(triangle.vertexIndex[c], slot);
        }
        // Records without a skin index use the first skin.
        const std::int32_t skin = hasSkinIndex ? triangle.skinIndex : 0;
        keptSkin[kept++] = skin >= 0 && std::size_t(skin) < skinCount ? skin : -1;
    }
    keptSkin_.resize(kept);
    cornerVertex_.resize(kept * 3);
    outSource_.resize(outputCount);
    outSlot_.resize(outputCount);
    if (!packed_) {
        for (const std::int32_t source : outSource_) {
            if (mesh_->vertices[std::size_t(source)].hasNormal) {
                hasNormals_ = true;
                break;
            }
        }
    }
    sortPrimitives(keptSkin_);
}

void MeshGeometry::sortPrimitives(const std::vector<std::int32_t>& keptSkin)
{
    // A counting sort by skin, the default material (-1) last; stable, so
    // each primitive keeps the triangles' file order.
    const std::size_t slots = mesh_->skins.size() + 1;
    const auto slotOf = [&](std::int32_t skin) { return skin < 0 ? slots - 1 : std::size_t(skin); };
    std::vector<std::size_t> count(slots, 0);
    for (const std::int32_t skin : keptSkin) {
        ++count[slotOf(skin)];
    }
    std::vector<std::size_t> primitiveOfSlot(slots, 0);
    primitiveStart_.push_back(0);
    for (std::size_t slot = 0; slot < slots; ++slot) {
        if (count[slot] == 0) continue;
        primitiveOfSlot[slot] = primitives_.size();
        PrimitiveGeometry primitive;
        primitive.skin = slot == slots - 1 ? -1 : std::int32_t(slot);
        primitive.triangleCount = std::int64_t(count[slot]);
        primitives_.push_back(primitive);
        primitiveStart_.push_back(primitiveStart_.back() + count[slot]);
    }
    std::vector<std::size_t> next(primitiveStart_.begin(), primitiveStart_.end() - 1);
    primitiveOrder_.resize(keptSkin.size());
    for (std::size_t k = 0; k < keptSkin.size(); ++k) {
        const std::size_t p = primitiveOfSlot[slotOf(keptSkin[k])];
        primitiveOrder_[next[p]++] = std::uint32_t(k);
        for (std::size_t c = 0; c < 3; ++c) {
            primitives_[p].maxIndex = std::max(primitives_[p].maxIndex, cornerVertex_[k * 3 + c]);
        }
    }
}

void MeshGeometry::buildOutputsBySource() const
{
    if (!outputsStart_.empty()) return;
    outputsStart_.assign(sourceCount_ + 1, 0);
    for (const std::int32_t source : outSource_) {
        ++outputsStart_[std::size_t(source) + 1];
    }
    for (std::size_t s = 0; s < sourceCount_; ++s) {
        outputsStart_[s + 1] += outputsStart_[s];
    }
    outputs_.resize(outSource_.size());
    std::vector<std::uint32_t> next(outputsStart_.begin(), outputsStart_.end() - 1);
    for (std::size_t o = 0; o < outSource_.size(); ++o) {
        outputs_[next[std::size_t(outSource_[o])]++] = std::uint32_t(o);
    }
}

} // namespace kelvane::scene::gltf
