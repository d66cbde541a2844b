#include "support/Mdl7Dump.h"

#include "mdl/ImageSize.h"
#include "mdl/Mdl7Reader.h"

namespace kelvane::test {

namespace {

bool readSkin(Mdl7Reader& reader, DumpedSkin& skin)
{
    char name[16] = {};
    if (!reader.readSkinHeader(skin.type, name)) return false;
    skin.name = name;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;
    if (!reader.readSkinFormat(skin.width, skin.height, bytesPerPixel, hasMipmaps)) return false;
    const std::int64_t imageBytes = imageByteCount(skin.width, skin.height, bytesPerPixel);
    if (imageBytes > 0 || hasMipmaps) {
        const std::uint8_t* image = nullptr;
        const std::uint8_t* mipmaps[kMipmapCount] = {};
        if (!reader.readSkinPixels(&image, &mipmaps[0], &mipmaps[1], &mipmaps[2])) return false;
        if (imageBytes > 0) skin.image.assign(reinterpret_cast<const char*>(image), std::size_t(imageBytes));
        for (int level = 1; level <= kMipmapCount; ++level) {
            const std::int64_t bytes = mipmapByteCount(skin.width, skin.height, bytesPerPixel, level);
            if (mipmaps[level - 1] != nullptr && bytes > 0) {
                skin.mipmaps.append(reinterpret_cast<const char*>(mipmaps[level - 1]), std::size_t(bytes));
            }
        }
    }
    if (skin.type & 0x10) {
        skin.hasMaterial = true;
        if (!reader.readSkinMaterial(&skin.material[0], &skin.material[4], &skin.material[8],
                                     &skin.material[12], &skin.material[16])) {
            return false;
        }
    }
    if (skin.type & 0x20) {
        skin.hasExtra = true;
        if (!reader.readSkinExtraLength(skin.extraLength)) return false;
        if (skin.extraLength > 0) {
            skin.extra.resize(std::size_t(skin.extraLength));
            if (!reader.readSkinExtraData(skin.extra.data())) return false;
        }
    }
    return true;
}

bool readMeshGroup(Mdl7Reader& reader, DumpedGroup& group, std::string& where)
{
    reader.readGroupCounts(group.skinCount, group.texCoordCount, group.triangleCount, group.vertexCount,
                           group.frameCount);
    for (std::int32_t k = 0; k < group.skinCount; ++k) {
        where = "skin " + std::to_string(k);
        if (!readSkin(reader, group.skins.emplace_back())) return false;
    }
    for (std::int32_t k = 0; k < group.texCoordCount; ++k) {
        where = "texture coordinate " + std::to_string(k);
        auto& c = group.texCoords.emplace_back();
        if (!reader.readTexCoord(c[0], c[1])) return false;
    }
    for (std::int32_t k = 0; k < group.triangleCount; ++k) {
        where = "triangle " + std::to_string(k);
        auto& t = group.triangles.emplace_back();
        if (!reader.readTriangle(t.vertex[0], t.vertex[1], t.vertex[2], t.texCoord[0], t.texCoord[1],
                                 t.texCoord[2], t.skinIndex)) {
            return false;
        }
    }
    for (std::int32_t k = 0; k < group.vertexCount; ++k) {
        where = "vertex " + std::to_string(k);
        auto& v = group.vertices.emplace_back();
        if (!reader.readVertex(v.x, v.y, v.z, v.boneIndex)) return false;
        (void)reader.readVertexNormal(v.nx, v.ny, v.nz);
    }
    where = "frames";
    return group.frameCount == 0 || reader.skipFrames();
}

} // namespace

DumpedModel dumpMdl7(const std::string& path)
{
    DumpedModel model;
    Mdl7Reader reader;
    if (reader.open(path.c_str()) < 0) {
        model.error = path + ": cannot be opened as an MDL7 file";
        return model;
    }
    reader.readHeader(model.boneCount, model.groupCount, model.modelDataSize, model.trailerSize,
                      model.secondTrailerSize);
    if (model.boneCount != 0 && !reader.skipBones()) {
        model.error = path + ": bones";
        return model;
    }
    for (std::int32_t j = 0; j < model.groupCount; ++j) {
        DumpedGroup& group = model.groups.emplace_back();
        char name[16] = {};
        std::string where = "group header";
        bool ok = reader.readGroupHeader(group.type, group.groupDataSize, name);
        group.name = name;
        if (ok) ok = group.type == 1 ? readMeshGroup(reader, group, where) : reader.skipGroup();
        if (!ok) {
            model.error = path + ": group " + std::to_string(j) + ": " + where;
            return model;
        }
    }
    model.ok = true;
    return model;
}

} // namespace kelvane::test
