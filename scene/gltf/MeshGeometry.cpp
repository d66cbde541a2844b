#include "scene/gltf/MeshGeometry.h"

#include "mdl/NormalTable.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <utility>

namespace kelvane::scene::gltf {

namespace {

// Most vertices carry one to four texture coordinates, so a short list per
// vertex finds a pair faster than any map. A vertex used with more distinct
// coordinates than this (only a hostile file does that at scale) moves on to
// an ordered map, which keeps the worst case at n log n.
constexpr std::uint8_t kChainLimit = 8;

std::uint64_t texCoordKey(const TexCoord& tc)
{
    return (std::uint64_t(std::bit_cast<std::uint32_t>(tc.s)) << 32) | std::bit_cast<std::uint32_t>(tc.t);
}

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
    unweld();
}

Vec3 MeshGeometry::basePosition(std::int32_t source) const
{
    const auto s = static_cast<std::size_t>(source);
    if (packed_) {
        const Frame& first = mesh_.frames.front();
        return unpackPosition(mesh_, first, first.packedVertices[s]);
    }
    return mesh_.vertices[s].position;
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

TexCoord MeshGeometry::finalTexCoord(const Triangle& triangle, std::size_t corner) const
{
    // Formats with one texture coordinate per vertex index them by vertex.
    const std::int32_t index =
        mesh_.texCoordsByVertex ? triangle.vertexIndex[corner] : triangle.texCoordIndex[corner];
    if (index < 0 || std::size_t(index) >= mesh_.texCoords.size()) return {0, 0};
    const auto i = std::size_t(index);
    const TexCoord& stored = mesh_.texCoords[i];
    float s = stored.s / mesh_.texCoordDivisor[0];
    float t = stored.t / mesh_.texCoordDivisor[1];
    // The skin of these formats holds the front half and the back half side
    // by side; a seam vertex is shared by both, so a back-facing triangle
    // finds its texel half a skin further right.
    if (i < mesh_.onSeam.size() && mesh_.onSeam[i] != 0 && !triangle.facesFront) s += 0.5f;
    if (!std::isfinite(s)) s = 0;
    if (!std::isfinite(t)) t = 0;
    return {s, t};
}

void MeshGeometry::unweld()
{
    struct Entry {
        std::uint64_t key;
        std::uint32_t output;
        std::int32_t next;
    };
    std::vector<std::int32_t> head(sourceCount_, -1);
    std::vector<std::uint8_t> chainLength(sourceCount_, 0);
    std::vector<Entry> entries;
    std::map<std::pair<std::int32_t, std::uint64_t>, std::uint32_t> crowded;
    std::vector<std::int32_t> keptSkin;
    keptSkin.reserve(mesh_.triangles.size());
    cornerVertex_.reserve(mesh_.triangles.size() * 3);

    const auto outputFor = [&](std::int32_t source, const TexCoord& tc) {
        const std::uint64_t key = texCoordKey(tc);
        const auto s = std::size_t(source);
        for (std::int32_t e = head[s]; e >= 0; e = entries[std::size_t(e)].next) {
            if (entries[std::size_t(e)].key == key) return entries[std::size_t(e)].output;
        }
        if (chainLength[s] == kChainLimit) {
            const auto found = crowded.find({source, key});
            if (found != crowded.end()) return found->second;
        }
        const auto output = std::uint32_t(outSource_.size());
        outSource_.push_back(source);
        outTexCoord_.push_back(tc);
        if (!packed_ && mesh_.vertices[s].hasNormal) hasNormals_ = true;
        if (chainLength[s] < kChainLimit) {
            entries.push_back({key, output, head[s]});
            head[s] = std::int32_t(entries.size() - 1);
            ++chainLength[s];
        } else {
            crowded.emplace(std::pair{source, key}, output);
        }
        return output;
    };

    for (const Triangle& triangle : mesh_.triangles) {
        bool inside = !triangle.vertexOutside;
        for (const std::int32_t v : triangle.vertexIndex) {
            if (v < 0 || std::size_t(v) >= sourceCount_) inside = false;
        }
        if (!inside) {
            ++trianglesOutside_;
            continue;
        }
        if (!isFinite(basePosition(triangle.vertexIndex[0])) ||
            !isFinite(basePosition(triangle.vertexIndex[1])) ||
            !isFinite(basePosition(triangle.vertexIndex[2]))) {
            ++trianglesNonFinite_;
            continue;
        }
        for (std::size_t c = 0; c < 3; ++c) {
            cornerVertex_.push_back(outputFor(triangle.vertexIndex[c], finalTexCoord(triangle, c)));
        }
        // Records without a skin index use the first skin.
        const std::int32_t skin = mesh_.hasSkinIndex ? triangle.skinIndex : 0;
        keptSkin.push_back(skin >= 0 && std::size_t(skin) < mesh_.skins.size() ? skin : -1);
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
