// Mdl7Writer: writes an MDL7 model file front to back, one record per call.
//
// Several records carry counts or sizes that are known only once the records
// after them are written: the file header, the group header, the skin header
// (its width and height), the frame header, the deformer header and element,
// and the trailer header, entry and sub-entry. The writer writes each of them
// provisionally when it is begun, keeps a packed little-endian image of it,
// advances the counts and sizes inside that image as the dependent records
// go out, and rewrites the image at its remembered file offset when the
// caller finishes it. The file header is rewritten by `close`. A mesh
// group's texture coordinates, triangles and vertices can also be written
// as runs from arrays (writeTexCoords, writeTriangles, writeVertices); the
// file gets the same bytes as from one call per record.
//
// Calling order (the writer enforces only the refusals named below):
//   open; any bones; per group: beginGroup, its skins (beginSkin,
//   setSkinImage, writeSkinPixels, writeMaterial, writeSizedData,
//   finishSkin), texture coordinates, triangles, vertices, frames
//   (beginFrame, frame vertices, bone transforms, finishFrame), then
//   finishGroup or setGroupDeformers; then the deformers of all groups
//   (beginDeformer, per element beginDeformerElement, weights,
//   finishDeformerElement, then finishDeformer); then optionally the trailer
//   (beginTrailer, per entry beginTrailerEntry, per sub-entry
//   beginTrailerSubEntry, writeTrailerTriangle..., finishTrailerSubEntry,
//   then finishTrailerEntry, finally finishTrailer); close.
// The deformer header and the trailer entry reuse the group header's slot,
// and the deformer element and trailer sub-entry reuse the frame header's, so
// no group may be finished once deformers have begun.
//
// Results. A record operation returns true when the whole record was handed
// to the file. The file layer buffers records, so a write that the system
// cannot complete usually comes to light later; `close` reports it. A
// refused call (named per operation) returns false and writes and changes
// nothing. With no file open every record operation is refused. Counts and
// sizes stay advanced when a write falls short. The operations that take the
// file position as modelDataSize (finishGroup, finishSkin,
// finishDeformerElement, finishDeformer) hand the buffered records to the
// system first, so that position counts only bytes that reached the file,
// as with one system call per record. The finish operations always
// return true; `close` returns false when any write, patch or flush of the
// file fell short since `open`, or when the file grew longer than its 32-bit
// sizes can describe.
//
// Values: float fields are copied bit for bit; 16-bit fields take the low 16
// bits of their argument and 8-bit fields the low 8 bits (so -1 stores
// 0xFFFF, the "no index" value). Names go into zero-filled fields with at most
// 15 characters (16-byte fields) or 19 (20-byte fields); a null name leaves
// the field empty.
//
// Destroying a writer with its file still open writes out what was buffered
// and closes the descriptor, but rewrites no header: the file holds what the
// calls made so far left there, provisional headers included.
#pragma once

#include "mdl/BufferedFile.h"
#include "mdl/Mdl7Format.h"
#include "mdl/MeshRecords.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvane {

class Mdl7Writer {
  public:
    Mdl7Writer() = default;
    Mdl7Writer(const Mdl7Writer&) = delete;
    Mdl7Writer& operator=(const Mdl7Writer&) = delete;

    // Creates or truncates `path` and writes the provisional 48-byte file
    // header (record sizes filled in, counts and sizes 0). Returns the
    // descriptor (0 or more), or a negative value when the file cannot be
    // created or the header cannot be written (the file is then closed). An
    // open file is closed first as by `close`.
    std::int32_t open(const char* path);

    // Rewrites the file header at offset 0 and closes the file. Returns false
    // when any write, patch or flush of this file fell short since `open`, or
    // the file is longer than 2^31 - 1 bytes (its sizes wrapped); true
    // otherwise, and true when no file is open. Records that were begun but
    // not finished stay as first written.
    bool close();

    [[nodiscard]] bool isOpen() const { return file_.isOpen(); }

    // One 36-byte bone record. Refused once a group has been begun.
    bool writeBone(std::int32_t parentIndex, float x, float y, float z, const char* name);

    // A provisional 44-byte group header: `type`, the name, groupDataSize 44,
    // all counts 0. Makes it the current group.
    bool beginGroup(std::int32_t type, const char* name);
    // Rewrites the group header and takes the file position as modelDataSize
    // (which then equals the file length). Always true.
    bool finishGroup();
    // Stores the group's deformer count and weight limit, then finishGroup.
    // Always true.
    bool setGroupDeformers(std::int32_t deformerCount, std::int32_t maxWeights);

    // A provisional 28-byte skin header with width and height 0; the skin's
    // bytes per pixel become 0 until setSkinImage. `type` is the skin type
    // byte (image kind in bits 0-2, 0x08 mipmaps, 0x10 material, 0x20 extra
    // block). Refused once the group has texture coordinates, triangles,
    // vertices or frames.
    bool beginSkin(std::int32_t type, const char* name);
    // Stores width and height into the skin header image (written by
    // finishSkin) and remembers the bytes per pixel and whether three
    // mipmap images follow the main one. Writes nothing; always true.
    bool setSkinImage(std::int32_t width, std::int32_t height, std::int32_t bytesPerPixel, bool hasMipmaps);
    // Writes the image data of the current skin from the caller's memory:
    // the main image of width x height x bytesPerPixel bytes (width x height
    // when the type byte is exactly 6), then, with mipmaps, three images of
    // the halved, quartered and eighthed dimensions (each halving truncates)
    // times bytesPerPixel, all sized by ImageSize.h. Refused, writing
    // nothing, when the main image's width, height or bytes per pixel is
    // negative or the image does not fit 32 bits, or `main` is null for a
    // non-empty image. Returns false, keeping what was written and counted,
    // at the first short write, when mipmaps are due and a mipmap pointer is
    // null, or when a mipmap's size is refused by the same rule.
    bool writeSkinPixels(const void* main, const void* mip1, const void* mip2, const void* mip3);
    // One 68-byte material record: the four colour values (four floats each)
    // in argument order, then `scalar`. Refused when a colour pointer is null.
    bool writeMaterial(const float colour1[4], const float colour2[4], const float colour3[4],
                       const float colour4[4], float scalar);
    // An extra block: `length` as a 32-bit value, then `length` bytes of
    // `data`; counts 4 + length. True only when both writes were complete.
    // Refused when `length` is negative, or `data` is null and `length` is
    // not 0.
    bool writeSizedData(std::int32_t length, const void* data);
    // Rewrites the skin header and takes the file position as
    // modelDataSize. Always true.
    bool finishSkin();

    // One 8-byte texture coordinate. Refused once the group has triangles,
    // vertices or frames.
    bool writeTexCoord(float s, float t);
    // One 26-byte triangle; the second texture-coordinate set is written as
    // 0, 0, 0 and its skin index as -1. Refused once the group has vertices
    // or frames.
    bool writeTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                       std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                       std::int32_t skinIndex);
    // One 26-byte triangle with both texture-coordinate sets given. Refused
    // once the group has vertices or frames.
    bool writeTriangleBothSets(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                               std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                               std::int32_t skinIndex, std::int32_t secondTexCoord0,
                               std::int32_t secondTexCoord1, std::int32_t secondTexCoord2,
                               std::int32_t skinIndex2);
    // One 26-byte vertex: position, bone index, normal. Refused once the
    // group has frames.
    bool writeVertex(float x, float y, float z, std::int32_t boneIndex, float nx, float ny, float nz);

    // Runs of records: each writes what writeTexCoord, writeTriangle (with
    // the record's own skin index) or writeVertex would write for every
    // record in turn, with the same refusal, counts and result (true when
    // every record was taken whole), but fills the file's buffer a run of
    // records at a time instead of one call per record.
    bool writeTexCoords(std::span<const TexCoordRecord> texCoords);
    bool writeTriangles(std::span<const TriangleRecord> triangles);
    bool writeVertices(std::span<const VertexRecord> vertices);

    // A provisional 24-byte frame header with both counts 0.
    bool beginFrame(const char* name);
    // One 26-byte frame vertex, laid out position, vertex index, normal.
    bool writeFrameVertex(std::int32_t vertexIndex, float x, float y, float z, float nx, float ny, float nz);
    // One 68-byte bone transform: the 16 floats of `matrix`, the bone index
    // and two zero bytes. Refused when `matrix` is null.
    bool writeBoneTransform(std::int32_t boneIndex, const float matrix[16]);
    // Rewrites the frame header. Always true.
    bool finishFrame();

    // A provisional 16-byte deformer header (element count 0, data size 16).
    bool beginDeformer(std::int32_t deformerType, std::int32_t groupIndex);
    // A provisional 28-byte deformer element with weight count 0.
    bool beginDeformerElement(std::int32_t elementIndex, const char* name);
    // One 8-byte weight record.
    bool writeDeformerWeight(std::int32_t vertexIndex, float weight);
    // Rewrite the element / the deformer header and take the file position
    // as modelDataSize. Always true.
    bool finishDeformerElement();
    bool finishDeformer();

    // The provisional 12-byte trailer header (kind 1, length 12, 0 entries).
    bool beginTrailer();
    // A provisional 8-byte trailer entry with 0 sub-entries.
    bool beginTrailerEntry(std::int32_t entryId);
    // A provisional 8-byte trailer sub-entry with 0 triangles.
    bool beginTrailerSubEntry(std::int32_t subEntryId);
    // One 26-byte triangle of the current sub-entry, laid out as writeTriangle.
    bool writeTrailerTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2,
                              std::int32_t texCoord0, std::int32_t texCoord1, std::int32_t texCoord2,
                              std::int32_t skinIndex);
    // Rewrite the sub-entry, the entry, the trailer header. Always true.
    bool finishTrailerSubEntry();
    bool finishTrailerEntry();
    bool finishTrailer();

    // `count` zero bytes, counted in no size (modelDataSize takes them in at
    // the next finishGroup, finishSkin, finishDeformerElement or
    // finishDeformer). True at once for a count of 0 or less; false when not
    // all were written.
    bool writeZeros(std::int32_t count);

  private:
    // Adds `delta` to / sets the 32-bit field at `field` (wrapping).
    void addToField(std::uint8_t* field, std::int64_t delta);
    void setField(std::uint8_t* field, std::int64_t value);
    // Adds `delta` to the current group's groupDataSize and to modelDataSize.
    void addToGroupAndModel(std::int64_t delta);
    // Adds a run of `count` records of `recordSize` bytes to the group
    // header's count at `countOffset`, to groupDataSize and to modelDataSize.
    void countRun(int countOffset, std::size_t count, std::int64_t recordSize);
    // Writes a record and reports whether it was taken whole.
    bool put(const void* record, std::int64_t size);
    // Builds a record of `size` bytes (at most 68) with `build`, which must
    // set every byte, straight into the file's buffer when it has room, else
    // in a local image handed to put; one call on the file either way.
    // Reports whether the record was taken whole.
    template <typename Build> bool emit(std::int64_t size, const Build& build);
    // Writes `count` records of `size` bytes, the i-th built by
    // build(record, i), which must set every byte: as many at a time as the
    // file's buffer has room for, and one through emit where it has none.
    // Reports whether every record was taken whole.
    template <typename Build> bool emitRun(std::int64_t size, std::size_t count, const Build& build);
    // Rewrites `image` at `offset` and returns to the position of the call.
    void patch(std::int64_t offset, const std::uint8_t* image, std::int64_t size);
    // Patches, flushes, and takes the position as modelDataSize: the
    // re-synchronisation of finishGroup, finishSkin, finishDeformerElement
    // and finishDeformer.
    void patchAndResynchronise(std::int64_t offset, const std::uint8_t* image, std::int64_t size);
    // The body of both triangle operations.
    bool putTriangle(std::int32_t vertex0, std::int32_t vertex1, std::int32_t vertex2, std::int32_t texCoord0,
                     std::int32_t texCoord1, std::int32_t texCoord2, std::int32_t skinIndex,
                     std::int32_t secondTexCoord0, std::int32_t secondTexCoord1, std::int32_t secondTexCoord2,
                     std::int32_t skinIndex2);
    // The count field of the current group header at `offset`.
    [[nodiscard]] std::int32_t groupCount(int offset) const;
    // Whether the current group holds records of the kind counted at
    // `countOffset` (texture coordinates, triangles, vertices or frames) or
    // of a kind that follows it: a group's records go in that order.
    [[nodiscard]] bool hasRecordsFrom(int countOffset) const;

    BufferedFile file_;

    std::uint8_t header_[mdl7::kFileHeaderSize] = {};
    // The current group header; also the current deformer header or trailer
    // entry, from its first byte on.
    std::uint8_t groupSlot_[mdl7::kGroupHeaderSize] = {};
    std::int64_t groupSlotOffset_ = 0;
    std::uint8_t skinHeader_[mdl7::kSkinHeaderSize] = {};
    std::int64_t skinHeaderOffset_ = 0;
    std::int32_t bytesPerPixel_ = 0;
    bool hasMipmaps_ = false;
    // The current frame header; also the current deformer element or trailer
    // sub-entry, from its first byte on.
    std::uint8_t frameSlot_[mdl7::kDeformerElementSize] = {};
    std::int64_t frameSlotOffset_ = 0;
    std::uint8_t trailerHeader_[mdl7::kTrailerHeaderSize] = {};
    std::int64_t trailerHeaderOffset_ = 0;
};

} // namespace kelvane
