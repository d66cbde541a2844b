// Model: what a model file holds, in memory, whatever format it came from.
//
// One loader per format fills it (Mdl7Loader, LegacyLoader; loadModel picks
// by the file's format tag) and every output is written from it alone:
// mdlinfo's text and JSON dumps and the glTF export. An output never looks at
// file bytes; where formats differ in meaning, the difference is a field here
// (texCoordsByVertex, texCoordDivisor, onSeam, packed frames, ...), never a
// test of the format tag. Only the dump, whose output shows each format's own
// records, also looks at `format`.
//
// The model is plain data, as the readers hand it out: indices are kept as
// stored (unchecked against counts, except where a field below says the
// loader flagged them), floats are the stored bit patterns (NaN and the
// infinities included), names are the stored bytes up to their terminator.
// A consumer that needs valid geometry checks indices and finiteness itself.
//
// A load that stops part-way keeps what was read before the stop; the parts
// not reached are std::nullopt (model-level sections) or empty, and
// Mesh::reached says how far the mesh's own sections got.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::scene {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// --- Skins -------------------------------------------------------------------

// What a skin's image is, as far as an export can use it.
enum class ImageLayout : std::uint8_t {
    kNone,      // no image bytes (MDL7 kind 1; MDL5/MDL6 kind 6)
    kIndexed8,  // one palette index per pixel (kind 0); the palette is not in the file
    kUndefined, // 16-, 24- or 32-bit pixels (kinds 2 to 5): no format defines their channels
    kRawBlock,  // MDL7 kind 6: bytes carried along uninterpreted
    kExternal,  // the name of a texture file (MDL7 kind 7, IDP2 skins)
};

struct Material {
    std::array<std::array<float, 4>, 4> colours{};
    float scalar = 0;
};

struct Skin {
    // The stored type: MDL7's type byte (image kind in bits 0-2, 0x08
    // mipmaps, 0x10 material, 0x20 extra block); for the older formats the
    // low byte of the stored type, as their readers report it (IDP2: 7).
    std::uint8_t type = 0;
    // MDL7: the skin's name. IDP2: the texture file the name record holds.
    // The other formats name no skins: empty.
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;

    ImageLayout layout = ImageLayout::kNone;
    // kExternal: the texture file's name, up to its first zero byte.
    std::string externalFile;
    // kIndexed8: the main image, width x height palette indices, row by row.
    // Empty when the image has no positive area.
    std::vector<std::uint8_t> pixels;

    // MDL7 only (std::nullopt elsewhere, and where the skin has none).
    // imageBytes: the main image's byte count once it was read (0 when width
    // or height is not positive); mipmapBytes: the three mipmaps' counts.
    std::optional<std::int64_t> imageBytes;
    std::optional<std::array<std::int64_t, 3>> mipmapBytes;
    std::optional<Material> material;
    std::optional<std::int32_t> extraLength;
    std::optional<std::string> extra;
};

// --- Geometry ------------------------------------------------------------------

// A texture coordinate as stored: MDL7 fractions of the skin, or the older
// formats' texel positions (integers, exact in a float), which
// Mesh::texCoordDivisor turns into fractions.
struct TexCoord {
    float s = 0;
    float t = 0;
};

struct Triangle {
    // Vertex indices as stored (MDL7 0xFFFF is 65535).
    std::array<std::int32_t, 3> vertexIndex{};
    // Texture-coordinate indices; -1 for none (MDL7 0xFFFF). Formats that
    // index texture coordinates by vertex store -1 here and set
    // Mesh::texCoordsByVertex.
    std::array<std::int32_t, 3> texCoordIndex{};
    // The triangle's skin. 0 when the record carries none
    // (Mesh::hasSkinIndex false).
    std::int32_t skinIndex = 0;
    // IDPO/MDL2: the triangle's faces-front flag (the first int32 of its
    // record is not 0). Formats without the flag: true.
    bool facesFront = true;
    // The reader refused the triangle because a vertex index is not below
    // the group's vertex count; it was kept to be shown, not to be drawn.
    bool vertexOutside = false;
};

// MDL7 triangle records of 26 bytes or more carry a second index set.
struct SecondIndexSet {
    std::array<std::int32_t, 3> texCoordIndex{}; // -1 for none
    std::int32_t skinIndex = 0;
};

// An MDL7 vertex, or (in a frame) an MDL7 frame vertex.
struct Vertex {
    Vec3 position;
    // The stored normal, or the normal table's vector for records that store
    // an index; valid only when hasNormal is set (the record has no normal,
    // or its index lies outside the table, otherwise).
    Vec3 normal;
    bool hasNormal = false;
    // Vertex: the bone it is attached to (-1 for none). Frame vertex: the
    // group vertex it moves (-1 for 0xFFFF; may lie outside the group).
    std::int32_t index = -1;
};

// A vertex of an older format's frame: packed coordinates, unpacked as
// position * scale + translate (Frame::scale, else Mesh::packedScale), and an
// index into the normal table (readers turn indices outside it into 0).
struct PackedVertex {
    std::array<std::uint16_t, 3> position{};
    std::int32_t normalIndex = 0;
};

struct BoneTransform {
    std::int32_t boneIndex = 0;
    std::array<float, 16> matrix{}; // the stored floats in file order
};

struct Frame {
    std::string name;

    // MDL7: the counts the frame header states, and the records read. Frame
    // vertices are sparse: each names the vertex it moves (Vertex::index).
    std::int32_t frameVertexCount = 0;
    std::int32_t boneTransformCount = 0;
    std::vector<Vertex> vertices;
    std::vector<BoneTransform> boneTransforms;

    // The older formats: one packed vertex per mesh vertex, in vertex order.
    std::vector<PackedVertex> packedVertices;
    // The bounding-box corners the frame header states (IDP2: 0 and 255).
    std::array<std::uint16_t, 3> bboxMin{};
    std::array<std::uint16_t, 3> bboxMax{};
    // IDP2 frames carry their own unpacking; the others use the mesh's.
    std::optional<Vec3> scale;
    std::optional<Vec3> translate;
};

// The counts a mesh's header states, unchecked (possibly negative).
struct MeshCounts {
    std::int32_t skinCount = 0;
    std::int32_t texCoordCount = 0;
    std::int32_t triangleCount = 0;
    std::int32_t vertexCount = 0;
    std::int32_t frameCount = 0;
};

// The sections of a mesh in file order; Mesh::reached is the last one the
// loader started (so a section after it was not reached).
enum class MeshSection : std::uint8_t { kCounts, kSkins, kTexCoords, kTriangles, kVertices, kFrames };

struct Mesh {
    MeshCounts counts;
    MeshSection reached = MeshSection::kCounts;

    std::vector<Skin> skins;
    std::vector<TexCoord> texCoords;
    std::vector<Triangle> triangles;
    // Parallel to `triangles` when the records carry a second set (MDL7
    // records of 26 bytes or more); empty otherwise, and in a load for
    // export (LoadMode::kForExport), which does not use it.
    std::vector<SecondIndexSet> secondSets;
    // MDL7: the group's vertices. Empty for the older formats, whose
    // vertices exist only in frames (the first frame is the base pose).
    std::vector<Vertex> vertices;
    std::vector<Frame> frames;

    // Whether the triangle records carry a skin index (MDL7 records of 16
    // bytes or more).
    bool hasSkinIndex = false;
    // IDPO/MDL2: one texture coordinate per vertex, so a triangle's corner
    // uses the texture coordinate of its vertex index.
    bool texCoordsByVertex = false;
    // A texture coordinate in fractions of the skin is (s, t) divided by
    // these: (1, 1) for MDL7; the file header's skin width and height for
    // the older formats (possibly 0 or negative in a corrupt file).
    std::array<float, 2> texCoordDivisor = {1, 1};
    // IDPO/MDL2: each texture coordinate's on-seam flag (the first int32 of
    // its record is not 0), parallel to texCoords. On a triangle that does
    // not face front, an on-seam coordinate's s moves by half the skin
    // width. Empty for formats without the flag.
    std::vector<std::uint8_t> onSeam;
    // The older formats' unpacking of packed frame positions (file header
    // offsets 8 and 20), for frames without their own.
    Vec3 packedScale = {1, 1, 1};
    Vec3 packedTranslate;
};

// --- MDL7 file-level records ---------------------------------------------------

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

struct Bone {
    std::int32_t parentIndex = 0; // -1 for none
    Vec3 position;
    std::string name;
};

struct DeformerWeight {
    std::int32_t targetIndex = 0;
    float weight = 0;
};

struct DeformerElement {
    std::int32_t elementIndex = 0;
    std::string elementName;
    std::int32_t weightCount = 0;
    std::vector<DeformerWeight> weights;
};

struct Deformer {
    std::uint8_t deformerType = 0;
    std::int32_t groupIndex = 0;
    std::int32_t elementCount = 0;
    std::int32_t deformerDataSize = 0;
    std::vector<DeformerElement> elements;
};

struct TrailerTriangle {
    std::array<std::int32_t, 3> vertexIndex{};
    std::array<std::int32_t, 3> texCoordIndex{};
    std::int32_t skinIndex = 0;
};

struct TrailerSubEntry {
    std::int32_t subEntryId = 0;
    std::int32_t triangleCount = 0;
    std::vector<TrailerTriangle> triangles;
};

struct TrailerEntry {
    std::int32_t entryId = 0;
    std::int32_t subEntryCount = 0;
    std::vector<TrailerSubEntry> subEntries;
};

struct Trailer {
    std::int32_t trailerKind = 0;
    std::int32_t trailerLength = 0;
    std::int32_t entryCount = 0;
    std::vector<TrailerEntry> entries;
};

struct SecondTrailer {
    std::int32_t identifier = 0;
    std::int32_t length = 0;
};

// --- The model -------------------------------------------------------------------

// MDL7's group type of a triangle mesh; a legacy model is one group of it.
inline constexpr std::uint8_t kMeshGroupType = 1;

struct Group {
    std::uint8_t type = kMeshGroupType;
    // MDL7 only: the group header's size field.
    std::int32_t groupDataSize = 0;
    // MDL7: the group's name. The older formats name nothing: empty.
    std::string name;
    // Only mesh groups (type 1) have a mesh; other types are opaque.
    std::optional<Mesh> mesh;
};

struct Model {
    // The file's four-character tag as stored ("MDL7", "IDPO", "MDL2",
    // "MDL3", "IDP2", "MDL4", "MDL5", "MDL6").
    std::string format;

    // MDL7 only: the header values and stored record sizes.
    Mdl7Header header;
    std::optional<std::vector<Bone>> bones;

    // Every group in file order (an older format's model is one mesh group).
    std::optional<std::vector<Group>> groups;

    // MDL7 only: the parts after the groups.
    std::optional<std::vector<Deformer>> deformers;
    std::optional<Trailer> trailer;
    std::optional<SecondTrailer> secondTrailer;
};

} // namespace kelvane::scene
