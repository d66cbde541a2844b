#include "mdl/legacy/Mdl2Reader.h"

#include "mdl/legacy/Idp2Reader.h"
#include "mdl/legacy/Mdl3Reader.h"
#include "mdl/legacy/Mdl4Reader.h"
#include "mdl/legacy/Mdl5Reader.h"
#include "mdl/legacy/Mdl6Reader.h"

#include "LegacyFileBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace kelvane {
namespace {

using namespace testing_legacy;

struct ReaderKind {
    const char* name;
    std::function<std::unique_ptr<LegacyModelReader>()> create;
    std::int32_t formatCode;
    std::set<std::string> tags;
};

std::vector<ReaderKind> allReaders()
{
    return {
        {"Mdl2Reader", [] { return std::make_unique<Mdl2Reader>(); }, kFormatMdl2, {"IDPO", "MDL2"}},
        {"Mdl3Reader", [] { return std::make_unique<Mdl3Reader>(); }, kFormatMdl3, {"MDL3"}},
        {"Idp2Reader", [] { return std::make_unique<Idp2Reader>(); }, kFormatIdp2, {"IDP2"}},
        {"Mdl4Reader", [] { return std::make_unique<Mdl4Reader>(); }, kFormatMdl4, {"MDL4"}},
        {"Mdl5Reader", [] { return std::make_unique<Mdl5Reader>(); }, kFormatMdl5, {"MDL5"}},
        {"Mdl6Reader", [] { return std::make_unique<Mdl6Reader>(); }, kFormatMdl6, {"MDL6"}},
    };
}

TEST(LegacyReaderTagsTest, EachReaderAcceptsOnlyItsOwnTags)
{
    const char* tags[] = {"IDPO", "MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6", "MDL7", "idpo"};
    for (const ReaderKind& kind : allReaders()) {
        EXPECT_EQ(kind.create()->formatCode(), kind.formatCode) << kind.name;
        for (const char* tag : tags) {
            Bytes bytes;
            bytes.tag(tag).fill(80);
            const Attached data(bytes);
            auto reader = kind.create();
            const bool expected = kind.tags.count(tag) != 0;
            EXPECT_EQ(reader->parseHeader(data.data(), data.length()), expected ? 84 : 0)
                << kind.name << " " << tag;
            EXPECT_EQ(reader->dataLimit(), expected ? 84 : 0) << kind.name << " " << tag;
            const std::uint8_t* header = nullptr;
            EXPECT_TRUE(reader->getHeader(header));
            EXPECT_EQ(header, expected ? data.data() : nullptr) << kind.name << " " << tag;
        }
    }
}

TEST(LegacyReaderTagsTest, RefusesFilesShorterThanTheHeader)
{
    Bytes idpo;
    idpo.tag("IDPO").fill(80);
    Mdl2Reader mdl2;
    EXPECT_EQ(mdl2.parseHeader(Attached(idpo, 83).data(), 83), 0);

    Bytes idp2;
    idp2.tag("IDP2").fill(64);
    Idp2Reader reader;
    EXPECT_EQ(reader.parseHeader(Attached(idp2, 67).data(), 67), 0);
    const Attached exact(idp2);
    EXPECT_EQ(reader.parseHeader(exact.data(), exact.length()), 68);
    EXPECT_EQ(reader.tell(), 68);

    // A file of 48 to 83 bytes passes the base length check and is refused by
    // the header check; the reader is left closed.
    test::TempDir folder;
    const std::string path = writeFile(folder, "full.mdl", idpo.data);
    Bytes shortFile;
    shortFile.tag("IDPO").fill(56);
    Mdl2Reader fromFile;
    EXPECT_EQ(fromFile.open(writeFile(folder, "short60.mdl", shortFile.data).c_str()), -1);
    EXPECT_FALSE(fromFile.isOpen());
    EXPECT_EQ(fromFile.getSkinCount(), 0);
    EXPECT_GE(fromFile.open(path.c_str()), 0);
    EXPECT_EQ(fromFile.tell(), 84);
}

TEST(Mdl2ReaderTest, ReadsEveryRecordOfAnIdpoModel)
{
    const Bytes bytes = sampleModel("IDPO");
    const Attached data(bytes);
    Mdl2Reader reader;
    ASSERT_EQ(reader.parseHeader(data.data(), data.length()), bytes.size());
    EXPECT_EQ(reader.getSkinCount(), 2);
    EXPECT_EQ(reader.getVertexCount(), 3);
    EXPECT_EQ(reader.getTexCoordCount(), 3); // one per vertex
    EXPECT_EQ(reader.getTriangleCount(), 1);
    EXPECT_EQ(reader.getFrameCount(), 2);
    EXPECT_TRUE(reader.skipBones());
    EXPECT_TRUE(reader.skipVertices());
    EXPECT_EQ(reader.tell(), 84);

    std::uint8_t type = 0xFF;
    std::int32_t width = 0, height = 0, bytesPerPixel = 0;
    bool hasMipmaps = true;
    const std::uint8_t* image = nullptr;
    ASSERT_TRUE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
    EXPECT_EQ(type, 0);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(bytesPerPixel, 1);
    EXPECT_FALSE(hasMipmaps);
    ASSERT_TRUE(reader.readSkinPixels(&image, nullptr, nullptr, nullptr));
    EXPECT_EQ(image, data.data() + 88);
    ASSERT_TRUE(reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps));
    EXPECT_EQ(type, 2);
    EXPECT_EQ(bytesPerPixel, 2);
    ASSERT_TRUE(reader.skipSkin());
    EXPECT_EQ(reader.tell(), 84 + 4 + 8 + 4 + 16);

    for (std::int16_t i = 0; i < 3; ++i) {
        std::int16_t s = -1, t = -1;
        ASSERT_TRUE(reader.readTexCoord(s, t));
        EXPECT_EQ(s, i);
        EXPECT_EQ(t, 10 + i);
    }

    std::int32_t vertices[3] = {}, texCoords[3] = {};
    ASSERT_TRUE(reader.readTriangle(vertices, texCoords));
    EXPECT_EQ(vertices[0], 0);
    EXPECT_EQ(vertices[1], 1);
    EXPECT_EQ(vertices[2], 2);
    EXPECT_EQ(texCoords[0], -1);
    EXPECT_EQ(texCoords[2], -1);

    char name[16];
    std::uint16_t bboxMin[3] = {}, bboxMax[3] = {};
    float scale[3] = {7, 7, 7};
    ASSERT_TRUE(reader.readFrameHeader(name, bboxMin, bboxMax, scale, nullptr));
    EXPECT_STREQ(name, "stand1");
    EXPECT_EQ(bboxMin[0], 1);
    EXPECT_EQ(bboxMin[2], 3);
    EXPECT_EQ(bboxMax[0], 40);
    EXPECT_EQ(bboxMax[2], 60);
    EXPECT_EQ(scale[0], 7); // this format has no scale: left untouched
    for (std::uint16_t v = 0; v < 3; ++v) {
        std::uint16_t position[3] = {};
        std::int32_t normalIndex = -1;
        ASSERT_TRUE(reader.readVertex(position, normalIndex));
        EXPECT_EQ(position[0], v);
        EXPECT_EQ(normalIndex, v + 1);
    }
    ASSERT_TRUE(reader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(reader.skipFrame());
    EXPECT_EQ(reader.tell(), bytes.size());
}

TEST(Mdl2ReaderTest, SkipsSectionsByTheirRecordSizes)
{
    // "IDPO": three vertices give three 12-byte texture coordinates.
    const Bytes idpo = sampleModel("IDPO");
    const Attached idpoData(idpo);
    Mdl2Reader mdl2;
    ASSERT_GT(mdl2.parseHeader(idpoData.data(), idpoData.length()), 0);
    ASSERT_TRUE(mdl2.skipSkins());
    const std::int32_t texCoordsAt = mdl2.tell();
    ASSERT_TRUE(mdl2.skipTexCoords());
    EXPECT_EQ(mdl2.tell() - texCoordsAt, 36);
    ASSERT_TRUE(mdl2.skipTriangles());
    EXPECT_EQ(mdl2.tell() - texCoordsAt, 36 + 16);
    ASSERT_TRUE(mdl2.skipFrames());
    EXPECT_EQ(mdl2.tell(), idpo.size());

    // "MDL3": its own texture-coordinate count, 4-byte coordinates and
    // 12-byte triangles.
    const Bytes mdl3 = sampleModel("MDL3");
    const Attached mdl3Data(mdl3);
    Mdl3Reader reader;
    ASSERT_GT(reader.parseHeader(mdl3Data.data(), mdl3Data.length()), 0);
    EXPECT_EQ(reader.getTexCoordCount(), 4);
    ASSERT_TRUE(reader.skipSkins());
    const std::int32_t start = reader.tell();
    ASSERT_TRUE(reader.skipTexCoords());
    EXPECT_EQ(reader.tell() - start, 16);
    ASSERT_TRUE(reader.skipTriangles());
    EXPECT_EQ(reader.tell() - start, 16 + 12);

    // The whole group in one call.
    Mdl3Reader again;
    ASSERT_GT(again.parseHeader(mdl3Data.data(), mdl3Data.length()), 0);
    ASSERT_TRUE(again.skipGroup());
    EXPECT_EQ(again.tell(), mdl3.size());
}

TEST(Mdl2ReaderTest, OlderFormatsAcceptImageKinds0To3ExceptKind1)
{
    for (std::int32_t type = 0; type < 16; ++type) {
        for (const char* tag : {"MDL2", "MDL3", "MDL4"}) {
            Counts c;
            c.skins = 1;
            c.skinWidth = 3;
            c.skinHeight = 2;
            Bytes bytes = header84(tag, c);
            bytes.i32(type | 0x100).fill(12); // bits above the low byte are not part of the type
            const Attached data(bytes);
            std::unique_ptr<Mdl2Reader> reader;
            if (tag[3] == '2') reader = std::make_unique<Mdl2Reader>();
            if (tag[3] == '3') reader = std::make_unique<Mdl3Reader>();
            if (tag[3] == '4') reader = std::make_unique<Mdl4Reader>();
            ASSERT_GT(reader->parseHeader(data.data(), data.length()), 0);

            std::uint8_t reported = 0;
            std::int32_t width = 0, height = 0, bytesPerPixel = -1;
            bool hasMipmaps = false;
            const bool ok = reader->readSkinFormat(reported, width, height, bytesPerPixel, hasMipmaps);
            const std::int32_t kind = type & 7;
            const std::string where = std::string(tag) + " type " + std::to_string(type);
            EXPECT_EQ(ok, kind == 0 || kind == 2 || kind == 3) << where;
            EXPECT_EQ(reported, type) << where;
            if (!ok) {
                EXPECT_EQ(bytesPerPixel, 0) << where;
                continue;
            }
            EXPECT_EQ(bytesPerPixel, kind == 0 ? 1 : 2) << where;
            EXPECT_EQ(hasMipmaps, (type & 8) != 0) << where;
            // The mipmap flag is reported, but these formats store no mipmaps.
            const std::uint8_t* mipmap = nullptr;
            ASSERT_TRUE(reader->readSkinPixels(nullptr, &mipmap, nullptr, nullptr)) << where;
            EXPECT_EQ(mipmap, nullptr) << where;
            EXPECT_EQ(reader->tell(), 84 + 4 + 6 * bytesPerPixel) << where;
        }
    }
}

TEST(Mdl2ReaderTest, FrameGroupsAreNotRead)
{
    Bytes bytes = sampleModel("IDPO");
    const std::size_t firstFrame = bytes.data.size() - 2 * (28 + 12);
    bytes.patchI32(firstFrame, 1);
    const Attached data(bytes);
    Mdl2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);
    ASSERT_TRUE(reader.skipSkins());
    ASSERT_TRUE(reader.skipTexCoords());
    ASSERT_TRUE(reader.skipTriangles());
    EXPECT_FALSE(reader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));

    Mdl2Reader skipping;
    ASSERT_GT(skipping.parseHeader(data.data(), data.length()), 0);
    EXPECT_FALSE(skipping.skipGroup());
}

TEST(Mdl2ReaderTest, NormalIndexOutsideTheTableBecomesZero)
{
    Counts c;
    c.vertices = 4;
    c.frames = 1;
    Bytes idpo = header84("IDPO", c);
    idpo.i32(0).fill(8).field("f", 16);
    for (std::uint8_t normal : {0, 161, 162, 255})
        idpo.u8(9).u8(8).u8(7).u8(normal);
    Bytes mdl4 = header84("MDL4", c);
    mdl4.i32(2).fill(16).field("f", 16);
    for (std::uint8_t normal : {0, 161, 162, 255})
        mdl4.u16(9).u16(8).u16(7).u8(normal).u8(0);

    Mdl2Reader oldReader;
    Mdl4Reader wideReader;
    const Attached idpoData(idpo), mdl4Data(mdl4);
    ASSERT_GT(oldReader.parseHeader(idpoData.data(), idpoData.length()), 0);
    ASSERT_GT(wideReader.parseHeader(mdl4Data.data(), mdl4Data.length()), 0);
    for (LegacyModelReader* reader :
         {static_cast<LegacyModelReader*>(&oldReader), static_cast<LegacyModelReader*>(&wideReader)}) {
        ASSERT_TRUE(reader->readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
        const std::int32_t expected[] = {0, 161, 0, 0};
        for (std::int32_t want : expected) {
            std::uint16_t position[3] = {};
            std::int32_t normalIndex = -1;
            ASSERT_TRUE(reader->readVertex(position, normalIndex));
            EXPECT_EQ(normalIndex, want) << "format " << reader->formatCode();
            EXPECT_EQ(position[0], 9);
            EXPECT_EQ(position[2], 7);
        }
        EXPECT_EQ(reader->remaining(), 0);
    }
}

TEST(Mdl2ReaderTest, FrameNameIsCutAtItsZeroAndAlwaysTerminated)
{
    Counts c;
    c.frames = 2;
    Bytes bytes = header84("IDPO", c);
    bytes.i32(0).fill(8).field("run", 16, 'Z'); // zero, then leftover bytes
    bytes.data[bytes.data.size() - 13] = 0;
    bytes.i32(0).fill(8).field("ABCDEFGHIJKLMNOP", 16); // fills the field
    const Attached data(bytes);
    Mdl2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);

    char name[17];
    std::memset(name, 'X', sizeof name);
    ASSERT_TRUE(reader.readFrameHeader(name, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(name, "run");
    for (int i = 3; i < 16; ++i)
        EXPECT_EQ(name[i], '\0') << i;
    EXPECT_EQ(name[16], 'X'); // nothing written past the 16 bytes

    std::memset(name, 'X', sizeof name);
    ASSERT_TRUE(reader.readFrameHeader(name, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(name[16], 'X');
}

// Where the records of sampleModel("IDPO") start.
constexpr std::size_t kIdpoTexCoords = 84 + (4 + 8) + (4 + 16);
constexpr std::size_t kIdpoTriangle = kIdpoTexCoords + 3 * 12;
constexpr std::size_t kIdpoFrames = kIdpoTriangle + 16;

TEST(Mdl2ReaderTest, HandsOutTheFlagsAndUnpackingThatIdpoRecordsCarry)
{
    Bytes bytes = sampleModel("IDPO");
    const float scale[3] = {0.5f, -2.0f, 1e-3f};
    const float translate[3] = {-24.0f, 7.5f, 0.0f};
    for (std::size_t i = 0; i < 3; ++i) {
        storeF32(bytes.data.data() + 8 + 4 * i, scale[i]);
        storeF32(bytes.data.data() + 20 + 4 * i, translate[i]);
    }
    bytes.patchI32(kIdpoTexCoords + 12, 32);  // the second coordinate lies on the seam
    bytes.patchI32(kIdpoTexCoords + 24, -1);  // any value but 0 means on the seam
    bytes.patchI32(kIdpoFrames + 28 + 12, 1); // the second frame starts a group of frames
    const Attached data(bytes);
    Mdl2Reader reader;
    ASSERT_GT(reader.parseHeader(data.data(), data.length()), 0);

    // Nothing read yet: no flags, no frame type.
    bool flag = true;
    std::int32_t type = -7;
    EXPECT_FALSE(reader.getTexCoordOnSeam(flag));
    EXPECT_FALSE(reader.getTriangleFacesFront(flag));
    EXPECT_FALSE(reader.getFrameType(type));
    EXPECT_EQ(type, -7);
    std::int32_t width = 0, height = 0;
    ASSERT_TRUE(reader.getTexCoordSkinSize(width, height));
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 2);
    float gotScale[3] = {}, gotTranslate[3] = {};
    ASSERT_TRUE(reader.getPackedScale(gotScale, gotTranslate));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(gotScale[i], scale[i]) << i;
        EXPECT_EQ(gotTranslate[i], translate[i]) << i;
    }

    ASSERT_TRUE(reader.skipSkins());
    const std::int32_t before = reader.tell();
    for (const bool onSeam : {false, true, true}) {
        std::int16_t s = 0, t = 0;
        ASSERT_TRUE(reader.readTexCoord(s, t));
        ASSERT_TRUE(reader.getTexCoordOnSeam(flag));
        EXPECT_EQ(flag, onSeam) << "coordinate " << s;
    }
    std::int32_t vertices[3] = {}, texCoords[3] = {};
    ASSERT_TRUE(reader.readTriangle(vertices, texCoords));
    ASSERT_TRUE(reader.getTriangleFacesFront(flag));
    EXPECT_TRUE(flag);                              // sampleModel stores 1
    EXPECT_EQ(reader.tell() - before, 3 * 12 + 16); // the queries move nothing

    ASSERT_TRUE(reader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(reader.getFrameType(type));
    EXPECT_EQ(type, 0);
    ASSERT_TRUE(reader.skipFrame());
    EXPECT_FALSE(reader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(reader.getFrameType(type)); // refused, but taken: its type tells why
    EXPECT_EQ(type, 1);

    // A triangle whose flag is 0 faces back; a frame header cut short has
    // no type.
    bytes.patchI32(kIdpoTriangle, 0);
    const Attached cut(bytes, kIdpoFrames + 20);
    Mdl2Reader shortReader;
    ASSERT_GT(shortReader.parseHeader(cut.data(), cut.length()), 0);
    ASSERT_TRUE(shortReader.skipSkins());
    ASSERT_TRUE(shortReader.skipTexCoords());
    ASSERT_TRUE(shortReader.readTriangle(vertices, texCoords));
    ASSERT_TRUE(shortReader.getTriangleFacesFront(flag));
    EXPECT_FALSE(flag);
    EXPECT_FALSE(shortReader.readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(shortReader.getFrameType(type));

    // Closing forgets them all.
    EXPECT_TRUE(reader.close());
    EXPECT_FALSE(reader.getTexCoordOnSeam(flag));
    EXPECT_FALSE(reader.getTriangleFacesFront(flag));
    EXPECT_FALSE(reader.getFrameType(type));
    EXPECT_FALSE(reader.getTexCoordSkinSize(width, height));
    EXPECT_FALSE(reader.getPackedScale(gotScale, gotTranslate));
}

TEST(Mdl2ReaderTest, LaterFormatsHaveNoFlagsButTheHeaderUnpacking)
{
    for (const ReaderKind& kind : allReaders()) {
        const std::string tag = *kind.tags.begin();
        if (tag == "IDPO" || tag == "IDP2") continue;
        Bytes bytes = sampleModel(tag.c_str());
        storeF32(bytes.data.data() + 8, 3.0f);
        storeF32(bytes.data.data() + 28, -5.0f);
        const Attached data(bytes);
        auto reader = kind.create();
        ASSERT_GT(reader->parseHeader(data.data(), data.length()), 0) << tag;

        std::int32_t width = 0, height = 0;
        ASSERT_TRUE(reader->getTexCoordSkinSize(width, height)) << tag;
        EXPECT_EQ(width, 4) << tag; // the header's, also where skins have their own size
        EXPECT_EQ(height, 2) << tag;
        float scale[3] = {}, translate[3] = {};
        ASSERT_TRUE(reader->getPackedScale(scale, translate)) << tag;
        EXPECT_EQ(scale[0], 3.0f) << tag;
        EXPECT_EQ(translate[2], -5.0f) << tag;

        ASSERT_TRUE(reader->skipSkins()) << tag;
        std::int16_t s = 0, t = 0;
        std::int32_t vertices[3] = {}, texCoords[3] = {};
        for (std::int32_t i = 0; i < reader->getTexCoordCount(); ++i)
            ASSERT_TRUE(reader->readTexCoord(s, t)) << tag;
        ASSERT_TRUE(reader->readTriangle(vertices, texCoords)) << tag;
        bool flag = true;
        EXPECT_FALSE(reader->getTexCoordOnSeam(flag)) << tag;
        EXPECT_FALSE(reader->getTriangleFacesFront(flag)) << tag;
        EXPECT_TRUE(flag) << tag;

        ASSERT_TRUE(reader->readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr)) << tag;
        std::int32_t type = -1;
        ASSERT_TRUE(reader->getFrameType(type)) << tag;
        EXPECT_EQ(type, tag == "MDL3" ? 0 : 2) << tag;
    }
}

TEST(Mdl2ReaderTest, ClosedReaderHasNoCountsAndFailsEveryRead)
{
    test::TempDir folder;
    for (const ReaderKind& kind : allReaders()) {
        const std::string tag = *kind.tags.begin();
        const std::string path = writeFile(folder, tag + ".bin", sampleModel(tag.c_str()).data);
        auto reader = kind.create();
        ASSERT_GE(reader->open(path.c_str()), 0) << kind.name;
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool hasMipmaps = false;
        ASSERT_TRUE(reader->readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps)) << kind.name;
        EXPECT_EQ(reader->getSkinCount(), 2) << kind.name;
        EXPECT_TRUE(reader->close());
        EXPECT_TRUE(reader->close()); // closing again only clears fields

        EXPECT_EQ(reader->getSkinCount(), 0) << kind.name;
        EXPECT_EQ(reader->getVertexCount(), 0) << kind.name;
        EXPECT_EQ(reader->getTriangleCount(), 0) << kind.name;
        EXPECT_EQ(reader->getTexCoordCount(), 0) << kind.name;
        EXPECT_EQ(reader->getFrameCount(), 0) << kind.name;
        const std::uint8_t sentinel = 0;
        const std::uint8_t* header = &sentinel;
        EXPECT_TRUE(reader->getHeader(header));
        EXPECT_EQ(header, nullptr);

        const std::uint8_t* image = nullptr;
        std::int16_t s = 0, t = 0;
        std::int32_t vertices[3] = {}, texCoords[3] = {};
        std::uint16_t position[3] = {};
        std::int32_t normalIndex = 0;
        EXPECT_FALSE(reader->readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps)) << kind.name;
        EXPECT_FALSE(reader->readSkinPixels(&image, nullptr, nullptr, nullptr)) << kind.name;
        EXPECT_FALSE(reader->readTexCoord(s, t)) << kind.name;
        EXPECT_FALSE(reader->readTriangle(vertices, texCoords)) << kind.name;
        EXPECT_FALSE(reader->readFrameHeader(nullptr, nullptr, nullptr, nullptr, nullptr)) << kind.name;
        EXPECT_FALSE(reader->readVertex(position, normalIndex)) << kind.name;
        EXPECT_FALSE(reader->nextVertex()) << kind.name;
        EXPECT_FALSE(reader->skipBones()) << kind.name;
        EXPECT_FALSE(reader->skipGroup()) << kind.name;
        EXPECT_FALSE(reader->skipSkin()) << kind.name;
        EXPECT_FALSE(reader->skipSkins()) << kind.name;
        EXPECT_FALSE(reader->skipTexCoords()) << kind.name;
        EXPECT_FALSE(reader->skipTriangles()) << kind.name;
        EXPECT_FALSE(reader->skipVertices()) << kind.name;
        EXPECT_FALSE(reader->skipFrame()) << kind.name;
        EXPECT_FALSE(reader->skipFrames()) << kind.name;
        EXPECT_FALSE(reader->reservedQuery(&s, &t, &type)) << kind.name;
    }
}

} // namespace
} // namespace kelvane
