// Files written by Mdl7Writer, read back with Mdl7Reader: every value must
// come back as it went in.
#include "mdl/ByteOrder.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/Mdl7Writer.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kelvane {
namespace {

struct Vertex {
    float x, y, z;
    std::int32_t index;
    float nx, ny, nz;
};

Vertex vertexAt(int i)
{
    return {float(i) * 0.5f, -float(i), 1e-3f * float(i), i % 3 == 0 ? -1 : i, 0, float(i % 2), 1};
}

TEST(Mdl7WriterRoundTripTest, EveryRecordReadsBackUnchanged)
{
    test::TempDir dir;
    const std::string path = dir.path("round.mdl");
    std::vector<std::uint8_t> pixels(8 * 4 * 3 + 4 * 2 * 3 + 2 * 1 * 3 + 1 * 0 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 13);
    const float colours[4][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    const char extra[] = "texture.tga";
    float matrix[16];
    for (int i = 0; i < 16; ++i)
        matrix[i] = float(i * i) - 7;
    const int groupVertexCounts[2] = {40, 3000}; // the second group outgrows the write buffer

    {
        Mdl7Writer writer;
        ASSERT_GE(writer.open(path.c_str()), 0);
        ASSERT_TRUE(writer.writeBone(-1, 1, 2, 3, "root"));
        ASSERT_TRUE(writer.writeBone(0, 4, 5, 6, "child_bone_with_a_long_name"));
        for (int g = 0; g < 2; ++g) {
            ASSERT_TRUE(writer.beginGroup(1, g == 0 ? "first" : "second"));
            // Kind 4 (three bytes per pixel) with mipmaps, material and extra block.
            ASSERT_TRUE(writer.beginSkin(0x3C, "skin"));
            writer.setSkinImage(8, 4, 3, true);
            ASSERT_TRUE(writer.writeSkinPixels(pixels.data(), pixels.data() + 96, pixels.data() + 120,
                                               pixels.data() + 126));
            ASSERT_TRUE(writer.writeMaterial(colours[0], colours[1], colours[2], colours[3], 0.5f));
            ASSERT_TRUE(writer.writeSizedData(static_cast<std::int32_t>(std::strlen(extra)), extra));
            ASSERT_TRUE(writer.finishSkin());
            ASSERT_TRUE(writer.beginSkin(1, "empty"));
            ASSERT_TRUE(writer.finishSkin());
            for (int i = 0; i < 5; ++i)
                ASSERT_TRUE(writer.writeTexCoord(float(i), 1 - float(i)));
            ASSERT_TRUE(writer.writeTriangle(0, 1, 2, 0, 1, -1, 0));
            ASSERT_TRUE(writer.writeTriangleBothSets(2, 1, 0, 4, 3, 2, 1, 0, -1, 1, 5));
            for (int i = 0; i < groupVertexCounts[g]; ++i) {
                const Vertex v = vertexAt(i);
                ASSERT_TRUE(writer.writeVertex(v.x, v.y, v.z, v.index, v.nx, v.ny, v.nz));
            }
            ASSERT_TRUE(writer.beginFrame("pose"));
            ASSERT_TRUE(writer.writeFrameVertex(1, 7, 8, 9, 0, 1, 0));
            ASSERT_TRUE(writer.writeBoneTransform(-1, matrix));
            ASSERT_TRUE(writer.finishFrame());
            ASSERT_TRUE(writer.setGroupDeformers(1, 3));
        }
        for (int g = 0; g < 2; ++g) {
            ASSERT_TRUE(writer.beginDeformer(1, g));
            ASSERT_TRUE(writer.beginDeformerElement(g, "element"));
            ASSERT_TRUE(writer.writeDeformerWeight(2, 0.125f));
            ASSERT_TRUE(writer.finishDeformerElement());
            ASSERT_TRUE(writer.finishDeformer());
        }
        ASSERT_TRUE(writer.beginTrailer());
        ASSERT_TRUE(writer.beginTrailerEntry(100));
        ASSERT_TRUE(writer.beginTrailerSubEntry(200));
        ASSERT_TRUE(writer.writeTrailerTriangle(3, 4, 5, 6, 7, -1, 9));
        ASSERT_TRUE(writer.finishTrailerSubEntry());
        ASSERT_TRUE(writer.finishTrailerEntry());
        ASSERT_TRUE(writer.finishTrailer());
        ASSERT_TRUE(writer.close());
    }

    Mdl7Reader reader;
    ASSERT_GE(reader.open(path.c_str()), 0);
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, second = 0;
    ASSERT_TRUE(reader.readHeader(boneCount, groupCount, modelDataSize, trailerSize, second));
    EXPECT_EQ(boneCount, 2);
    EXPECT_EQ(groupCount, 2);
    EXPECT_EQ(trailerSize, 12 + 8 + 8 + 26);
    EXPECT_EQ(second, 0);

    std::int32_t parent = 0;
    float x = 0, y = 0, z = 0, nx = 0, ny = 0, nz = 0;
    char name[32] = {};
    ASSERT_TRUE(reader.readBone(parent, x, y, z, name));
    EXPECT_EQ(parent, -1);
    EXPECT_STREQ(name, "root");
    ASSERT_TRUE(reader.readBone(parent, x, y, z, name));
    EXPECT_EQ(parent, 0);
    EXPECT_EQ(z, 6);
    EXPECT_STREQ(name, "child_bone_with_a_l");

    for (int g = 0; g < 2; ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0;
        ASSERT_TRUE(reader.readGroupHeader(type, groupDataSize, name));
        EXPECT_EQ(type, 1);
        EXPECT_STREQ(name, g == 0 ? "first" : "second");
        std::int32_t skins = 0, texCoords = 0, triangles = 0, vertices = 0, frames = 0;
        ASSERT_TRUE(reader.readGroupCounts(skins, texCoords, triangles, vertices, frames));
        EXPECT_EQ(skins, 2);
        EXPECT_EQ(texCoords, 5);
        EXPECT_EQ(triangles, 2);
        EXPECT_EQ(vertices, groupVertexCounts[g]);
        EXPECT_EQ(frames, 1);

        ASSERT_TRUE(reader.readSkinHeader(type, name));
        EXPECT_EQ(type, 0x3C);
        EXPECT_STREQ(name, "skin");
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool mipmaps = false;
        ASSERT_TRUE(reader.readSkinFormat(width, height, bytesPerPixel, mipmaps));
        EXPECT_EQ(width, 8);
        EXPECT_EQ(height, 4);
        EXPECT_EQ(bytesPerPixel, 3);
        EXPECT_TRUE(mipmaps);
        const std::uint8_t* images[4] = {};
        ASSERT_TRUE(reader.readSkinPixels(&images[0], &images[1], &images[2], &images[3]));
        EXPECT_EQ(std::memcmp(images[0], pixels.data(), 96), 0);
        EXPECT_EQ(std::memcmp(images[1], pixels.data() + 96, 24), 0);
        EXPECT_EQ(std::memcmp(images[2], pixels.data() + 120, 6), 0);
        float material[4][4] = {};
        float scalar = 0;
        ASSERT_TRUE(reader.readSkinMaterial(material[0], material[1], material[2], material[3], &scalar));
        EXPECT_EQ(std::memcmp(material, colours, sizeof colours), 0);
        EXPECT_EQ(scalar, 0.5f);
        std::int32_t extraLength = 0;
        ASSERT_TRUE(reader.readSkinExtraLength(extraLength));
        ASSERT_EQ(extraLength, std::int32_t(std::strlen(extra)));
        char extraRead[32] = {};
        ASSERT_TRUE(reader.readSkinExtraData(extraRead));
        EXPECT_STREQ(extraRead, extra);
        ASSERT_TRUE(reader.readSkinHeader(type, name));
        EXPECT_EQ(type, 1);
        EXPECT_TRUE(reader.readSkinFormat(width, height, bytesPerPixel, mipmaps));
        EXPECT_EQ(width, 0);

        for (int i = 0; i < 5; ++i) {
            float s = -1, t = -1;
            ASSERT_TRUE(reader.readTexCoord(s, t));
            EXPECT_EQ(s, float(i));
            EXPECT_EQ(t, 1 - float(i));
        }
        std::int32_t t[11] = {};
        ASSERT_TRUE(
            reader.readTriangleBothSets(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10]));
        EXPECT_EQ(std::vector<std::int32_t>(t, t + 11),
                  (std::vector<std::int32_t>{0, 1, 2, 0, 1, -1, 0, 0, 0, 0, -1}));
        ASSERT_TRUE(
            reader.readTriangleBothSets(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10]));
        EXPECT_EQ(std::vector<std::int32_t>(t, t + 11),
                  (std::vector<std::int32_t>{2, 1, 0, 4, 3, 2, 1, 0, -1, 1, 5}));

        for (int i = 0; i < groupVertexCounts[g]; ++i) {
            const Vertex v = vertexAt(i);
            std::int32_t index = 0;
            ASSERT_TRUE(reader.readVertex(x, y, z, index));
            ASSERT_TRUE(reader.readVertexNormal(nx, ny, nz));
            ASSERT_EQ(x, v.x);
            ASSERT_EQ(y, v.y);
            ASSERT_EQ(z, v.z);
            ASSERT_EQ(index, v.index);
            ASSERT_EQ(ny, v.ny);
            ASSERT_EQ(nz, v.nz);
        }

        std::int32_t frameVertices = 0, boneTransforms = 0, index = 0;
        ASSERT_TRUE(reader.readFrameHeader(frameVertices, boneTransforms, name));
        EXPECT_STREQ(name, "pose");
        EXPECT_EQ(frameVertices, 1);
        EXPECT_EQ(boneTransforms, 1);
        ASSERT_TRUE(reader.readFrameVertex(index, x, y, z));
        ASSERT_TRUE(reader.readFrameVertexNormal(nx, ny, nz));
        EXPECT_EQ(index, 1);
        EXPECT_EQ(x, 7);
        EXPECT_EQ(ny, 1);
        std::uint8_t matrixBytes[64] = {};
        ASSERT_TRUE(reader.readBoneTransform(index, matrixBytes));
        EXPECT_EQ(index, -1);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(loadF32(matrixBytes + 4 * i), matrix[i]);
    }
    EXPECT_EQ(reader.deformerTotal(), 2);
    EXPECT_EQ(reader.maxWeights(), 3);

    for (int g = 0; g < 2; ++g) {
        std::uint8_t deformerType = 0;
        std::int32_t groupIndex = -1, elements = 0, dataSize = 0, element = -1, weights = 0;
        std::int32_t target = -1;
        float weight = 0;
        ASSERT_TRUE(reader.readDeformerHeader(deformerType, groupIndex, elements, &dataSize));
        EXPECT_EQ(deformerType, 1);
        EXPECT_EQ(groupIndex, g);
        EXPECT_EQ(elements, 1);
        EXPECT_EQ(dataSize, 16 + 28 + 8);
        ASSERT_TRUE(reader.readDeformerElement(element, name, weights));
        EXPECT_EQ(element, g);
        EXPECT_STREQ(name, "element");
        EXPECT_EQ(weights, 1);
        ASSERT_TRUE(reader.readDeformerWeight(target, weight));
        EXPECT_EQ(target, 2);
        EXPECT_EQ(weight, 0.125f);
    }
    // The deformers end the model data exactly where the trailer begins.
    EXPECT_EQ(reader.tell(), modelDataSize);

    ASSERT_TRUE(reader.seekTrailer());
    std::int32_t kind = 0, entries = 0, id = 0, count = 0;
    ASSERT_TRUE(reader.readTrailerHeader(kind, entries));
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(reader.currentTrailerLength(), trailerSize);
    ASSERT_TRUE(reader.readTrailerEntry(id, count));
    EXPECT_EQ(id, 100);
    EXPECT_EQ(count, 1);
    ASSERT_TRUE(reader.readTrailerSubEntry(id, count));
    EXPECT_EQ(id, 200);
    EXPECT_EQ(count, 1);
    std::int32_t t[7] = {};
    ASSERT_TRUE(reader.readTrailerTriangle(t[0], t[1], t[2], t[3], t[4], t[5], t[6]));
    EXPECT_EQ(std::vector<std::int32_t>(t, t + 7), (std::vector<std::int32_t>{3, 4, 5, 6, 7, -1, 9}));
    EXPECT_EQ(reader.remaining(), 0);
}

} // namespace
} // namespace kelvane
