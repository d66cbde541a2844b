// Mdl7Dump: reads an MDL7 file of mesh groups back into plain values, so a
// test can compare what a program wrote field by field.
//
//     const DumpedModel model = dumpMdl7(dir.path("ship000.mdl"));
//     ASSERT_TRUE(model.ok) << model.error;
//     EXPECT_EQ(model.groups[0].vertices[0].x, -1.0f);
//
// Every group of type 1 is read whole (skins with their images, material
// records and extra blocks, texture coordinates, triangles, vertices with
// normals); its frames are counted by the group header only and stepped
// over. Groups of other types are stepped over. The walk stops at the first
// read that fails, with ok false and `error` saying where.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvane::test {

struct DumpedSkin {
    std::uint8_t type = 0;
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string image;   // the main image's bytes (a texture file name for kind 7)
    std::string mipmaps; // the three mipmap images back to back
    bool hasMaterial = false;
    std::array<float, 17> material{}; // four colours of four values, then the scalar
    bool hasExtra = false;
    std::int32_t extraLength = 0; // the stored length prefix
    std::string extra;            // the bytes after it
};

struct DumpedTriangle {
    std::array<std::int32_t, 3> vertex{};
    std::array<std::int32_t, 3> texCoord{};
    std::int32_t skinIndex = 0;
};

struct DumpedVertex {
    float x = 0, y = 0, z = 0;
    std::int32_t boneIndex = 0;
    float nx = 0, ny = 0, nz = 0;
};

struct DumpedGroup {
    std::uint8_t type = 0;
    std::int32_t groupDataSize = 0;
    std::string name;
    std::int32_t skinCount = 0, texCoordCount = 0, triangleCount = 0, vertexCount = 0, frameCount = 0;
    std::vector<DumpedSkin> skins;
    std::vector<std::array<float, 2>> texCoords;
    std::vector<DumpedTriangle> triangles;
    std::vector<DumpedVertex> vertices;
};

struct DumpedModel {
    bool ok = false;
    std::string error;
    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondTrailerSize = 0;
    std::vector<DumpedGroup> groups;
};

DumpedModel dumpMdl7(const std::string& path);

} // namespace kelvane::test
