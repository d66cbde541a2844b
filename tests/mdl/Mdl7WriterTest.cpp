#include "mdl/Mdl7Writer.h"

#include "WriteTestSupport.h"
#include "mdl/ByteOrder.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::readFileBytes;
using test::runWithFileSizeLimit;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Expected file images are spelled out field by field, independently of the
// writer's record code.
struct Expect {
    Bytes b;
    Expect& u8(std::uint32_t v)
    {
        b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Expect& u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
    Expect& i32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        return u16(u & 0xFFFF).u16(u >> 16);
    }
    Expect& f32(float v) { return i32(std::bit_cast<std::int32_t>(v)); }
    Expect& name(const char* text, std::size_t fieldSize)
    {
        const std::size_t n = std::min(std::strlen(text), fieldSize - 1);
        b.insert(b.end(), text, text + n);
        b.insert(b.end(), fieldSize - n, 0);
        return *this;
    }
    Expect& zeros(std::size_t n)
    {
        b.insert(b.end(), n, 0);
        return *this;
    }
    Expect& fill(std::size_t n, std::uint8_t value)
    {
        b.insert(b.end(), n, value);
        return *this;
    }
    Expect& fileHeader(std::int32_t bones, std::int32_t groups, std::int32_t modelDataSize,
                       std::int32_t trailerSize = 0)
    {
        b.insert(b.end(), {'M', 'D', 'L', '7'});
        i32(0).i32(bones).i32(groups).i32(modelDataSize).i32(trailerSize).i32(0);
        for (int size : {36, 28, 16, 68, 8, 26, 26, 26, 68, 24})
            u16(size);
        return *this;
    }
    Expect& groupHeader(std::uint8_t type, const char* groupName, std::int32_t groupDataSize,
                        std::int32_t skins, std::int32_t texCoords, std::int32_t triangles,
                        std::int32_t vertices, std::int32_t frames, std::uint8_t deformers = 0,
                        std::uint8_t maxWeights = 0)
    {
        u8(type).u8(deformers).u8(maxWeights).u8(0).i32(groupDataSize).name(groupName, 16);
        return i32(skins).i32(texCoords).i32(triangles).i32(vertices).i32(frames);
    }
};

std::int32_t fieldAt(const Bytes& file, std::size_t offset) { return loadI32(file.data() + offset); }

class Mdl7WriterTest : public ::testing::Test {
  protected:
    std::string path(const char* name = "out.mdl") { return dir_.path(name); }
    Bytes written(const char* name = "out.mdl") { return readFileBytes(dir_.path(name)); }

    TempDir dir_;
};

TEST_F(Mdl7WriterTest, OpenAndCloseWriteTheBareHeader)
{
    Mdl7Writer writer;
    EXPECT_TRUE(writer.close()); // never opened
    ASSERT_GE(writer.open(path().c_str()), 0);
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(written(), Expect{}.fileHeader(0, 0, 48).b);
    EXPECT_TRUE(writer.close()); // already closed

    Mdl7Writer unopenable;
    EXPECT_LT(unopenable.open(path("no/such/folder.mdl").c_str()), 0);
    EXPECT_FALSE(unopenable.writeTexCoord(0, 0));
    EXPECT_TRUE(unopenable.finishGroup());
    EXPECT_TRUE(unopenable.close());
}

TEST_F(Mdl7WriterTest, EmptyGroupAndCutNames)
{
    Mdl7Writer writer;
    ASSERT_GE(writer.open(path().c_str()), 0);
    ASSERT_TRUE(writer.writeBone(-1, 1.5f, -2.0f, 3.25f, "a_bone_name_of_25_chars__"));
    ASSERT_TRUE(writer.writeBone(7, 0, 0, 0, nullptr));
    ASSERT_TRUE(writer.beginGroup(1, "twenty_characters_xx"));
    EXPECT_TRUE(writer.finishGroup());
    ASSERT_TRUE(writer.beginGroup(2, nullptr));
    EXPECT_TRUE(writer.finishGroup());
    EXPECT_TRUE(writer.close());

    Expect e;
    e.fileHeader(2, 2, 48 + 2 * 36 + 2 * 44);
    e.u16(0xFFFF).u16(0).f32(1.5f).f32(-2.0f).f32(3.25f).name("a_bone_name_of_25_c", 20);
    e.u16(7).u16(0).f32(0).f32(0).f32(0).zeros(20);
    e.groupHeader(1, "twenty_characte", 44, 0, 0, 0, 0, 0);
    e.groupHeader(2, "", 44, 0, 0, 0, 0, 0);
    EXPECT_EQ(written(), e.b);
}

TEST_F(Mdl7WriterTest, MeshGroupRecordsAndTrailingTriangleFields)
{
    Mdl7Writer writer;
    ASSERT_GE(writer.open(path().c_str()), 0);
    ASSERT_TRUE(writer.beginGroup(1, "mesh"));
    ASSERT_TRUE(writer.writeTexCoord(0.25f, 0.75f));
    ASSERT_TRUE(writer.writeTriangle(1, 2, 3, 4, 5, 6, 7));
    ASSERT_TRUE(writer.writeTriangleBothSets(0x1FFFF, 8, 9, -1, 10, 11, -5, 12, -1, 13, 14));
    ASSERT_TRUE(writer.writeVertex(1, 2, 3, -1, 0, 0, 1));
    ASSERT_TRUE(writer.writeZeros(3)); // counted only when the group is finished
    EXPECT_TRUE(writer.setGroupDeformers(0x102, 4));
    EXPECT_TRUE(writer.close());

    const std::int32_t groupSize = 44 + 8 + 26 + 26 + 26;
    Expect e;
    e.fileHeader(0, 1, 48 + groupSize + 3);
    e.groupHeader(1, "mesh", groupSize, 0, 1, 2, 1, 0, 2, 4);
    e.f32(0.25f).f32(0.75f);
    e.u16(1).u16(2).u16(3).u16(4).u16(5).u16(6).i32(7).u16(0).u16(0).u16(0);
    e.u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF);
    e.u16(0xFFFF).u16(8).u16(9).u16(0xFFFF).u16(10).u16(11).i32(-5);
    e.u16(12).u16(0xFFFF).u16(13).i32(14);
    e.f32(1).f32(2).f32(3).u16(0xFFFF).f32(0).f32(0).f32(1);
    e.zeros(3);
    const Bytes file = written();
    EXPECT_EQ(file, e.b);
    // modelDataSize is the file length once the group is finished.
    EXPECT_EQ(fieldAt(file, 16), std::int32_t(file.size()));
}

TEST_F(Mdl7WriterTest, SkinImagesMipmapsMaterialAndExtraBlock)
{
    Bytes image(64 * 32 * 2);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);
    const float c1[4] = {1, 2, 3, 4}, c2[4] = {5, 6, 7, 8}, c3[4] = {9, 10, 11, 12}, c4[4] = {13, 14, 15, 16};
    const char extra[] = "extra";

    Mdl7Writer writer;
    ASSERT_GE(writer.open(path().c_str()), 0);
    ASSERT_TRUE(writer.beginGroup(1, "skins"));
    // 64 x 32, two bytes per pixel, mipmaps, material and extra block.
    ASSERT_TRUE(writer.beginSkin(0x3A, "first"));
    EXPECT_TRUE(writer.setSkinImage(64, 32, 2, true));
    ASSERT_TRUE(writer.writeSkinPixels(image.data(), image.data() + 1, image.data() + 2, image.data() + 3));
    ASSERT_TRUE(writer.writeMaterial(c1, c2, c3, c4, 0.5f));
    ASSERT_TRUE(writer.writeSizedData(5, extra));
    EXPECT_TRUE(writer.finishSkin());
    // 5 x 3, one byte per pixel, with mipmaps: levels of 2 x 1, 1 x 0, 0 x 0.
    ASSERT_TRUE(writer.beginSkin(0x08, "odd"));
    EXPECT_TRUE(writer.setSkinImage(5, 3, 1, true));
    ASSERT_TRUE(
        writer.writeSkinPixels(image.data(), image.data() + 100, image.data() + 200, image.data() + 300));
    EXPECT_TRUE(writer.finishSkin());
    // Kind 6: width x height bytes whatever the bytes per pixel.
    ASSERT_TRUE(writer.beginSkin(6, "raw"));
    EXPECT_TRUE(writer.setSkinImage(10, 1, 3, false));
    ASSERT_TRUE(writer.writeSkinPixels(image.data(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(writer.writeSizedData(0, nullptr));
    EXPECT_TRUE(writer.finishSkin());
    EXPECT_TRUE(writer.finishGroup());
    EXPECT_TRUE(writer.close());

    Expect e;
    const std::int32_t first = 28 + 4096 + 1024 + 256 + 64 + 68 + 4 + 5;
    const std::int32_t second = 28 + 15 + 2;
    const std::int32_t third = 28 + 10 + 4;
    const std::int32_t groupSize = 44 + first + second + third;
    e.fileHeader(0, 1, 48 + groupSize);
    e.groupHeader(1, "skins", groupSize, 3, 0, 0, 0, 0);
    e.u8(0x3A).zeros(3).i32(64).i32(32).name("first", 16);
    e.b.insert(e.b.end(), image.begin(), image.begin() + 4096);
    e.b.insert(e.b.end(), image.begin() + 1, image.begin() + 1 + 1024);
    e.b.insert(e.b.end(), image.begin() + 2, image.begin() + 2 + 256);
    e.b.insert(e.b.end(), image.begin() + 3, image.begin() + 3 + 64);
    for (float v = 1; v <= 16; ++v)
        e.f32(v);
    e.f32(0.5f).i32(5);
    e.b.insert(e.b.end(), extra, extra + 5);
    e.u8(0x08).zeros(3).i32(5).i32(3).name("odd", 16);
    e.b.insert(e.b.end(), image.begin(), image.begin() + 15);
    e.b.insert(e.b.end(), image.begin() + 100, image.begin() + 102);
    e.u8(6).zeros(3).i32(10).i32(1).name("raw", 16);
    e.b.insert(e.b.end(), image.begin(), image.begin() + 10);
    e.i32(0);
    EXPECT_EQ(written(), e.b);
}

TEST_F(Mdl7WriterTest, SkinHeaderStaysProvisionalUntilFinished)
{
    const Bytes pixels(4 * 4 * 4, 0x11);
    {
        Mdl7Writer writer;
        ASSERT_GE(writer.open(path().c_str()), 0);
        ASSERT_TRUE(writer.beginGroup(1, "g"));
        ASSERT_TRUE(writer.beginSkin(5, "s"));
        writer.setSkinImage(4, 4, 4, true);
        // A null mipmap: the main image is written and counted, then false.
        EXPECT_FALSE(writer.writeSkinPixels(pixels.data(), pixels.data(), nullptr, pixels.data()));
        // Destroyed without finishing: the buffered records reach the file,
        // the headers stay as first written.
    }
    Expect e;
    e.fileHeader(0, 0, 0);
    e.groupHeader(1, "g", 44, 0, 0, 0, 0, 0);
    e.u8(5).zeros(3).i32(0).i32(0).name("s", 16);
    e.fill(64, 0x11);
    EXPECT_EQ(written(), e.b);
}

TEST_F(Mdl7WriterTest, RefusedCallsChangeNothing)
{
    // Each refused call is made in the middle of a small file; the file must
    // equal the one written without it.
    const auto build = [&](const char* name, bool withRefusals) {
        Mdl7Writer writer;
        EXPECT_GE(writer.open(path(name).c_str()), 0);
        EXPECT_TRUE(writer.writeBone(0, 1, 2, 3, "b"));
        EXPECT_TRUE(writer.beginGroup(1, "g"));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeBone(0, 1, 2, 3, "late"));
        }
        EXPECT_TRUE(writer.beginSkin(1, "s"));
        EXPECT_TRUE(writer.finishSkin());
        EXPECT_TRUE(writer.writeTexCoord(0, 1));
        if (withRefusals) {
            EXPECT_FALSE(writer.beginSkin(1, "late"));
        }
        EXPECT_TRUE(writer.writeTriangle(0, 0, 0, 0, 0, 0, 0));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeTexCoord(2, 3));
        }
        EXPECT_TRUE(writer.writeVertex(0, 0, 0, 0, 0, 0, 0));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeTriangle(1, 1, 1, 1, 1, 1, 1));
        }
        EXPECT_TRUE(writer.beginFrame("f"));
        if (withRefusals) {
            EXPECT_FALSE(writer.writeVertex(1, 1, 1, 1, 1, 1, 1));
            // Sizes that cannot be written: nothing goes out.
            writer.setSkinImage(0x10000, 0x10000, 1, false);
            EXPECT_FALSE(writer.writeSkinPixels("x", nullptr, nullptr, nullptr));
            writer.setSkinImage(-4, 4, 1, false);
            EXPECT_FALSE(writer.writeSkinPixels("x", nullptr, nullptr, nullptr));
            // A negative side is refused even where the product is positive
            // or 0: no reader would take such an image back.
            writer.setSkinImage(-2, -3, 1, false);
            EXPECT_FALSE(writer.writeSkinPixels("xxxxxx", nullptr, nullptr, nullptr));
            writer.setSkinImage(-1, 0, 1, false);
            EXPECT_FALSE(writer.writeSkinPixels("x", nullptr, nullptr, nullptr));
            writer.setSkinImage(4, 4, 1, false);
            EXPECT_FALSE(writer.writeSkinPixels(nullptr, nullptr, nullptr, nullptr));
            EXPECT_FALSE(writer.writeSizedData(-1, "x"));
            EXPECT_FALSE(writer.writeSizedData(3, nullptr));
            EXPECT_FALSE(writer.writeMaterial(nullptr, nullptr, nullptr, nullptr, 0));
            EXPECT_FALSE(writer.writeBoneTransform(0, nullptr));
        }
        EXPECT_TRUE(writer.finishFrame());
        EXPECT_TRUE(writer.finishGroup());
        EXPECT_TRUE(writer.close());
        return written(name);
    };
    const Bytes plain = build("plain.mdl", false);
    EXPECT_EQ(build("refused.mdl", true), plain);
    // The group header counts what was accepted.
    EXPECT_EQ(fieldAt(plain, 48 + 36 + 24), 1); // skins
    EXPECT_EQ(fieldAt(plain, 48 + 36 + 28), 1); // texture coordinates
    EXPECT_EQ(fieldAt(plain, 48 + 36 + 32), 1); // triangles
    EXPECT_EQ(fieldAt(plain, 48 + 36 + 36), 1); // vertices
    EXPECT_EQ(fieldAt(plain, 48 + 36 + 40), 1); // frames
}

TEST_F(Mdl7WriterTest, FramesDeformersAndTrailer)
{
    float matrix[16];
    for (int i = 0; i < 16; ++i)
        matrix[i] = float(i) - 3.5f;

    Mdl7Writer writer;
    ASSERT_GE(writer.open(path().c_str()), 0);
    ASSERT_TRUE(writer.beginGroup(1, "g"));
    ASSERT_TRUE(writer.writeVertex(1, 2, 3, 0, 0, 1, 0));
    ASSERT_TRUE(writer.beginFrame("frame"));
    ASSERT_TRUE(writer.writeFrameVertex(-1, 4, 5, 6, 1, 0, 0));
    ASSERT_TRUE(writer.writeFrameVertex(0, 7, 8, 9, 0, 0, 1));
    ASSERT_TRUE(writer.writeBoneTransform(3, matrix));
    EXPECT_TRUE(writer.finishFrame());
    EXPECT_TRUE(writer.setGroupDeformers(1, 2));
    ASSERT_TRUE(writer.beginDeformer(1, 0));
    ASSERT_TRUE(writer.beginDeformerElement(5, "an_element_name_that_is_long"));
    ASSERT_TRUE(writer.writeDeformerWeight(0, 0.25f));
    ASSERT_TRUE(writer.writeDeformerWeight(1, 0.75f));
    EXPECT_TRUE(writer.finishDeformerElement());
    ASSERT_TRUE(writer.beginDeformerElement(6, "e2"));
    EXPECT_TRUE(writer.finishDeformerElement());
    EXPECT_TRUE(writer.finishDeformer());
    ASSERT_TRUE(writer.beginTrailer());
    ASSERT_TRUE(writer.beginTrailerEntry(11));
    ASSERT_TRUE(writer.beginTrailerSubEntry(21));
    ASSERT_TRUE(writer.writeTrailerTriangle(1, 2, 3, 4, 5, 6, 7));
    ASSERT_TRUE(writer.writeTrailerTriangle(0, 0, 0, -1, -1, -1, -1));
    EXPECT_TRUE(writer.finishTrailerSubEntry());
    ASSERT_TRUE(writer.beginTrailerSubEntry(22));
    EXPECT_TRUE(writer.finishTrailerSubEntry());
    EXPECT_TRUE(writer.finishTrailerEntry());
    EXPECT_TRUE(writer.finishTrailer());
    EXPECT_TRUE(writer.close());

    const std::int32_t groupSize = 44 + 26 + 24 + 26 + 26 + 68;
    const std::int32_t deformerSize = 16 + 28 + 8 + 8 + 28;
    const std::int32_t trailerSize = 12 + 8 + 8 + 26 + 26 + 8;
    Expect e;
    e.fileHeader(0, 1, 48 + groupSize + deformerSize, trailerSize);
    e.groupHeader(1, "g", groupSize, 0, 0, 0, 1, 1, 1, 2);
    e.f32(1).f32(2).f32(3).u16(0).f32(0).f32(1).f32(0);
    e.name("frame", 16).i32(2).i32(1);
    e.f32(4).f32(5).f32(6).u16(0xFFFF).f32(1).f32(0).f32(0);
    e.f32(7).f32(8).f32(9).u16(0).f32(0).f32(0).f32(1);
    for (float v : matrix)
        e.f32(v);
    e.u16(3).u16(0);
    e.u8(0).u8(1).u16(0).i32(0).i32(2).i32(deformerSize);
    e.i32(5).name("an_element_name_tha", 20).i32(2);
    e.i32(0).f32(0.25f).i32(1).f32(0.75f);
    e.i32(6).name("e2", 20).i32(0);
    e.i32(1).i32(trailerSize).i32(1);
    e.i32(11).i32(2);
    e.i32(21).i32(2);
    e.u16(1).u16(2).u16(3).u16(4).u16(5).u16(6).i32(7).zeros(6).i32(-1);
    e.zeros(6).fill(6, 0xFF).i32(-1).zeros(6).i32(-1);
    e.i32(22).i32(0);
    EXPECT_EQ(written(), e.b);
}

TEST_F(Mdl7WriterTest, PatchesHeadersThatLeftTheBuffer)
{
    // 5,000 vertices put the group header and the skin header far behind
    // the buffered range when they are rewritten.
    const Bytes pixels(200 * 1000, 0x5A);
    Mdl7Writer writer;
    ASSERT_GE(writer.open(path().c_str()), 0);
    ASSERT_TRUE(writer.beginGroup(1, "big"));
    ASSERT_TRUE(writer.beginSkin(0, "wide"));
    writer.setSkinImage(200, 1000, 1, false);
    ASSERT_TRUE(writer.writeSkinPixels(pixels.data(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(writer.finishSkin());
    for (int i = 0; i < 5000; ++i)
        ASSERT_TRUE(writer.writeVertex(float(i), 0, 0, i, 0, 0, 1));
    EXPECT_TRUE(writer.finishGroup());
    EXPECT_TRUE(writer.close());

    const std::int32_t groupSize = 44 + 28 + 200000 + 5000 * 26;
    Expect e;
    e.fileHeader(0, 1, 48 + groupSize);
    e.groupHeader(1, "big", groupSize, 1, 0, 0, 5000, 0);
    e.u8(0).zeros(3).i32(200).i32(1000).name("wide", 16);
    e.fill(200000, 0x5A);
    for (int i = 0; i < 5000; ++i)
        e.f32(float(i)).f32(0).f32(0).u16(i).f32(0).f32(0).f32(1);
    EXPECT_EQ(written(), e.b);
}

TEST_F(Mdl7WriterTest, ShortWriteMakesCloseReportFailure)
{
    if (!test::kHasFileSizeLimit) GTEST_SKIP() << "needs a file size limit";
    const std::string out = path();
    const std::string full = path("full.mdl");
    // Twice the write buffer, so that the limit is met by a flush in the
    // middle of the vertices and the writer learns of it before finishGroup;
    // and a file the buffer holds whole, so that nothing has reached the
    // disk when finishGroup takes the file position.
    for (const auto vertexCount : {static_cast<int>(2 * BufferedFile::kDefaultCapacity / 26), 3000}) {
        SCOPED_TRACE(vertexCount);
        const auto writeModel = [vertexCount](const std::string& target) {
            Mdl7Writer writer;
            if (writer.open(target.c_str()) < 0) return 2;
            writer.beginGroup(1, "g");
            for (int i = 0; i < vertexCount; ++i)
                writer.writeVertex(float(i), 1, 2, 0, 0, 0, 1);
            writer.finishGroup();
            return writer.close() ? 0 : 1;
        };
        ASSERT_EQ(writeModel(full), 0);
        ASSERT_EQ(runWithFileSizeLimit(50000, [&] { return writeModel(out); }), 1);

        // What the system took is the good file's prefix, with both headers
        // rewritten; modelDataSize counts what reached the file, as it does
        // when every record is written by a call of its own.
        const Bytes good = written("full.mdl");
        Bytes expected(good.begin(), good.begin() + 50000);
        storeI32(expected.data() + 16, 50000);
        EXPECT_EQ(written(), expected);
    }

    // A header that cannot be written at all fails open.
    EXPECT_EQ(runWithFileSizeLimit(20,
                                   [&] {
                                       Mdl7Writer writer;
                                       const bool refused = writer.open(out.c_str()) < 0 && !writer.isOpen();
                                       return refused && writer.close() ? 0 : 1;
                                   }),
              0);
}

} // namespace
} // namespace kelvane
