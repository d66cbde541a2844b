// Mdl7Dump: reads a whole MDL7 file through Mdl7Reader into a plain tree of
// its records, and prints that tree as a readable summary or as JSON.
//
// Reading and printing are separate so that a file that cannot be read to
// the end still shows everything before the point where reading stopped:
// sections that were not reached stay empty (std::nullopt) and print as null.
// The JSON form is described in docs/mdlinfo.md.
#pragma once

#include "mdl/Mdl7Reader.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::mdlinfo {

struct Mdl7Header {
    std::int32_t boneCount = 0;
    std::int32_t groupCount = 0;
    std::int32_t modelDataSize = 0;
    std::int32_t trailerSize = 0;
    std::int32_t secondTrailerSize = 0;
    std::uint16_t boneRecordSize = 0;
    std::uint16_t skinHeaderSize = 0;
    std::uint16_t colourValueSize = 0;
    std::uint16_t materialRecordSize = 0;
    std::uint16_t texCoordRecordSize = 0;
    std::uint16_t triangleRecordSize = 0;
    std::uint16_t vertexRecordSize = 0;
    std::uint16_t frameVertexRecordSize = 0;
    std::uint16_t boneTransformRecordSize = 0;
    std::uint16_t frameHeaderSize = 0;
};

struct Mdl7Bone {
    std::int32_t parentIndex = 0;
    float x = 0, y = 0, z = 0;
    std::string name;
};

struct Mdl7Material {
    std::array<std::array<float, 4>, 4> colours{};
    float scalar = 0;
};

struct Mdl7Skin {
    std::uint8_t type = 0;
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;
    std::optional<std::int64_t> imageBytes;      // once the image was taken
    std::optional<std::array<std::int64_t, 3>> mipmapBytes;
    std::optional<Mdl7Material> material;
    std::optional<std::int32_t> extraLength;
    std::optional<std::string> extra;
};

struct Mdl7TexCoord {
    float s = 0, t = 0;
};

struct Mdl7Triangle {
    std::array<std::int32_t, 3> vertexIndex{};
    std::array<std::int32_t, 3> texCoordIndex{};
    std::optional<std::int32_t> skinIndex;                    // records of 16 bytes or more
    std::optional<std::array<std::int32_t, 3>> texCoordIndex2; // records of 26 bytes or more
    std::optional<std::int32_t> skinIndex2;
};

// A vertex or a frame vertex; `index` is the bone index or the vertex index.
struct Mdl7Vertex {
    float x = 0, y = 0, z = 0;
    std::int32_t index = 0;
    // The normal, stored or taken from the normal table; absent when the
    // record has none (or its table index lies outside the table).
    std::optional<std::array<float, 3>> normal;
};

struct Mdl7BoneTransform {
    std::int32_t boneIndex = 0;
    std::array<float, 16> matrix{};
};

struct Mdl7Frame {
    std::string name;
    std::int32_t frameVertexCount = 0;
    std::int32_t boneTransformCount = 0;
    std::vector<Mdl7Vertex> frameVertices;
    std::vector<Mdl7BoneTransform> boneTransforms;
};

struct Mdl7GroupCounts {
    std::int32_t skinCount = 0;
    std::int32_t texCoordCount = 0;
    std::int32_t triangleCount = 0;
    std::int32_t vertexCount = 0;
    std::int32_t frameCount = 0;
};

struct Mdl7Group {
    std::uint8_t type = 0;
    std::int32_t groupDataSize = 0;
    std::string name;
    // Only mesh groups (type 1) have counts and records.
    std::optional<Mdl7GroupCounts> counts;
    std::vector<Mdl7Skin> skins;
    std::vector<Mdl7TexCoord> texCoords;
    std::vector<Mdl7Triangle> triangles;
    std::vector<Mdl7Vertex> vertices;
    std::vector<Mdl7Frame> frames;
};

struct Mdl7DeformerWeight {
    std::int32_t targetIndex = 0;
    float weight = 0;
};

struct Mdl7DeformerElement {
    std::int32_t elementIndex = 0;
    std::string elementName;
    std::int32_t weightCount = 0;
    std::vector<Mdl7DeformerWeight> weights;
};

struct Mdl7Deformer {
    std::uint8_t deformerType = 0;
    std::int32_t groupIndex = 0;
    std::int32_t elementCount = 0;
    std::int32_t deformerDataSize = 0;
    std::vector<Mdl7DeformerElement> elements;
};

struct Mdl7TrailerTriangle {
    std::array<std::int32_t, 3> vertexIndex{};
    std::array<std::int32_t, 3> texCoordIndex{};
    std::int32_t skinIndex = 0;
};

struct Mdl7TrailerSubEntry {
    std::int32_t subEntryId = 0;
    std::int32_t triangleCount = 0;
    std::vector<Mdl7TrailerTriangle> triangles;
};

struct Mdl7TrailerEntry {
    std::int32_t entryId = 0;
    std::int32_t subEntryCount = 0;
    std::vector<Mdl7TrailerSubEntry> subEntries;
};

struct Mdl7Trailer {
    std::int32_t trailerKind = 0;
    std::int32_t trailerLength = 0;
    std::int32_t entryCount = 0;
    std::vector<Mdl7TrailerEntry> entries;
};

struct Mdl7SecondTrailer {
    std::int32_t identifier = 0;
    std::int32_t length = 0;
};

// Everything read from one file. A section is empty when the file has none
// or reading stopped before it.
struct Mdl7Dump {
    Mdl7Header header;
    std::optional<std::vector<Mdl7Bone>> bones;
    std::optional<std::vector<Mdl7Group>> groups;
    std::optional<std::vector<Mdl7Deformer>> deformers;
    std::optional<Mdl7Trailer> trailer;
    std::optional<Mdl7SecondTrailer> secondTrailer;
};

// Where and why reading stopped.
struct ReadFailure {
    std::string place;  // such as "group 2: triangle 17"
    std::string reason; // such as "cannot be read" or "uses vertex 80 of 64"
    std::int32_t offset = 0; // the reader's cursor when it stopped
};

// Reads the whole file from an open reader positioned after its header (as
// open leaves it). Returns true when everything was read; otherwise fills
// `failure` and keeps in `dump` what was read before. Memory grows only with
// records actually read, never with counts a file claims.
[[nodiscard]] bool readMdl7(Mdl7Reader& reader, Mdl7Dump& dump, ReadFailure& failure);

// The readable summary: header values, one line per bone count and group,
// one line per skin with its kind and size, deformers and trailers.
void printMdl7Text(std::ostream& out, const Mdl7Dump& dump);

// One JSON document, {"format":"MDL7",...}, ended by a line feed.
void printMdl7Json(std::ostream& out, const Mdl7Dump& dump);

} // namespace kelvane::mdlinfo
