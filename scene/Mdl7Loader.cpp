#include "scene/Mdl7Loader.h"

#include "mdl/ByteOrder.h"
#include "mdl/ImageSize.h"
#include "mdl/Mdl7Format.h"
#include "mdl/MeshRecords.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kelvane::scene {

namespace {

// Records per run read. Small enough that the run buffers stay in the cache
// while their values are copied into the model, large enough that the calls
// cost nothing next to the records.
constexpr std::size_t kRunLength = 1024;

// How many of `count` records of `recordSize` bytes can be in the data that
// remains: what a vector may reserve before the records are read. A count a
// file claims never sizes memory beyond the bytes that are really there, and
// records too short for the reader to take reserve nothing.
std::size_t recordsThatFit(std::int32_t count, std::int32_t recordSize, std::int32_t minimumSize,
                           std::int64_t remaining)
{
    if (count <= 0 || recordSize < minimumSize || recordSize <= 0 || remaining <= 0) return 0;
    return static_cast<std::size_t>(std::min<std::int64_t>(count, remaining / recordSize));
}

ImageLayout layoutOf(std::uint8_t type)
{
    switch (type & mdl7::skin::kImageKindMask) {
    case 0:
        return ImageLayout::kIndexed8;
    case mdl7::skin::kKindNoImage:
        return ImageLayout::kNone;
    case mdl7::skin::kKindRawBlock:
        return ImageLayout::kRawBlock;
    case mdl7::skin::kKindExternal:
        return ImageLayout::kExternal;
    default:
        return ImageLayout::kUndefined;
    }
}

// Walks the file with the reader's read operations. Every loop is bounded by
// the data whatever a count says: each pass takes at least one byte of the
// file or fails, and a failure ends the loop.
class Mdl7Walker {
  public:
    Mdl7Walker(Mdl7Reader& reader, LoadMode mode, LoadResult& result, LoadObserver* observer)
        : reader_(reader), mode_(mode), result_(result), model_(result.model), observer_(observer)
    {
    }

    void run()
    {
        model_.format = std::string(mdl7::kMagic, 4);
        if (!readHeader() || !readBones() || !readGroups()) return;
        if (!unexported(readDeformers())) return;
        if (!unexported(readTrailer())) return;
        (void)unexported(readSecondTrailer());
    }

  private:
    bool fail(std::string place, std::string reason = "cannot be read")
    {
        result_.failure = LoadFailure{std::move(place), std::move(reason), reader_.tell()};
        return false;
    }

    // The result of reading a part that an export does not use. For an
    // export its failure becomes a warning and reading goes on.
    bool unexported(bool read)
    {
        if (read || mode_ != LoadMode::kForExport) return read;
        result_.warnings.push_back(std::move(*result_.failure));
        result_.failure.reset();
        return true;
    }

    [[nodiscard]] std::size_t fitting(std::int32_t count, std::int32_t recordSize,
                                      std::int32_t minimumSize) const
    {
        return recordsThatFit(count, recordSize, minimumSize, reader_.remaining());
    }

    // Whether a read that failed took its whole record of `size` bytes from
    // `before` on: then the record was there and the reader refused what it
    // holds. A record cut short moves the cursor to the end of the data
    // instead, and a record too short to decode does not move it.
    [[nodiscard]] bool tookRecord(std::int32_t before, std::int64_t size) const
    {
        return size > 0 && std::int64_t{reader_.tell()} - before == size;
    }

    bool readHeader()
    {
        Mdl7Header& h = model_.header;
        if (!reader_.readHeader(h.boneCount, h.groupCount, h.modelDataSize, h.trailerSize,
                                h.secondTrailerSize)) {
            return fail("header");
        }
        h.boneRecordSize = reader_.boneRecordSize();
        h.skinHeaderSize = reader_.skinHeaderSize();
        h.colourValueSize = reader_.colourValueSize();
        h.materialRecordSize = reader_.materialRecordSize();
        h.texCoordRecordSize = reader_.texCoordRecordSize();
        h.triangleRecordSize = reader_.triangleRecordSize();
        h.vertexRecordSize = reader_.vertexRecordSize();
        h.frameVertexRecordSize = reader_.frameVertexRecordSize();
        h.boneTransformRecordSize = reader_.boneTransformRecordSize();
        h.frameHeaderSize = reader_.frameHeaderSize();
        return true;
    }

    bool readBones()
    {
        auto& bones = model_.bones.emplace();
        bones.reserve(fitting(model_.header.boneCount, reader_.boneRecordSize(), mdl7::bone::kMinReadSize));
        for (std::int32_t i = 0; i < model_.header.boneCount; ++i) {
            Bone bone;
            char name[mdl7::bone::kNameSize];
            if (!reader_.readBone(bone.parentIndex, bone.position.x, bone.position.y, bone.position.z,
                                  name)) {
                if (!unexported(fail("bone " + std::to_string(i)))) return false;
                // Bones are refused before the first is taken, when their
                // stored size is too short to decode (or the data ran out,
                // and nothing follows): step over them all by that size to
                // find the groups.
                (void)reader_.skipBones();
                return true;
            }
            bone.name = name;
            bones.push_back(std::move(bone));
        }
        return true;
    }

    bool readGroups()
    {
        auto& groups = model_.groups.emplace();
        // Room for every group the data can hold: each takes a header of its
        // own, so the vector never moves the groups announced to the
        // observer.
        groups.reserve(fitting(model_.header.groupCount, mdl7::kGroupHeaderSize, mdl7::kGroupHeaderSize));
        for (std::int32_t g = 0; g < model_.header.groupCount; ++g) {
            const std::string place = "group " + std::to_string(g);
            std::uint8_t type = 0;
            std::int32_t groupDataSize = 0;
            char name[mdl7::group::kNameSize];
            if (!reader_.readGroupHeader(type, groupDataSize, name)) return fail(place);
            assert(groups.size() < groups.capacity());
            Group& group = groups.emplace_back();
            group.type = type;
            group.groupDataSize = groupDataSize;
            group.name = name;
            if (type != mdl7::kMeshGroupType) {
                // An opaque group of only its header has nothing to step over.
                if (groupDataSize != mdl7::kGroupHeaderSize && !reader_.skipGroup()) {
                    return fail(place,
                                "content of " + std::to_string(groupDataSize) + " bytes cannot be read");
                }
                continue;
            }
            if (!readMesh(group.mesh.emplace(), place)) return false;
            if (observer_ != nullptr) observer_->meshLoaded(std::size_t(g), *group.mesh);
        }
        return true;
    }

    bool readMesh(Mesh& mesh, const std::string& place)
    {
        MeshCounts& c = mesh.counts;
        if (!reader_.readGroupCounts(c.skinCount, c.texCoordCount, c.triangleCount, c.vertexCount,
                                     c.frameCount)) {
            return fail(place);
        }
        mesh.hasSkinIndex = reader_.triangleRecordSize() >= mdl7::triangle::kSizeWithSkin;

        mesh.reached = MeshSection::kSkins;
        mesh.skins.reserve(fitting(c.skinCount, reader_.skinHeaderSize(), mdl7::skin::kMinReadSize));
        for (std::int32_t i = 0; i < c.skinCount; ++i) {
            if (!readSkin(mesh, place + ": skin " + std::to_string(i))) return false;
        }
        mesh.reached = MeshSection::kTexCoords;
        if (!readTexCoords(mesh, place)) return false;
        mesh.reached = MeshSection::kTriangles;
        if (!readTriangles(mesh, place)) return false;
        mesh.reached = MeshSection::kVertices;
        if (!readVertices(mesh, place)) return false;
        mesh.reached = MeshSection::kFrames;
        mesh.frames.reserve(fitting(c.frameCount, reader_.frameHeaderSize(), mdl7::frame::kMinReadSize));
        for (std::int32_t i = 0; i < c.frameCount; ++i) {
            if (!readFrame(mesh, place + ": frame " + std::to_string(i))) return false;
        }
        return true;
    }

    bool readSkin(Mesh& mesh, const std::string& place)
    {
        char name[mdl7::skin::kNameSize];
        std::uint8_t type = 0;
        if (!reader_.readSkinHeader(type, name)) return fail(place);
        Skin& skin = mesh.skins.emplace_back();
        skin.type = type;
        skin.name = name;
        skin.layout = layoutOf(type);
        if (!reader_.readSkinFormat(skin.width, skin.height, skin.bytesPerPixel, skin.hasMipmaps)) {
            return fail(place);
        }
        // An image with no positive area has no bytes. (The reader's skin
        // skip differs for kind 6, which it steps over by the width alone.)
        if (skin.width > 0 && skin.height > 0) {
            const std::uint8_t* image[4] = {};
            if (!reader_.readSkinPixels(&image[0], &image[1], &image[2], &image[3])) {
                return fail(place + ": image");
            }
            // The image was there, so its size is a valid one.
            skin.imageBytes = imageByteCount(skin.width, skin.height, skin.bytesPerPixel);
            keepImage(skin, image[0]);
            if (skin.hasMipmaps) {
                auto& mipmaps = skin.mipmapBytes.emplace();
                for (int level = 1; level <= kMipmapCount; ++level) {
                    mipmaps[std::size_t(level - 1)] =
                        mipmapByteCount(skin.width, skin.height, skin.bytesPerPixel, level);
                }
            }
        } else {
            skin.imageBytes = 0;
        }
        if ((type & mdl7::skin::kMaterialFlag) != 0) {
            Material m;
            if (!reader_.readSkinMaterial(m.colours[0].data(), m.colours[1].data(), m.colours[2].data(),
                                          m.colours[3].data(), &m.scalar)) {
                return fail(place + ": material");
            }
            skin.material = m;
        }
        if ((type & mdl7::skin::kExtraFlag) != 0) return readExtra(skin, place);
        return true;
    }

    // The main image's bytes where the model keeps them: an 8-bit image, or
    // the name of a texture file up to its first zero.
    static void keepImage(Skin& skin, const std::uint8_t* image)
    {
        const auto bytes = static_cast<std::size_t>(*skin.imageBytes);
        if (skin.layout == ImageLayout::kIndexed8) {
            skin.pixels.assign(image, image + bytes);
        } else if (skin.layout == ImageLayout::kExternal) {
            skin.externalFile = textBeforeZero(image, bytes);
        }
    }

    bool readExtra(Skin& skin, const std::string& place)
    {
        std::int32_t length = 0;
        if (!reader_.readSkinExtraLength(length)) return fail(place + ": extra block length");
        skin.extraLength = length;
        if (length <= 0) {
            skin.extra = std::string();
            return true;
        }
        // Allocate only what is known to be in the file.
        if (length > reader_.remaining()) {
            reader_.skip(length); // the cursor moves to the end, as a read would leave it
            return fail(place + ": extra block");
        }
        std::string text(static_cast<std::size_t>(length), '\0');
        if (!reader_.readSkinExtraData(text.data())) return fail(place + ": extra block");
        skin.extra = std::move(text);
        return true;
    }

    // A run read stops where the single read would first fail, and leaves
    // the reader as that read would: at a failure, reading stops there.
    bool readTexCoords(Mesh& mesh, const std::string& place)
    {
        const std::int32_t count = mesh.counts.texCoordCount;
        mesh.texCoords.reserve(fitting(count, reader_.texCoordRecordSize(), mdl7::texcoord::kMinReadSize));
        texCoordRun_.resize(kRunLength);
        for (std::int32_t i = 0; i < count;) {
            const auto want = std::min<std::size_t>(static_cast<std::size_t>(count - i), kRunLength);
            const std::size_t got = reader_.readTexCoords({texCoordRun_.data(), want});
            for (std::size_t k = 0; k < got; ++k) {
                mesh.texCoords.push_back({texCoordRun_[k].s, texCoordRun_[k].t});
            }
            i += static_cast<std::int32_t>(got);
            if (got < want) return fail(place + ": texture coordinate " + std::to_string(i));
        }
        return true;
    }

    bool readTriangles(Mesh& mesh, const std::string& place)
    {
        const std::int32_t count = mesh.counts.triangleCount;
        const std::uint16_t size = reader_.triangleRecordSize();
        const std::size_t fits = fitting(count, size, mdl7::triangle::kMinReadSize);
        mesh.triangles.reserve(fits);
        // Only records of 26 bytes or more carry the second set, which the
        // run read does not hand out: a whole load reads those one by one.
        // An export does not use the set and reads them as runs too.
        if (keepsSecondSets()) {
            mesh.secondSets.reserve(fits);
            for (std::int32_t i = 0; i < count; ++i) {
                if (!readTriangle(mesh, place, i)) return false;
            }
            return true;
        }
        triangleRun_.resize(kRunLength);
        for (std::int32_t i = 0; i < count;) {
            const auto want = std::min<std::size_t>(static_cast<std::size_t>(count - i), kRunLength);
            const std::int32_t before = reader_.tell();
            const std::size_t got = reader_.readTriangles({triangleRun_.data(), want});
            for (std::size_t k = 0; k < got; ++k) {
                const TriangleRecord& r = triangleRun_[k];
                Triangle& t = mesh.triangles.emplace_back();
                for (std::size_t c = 0; c < 3; ++c) {
                    t.vertexIndex[c] = r.vertexIndex[c];
                    t.texCoordIndex[c] = r.texCoordIndex[c];
                }
                t.skinIndex = mesh.hasSkinIndex ? r.skinIndex : 0;
            }
            i += static_cast<std::int32_t>(got);
            if (got == want) continue;
            // A run ends early at a triangle it refused after taking it, or
            // where the data runs out. The refused one is read again whole,
            // to keep its skin index, and reading resumes after it.
            const std::int64_t taken = std::int64_t{reader_.tell()} - before;
            if (taken != static_cast<std::int64_t>(got + 1) * size || !reader_.seek(reader_.tell() - size)) {
                return fail(place + ": triangle " + std::to_string(i));
            }
            if (!readTriangle(mesh, place, i)) return false;
            ++i;
        }
        return true;
    }

    [[nodiscard]] bool keepsSecondSets() const
    {
        return mode_ == LoadMode::kWhole &&
               reader_.triangleRecordSize() >= mdl7::triangle::kSizeWithSecondSet;
    }

    // One triangle with both index sets; the second is kept when the
    // records carry it and the load keeps it.
    bool readTriangle(Mesh& mesh, const std::string& place, std::int32_t index)
    {
        Triangle t;
        SecondIndexSet second;
        const std::int32_t before = reader_.tell();
        if (!reader_.readTriangleBothSets(t.vertexIndex[0], t.vertexIndex[1], t.vertexIndex[2],
                                          t.texCoordIndex[0], t.texCoordIndex[1], t.texCoordIndex[2],
                                          t.skinIndex, second.texCoordIndex[0], second.texCoordIndex[1],
                                          second.texCoordIndex[2], second.skinIndex)) {
            // Taken whole but refused: a vertex index is not below the
            // group's vertex count. Kept to be shown, not to be drawn.
            if (!tookRecord(before, reader_.triangleRecordSize())) {
                return fail(place + ": triangle " + std::to_string(index));
            }
            t.vertexOutside = true;
        }
        mesh.triangles.push_back(t);
        if (keepsSecondSets()) mesh.secondSets.push_back(second);
        return true;
    }

    bool readVertices(Mesh& mesh, const std::string& place)
    {
        const std::int32_t count = mesh.counts.vertexCount;
        const std::uint16_t size = reader_.vertexRecordSize();
        mesh.vertices.reserve(fitting(count, size, mdl7::vertex::kMinReadSize));
        vertexRun_.resize(kRunLength);
        // A 16-byte record holds an index into the normal table; an index
        // outside it leaves the normal as it was, which the NaN preset
        // reveals (the table holds no NaN).
        const bool tableNormal = size == mdl7::vertex::kSizeWithNormalIndex;
        const bool storedNormal = size >= mdl7::vertex::kSizeWithNormal;
        for (std::int32_t i = 0; i < count;) {
            const auto want = std::min<std::size_t>(static_cast<std::size_t>(count - i), kRunLength);
            if (tableNormal) {
                for (std::size_t k = 0; k < want; ++k) {
                    vertexRun_[k].nx = std::numeric_limits<float>::quiet_NaN();
                }
            }
            const std::size_t got = reader_.readVertices({vertexRun_.data(), want});
            for (std::size_t k = 0; k < got; ++k) {
                const VertexRecord& r = vertexRun_[k];
                Vertex& v = mesh.vertices.emplace_back();
                v.position = {r.x, r.y, r.z};
                v.hasNormal = storedNormal || (tableNormal && !std::isnan(r.nx));
                if (v.hasNormal) v.normal = {r.nx, r.ny, r.nz};
                v.index = r.boneIndex;
            }
            i += static_cast<std::int32_t>(got);
            if (got < want) return fail(place + ": vertex " + std::to_string(i));
        }
        return true;
    }

    bool readFrame(Mesh& mesh, const std::string& place)
    {
        char name[mdl7::frame::kNameSize];
        std::int32_t frameVertexCount = 0;
        std::int32_t boneTransformCount = 0;
        if (!reader_.readFrameHeader(frameVertexCount, boneTransformCount, name)) return fail(place);
        Frame& frame = mesh.frames.emplace_back();
        frame.name = name;
        frame.frameVertexCount = frameVertexCount;
        frame.boneTransformCount = boneTransformCount;
        frame.vertices.reserve(
            fitting(frameVertexCount, reader_.frameVertexRecordSize(), mdl7::vertex::kMinReadSize));
        for (std::int32_t i = 0; i < frameVertexCount; ++i) {
            Vertex v;
            if (!reader_.readFrameVertex(v.index, v.position.x, v.position.y, v.position.z)) {
                return fail(place + ": frame vertex " + std::to_string(i));
            }
            readFrameVertexNormal(v);
            frame.vertices.push_back(v);
        }
        const std::uint16_t size = reader_.boneTransformRecordSize();
        frame.boneTransforms.reserve(fitting(boneTransformCount, size, mdl7::bonetransform::kMinReadSize));
        for (std::int32_t i = 0; i < boneTransformCount; ++i) {
            BoneTransform t;
            std::uint8_t matrix[mdl7::bonetransform::kMatrixSize];
            if (!reader_.readBoneTransform(t.boneIndex, matrix)) {
                if (!unexported(fail(place + ": bone transform " + std::to_string(i)))) return false;
                // Step over the frame's other transforms by their stored
                // size; where the data ran out, the next read says so.
                (void)reader_.skip(std::int64_t{size} * (boneTransformCount - i));
                return true;
            }
            for (std::size_t k = 0; k < t.matrix.size(); ++k) {
                t.matrix[k] = loadF32(matrix + 4 * k);
            }
            frame.boneTransforms.push_back(t);
        }
        return true;
    }

    // The current frame vertex's normal when its record has one, by the
    // rules of the vertices (see readVertices).
    void readFrameVertexNormal(Vertex& v)
    {
        const std::uint16_t size = reader_.frameVertexRecordSize();
        if (size < mdl7::vertex::kSizeWithNormal && size != mdl7::vertex::kSizeWithNormalIndex) return;
        const float unset = std::numeric_limits<float>::quiet_NaN();
        Vec3 n = {unset, unset, unset};
        const bool stored = reader_.readFrameVertexNormal(n.x, n.y, n.z);
        if (!stored && std::isnan(n.x)) return;
        v.normal = n;
        v.hasNormal = true;
    }

    bool readDeformers()
    {
        auto& deformers = model_.deformers.emplace();
        for (std::int64_t d = 0; d < reader_.deformerTotal(); ++d) {
            const std::string place = "deformer " + std::to_string(d);
            Deformer deformer;
            if (!reader_.readDeformerHeader(deformer.deformerType, deformer.groupIndex, deformer.elementCount,
                                            &deformer.deformerDataSize)) {
                return fail(place);
            }
            Deformer& stored = deformers.emplace_back(std::move(deformer));
            for (std::int32_t e = 0; e < stored.elementCount; ++e) {
                if (!readDeformerElement(stored, place + ": element " + std::to_string(e))) return false;
            }
        }
        return true;
    }

    bool readDeformerElement(Deformer& deformer, const std::string& place)
    {
        DeformerElement element;
        char name[mdl7::element::kNameSize];
        if (!reader_.readDeformerElement(element.elementIndex, name, element.weightCount)) return fail(place);
        element.elementName = name;
        DeformerElement& stored = deformer.elements.emplace_back(std::move(element));
        for (std::int32_t w = 0; w < stored.weightCount; ++w) {
            DeformerWeight weight;
            if (!reader_.readDeformerWeight(weight.targetIndex, weight.weight)) {
                return fail(place + ": weight " + std::to_string(w));
            }
            stored.weights.push_back(weight);
        }
        return true;
    }

    bool readTrailer()
    {
        if (model_.header.trailerSize == 0) return true;
        if (!reader_.seekTrailer()) return fail("trailer", "lies outside the data");
        Trailer trailer;
        if (!reader_.readTrailerHeader(trailer.trailerKind, trailer.entryCount)) {
            return fail("trailer", "header cannot be read");
        }
        trailer.trailerLength = reader_.currentTrailerLength();
        Trailer& t = model_.trailer.emplace(std::move(trailer));
        for (std::int32_t e = 0; e < t.entryCount; ++e) {
            const std::string place = "trailer: entry " + std::to_string(e);
            TrailerEntry entry;
            if (!reader_.readTrailerEntry(entry.entryId, entry.subEntryCount)) return fail(place);
            TrailerEntry& stored = t.entries.emplace_back(std::move(entry));
            for (std::int32_t s = 0; s < stored.subEntryCount; ++s) {
                if (!readTrailerSubEntry(stored, place + ": sub-entry " + std::to_string(s))) return false;
            }
        }
        return true;
    }

    bool readTrailerSubEntry(TrailerEntry& entry, const std::string& place)
    {
        TrailerSubEntry sub;
        if (!reader_.readTrailerSubEntry(sub.subEntryId, sub.triangleCount)) return fail(place);
        TrailerSubEntry& stored = entry.subEntries.emplace_back(std::move(sub));
        for (std::int32_t i = 0; i < stored.triangleCount; ++i) {
            TrailerTriangle tri;
            if (!reader_.readTrailerTriangle(tri.vertexIndex[0], tri.vertexIndex[1], tri.vertexIndex[2],
                                             tri.texCoordIndex[0], tri.texCoordIndex[1], tri.texCoordIndex[2],
                                             tri.skinIndex)) {
                return fail(place + ": triangle " + std::to_string(i));
            }
            stored.triangles.push_back(tri);
        }
        return true;
    }

    bool readSecondTrailer()
    {
        if (model_.header.secondTrailerSize == 0) return true;
        if (!reader_.seekSecondTrailer()) return fail("second trailer", "lies outside the data");
        SecondTrailer second;
        if (!reader_.readSecondTrailerHeader(second.identifier, second.length)) {
            return fail("second trailer", "header cannot be read");
        }
        model_.secondTrailer = second;
        // Its content is not interpreted, but it must be there.
        if (!reader_.skipSecondTrailer()) return fail("second trailer", "runs past the end of the data");
        return true;
    }

    Mdl7Reader& reader_;
    LoadMode mode_;
    LoadResult& result_;
    Model& model_;
    LoadObserver* observer_;
    // Run buffers, kept from group to group.
    std::vector<TexCoordRecord> texCoordRun_;
    std::vector<TriangleRecord> triangleRun_;
    std::vector<VertexRecord> vertexRun_;
};

} // namespace

void loadMdl7(Mdl7Reader& reader, LoadMode mode, LoadResult& result, LoadObserver* observer)
{
    Mdl7Walker(reader, mode, result, observer).run();
}

} // namespace kelvane::scene
