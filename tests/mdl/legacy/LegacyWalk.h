// Test helper: pulls a whole model through the legacy reader interface in
// file order, checking that every value handed out is sane, and reports how
// far it got.
#pragma once

#include "mdl/NormalTable.h"
#include "mdl/legacy/LegacyModelReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace kelvane::testing_legacy {

struct WalkResult {
    std::int32_t skins = 0;
    std::int32_t texCoords = 0;
    std::int32_t triangles = 0;
    std::int32_t frames = 0;
    bool complete = false;
    std::string stoppedAt; // empty when complete
};

// `label` names the model in failure messages. With `checkValues` false
// (for deliberately damaged files) only the walk itself is done.
inline WalkResult walkModel(LegacyModelReader& reader, const std::string& label, bool checkValues = true)
{
    WalkResult result;
    const std::int32_t skinCount = reader.getSkinCount();
    const std::int32_t vertexCount = reader.getVertexCount();
    const std::int32_t texCoordCount = reader.getTexCoordCount();
    const std::int32_t triangleCount = reader.getTriangleCount();
    const std::int32_t frameCount = reader.getFrameCount();
    const bool texCoordPerVertex = reader.formatCode() == kFormatMdl2;
    const bool bytePositions = reader.formatCode() == kFormatMdl2 || reader.formatCode() == kFormatMdl3 ||
                               reader.formatCode() == kFormatIdp2;

    for (; result.skins < skinCount; ++result.skins) {
        std::uint8_t type = 0;
        std::int32_t width = 0, height = 0, bytesPerPixel = 0;
        bool hasMipmaps = false;
        if (!reader.readSkinFormat(type, width, height, bytesPerPixel, hasMipmaps)) {
            result.stoppedAt = "skin " + std::to_string(result.skins) + " format";
            return result;
        }
        const std::uint8_t* image = nullptr;
        const std::uint8_t* mipmaps[3] = {};
        if (!reader.readSkinPixels(&image, &mipmaps[0], &mipmaps[1], &mipmaps[2])) {
            result.stoppedAt = "skin " + std::to_string(result.skins) + " pixels";
            return result;
        }
        if (checkValues) {
            EXPECT_NE(image, nullptr) << label << ": skin " << result.skins;
            // An "IDP2" skin is a texture file name, terminated within its record.
            if (reader.formatCode() == kFormatIdp2 && image != nullptr) {
                EXPECT_NE(std::memchr(image, 0, 64), nullptr) << label << ": skin " << result.skins;
            }
        }
    }

    for (; result.texCoords < texCoordCount; ++result.texCoords) {
        std::int16_t s = 0, t = 0;
        if (!reader.readTexCoord(s, t)) {
            result.stoppedAt = "texture coordinate " + std::to_string(result.texCoords);
            return result;
        }
    }

    for (; result.triangles < triangleCount; ++result.triangles) {
        std::int32_t vertices[3] = {}, texCoords[3] = {};
        if (!reader.readTriangle(vertices, texCoords)) {
            result.stoppedAt = "triangle " + std::to_string(result.triangles);
            return result;
        }
        for (int i = 0; i < 3 && checkValues; ++i) {
            EXPECT_TRUE(vertices[i] >= 0 && vertices[i] < vertexCount)
                << label << ": triangle " << result.triangles << " uses vertex " << vertices[i] << " of "
                << vertexCount;
            if (texCoordPerVertex) {
                EXPECT_EQ(texCoords[i], -1) << label << ": triangle " << result.triangles;
            } else {
                EXPECT_TRUE(texCoords[i] >= 0 && texCoords[i] < texCoordCount)
                    << label << ": triangle " << result.triangles << " uses texture coordinate "
                    << texCoords[i] << " of " << texCoordCount;
            }
        }
    }

    for (; result.frames < frameCount; ++result.frames) {
        char name[16];
        std::memset(name, 'X', sizeof name);
        std::uint16_t bboxMin[3] = {}, bboxMax[3] = {};
        float scale[3] = {}, translate[3] = {};
        if (!reader.readFrameHeader(name, bboxMin, bboxMax, scale, translate)) {
            result.stoppedAt = "frame " + std::to_string(result.frames);
            return result;
        }
        // The name is cut at its first zero and the rest of the buffer is zero.
        const std::size_t nameLength = std::strlen(name);
        EXPECT_LT(nameLength, sizeof name) << label << ": frame " << result.frames;
        for (std::size_t i = nameLength; i < sizeof name && checkValues; ++i) {
            EXPECT_EQ(name[i], '\0') << label << ": frame " << result.frames << " name byte " << i;
        }
        for (std::int32_t v = 0; v < vertexCount; ++v) {
            std::uint16_t position[3] = {};
            std::int32_t normalIndex = -1;
            if (!reader.readVertex(position, normalIndex)) {
                result.stoppedAt = "frame " + std::to_string(result.frames) + " vertex " + std::to_string(v);
                return result;
            }
            if (!checkValues) continue;
            EXPECT_TRUE(normalIndex >= 0 && normalIndex < NormalTable::kCount) << label;
            if (bytePositions) {
                EXPECT_LE(position[0], 255);
                EXPECT_LE(position[1], 255);
                EXPECT_LE(position[2], 255);
            }
        }
    }
    result.complete = true;
    return result;
}

} // namespace kelvane::testing_legacy
