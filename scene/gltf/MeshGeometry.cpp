#include "scene/gltf/MeshGeometry.h"

#include "mdl/NormalTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

namespace kelvane::scene::gltf {

namespace {

// Most vertices carry one to four texture coordinates, so a short list per
// vertex finds a pair faster than any map. A vertex used with more distinct
// coordinates than kChainLimit (only a hostile file does that at scale)
// moves on to an ordered map, which keeps the worst case at n log n.
constexpr std::size_t kBucketSize = 4;
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
    out = {float(x / length), float(y / length), float(z / length)};
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

MeshGeometry::MeshGeometry(const Mesh& mesh) : mesh_(mesh)
{
    packed_ = mesh.vertices.empty() && !mesh.frames.empty() && !mesh.frames.front().packedVertices.empty();
    sourceCount_ = packed_ ? mesh.frames.front().packedVertices.size() : mesh.vertices.size();
    hasNormals_ = packed_;
    buildSlots();
    unweld();
}

Vec3 MeshGeometry::packedBasePosition(std::int32_t source) const
{
    const Frame& first = mesh_.frames.front();
    return unpackPosition(mesh_, first, first.packedVertices[static_cast<std::size_t>(source)]);
}

Vec3 MeshGeometry::baseNormal(std::int32_t source) const
{
    const auto s = static_cast<std::size_t>(source);
    Vec3 stored;
    bool has = false;
    if (packed_) {
        has = packedNormal(mesh_.frames.front().packedVertices[s], stored);
    } else {
        has = mesh_.vertices[s].hasNormal;
        stored = mesh_.vertices[s].normal;
    }
    Vec3 unit{0, 0, 1};
    if (has && normalise(stored, unit)) return unit;
    return {0, 0, 1};
}

void MeshGeometry::buildSlots()
{
    const std::size_t n = mesh_.texCoords.size();
    const bool seams = !mesh_.onSeam.empty();
    slotValue_.resize(seams ? 2 * n + 1 : n + 1);
    const float sDivisor = mesh_.texCoordDivisor[0];
    const float tDivisor = mesh_.texCoordDivisor[1];
    const auto clean = [](float v) { return std::isfinite(v) ? v : 0.0f; };
    for (std::size_t i = 0; i < n; ++i) {
        const float s = mesh_.texCoords[i].s / sDivisor;
        const float t = clean(mesh_.texCoords[i].t / tDivisor);
        slotValue_[i] = {clean(s), t};
        // The skin of these formats holds the front half and the back half
        // side by side; a seam vertex is shared by both, so a back-facing
        // triangle finds its texel half a skin further right.
        if (seams) slotValue_[n + 1 + i] = {clean(s + 0.5f), t};
    }
    slotValue_[n] = {0, 0};
}

std::uint32_t MeshGeometry::slotOf(const Triangle& triangle, std::size_t corner) const
{
    // Formats with one texture coordinate per vertex index them by vertex.
    const std::int32_t index =
        mesh_.texCoordsByVertex ? triangle.vertexIndex[corner] : triangle.texCoordIndex[corner];
    const std::size_t n = mesh_.texCoords.size();
    if (index < 0 || std::size_t(index) >= n) return std::uint32_t(n);
    const auto i = std::size_t(index);
    if (!triangle.facesFront && i < mesh_.onSeam.size() && mesh_.onSeam[i] != 0)
        return std::uint32_t(n + 1 + i);
    return std::uint32_t(i);
}

void MeshGeometry::unweld()
{
    constexpr std::uint32_t kNone = 0xFFFFFFFF;
    // Per source vertex, its first output vertices sit in a bucket of its
    // own (one cache line holds two buckets, so most lookups touch one);
    // later ones are chained through `next` from `head`, and past
    // kChainLimit they go to the ordered map.
    struct Bucket {
        std::array<std::uint32_t, kBucketSize> slot;
        std::array<std::uint32_t, kBucketSize> output;
    };
    std::vector<Bucket> buckets(sourceCount_);
    std::vector<std::uint8_t> outputCount(sourceCount_, 0);
    std::vector<std::uint32_t> head(sourceCount_, kNone);
    std::vector<std::uint32_t> next;
    std::map<std::pair<std::int32_t, std::uint32_t>, std::uint32_t> crowded;
    // Whether each source vertex's base position is finite: worked out once.
    std::vector<std::uint8_t> usable(sourceCount_);
    for (std::size_t s = 0; s < sourceCount_; ++s)
        usable[s] = isFinite(basePosition(std::int32_t(s))) ? 1 : 0;

    std::vector<std::int32_t> keptSkin;
    const std::size_t triangleCount = mesh_.triangles.size();
    keptSkin.reserve(triangleCount);
    cornerVertex_.reserve(triangleCount * 3);
    outSource_.reserve(triangleCount);
    outSlot_.reserve(triangleCount);
    next.reserve(triangleCount);

    const auto outputFor = [&](std::int32_t source, std::uint32_t slot) {
        const auto s = std::size_t(source);
        const std::uint8_t count = outputCount[s];
        Bucket& bucket = buckets[s];
        for (std::size_t k = 0; k < std::min<std::size_t>(count, kBucketSize); ++k) {
            if (bucket.slot[k] == slot) return bucket.output[k];
        }
        if (count > kBucketSize) {
            for (std::uint32_t o = head[s]; o != kNone; o = next[o]) {
                if (outSlot_[o] == slot) return o;
            }
        }
        if (count == kChainLimit) {
            const auto found = crowded.find({source, slot});
            if (found != crowded.end()) return found->second;
        }
        const auto output = std::uint32_t(outSource_.size());
        if (count == 0) {
            // The first output vertex of this source: its position joins the bounds.
            const Vec3 p = basePosition(source);
            if (output == 0) positionMin_ = positionMax_ = p;
            positionMin_ = {std::min(positionMin_.x, p.x), std::min(positionMin_.y, p.y),
                            std::min(positionMin_.z, p.z)};
            positionMax_ = {std::max(positionMax_.x, p.x), std::max(positionMax_.y, p.y),
                            std::max(positionMax_.z, p.z)};
        }
        outSource_.push_back(source);
        outSlot_.push_back(slot);
        next.push_back(kNone);
        if (count < kBucketSize) {
            bucket.slot[count] = slot;
            bucket.output[count] = output;
        } else if (count < kChainLimit) {
            next.back() = head[s];
            head[s] = output;
        } else {
            crowded.emplace(std::pair{source, slot}, output);
        }
        if (count < kChainLimit) outputCount[s] = std::uint8_t(count + 1);
        return output;
    };

    for (const Triangle& triangle : mesh_.triangles) {
        bool inside = !triangle.vertexOutside;
        bool finite = true;
        for (const std::int32_t v : triangle.vertexIndex) {
            if (v < 0 || std::size_t(v) >= sourceCount_) {
                inside = false;
            } else if (usable[std::size_t(v)] == 0) {
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
            cornerVertex_.push_back(outputFor(triangle.vertexIndex[c], slotOf(triangle, c)));
        }
        // Records without a skin index use the first skin.
        const std::int32_t skin = mesh_.hasSkinIndex ? triangle.skinIndex : 0;
        keptSkin.push_back(skin >= 0 && std::size_t(skin) < mesh_.skins.size() ? skin : -1);
    }
    if (!packed_) {
        for (const std::int32_t source : outSource_) {
            if (mesh_.vertices[std::size_t(source)].hasNormal) {
                hasNormals_ = true;
                break;
            }
        }
    }
    sortPrimitives(keptSkin);
}

void MeshGeometry::sortPrimitives(const std::vector<std::int32_t>& keptSkin)
{
    // A counting sort by skin, the default material (-1) last; stable, so
    // each primitive keeps the triangles' file order.
    const std::size_t slots = mesh_.skins.size() + 1;
    const auto slotOf = [&](std::int32_t skin) { return skin < 0 ? slots - 1 : std::size_t(skin); };
    std::vector<std::size_t> count(slots, 0);
    for (const std::int32_t skin : keptSkin)
        ++count[slotOf(skin)];
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
    for (const std::int32_t source : outSource_)
        ++outputsStart_[std::size_t(source) + 1];
    for (std::size_t s = 0; s < sourceCount_; ++s)
        outputsStart_[s + 1] += outputsStart_[s];
    outputs_.resize(outSource_.size());
    std::vector<std::uint32_t> next(outputsStart_.begin(), outputsStart_.end() - 1);
    for (std::size_t o = 0; o < outSource_.size(); ++o) {
        outputs_[next[std::size_t(outSource_[o])]++] = std::uint32_t(o);
    }
}

} // namespace kelvane::scene::gltf
