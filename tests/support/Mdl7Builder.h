// Mdl7Builder: writes MDL7 bytes for tests, including files the writer never
// would: any header value, any record size, any count, truncated data.
//
//     Mdl7Builder b;
//     b.setRecordSize(mdl7::header::kTriangleRecordSize, 12);   // short triangles
//     b.group({.name = "body", .texCoordCount = 1, .triangleCount = 1, .vertexCount = 3});
//     b.texCoord(0.5f, 0.5f);
//     b.triangle({.vertex = {0, 1, 2}});
//     b.vertex({.x = 1}).vertex({}).vertex({});
//     const std::string path = b.writeTo(dir.path("body.mdl"));
//
// Every record is written with the size the header currently stores for its
// kind: fields that do not fit are cut off, surplus bytes are zero. So a
// record size change applies to the records appended after it.
//
// Counts and sizes that the builder can work out are filled in when bytes()
// is called, unless a test set them: the header's boneCount and groupCount
// (the number of bone() and group() calls), modelDataSize, trailerSize and
// secondTrailerSize (from the positions of beginTrailer() and
// beginSecondTrailer()), and each group's groupDataSize (the bytes from its
// header to the next group, deformer, trailer or the end). The counts inside
// group, frame, deformer and trailer records are always what the test gives.
#pragma once

#include "mdl/Mdl7Format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::test {

class Mdl7Builder {
  public:
    struct Group {
        std::uint8_t type = mdl7::kMeshGroupType;
        std::uint8_t deformerCount = 0;
        std::uint8_t maxWeights = 0;
        std::optional<std::int32_t> groupDataSize{}; // unset: worked out
        std::string name{};                          // bytes copied as given, cut to the field
        std::int32_t skinCount = 0;
        std::int32_t texCoordCount = 0;
        std::int32_t triangleCount = 0;
        std::int32_t vertexCount = 0;
        std::int32_t frameCount = 0;
    };
    struct Skin {
        std::uint8_t type = 5; // image kind and flags
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::string name{};
    };
    struct Triangle {
        std::array<std::uint16_t, 3> vertex = {0, 0, 0};
        std::array<std::uint16_t, 3> texCoord = {0, 0, 0};
        std::int32_t skinIndex = 0;
        std::array<std::uint16_t, 3> texCoord2 = {0, 0, 0};
        std::int32_t skinIndex2 = -1;
    };
    // Also a frame vertex (index is then the vertex index). A 16-byte record
    // stores normalIndex at offset 14 instead of the three normal floats.
    struct Vertex {
        float x = 0, y = 0, z = 0;
        std::uint16_t index = 0;
        float nx = 0, ny = 0, nz = 1;
        std::uint16_t normalIndex = 5;
    };
    struct Frame {
        std::string name{};
        std::int32_t frameVertexCount = 0;
        std::int32_t boneTransformCount = 0;
    };
    struct Deformer {
        std::uint8_t deformerType = 0;
        std::int32_t groupIndex = 0;
        std::int32_t elementCount = 0;
        std::int32_t deformerDataSize = mdl7::kDeformerHeaderSize;
    };

    Mdl7Builder();

    // --- File header ---------------------------------------------------------
    Mdl7Builder& setMagic(const std::string& fourChars);
    Mdl7Builder& setVersion(std::int32_t version);
    Mdl7Builder& setBoneCount(std::int32_t count);
    Mdl7Builder& setGroupCount(std::int32_t count);
    Mdl7Builder& setModelDataSize(std::int32_t size);
    Mdl7Builder& setTrailerSize(std::int32_t size);
    Mdl7Builder& setSecondTrailerSize(std::int32_t size);
    // headerOffset is one of the mdl7::header::k...Size offsets (28 to 46).
    Mdl7Builder& setRecordSize(int headerOffset, std::uint16_t size);
    [[nodiscard]] std::uint16_t recordSize(int headerOffset) const;

    // --- Records ---------------------------------------------------------------
    Mdl7Builder& bone(std::uint16_t parentIndex, float x, float y, float z, const std::string& name = "");
    Mdl7Builder& group(const Group& group);
    Mdl7Builder& skin(const Skin& skin);
    // Seventeen floats: four colours of four values, then the scalar.
    Mdl7Builder& material(const std::array<float, 17>& values);
    // An extra block: the int32 length, then `text` as given (its length
    // need not match).
    Mdl7Builder& extra(std::int32_t length, const std::string& text);
    Mdl7Builder& texCoord(float s, float t);
    Mdl7Builder& triangle(const Triangle& triangle);
    Mdl7Builder& vertex(const Vertex& vertex);
    Mdl7Builder& frame(const Frame& frame);
    Mdl7Builder& frameVertex(const Vertex& vertex);
    Mdl7Builder& boneTransform(std::uint16_t boneIndex, const std::array<float, 16>& matrix);
    Mdl7Builder& deformer(const Deformer& deformer);
    Mdl7Builder& deformerElement(std::int32_t elementIndex, const std::string& name,
                                 std::int32_t weightCount);
    Mdl7Builder& deformerWeight(std::int32_t targetIndex, float weight);

    // Marks where the model data ends and the trailer begins.
    Mdl7Builder& beginTrailer();
    Mdl7Builder& trailerHeader(std::int32_t trailerKind, std::int32_t trailerLength, std::int32_t entryCount);
    Mdl7Builder& trailerEntry(std::int32_t entryId, std::int32_t subEntryCount);
    Mdl7Builder& trailerSubEntry(std::int32_t subEntryId, std::int32_t triangleCount);
    // A triangle of the stored triangleRecordSize, as in the groups.
    Mdl7Builder& trailerTriangle(const Triangle& triangle);
    // Marks where the second trailer begins.
    Mdl7Builder& beginSecondTrailer();
    Mdl7Builder& secondTrailerHeader(std::int32_t identifier, std::int32_t length);

    // --- Raw bytes ---------------------------------------------------------------
    Mdl7Builder& u8(std::uint8_t value);
    Mdl7Builder& u16(std::uint16_t value);
    Mdl7Builder& i32(std::int32_t value);
    Mdl7Builder& f32(float value);
    Mdl7Builder& raw(const std::string& bytes);
    Mdl7Builder& fill(std::size_t count, std::uint8_t value = 0);
    // Overwrites four bytes at a file offset (the header included) in the
    // bytes built so far.
    Mdl7Builder& patchI32(std::size_t offset, std::int32_t value);

    // File offset at which the next appended byte will land.
    [[nodiscard]] std::size_t size() const { return body_.size(); }

    // The whole file, with the worked-out counts and sizes filled in.
    [[nodiscard]] std::vector<std::uint8_t> bytes() const;
    // Writes bytes() (or its first `length` bytes) to `path` and returns the
    // path; a failed write is reported as a test failure.
    std::string writeTo(const std::string& path) const;
    std::string writeTo(const std::string& path, std::size_t length) const;

    // Writes `data` to `path`; false (and a test failure) when it cannot.
    static bool writeFile(const std::string& path, const std::vector<std::uint8_t>& data);

  private:
    // A record of `size` bytes whose fields are dropped where they would run
    // past its end.
    class Record {
      public:
        explicit Record(std::size_t size) : bytes_(size, 0) {}
        void u8(std::size_t offset, std::uint8_t value);
        void u16(std::size_t offset, std::uint16_t value);
        void i32(std::size_t offset, std::int32_t value);
        void f32(std::size_t offset, float value);
        void name(std::size_t offset, std::size_t fieldSize, const std::string& text);
        [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bytes_; }

      private:
        [[nodiscard]] bool fits(std::size_t offset, std::size_t width) const
        {
            return offset + width <= bytes_.size();
        }
        std::vector<std::uint8_t> bytes_;
    };

    Mdl7Builder& append(const Record& record);
    Record triangleRecord(const Triangle& triangle) const;
    Record vertexRecord(const Vertex& vertex, int sizeOffset) const;
    // Ends the open group: its groupDataSize is worked out up to here.
    void closeGroup();

    std::vector<std::uint8_t> body_; // the whole file, header included
    std::optional<std::int32_t> boneCount_, groupCount_, modelDataSize_, trailerSize_, secondTrailerSize_;
    std::int32_t bonesWritten_ = 0;
    std::int32_t groupsWritten_ = 0;
    std::optional<std::size_t> openGroup_; // header offset of a group whose size is worked out
    std::optional<std::size_t> trailerStart_;
    std::optional<std::size_t> secondTrailerStart_;
};

} // namespace kelvane::test
