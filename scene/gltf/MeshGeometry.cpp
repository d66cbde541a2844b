#include "scene/gltf/MeshGeometry.h"

#include "mdl/NormalTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvane::scene::gltf {

namespace {

// The places of a bucket (see MeshGeometry::Workspace::Bucket) that hold
// `slot`, one bit each.
unsigned matchingPlaces(const std::array<std::uint32_t, 8>& places, std::uint32_t slot)
{
#if defined(__SSE2__)
    // Two comparisons of four places each: the un-weld makes one lookup per
    // triangle corner, and this is most of it.
    const __m128i key = _mm_set1_epi32(std::int32_t(slot));
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(places.data()));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(places.data() + 4));
    return unsigned(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low, key)))) |
           unsigned(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(high, key)))) << 4;
#else
    unsigned match = 0;
    for (std::size_t k = 0; k < places.size(); ++k) {
        match |= unsigned(places[k] == slot) << k;
    }
    return match;
#endif
}

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

void MeshGeometry::NumberList::assign(const std::uint32_t* values, std::size_t count, std::uint64_t bound)
{
    wide_ = bound > std::uint64_t{0xFFFF} + 1;
    if (wide_) {
        narrowValues_ = {};
        wideValues_.assign(values, values + count);
    } else {
        wideValues_ = {};
        // Each value is below the bound: converting keeps it whole.
        narrowValues_.assign(values, values + count);
    }
}

void MeshGeometry::build(const Mesh& mesh, Workspace& workspace)
{
    mesh_ = &mesh;
    primitives_.clear();
    primitiveStart_.clear();
    trianglesOutside_ = 0;
    trianglesNonFinite_ = 0;
    positionMin_ = positionMax_ = Vec3{};
    outputsStart_.clear();
    outputs_.clear();
    packed_ = mesh.vertices.empty() && !mesh.frames.empty() && !mesh.frames.front().packedVertices.empty();
    sourceCount_ = packed_ ? mesh.frames.front().packedVertices.size() : mesh.vertices.size();
    hasNormals_ = packed_;
    unweld(workspace);
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

void MeshGeometry::fillSlotValues(std::vector<TexCoord>& slotValues) const
{
    const std::size_t n = mesh_->texCoords.size();
    const bool seams = !mesh_->onSeam.empty();
    slotValues.resize(slotCount());
    const float sDivisor = mesh_->texCoordDivisor[0];
    const float tDivisor = mesh_->texCoordDivisor[1];
    const auto clean = [](float v) { return std::isfinite(v) ? v : 0.0f; };
    for (std::size_t i = 0; i < n; ++i) {
        const float s = mesh_->texCoords[i].s / sDivisor;
        const float t = clean(mesh_->texCoords[i].t / tDivisor);
        slotValues[i] = {clean(s), t};
        // The skin of these formats holds the front half and the back half
        // side by side; a seam vertex is shared by both, so a back-facing
        // triangle finds its texel half a skin further right.
        if (seams) slotValues[n + 1 + i] = {clean(s + 0.5f), t};
    }
    slotValues[n] = {0, 0};
}

void MeshGeometry::unweld(Workspace& workspace)
{
    using Bucket = Workspace::Bucket;
    constexpr std::uint32_t kNone = 0xFFFFFFFF;
    std::vector<Bucket>& buckets = workspace.buckets_;
    std::vector<std::uint8_t>& bucketCount = workspace.bucketCount_;
    std::vector<std::uint32_t>& head = workspace.head_;
    std::vector<std::uint32_t>& next = workspace.next_;
    // Per source vertex, its first output vertices sit in a bucket of its
    // own (one cache line holds two buckets, so most lookups touch one);
    // later ones are chained through `next` from `head`, and past
    // kChainLimit they go to the ordered map.
    // Unused places of a bucket hold kNone, which no slot equals, so a
    // lookup compares all of them without branching on the count.
    Bucket empty;
    empty.slot.fill(kNone);
    buckets.assign(sourceCount_, empty);
    bucketCount.assign(sourceCount_, 0);
    head.assign(sourceCount_, kNone);
    next.clear();
    std::map<std::pair<std::int32_t, std::uint32_t>, std::uint32_t> crowded;
    // Whether each source vertex's base position is finite: worked out once.
    std::vector<std::uint8_t>& usable = workspace.usable_;
    usable.resize(sourceCount_);
    for (std::size_t s = 0; s < sourceCount_; ++s) {
        usable[s] = isFinite(basePosition(std::int32_t(s))) ? 1 : 0;
    }

    // Sized for the most the triangles can make, filled through pointers:
    // no capacity test per corner.
    const std::size_t triangleCount = mesh_->triangles.size();
    workspace.keptSkin_.resize(triangleCount);
    workspace.corners_.resize(triangleCount * 3);
    workspace.outSource_.resize(triangleCount * 3);
    workspace.outSlot_.resize(triangleCount * 3);
    std::int32_t* const keptSkin = workspace.keptSkin_.data();
    std::uint32_t* const corners = workspace.corners_.data();
    std::uint32_t* const outSource = workspace.outSource_.data();
    std::uint32_t* const outSlot = workspace.outSlot_.data();
    std::size_t kept = 0;
    std::uint32_t outputCount = 0;

    const auto outputFor = [&](std::int32_t source, std::uint32_t slot) {
        const auto s = std::size_t(source);
        Bucket& bucket = buckets[s];
        const unsigned match = matchingPlaces(bucket.slot, slot);
        if (match != 0) return bucket.output[std::size_t(std::countr_zero(match))];
        const std::uint8_t count = bucketCount[s];
        if (count > Bucket::kSize) {
            for (std::uint32_t o = head[s]; o != kNone; o = next[o]) {
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
        outSource[output] = std::uint32_t(source);
        outSlot[output] = slot;
        if (count < Bucket::kSize) {
            bucket.slot[count] = slot;
            bucket.output[count] = output;
        } else if (count < kChainLimit) {
            // Chained outputs are rare: `next` only grows to the last of them.
            if (next.size() <= output) next.resize(output + 1, kNone);
            next[output] = head[s];
            head[s] = output;
        } else {
            crowded.emplace(std::pair{source, slot}, output);
        }
        if (count < kChainLimit) bucketCount[s] = std::uint8_t(count + 1);
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
            // The texture-coordinate slot (see outSlot_). Formats with one
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
    if (!packed_) {
        for (std::uint32_t o = 0; o < outputCount; ++o) {
            if (mesh_->vertices[outSource[o]].hasNormal) {
                hasNormals_ = true;
                break;
            }
        }
    }
    outSource_.assign(outSource, outputCount, sourceCount_);
    outSlot_.assign(outSlot, outputCount, slotCount());
    // With one primitive the corners are in order already.
    if (sortPrimitives(workspace, kept, outputCount)) {
        indices_.assign(workspace.grouped_.data(), kept * 3, outputCount);
    } else {
        indices_.assign(corners, kept * 3, outputCount);
    }
}

bool MeshGeometry::sortPrimitives(Workspace& workspace, std::size_t kept, std::uint32_t outputCount)
{
    // A counting sort by skin, the default material (-1) last; stable, so
    // each primitive keeps the triangles' file order.
    const std::int32_t* const keptSkin = workspace.keptSkin_.data();
    const std::uint32_t* const corners = workspace.corners_.data();
    const std::size_t slots = mesh_->skins.size() + 1;
    const auto slotOf = [&](std::int32_t skin) { return skin < 0 ? slots - 1 : std::size_t(skin); };
    std::vector<std::size_t>& count = workspace.skinCount_;
    count.assign(slots, 0);
    for (std::size_t k = 0; k < kept; ++k) {
        ++count[slotOf(keptSkin[k])];
    }
    std::vector<std::size_t>& primitiveOfSlot = workspace.primitiveOfSkin_;
    primitiveOfSlot.assign(slots, 0);
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
    if (primitives_.size() == 1) {
        // Every output vertex comes from a corner of the one primitive.
        primitives_[0].maxIndex = outputCount - 1;
        return false;
    }
    std::vector<std::size_t>& next = workspace.nextOfPrimitive_;
    next.assign(primitiveStart_.begin(), primitiveStart_.end() - 1);
    workspace.grouped_.resize(kept * 3);
    std::uint32_t* const grouped = workspace.grouped_.data();
    for (std::size_t k = 0; k < kept; ++k) {
        const std::size_t p = primitiveOfSlot[slotOf(keptSkin[k])];
        std::uint32_t* const to = grouped + 3 * next[p]++;
        std::uint32_t maxIndex = primitives_[p].maxIndex;
        for (std::size_t c = 0; c < 3; ++c) {
            to[c] = corners[k * 3 + c];
            maxIndex = std::max(maxIndex, to[c]);
        }
        primitives_[p].maxIndex = maxIndex;
    }
    return true;
}

void MeshGeometry::buildOutputsBySource() const
{
    if (!outputsStart_.empty()) return;
    outputsStart_.assign(sourceCount_ + 1, 0);
    const std::size_t outputCount = outSource_.size();
    for (std::size_t o = 0; o < outputCount; ++o) {
        ++outputsStart_[outSource_[o] + 1];
    }
    for (std::size_t s = 0; s < sourceCount_; ++s) {
        outputsStart_[s + 1] += outputsStart_[s];
    }
    outputs_.resize(outputCount);
    std::vector<std::uint32_t> next(outputsStart_.begin(), outputsStart_.end() - 1);
    for (std::size_t o = 0; o < outputCount; ++o) {
        outputs_[next[outSource_[o]]++] = std::uint32_t(o);
    }
}

} // namespace kelvane::scene::gltf
