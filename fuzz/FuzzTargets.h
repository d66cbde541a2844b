// The bodies of the fuzz harnesses, shared by the libFuzzer programs in this
// folder and by the test that replays the committed corpora.
//
// Each target takes one input of any content and size and drives a part of
// the product over it the way a caller would, then also in orders no caller
// should use. A target returns 0 for every input: its only findings are
// crashes, sanitizer reports, leaks, hangs and runaway allocations. Where a
// reader hands out something its contract promises (a terminated name, a
// pointer into its own data), a broken promise aborts.
//
// The readers, the loaders and the split take file names, so every input is written to a
// file in a private folder made once per process (under /dev/shm when it
// exists, which keeps the file system out of the measurements) and removed at
// exit.
#pragma once

#include "app/Options.h"
#include "app/SplitDriver.h"
#include "mdl/ByteOrder.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/OpenModelFile.h"
#include "mdl/legacy/LegacyModelReader.h"
#include "scene/LoadModel.h"
#include "scene/gltf/GltfExport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace kelvane::fuzz {

// The private folder of this process; created on first use, removed with
// its contents at exit. Aborts when no folder can be made: a harness that
// cannot write its input tests nothing.
class ScratchFolder {
  public:
    static ScratchFolder& instance()
    {
        static ScratchFolder folder;
        return folder;
    }

    [[nodiscard]] const std::string& root() const { return root_; }

    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

  private:
#ifdef _WIN32
    // The Windows runtime has no mkdtemp: random names in the system's
    // temporary folder until one can be created.
    ScratchFolder()
    {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && root_.empty() && !base.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("kelvane-fuzz-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) root_ = candidate.string();
        }
        if (root_.empty()) {
            std::fprintf(stderr, "kelvane fuzz: cannot create a temporary folder\n");
            std::abort();
        }
    }
#else
    ScratchFolder()
    {
        std::error_code error;
        std::string base = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "";
        if (base.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        }
        std::string pattern = base + "/kelvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "kelvane fuzz: cannot create a folder under %s\n", base.c_str());
            std::abort();
        }
        root_ = pattern;
    }
#endif

    std::string root_;
};

// Writes `size` bytes to `path`, replacing the file; aborts on failure.
inline void writeInput(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && (size == 0 || std::fwrite(data, 1, size, file) == size);
    const bool closed = file != nullptr && std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "kelvane fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
}

namespace detail {

inline void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "kelvane fuzz: broken promise: %s\n", what);
        std::abort();
    }
}

// A name handed out into a buffer of `size` bytes must end within it.
inline void requireTerminated(const char* name, std::size_t size)
{
    require(std::memchr(name, '\0', size) != nullptr, "name not terminated within its buffer");
}

// A pointer handed out by a reader must lie within its loaded data.
inline void requireInside(const ModelFile& reader, const std::uint8_t* pointer)
{
    if (pointer == nullptr) return;
    require(reader.data() != nullptr && pointer >= reader.data() &&
                pointer <= reader.data() + reader.dataLimit(),
            "pointer outside the loaded data");
}

// Loop guard for counted reads: a failed read that left the cursor at the end
// or where it was ends the loop; one that took its record (a triangle with a
// vertex index out of range) lets the walk go on, which still ends because
// every such read consumes bytes.
inline bool keepGoing(const ModelFile& reader, bool ok, std::int32_t before)
{
    return ok || (reader.remaining() > 0 && reader.tell() != before);
}

// Reads the current skin's parts the long way: format, pixels, material and
// extra block as its type announces them.
inline void readSkinParts(Mdl7Reader& reader, std::uint8_t type)
{
    std::int32_t width = 0, height = 0, bytesPerPixel = 0;
    bool hasMipmaps = false;
    if (!reader.readSkinFormat(width, height, bytesPerPixel, hasMipmaps)) return;
    const std::uint8_t* images[4] = {};
    if (!reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3])) return;
    for (const std::uint8_t* image : images)
        requireInside(reader, image);
    if ((type & 0x10) != 0) {
        float colours[4][4] = {};
        float scalar = 0;
        if (!reader.readSkinMaterial(colours[0], colours[1], colours[2], colours[3], &scalar)) return;
    }
    if ((type & 0x20) != 0) {
        std::int32_t length = 0;
        if (!reader.readSkinExtraLength(length)) return;
        // A careful caller sizes its buffer only after checking the length
        // against the data.
        if (length > 0 && length <= reader.remaining()) {
            std::vector<char> extra(static_cast<std::size_t>(length));
            (void)reader.readSkinExtraData(extra.data());
        } else if (length > 0) {
            (void)reader.readSkinExtraData(nullptr);
        }
    }
}

inline void readFrames(Mdl7Reader& reader, std::int32_t frameCount)
{
    for (std::int32_t f = 0; f < frameCount; ++f) {
        std::int32_t frameVertexCount = 0, boneTransformCount = 0;
        char name[16];
        if (!reader.readFrameHeader(frameVertexCount, boneTransformCount, name)) return;
        requireTerminated(name, sizeof name);
        for (std::int32_t v = 0; v < frameVertexCount; ++v) {
            std::int32_t vertexIndex = 0;
            float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0;
            if (!reader.readFrameVertex(vertexIndex, x, y, z)) return;
            (void)reader.readFrameVertexNormal(nx, ny, nz);
        }
        for (std::int32_t b = 0; b < boneTransformCount; ++b) {
            std::int32_t boneIndex = 0;
            std::uint8_t matrix[64];
            if (!reader.readBoneTransform(boneIndex, matrix)) return;
        }
    }
}

// How a mesh group is walked: record by record, with the run reads for its
// texture coordinates, triangles and vertices, or stepping over the parts as
// a caller that wants only some of them does.
enum class GroupWalk { kRecords, kRuns, kSkips };

// Reads `count` records (at most a few thousand, whatever the count says) as
// one run; false when the run stopped early.
template <typename Record>
bool readRun(Mdl7Reader& reader, std::size_t (Mdl7Reader::*read)(std::span<Record>), std::int32_t count)
{
    std::vector<Record> records(static_cast<std::size_t>(std::clamp(count, 0, 4096)));
    return (reader.*read)(records) == records.size();
}

inline void readMeshGroup(Mdl7Reader& reader, GroupWalk walk)
{
    std::int32_t skinCount = 0, texCoordCount = 0, triangleCount = 0, vertexCount = 0, frameCount = 0;
    if (!reader.readGroupCounts(skinCount, texCoordCount, triangleCount, vertexCount, frameCount)) return;

    if (walk == GroupWalk::kSkips) {
        if (!reader.skipSkins() || !reader.skipTexCoords() || !reader.skipTriangles() ||
            !reader.skipVertices()) {
            return;
        }
        (void)reader.skipFrames();
        return;
    }

    for (std::int32_t k = 0; k < skinCount; ++k) {
        std::uint8_t type = 0;
        char name[16];
        if (!reader.readSkinHeader(type, name)) return;
        requireTerminated(name, sizeof name);
        if (k % 2 == 0) {
            readSkinParts(reader, type);
        } else if (!reader.skipSkin()) {
            return;
        }
    }
    if (walk == GroupWalk::kRuns) {
        if (readRun(reader, &Mdl7Reader::readTexCoords, texCoordCount) &&
            readRun(reader, &Mdl7Reader::readTriangles, triangleCount) &&
            readRun(reader, &Mdl7Reader::readVertices, vertexCount)) {
            readFrames(reader, frameCount);
        }
        return;
    }
    for (std::int32_t k = 0; k < texCoordCount; ++k) {
        float s = 0, t = 0;
        if (!reader.readTexCoord(s, t)) return;
    }
    for (std::int32_t k = 0; k < triangleCount; ++k) {
        std::int32_t v[3] = {}, c[3] = {}, c2[3] = {}, skin = 0, skin2 = 0;
        const std::int32_t before = reader.tell();
        const bool ok = k % 2 == 0 ? reader.readTriangle(v[0], v[1], v[2], c[0], c[1], c[2], skin)
                                   : reader.readTriangleBothSets(v[0], v[1], v[2], c[0], c[1], c[2], skin,
                                                                 c2[0], c2[1], c2[2], skin2);
        if (!keepGoing(reader, ok, before)) return;
    }
    for (std::int32_t k = 0; k < vertexCount; ++k) {
        float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0;
        std::int32_t bone = 0;
        if (!reader.readVertex(x, y, z, bone)) return;
        (void)reader.readVertexNormal(nx, ny, nz);
    }
    readFrames(reader, frameCount);
}

inline void readDeformers(Mdl7Reader& reader, bool skipping)
{
    if (skipping) {
        (void)reader.skipDeformers();
        return;
    }
    for (std::int64_t d = 0; d < reader.deformerTotal(); ++d) {
        std::uint8_t type = 0;
        std::int32_t groupIndex = 0, elementCount = 0, dataSize = 0;
        if (!reader.readDeformerHeader(type, groupIndex, elementCount, &dataSize)) return;
        for (std::int32_t e = 0; e < elementCount; ++e) {
            std::int32_t elementIndex = 0, weightCount = 0;
            char name[20];
            if (!reader.readDeformerElement(elementIndex, name, weightCount)) return;
            requireTerminated(name, sizeof name);
            if (e % 2 == 1) {
                if (!reader.skipDeformerWeights()) return;
                continue;
            }
            for (std::int32_t w = 0; w < weightCount; ++w) {
                std::int32_t target = 0;
                float weight = 0;
                if (!reader.readDeformerWeight(target, weight)) return;
            }
        }
    }
}

inline void readTrailers(Mdl7Reader& reader)
{
    if (reader.seekTrailer()) {
        // A trailer may hold several records one after another.
        for (int record = 0; record < 64; ++record) {
            std::int32_t kind = 0, entryCount = 0;
            if (!reader.readTrailerHeader(kind, entryCount)) break;
            for (std::int32_t e = 0; e < entryCount; ++e) {
                std::int32_t entryId = 0, subEntryCount = 0;
                if (!reader.readTrailerEntry(entryId, subEntryCount)) break;
                for (std::int32_t s = 0; s < subEntryCount; ++s) {
                    std::int32_t subId = 0, triangleCount = 0;
                    if (!reader.readTrailerSubEntry(subId, triangleCount)) break;
                    for (std::int32_t t = 0; t < triangleCount; ++t) {
                        std::int32_t v[3] = {}, c[3] = {}, skin = 0;
                        if (!reader.readTrailerTriangle(v[0], v[1], v[2], c[0], c[1], c[2], skin)) break;
                    }
                }
            }
            if (!reader.skipTrailer()) break;
        }
    }
    if (reader.seekSecondTrailer()) {
        for (int record = 0; record < 64; ++record) {
            std::int32_t identifier = 0, length = 0;
            if (!reader.readSecondTrailerHeader(identifier, length)) break;
            if (!reader.skipSecondTrailer()) break;
        }
    }
}

// The views meant for messages and tools; any state must answer them.
inline void touchViews(const Mdl7Reader& reader)
{
    volatile std::int64_t sink = 0;
    sink = sink + reader.boneRecordSize() + reader.skinHeaderSize() + reader.colourValueSize() +
           reader.materialRecordSize() + reader.texCoordRecordSize() + reader.triangleRecordSize() +
           reader.vertexRecordSize() + reader.frameVertexRecordSize() + reader.boneTransformRecordSize() +
           reader.frameHeaderSize() + reader.currentVertexCount() + reader.currentFrameVertexCount() +
           reader.currentBoneTransformCount() + reader.extraLength() + reader.deformerTotal() +
           reader.maxWeights() + reader.currentTrailerLength() + reader.tell() + reader.remaining() +
           (reader.getHeader() != nullptr ? 1 : 0);
}

// The whole file in the order a caller walks it: header, bones, every group
// (mesh groups read, or stepped over on odd indices; other groups stepped
// over), the deformers, then both trailers.
inline void walkMdl7InOrder(Mdl7Reader& reader)
{
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondTrailerSize = 0;
    if (!reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondTrailerSize)) return;
    for (std::int32_t b = 0; b < boneCount; ++b) {
        std::int32_t parent = 0;
        float x = 0, y = 0, z = 0;
        char name[20];
        if (!reader.readBone(parent, x, y, z, name)) break;
        requireTerminated(name, sizeof name);
    }
    for (std::int32_t g = 0; g < groupCount; ++g) {
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        char name[16];
        if (!reader.readGroupHeader(type, groupDataSize, name)) break;
        requireTerminated(name, sizeof name);
        if (type != 1) {
            if (!reader.skipGroup()) break;
            continue;
        }
        readMeshGroup(reader, static_cast<GroupWalk>(g % 3));
        touchViews(reader);
    }
    readDeformers(reader, false);
    touchViews(reader);
    readTrailers(reader);
    touchViews(reader);
}

// Operations in an order taken from `ops`, whatever state the reader is in.
inline void walkMdl7OutOfOrder(Mdl7Reader& reader, const std::uint8_t* ops, std::size_t opCount)
{
    std::int32_t i[11] = {};
    float f[8] = {};
    std::uint8_t type = 0;
    char name[20];
    float colours[4][4] = {};
    std::uint8_t matrix[64];
    // A name is only promised after a successful read; the buffer is filled
    // with non-zero bytes before each call so that a missing terminator shows.
    const auto checkName = [&name](bool ok, std::size_t size) {
        if (ok) requireTerminated(name, size);
        std::memset(name, 'X', sizeof name);
    };
    std::memset(name, 'X', sizeof name);
    bool flag = false;
    char extra[64];
    for (std::size_t k = 0; k < opCount; ++k) {
        const std::uint8_t op = ops[k];
        switch (op % 47) {
        case 0:
            (void)reader.readHeader(i[0], i[1], i[2], i[3], i[4]);
            break;
        case 1:
            checkName(reader.readBone(i[0], f[0], f[1], f[2], name), 20);
            break;
        case 2:
            checkName(reader.readGroupHeader(type, i[0], name), 16);
            break;
        case 3:
            (void)reader.readGroupCounts(i[0], i[1], i[2], i[3], i[4]);
            break;
        case 4:
            checkName(reader.readSkinHeader(type, name), 16);
            break;
        case 5:
            (void)reader.readSkinFormat(i[0], i[1], i[2], flag);
            break;
        case 6: {
            const std::uint8_t* images[4] = {};
            if (reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3])) {
                for (const std::uint8_t* image : images)
                    requireInside(reader, image);
            }
            break;
        }
        case 7:
            (void)reader.readSkinPixels(nullptr, nullptr, nullptr, nullptr);
            break;
        case 8:
            (void)reader.readSkinMaterial(colours[0], colours[1], colours[2], colours[3], &f[0]);
            break;
        case 9:
            (void)reader.readSkinExtraLength(i[0]);
            break;
        case 10:
            if (reader.extraLength() <= std::int32_t(sizeof extra)) {
                (void)reader.readSkinExtraData(extra);
            } else {
                (void)reader.readSkinExtraData(nullptr);
            }
            break;
        case 11:
            (void)reader.readTexCoord(f[0], f[1]);
            break;
        case 12:
            (void)reader.readTriangle(i[0], i[1], i[2], i[3], i[4], i[5], i[6]);
            break;
        case 13:
            (void)reader.readTriangleBothSets(i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7], i[8], i[9],
                                              i[10]);
            break;
        case 14:
            (void)reader.readVertex(f[0], f[1], f[2], i[0]);
            break;
        case 15:
            (void)reader.readVertexNormal(f[0], f[1], f[2]);
            break;
        case 16:
            checkName(reader.readFrameHeader(i[0], i[1], name), 16);
            break;
        case 17:
            (void)reader.readFrameVertex(i[0], f[0], f[1], f[2]);
            break;
        case 18:
            (void)reader.readFrameVertexNormal(f[0], f[1], f[2]);
            break;
        case 19:
            (void)reader.readBoneTransform(i[0], matrix);
            break;
        case 20:
            (void)reader.readDeformerHeader(type, i[0], i[1], &i[2]);
            break;
        case 21:
            checkName(reader.readDeformerElement(i[0], name, i[1]), 20);
            break;
        case 22:
            (void)reader.readDeformerWeight(i[0], f[0]);
            break;
        case 23:
            (void)reader.skipDeformer();
            break;
        case 24:
            (void)reader.skipDeformers();
            break;
        case 25:
            (void)reader.skipDeformerWeights();
            break;
        case 26:
            (void)reader.seekTrailer();
            break;
        case 27:
            (void)reader.readTrailerHeader(i[0], i[1]);
            break;
        case 28:
            (void)reader.readTrailerEntry(i[0], i[1]);
            break;
        case 29:
            (void)reader.readTrailerSubEntry(i[0], i[1]);
            break;
        case 30:
            (void)reader.readTrailerTriangle(i[0], i[1], i[2], i[3], i[4], i[5], i[6]);
            break;
        case 31:
            (void)reader.skipTrailer();
            break;
        case 32:
            (void)reader.seekSecondTrailer();
            break;
        case 33:
            (void)reader.readSecondTrailerHeader(i[0], i[1]);
            break;
        case 34:
            (void)reader.skipSecondTrailer();
            break;
        case 35:
            (void)reader.skipBones();
            break;
        case 36:
            (void)reader.skipGroup();
            break;
        case 37:
            (void)reader.skipSkin();
            break;
        case 38:
            (void)reader.skipSkins();
            break;
        case 39:
            (void)reader.skipTexCoords();
            (void)reader.skipTriangles();
            break;
        case 40:
            (void)reader.skipVertices();
            break;
        case 41:
            (void)reader.skipFrame();
            (void)reader.skipFrames();
            break;
        case 42:
            (void)reader.seek(std::int64_t(op) * 4);
            break;
        case 43:
            (void)readRun(reader, &Mdl7Reader::readTexCoords, op % 9);
            break;
        case 44:
            (void)readRun(reader, &Mdl7Reader::readTriangles, op % 9);
            break;
        case 45:
            (void)readRun(reader, &Mdl7Reader::readVertices, op % 9);
            break;
        default:
            (void)reader.close();
            break;
        }
        touchViews(reader);
    }
}

inline void walkLegacyInOrder(LegacyModelReader& reader)
{
    const std::int32_t skinCount = reader.getSkinCount();
    const std::int32_t vertexCount = reader.getVertexCount();
    const std::int32_t texCoordCount = reader.getTexCoordCount();
    const std::int32_t triangleCount = reader.getTriangleCount();
    const std::int32_t frameCount = reader.getFrameCount();
    const std::uint8_t* header = nullptr;
    (void)reader.getHeader(header);
    requireInside(reader, header);
    std::int32_t skinWidth = 0, skinHeight = 0;
    float packedScale[3] = {}, packedTranslate[3] = {};
    (void)reader.getTexCoordSkinSize(skinWidth, skinHeight);
    (void)reader.getPackedScale(packedScale, packedTranslate);
    bool flag = false;

    for (std::int32_t k = 0; k < skinCount; ++k) {
        if (k % 2 == 1) {
            if (!reader.skipSkin()) return;
            continue;
        }
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool hasMipmaps = false;
        if (!reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps)) return;
        const std::uint8_t* images[4] = {};
        if (!reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3])) return;
        for (const std::uint8_t* image : images)
            requireInside(reader, image);
    }
    for (std::int32_t k = 0; k < texCoordCount; ++k) {
        std::int16_t s = 0, t = 0;
        if (!reader.readTexCoord(s, t)) return;
        (void)reader.getTexCoordOnSeam(flag);
    }
    for (std::int32_t k = 0; k < triangleCount; ++k) {
        std::int32_t vertices[3] = {}, texCoords[3] = {};
        if (!reader.readTriangle(vertices, texCoords)) return;
        (void)reader.getTriangleFacesFront(flag);
    }
    for (std::int32_t f = 0; f < frameCount; ++f) {
        if (f % 2 == 1) {
            if (!reader.skipFrame()) return;
            continue;
        }
        char name[16];
        std::uint16_t bboxMin[3] = {}, bboxMax[3] = {};
        float scale[3] = {}, translate[3] = {};
        const bool taken = reader.readFrameHeader(name, bboxMin, bboxMax, scale, translate);
        std::int32_t frameType = 0;
        (void)reader.getFrameType(frameType);
        if (!taken) return;
        requireTerminated(name, sizeof name);
        for (std::int32_t v = 0; v < vertexCount; ++v) {
            std::uint16_t position[3] = {};
            std::int32_t normalIndex = 0;
            const bool ok = v % 2 == 0 ? reader.readVertex(position, normalIndex) : reader.nextVertex();
            if (!ok) return;
        }
    }
}

inline void walkLegacyOutOfOrder(LegacyModelReader& reader, const std::uint8_t* ops, std::size_t opCount)
{
    std::uint8_t type = 0;
    std::int32_t width = 0, height = 0, bytesPerPixel = 0, normalIndex = 0;
    bool hasMipmaps = false;
    std::int16_t s = 0, t = 0;
    std::int32_t vertices[3] = {}, texCoords[3] = {};
    std::uint16_t position[3] = {}, bbox[6] = {};
    float scale[3] = {}, translate[3] = {};
    char name[16];
    for (std::size_t k = 0; k < opCount; ++k) {
        const std::uint8_t op = ops[k];
        switch (op % 20) {
        case 0:
            (void)reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps);
            break;
        case 1: {
            const std::uint8_t* images[4] = {};
            if (reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3])) {
                for (const std::uint8_t* image : images)
                    requireInside(reader, image);
            }
            break;
        }
        case 2:
            (void)reader.readSkinPixels(nullptr, nullptr, nullptr, nullptr);
            break;
        case 3:
            (void)reader.readTexCoord(s, t);
            break;
        case 4:
            (void)reader.readTriangle(vertices, texCoords);
            break;
        case 5:
            std::memset(name, 'X', sizeof name);
            if (reader.readFrameHeader(name, &bbox[0], &bbox[3], scale, translate)) {
                requireTerminated(name, sizeof name);
            }
            break;
        case 6:
            (void)reader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr);
            break;
        case 7:
            (void)reader.readVertex(position, normalIndex);
            break;
        case 8:
            (void)reader.nextVertex();
            break;
        case 9:
            (void)reader.skipSkin();
            break;
        case 10:
            (void)reader.skipSkins();
            break;
        case 11:
            (void)reader.skipTexCoords();
            break;
        case 12:
            (void)reader.skipTriangles();
            break;
        case 13:
            (void)reader.skipVertices();
            break;
        case 14:
            (void)reader.skipFrame();
            break;
        case 15:
            (void)reader.skipFrames();
            break;
        case 16:
            (void)reader.skipBones();
            (void)reader.skipGroup();
            break;
        case 17:
            (void)reader.seek(std::int64_t(op) * 4);
            break;
        case 18:
            (void)reader.reservedQuery(nullptr, nullptr, nullptr);
            break;
        default:
            (void)reader.close();
            break;
        }
        volatile std::int64_t sink = reader.tell() + reader.remaining() + reader.getSkinCount() +
                                     reader.getVertexCount() + reader.getTriangleCount() +
                                     reader.getTexCoordCount() + reader.getFrameCount();
        (void)sink;
    }
}

// At most this many operations of an out-of-order walk, taken from the end of
// the input backwards (the part of a file a mutation least often breaks for
// the in-order walk).
constexpr std::size_t kMaxOutOfOrderOps = 256;

inline std::size_t opCount(std::size_t size) { return size < kMaxOutOfOrderOps ? size : kMaxOutOfOrderOps; }

inline std::vector<std::uint8_t> opsFromTail(const std::uint8_t* data, std::size_t size)
{
    const std::size_t n = opCount(size);
    std::vector<std::uint8_t> ops(n);
    for (std::size_t k = 0; k < n; ++k)
        ops[k] = data[size - 1 - k];
    return ops;
}

} // namespace detail

// Walks the input as an MDL7 file with Mdl7Reader: every record kind in file
// order, the deformers and both trailers; then, on a fresh open, operations in
// an order taken from the input's last bytes.
inline int runMdl7Reader(const std::uint8_t* data, std::size_t size)
{
    const std::string path = ScratchFolder::instance().root() + "/reader.mdl";
    writeInput(path, data, size);
    {
        Mdl7Reader reader;
        if (reader.open(path.c_str()) < 0) return 0;
        detail::walkMdl7InOrder(reader);
        reader.close();
    }
    {
        Mdl7Reader reader;
        if (reader.open(path.c_str()) < 0) return 0;
        const std::vector<std::uint8_t> ops = detail::opsFromTail(data, size);
        detail::walkMdl7OutOfOrder(reader, ops.data(), ops.size());
    }
    return 0;
}

// Opens the input through openModelFile, which picks the reader by the first
// four bytes, and walks an older-format model in file order, then out of
// order as runMdl7Reader does. MDL7 inputs are left to runMdl7Reader.
inline int runLegacyReaders(const std::uint8_t* data, std::size_t size)
{
    const std::string path = ScratchFolder::instance().root() + "/legacy.mdl";
    writeInput(path, data, size);
    for (int pass = 0; pass < 2; ++pass) {
        OpenModelResult opened = openModelFile(path.c_str());
        detail::require(opened.model != nullptr || !opened.error.empty(), "failure without a message");
        if (!opened) return 0;
        auto* reader = dynamic_cast<LegacyModelReader*>(opened.model.get());
        if (reader == nullptr) return 0;
        if (pass == 0) {
            detail::walkLegacyInOrder(*reader);
        } else {
            const std::vector<std::uint8_t> ops = detail::opsFromTail(data, size);
            detail::walkLegacyOutOfOrder(*reader, ops.data(), ops.size());
        }
    }
    return 0;
}

// The options a split input selects with its first byte: one bit per flag,
// and the two top bits pick the texture extension.
inline Options splitOptions(std::uint8_t selector)
{
    static constexpr char kExtensions[4][sizeof Options{}.textureExt] = {"bmp", "tga", "", "pc"};
    Options options;
    options.offsetMesh = selector & 0x01;
    options.normalMaps = (selector >> 1) & 0x01;
    options.allSkins = (selector >> 2) & 0x01;
    options.disableMat = (selector >> 3) & 0x01;
    options.writeWmp = (selector >> 4) & 0x01;
    options.externalTextures = (selector >> 5) & 0x01;
    std::memcpy(options.textureExt, kExtensions[selector >> 6], sizeof options.textureExt);
    return options;
}

// Runs the whole split on the input less its first byte, which selects the
// options, in a folder of its own that is emptied afterwards. A run that
// fails must say why.
inline int runSplit(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const Options options = splitOptions(data[0]);
    const std::string folder = ScratchFolder::instance().root() + "/split";
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directory(folder, error);
    if (error) {
        std::fprintf(stderr, "kelvane fuzz: cannot create %s\n", folder.c_str());
        std::abort();
    }
    const std::string path = folder + "/model.mdl";
    writeInput(path, data + 1, size - 1);
    std::ostringstream out, err;
    SplitDriver driver(options, out, err);
    const bool ok = driver.run(path.c_str());
    detail::require(ok || !err.str().empty(), "failed run without a message");
    std::filesystem::remove_all(folder, error);
    return 0;
}

// What a conversion input selects with its last byte: bit 0 leaves the
// animation out, bit 1 gives a palette (so 8-bit skins become PNG images),
// bit 2 asks for .gltf and .bin instead of a .glb. The last byte, not the
// first, so that any model file is a seed as it stands.
struct ConvertChoice {
    scene::gltf::ExportOptions options;
    bool separateBinary = false;
};

inline ConvertChoice convertChoice(std::uint8_t selector)
{
    ConvertChoice choice;
    choice.options.animation = (selector & 0x01) == 0;
    if ((selector & 0x02) != 0) {
        auto& palette = choice.options.palette.emplace();
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = static_cast<std::uint8_t>(i * 7);
    }
    choice.separateBinary = (selector & 0x04) != 0;
    // Small enough that a hostile model cannot make the harness run out of
    // memory or time; the limit is checked before anything is written.
    choice.options.maxOutputBytes = 64u << 20;
    return choice;
}

// Loads the input as mdlconvert does (any format, parts that are not
// exported may fail) and exports it in memory. A load or export that fails
// must say why; a .glb that succeeds must be framed as its header says.
inline int runConvert(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const ConvertChoice choice = convertChoice(data[size - 1]);
    const std::string path = ScratchFolder::instance().root() + "/convert.mdl";
    writeInput(path, data, size);
    const scene::LoadResult loaded = scene::loadModel(path.c_str(), scene::LoadMode::kForExport);
    if (!loaded.openError.empty()) return 0;
    if (loaded.failure) {
        detail::require(!loaded.failure->place.empty() && !loaded.failure->reason.empty(),
                        "load failure without a place or reason");
        return 0;
    }
    scene::gltf::ExportReport report;
    if (choice.separateBinary) {
        scene::gltf::StringSink json, bin;
        const bool ok =
            scene::gltf::exportGltf(loaded.model, choice.options, json, bin, "convert.bin", report);
        detail::require(ok || !report.failure.empty(), "failed export without a message");
        detail::require(!ok ||
                            (report.jsonBytes == json.bytes.size() && report.binaryBytes == bin.bytes.size()),
                        "export report disagrees with the bytes written");
        return 0;
    }
    scene::gltf::StringSink glb;
    const bool ok = scene::gltf::exportGlb(loaded.model, choice.options, glb, report);
    detail::require(ok || !report.failure.empty(), "failed export without a message");
    if (ok) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(glb.bytes.data());
        detail::require(glb.bytes.size() >= 20 && std::memcmp(bytes, "glTF", 4) == 0,
                        "a .glb that does not start with its header");
        detail::require(loadU32(bytes + 8) == glb.bytes.size(), "a .glb whose length field is wrong");
        detail::require(loadU32(bytes + 12) % 4 == 0, "a .glb JSON chunk that is not 4-byte aligned");
    }
    return 0;
}

} // namespace kelvane::fuzz
