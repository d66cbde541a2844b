// Mdl7Reader: pull reader for MDL7 model files.
//
// The caller walks the file in file order, one record per call: the header,
// the bones, each group (its skins, texture coordinates, triangles, vertices
// and frames), the deformers and, at any time, the two trailer sections. Each
// read checks the count that the enclosing header gives for its kind of
// record, takes the record from the cursor by the size stored in the file
// header, remembers it as the current record of its kind and hands its fields
// out through out-parameters. A mesh group's texture coordinates, triangles
// and vertices can also be read as runs into arrays (readTexCoords,
// readTriangles, readVertices), which costs a fraction of one call per
// record. Skip operations step over parts a caller does not want without
// decoding them.
//
// Typical walk (every call can fail; stop at the first false):
//
//     Mdl7Reader reader;
//     if (reader.open(path) < 0) ...;
//     reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondTrailerSize);
//     reader.skipBones();
//     for (int g = 0; g < groupCount; ++g) {
//         reader.readGroupHeader(type, groupDataSize, name);
//         if (type != 1) { reader.skipGroup(); continue; }
//         reader.readGroupCounts(skinCount, texCoordCount, triangleCount, vertexCount, frameCount);
//         ... skins, texCoordCount x readTexCoord, triangleCount x readTriangle,
//         ... vertexCount x (readVertex, readVertexNormal), skipFrames
//     }
//     reader.close();
//
// Failure behaviour, common to every operation:
// - Every operation returns false on a closed reader.
// - An operation that needs a current record of another kind (a group for the
//   group-level reads and skips, a skin for the skin reads, a vertex, frame,
//   frame vertex or deformer element) returns false when there is none.
// - A read whose governing count is zero or negative returns false without
//   moving. The count is only tested for being positive: the reader does not
//   count the records already taken, so the caller reads exactly as many as
//   the headers announce.
// - A read whose stored record size is smaller than the fields it always
//   takes returns false without moving.
// - When the data runs out (or a byte count formed from stored values is
//   negative or larger than what remains) the cursor moves to the end of the
//   data and the operation fails, so every later read fails as well.
// - A record that fails a content check (a triangle's vertex index) has
//   already been taken: the cursor stands behind it.
// Nothing is ever read outside the loaded data; safe to use on untrusted
// files. The reader prints nothing and keeps no error state.
//
// Pointers handed out (skin images) point into the reader's buffer and stay
// valid until close. Name buffers may be null (the name is not copied);
// otherwise they hold at least the field's size (16 bytes for group, skin and
// frame names, 20 for bone and element names) and receive at most size - 1
// characters, always terminated. Indices stored as 0xFFFF are delivered as
// -1 where noted, other values zero-extended.
#pragma once

#include "mdl/MeshRecords.h"
#include "mdl/ModelFile.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvane {

class Mdl7Reader : public ModelFile {
  public:
    Mdl7Reader();
    // Closes the file and releases the buffer.
    ~Mdl7Reader() override;

    // --- Slots shared with every model reader -------------------------------

    // Loads the whole file and checks its header. Returns the descriptor (0 or
    // more); the runtime's negative value when the path cannot be opened; -1
    // (and the reader closed) when the file is shorter than 48 bytes, does not
    // start with "MDL7", or announces less than 48 bytes of data. A header
    // that announces more data than the file holds is cut to the file.
    std::int32_t open(const char* path) override;

    // Checks the magic, points the header at `data`, puts the cursor at
    // offset 48 and returns the data limit: modelDataSize + trailerSize +
    // secondTrailerSize added as unsigned 32-bit values. Returns 0 when the
    // magic is not "MDL7". A limit below 48 (compared unsigned) is returned
    // but nothing is attached. `length` is not used: `data` must hold at
    // least 48 bytes and the returned limit (open guarantees this).
    std::int32_t parseHeader(const std::uint8_t* data, std::int32_t length) override;

    // Releases everything and clears every field; always true.
    bool close() override;

    // Steps over all bone records (one checked step of boneRecordSize x
    // boneCount bytes). False without a header or when the data runs out.
    bool skipBones() override;
    // Steps over the content of the current group. A mesh group (type 1) is
    // walked: skipSkins, skipTexCoords, skipTriangles, skipVertices,
    // skipFrames, false at the first failure. Any other type is stepped over
    // as groupDataSize - 44 bytes; a group of only its 44-byte header counts
    // as a failure, as does a groupDataSize below 44.
    bool skipGroup() override;
    // Steps over the data after the current skin header: image and mipmaps
    // (kind 6 by `width` bytes; other kinds only when width and height are
    // both positive), the material record and the extra block.
    bool skipSkin() override;
    // Reads every skin header of the current group and skips its data.
    bool skipSkins() override;
    // Step over all records of their kind in the current group in one
    // checked step of count x stored record size bytes; true at once when
    // the group's count is 0, false when the data runs out. A negative count
    // makes the step negative, which fails like running out of data, except
    // with a stored record size of 0: the step is then empty and succeeds.
    bool skipTexCoords() override;
    bool skipTriangles() override;
    bool skipVertices() override;
    // Steps over the frame vertices and bone transforms of the current frame.
    bool skipFrame() override;
    // Reads every frame header of the current group and skips its data.
    bool skipFrames() override;

    // --- MDL7 reads -------------------------------------------------------------

    // Copies the five counts and sizes of the file header; true when open.
    virtual bool readHeader(std::int32_t& boneCount, std::int32_t& groupCount, std::int32_t& modelDataSize,
                            std::int32_t& trailerSize, std::int32_t& secondTrailerSize);

    // Reads one bone (count boneCount, needs a boneRecordSize of 16 or more).
    // parentIndex maps 0xFFFF to -1. `name` (20 bytes, may be null) is
    // emptied, and receives the stored name only when the record is at least
    // 36 bytes long.
    virtual bool readBone(std::int32_t& parentIndex, float& x, float& y, float& z, char* name);

    // Copies the five counts of the current group. False without a group.
    virtual bool readGroupCounts(std::int32_t& skinCount, std::int32_t& texCoordCount,
                                 std::int32_t& triangleCount, std::int32_t& vertexCount,
                                 std::int32_t& frameCount);

    // Reads one 44-byte group header (count groupCount) and makes it the
    // current group. Adds its deformerCount to deformerTotal() and keeps the
    // largest maxWeights. `name` holds 16 bytes or is null. The records of the
    // previous group (skin, vertex, frame) stay current.
    virtual bool readGroupHeader(std::uint8_t& type, std::int32_t& groupDataSize, char* name);

    // Reads one skin header of the current group (count skinCount, needs a
    // skinHeaderSize of 28 or more) and makes it the current skin. `type`
    // holds the image kind (bits 0-2) and the flags 0x08 (mipmaps), 0x10
    // (material record follows), 0x20 (extra block follows).
    virtual bool readSkinHeader(std::uint8_t& type, char* name);

    // Describes the current skin's image: width and height as stored, the
    // bytes per pixel of its kind (kind 1 has none), and whether three
    // mipmaps follow. Must be called before readSkinPixels.
    virtual bool readSkinFormat(std::int32_t& width, std::int32_t& height, std::int32_t& bytesPerPixel,
                                bool& hasMipmaps);

    // Takes the current skin's image (width x height x bytesPerPixel bytes)
    // and, when it has mipmaps, the three halved mipmap images. Each place
    // given receives a pointer into the buffer, and running out of data for
    // it is a failure; a null place steps over its image and ignores running
    // out, so with all four null the result is true even at the end of the
    // data. A negative width or height counts as running out.
    virtual bool readSkinPixels(const std::uint8_t** image, const std::uint8_t** mipmap1,
                                const std::uint8_t** mipmap2, const std::uint8_t** mipmap3);

    // Reads the current skin's material record (only when its type has bit
    // 0x10; needs a materialRecordSize of 68 or more). Each colour place
    // receives four floats, scalar one; any place may be null.
    virtual bool readSkinMaterial(float* colour1, float* colour2, float* colour3, float* colour4,
                                  float* scalar);

    // Copies the current skin's extra block (only when its type has bit 0x20
    // and the length read by readSkinExtraLength is positive) to
    // `destination`, which holds at least extraLength() bytes; no terminator
    // is added. A null destination only steps over the block.
    virtual bool readSkinExtraData(char* destination);

    // Reads the 4-byte length prefix of the current skin's extra block (only
    // when its type has bit 0x20). A length of zero or less means no bytes
    // follow.
    virtual bool readSkinExtraLength(std::int32_t& length);

    // Reads one texture coordinate of the current group (count texCoordCount,
    // needs a texCoordRecordSize of 8 or more).
    virtual bool readTexCoord(float& s, float& t);

    // Like readTriangle, and also hands out the second index set: skinIndex
    // from records of 16 bytes or more; texCoord2nd0..2 (0xFFFF -> -1) and
    // skinIndex2 from records of 26 bytes or more (shorter records leave them
    // as the caller set them). The vertex indices are tested last, so a
    // rejected triangle has written every output.
    virtual bool readTriangleBothSets(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                                      std::int32_t& texCoord0, std::int32_t& texCoord1,
                                      std::int32_t& texCoord2, std::int32_t& skinIndex,
                                      std::int32_t& texCoord2nd0, std::int32_t& texCoord2nd1,
                                      std::int32_t& texCoord2nd2, std::int32_t& skinIndex2);

    // Reads one triangle of the current group (count triangleCount, needs a
    // triangleRecordSize of 12 or more). Vertex indices are delivered as
    // stored (0xFFFF is 65535), texture-coordinate indices map 0xFFFF to -1.
    // Fails, after taking the record and writing the indices, when a vertex
    // index is not below the group's vertexCount. skinIndex is written only
    // for records of 16 bytes or more and only when the triangle is accepted.
    virtual bool readTriangle(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                              std::int32_t& texCoord0, std::int32_t& texCoord1, std::int32_t& texCoord2,
                              std::int32_t& skinIndex);

    // Reads one vertex of the current group (count vertexCount, needs a
    // vertexRecordSize of 14 or more) and makes it the current vertex.
    // boneIndex maps 0xFFFF to -1.
    virtual bool readVertex(float& x, float& y, float& z, std::int32_t& boneIndex);

    // The normal of the current vertex. True only when the record stores the
    // normal itself (26 bytes or more). A 16-byte record holds an index into
    // the normal table: its vector is handed out (an index outside the table
    // leaves the outputs unchanged) and the result is false. Other sizes give
    // (0, 0, 0) and false.
    virtual bool readVertexNormal(float& nx, float& ny, float& nz);

    // --- Runs of records ------------------------------------------------------
    //
    // Each reads records into the given array as the single-record operation
    // named would, one after another, and stops where that operation would
    // first fail; it returns how many were read. The reader is then left
    // exactly as the calls one by one would leave it (the cursor, the current
    // record, and for a triangle refused by its vertex indices the record
    // taken and those indices written to its entry). Entries past the last
    // one read keep what they held. A mesh group of many thousand records is
    // read this way without one call per record.

    // Texture coordinates, as readTexCoord.
    std::size_t readTexCoords(std::span<TexCoordRecord> texCoords);
    // Triangles, as readTriangle.
    std::size_t readTriangles(std::span<TriangleRecord> triangles);
    // Vertices, as readVertex followed by readVertexNormal for each.
    std::size_t readVertices(std::span<VertexRecord> vertices);

    // Reads one frame header of the current group (count frameCount, needs a
    // frameHeaderSize of 24 or more) and makes it the current frame.
    virtual bool readFrameHeader(std::int32_t& frameVertexCount, std::int32_t& boneTransformCount,
                                 char* name);

    // Reads one frame vertex of the current frame (count frameVertexCount,
    // needs a frameVertexRecordSize of 14 or more). vertexIndex maps 0xFFFF
    // to -1.
    virtual bool readFrameVertex(std::int32_t& vertexIndex, float& x, float& y, float& z);

    // The normal of the current frame vertex, by the same rules as
    // readVertexNormal judged by frameVertexRecordSize.
    virtual bool readFrameVertexNormal(float& nx, float& ny, float& nz);

    // Reads one bone transform (no count test; needs a
    // boneTransformRecordSize of 66 or more). `matrix` (64 bytes, may be
    // null) receives the stored 4 x 4 float matrix bytes unchanged.
    virtual bool readBoneTransform(std::int32_t& boneIndex, std::uint8_t* matrix);

    // The 48-byte file header inside the buffer, or null when closed.
    [[nodiscard]] const std::uint8_t* getHeader() const { return header_; }

    // --- Deformers (after the last group) -------------------------------------
    // deformerTotal() deformers follow the groups, each a 16-byte header, then
    // elementCount 28-byte elements, each followed by weightCount 8-byte
    // weights. None of these reads tests a count; running out of data fails.

    // Reads one deformer header. `deformerDataSize` may be null.
    bool readDeformerHeader(std::uint8_t& deformerType, std::int32_t& groupIndex, std::int32_t& elementCount,
                            std::int32_t* deformerDataSize);
    // Reads one element and makes it the current element. `name` holds 20
    // bytes or is null.
    bool readDeformerElement(std::int32_t& elementIndex, char* name, std::int32_t& weightCount);
    bool readDeformerWeight(std::int32_t& targetIndex, float& weight);
    // Steps over one whole deformer by its deformerDataSize. False when the
    // group headers announced no deformers.
    bool skipDeformer();
    // Steps over deformerTotal() deformers; true at once when there are none.
    bool skipDeformers();
    // Reads and drops the weights of the current element.
    bool skipDeformerWeights();

    // --- Trailers -------------------------------------------------------------
    // The trailer (trailerSize bytes at modelDataSize) and the second trailer
    // (secondTrailerSize bytes after it) can be visited at any time by
    // seeking to them. Reading a trailer header ends the current group: the
    // group-level operations fail until the next group header.

    // Moves the cursor to the start of the trailer. False when the file has
    // no trailer; when the trailer lies outside the loaded data the cursor is
    // left at offset 0.
    bool seekTrailer();
    // Reads a 12-byte trailer header at the cursor, which must lie wholly
    // inside the trailer (false without moving otherwise).
    bool readTrailerHeader(std::int32_t& trailerKind, std::int32_t& entryCount);
    bool readTrailerEntry(std::int32_t& entryId, std::int32_t& subEntryCount);
    bool readTrailerSubEntry(std::int32_t& subEntryId, std::int32_t& triangleCount);
    // Reads one trailer triangle (needs a triangleRecordSize of 16 or more):
    // vertex indices as stored and unchecked, texture-coordinate indices
    // with 0xFFFF -> -1, and the skin index.
    bool readTrailerTriangle(std::int32_t& vertex0, std::int32_t& vertex1, std::int32_t& vertex2,
                             std::int32_t& texCoord0, std::int32_t& texCoord1, std::int32_t& texCoord2,
                             std::int32_t& skinIndex);
    // Moves the cursor to the end of the trailer record whose header was read
    // last: the header's start plus its length field, when that length covers
    // the header and ends inside the trailer section; otherwise the end of the
    // section. False when no trailer header of this section is current, or
    // when the end lies beyond the loaded data (the cursor then stands at the
    // end of the data). The end of the data itself is a valid position.
    bool skipTrailer();

    // The same for the second trailer, whose 8-byte header holds an
    // identifier and a length.
    bool seekSecondTrailer();
    bool readSecondTrailerHeader(std::int32_t& identifier, std::int32_t& length);
    bool skipSecondTrailer();

    // --- Read-only views for messages and tools ------------------------------
    // Stored record sizes of the file header (0 when closed).
    [[nodiscard]] std::uint16_t boneRecordSize() const;
    [[nodiscard]] std::uint16_t skinHeaderSize() const;
    [[nodiscard]] std::uint16_t colourValueSize() const;
    [[nodiscard]] std::uint16_t materialRecordSize() const;
    [[nodiscard]] std::uint16_t texCoordRecordSize() const;
    [[nodiscard]] std::uint16_t triangleRecordSize() const;
    [[nodiscard]] std::uint16_t vertexRecordSize() const;
    [[nodiscard]] std::uint16_t frameVertexRecordSize() const;
    [[nodiscard]] std::uint16_t boneTransformRecordSize() const;
    [[nodiscard]] std::uint16_t frameHeaderSize() const;

    // The current group's vertexCount (0 without a current group).
    [[nodiscard]] std::int32_t currentVertexCount() const;
    // Counts of the current frame (0 without a current frame).
    [[nodiscard]] std::int32_t currentFrameVertexCount() const;
    [[nodiscard]] std::int32_t currentBoneTransformCount() const;
    // Length of the current skin's extra block as read by readSkinExtraLength.
    [[nodiscard]] std::int32_t extraLength() const { return extraLength_; }
    // Sum of the deformerCount bytes of every group header read since open
    // (64-bit: a file of many group headers can exceed 32 bits).
    [[nodiscard]] std::int64_t deformerTotal() const { return deformerTotal_; }
    // Largest maxWeights byte of every group header read since open.
    [[nodiscard]] std::int32_t maxWeights() const { return maxWeights_; }
    // The length field (offset 4) of the trailer or second-trailer header
    // read last; 0 when none is current.
    [[nodiscard]] std::int32_t currentTrailerLength() const;

  private:
    enum class TrailerSection : std::uint8_t { kNone, kFirst, kSecond };

    [[nodiscard]] bool isReady() const { return header_ != nullptr; }
    [[nodiscard]] std::uint16_t headerU16(int offset) const;
    [[nodiscard]] std::int32_t headerI32(int offset) const;
    [[nodiscard]] std::int32_t groupI32(int offset) const;
    // The common first steps of a counted read: a positive count, a record
    // size that covers the fields always read, then the record itself (null
    // on any failure; only running out of data moves the cursor).
    const std::uint8_t* takeCounted(std::int32_t count, std::int32_t recordSize, std::int32_t minimumSize);
    // Steps over count records of recordSize bytes in one checked step.
    bool skipRecords(std::int32_t recordSize, std::int32_t count);
    // The body of the record skips: all records of the current group whose
    // count is at `countOffset`.
    bool skipGroupRecords(int countOffset, std::uint16_t recordSize);
    // The body of the run reads: the records of the group count at
    // `countOffset` go through `decode(record, entry)`, which returns false
    // for a record it refuses after taking it; `current` becomes the last
    // record taken.
    template <typename Record, typename Decode>
    std::size_t readRun(int countOffset, std::uint16_t recordSize, int minimumSize, std::span<Record> records,
                        const std::uint8_t*& current, const Decode& decode);
    bool takeTrailerHeader(TrailerSection section, std::int64_t sectionStart, std::int32_t sectionSize,
                           std::int32_t headerSize);
    bool skipTrailerSection(TrailerSection section, std::int64_t sectionStart, std::int32_t sectionSize,
                            std::int32_t headerSize);
    void clearFields();

    const std::uint8_t* header_ = nullptr;
    const std::uint8_t* group_ = nullptr;
    const std::uint8_t* bone_ = nullptr;
    const std::uint8_t* material_ = nullptr;
    const std::uint8_t* skin_ = nullptr;
    std::int32_t bytesPerPixel_ = 0;
    bool hasMipmaps_ = false;
    const std::uint8_t* texCoord_ = nullptr;
    const std::uint8_t* triangle_ = nullptr;
    const std::uint8_t* vertex_ = nullptr;
    const std::uint8_t* frame_ = nullptr;
    const std::uint8_t* frameVertex_ = nullptr;
    const std::uint8_t* boneTransform_ = nullptr;
    std::int32_t extraLength_ = 0;
    std::int64_t deformerTotal_ = 0;
    std::int32_t maxWeights_ = 0;
    const std::uint8_t* deformer_ = nullptr;
    const std::uint8_t* deformerElement_ = nullptr;
    const std::uint8_t* deformerWeight_ = nullptr;
    // The trailer or second-trailer header read last, which section it
    // belongs to, and the section-relative offset just past it.
    const std::uint8_t* trailerHeader_ = nullptr;
    TrailerSection trailerSection_ = TrailerSection::kNone;
    std::int64_t trailerOffset_ = 0;
};

} // namespace kelvane
