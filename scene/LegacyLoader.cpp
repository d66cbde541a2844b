#include "scene/LegacyLoader.h"

#include "mdl/ByteOrder.h"
#include "mdl/legacy/LegacyFormat.h"

#include <string>
#include <utility>

namespace kelvane::scene {

namespace {

ImageLayout layoutOf(std::uint8_t type)
{
    switch (type & legacy::skin::kKindMask) {
    case 0:
        return ImageLayout::kIndexed8;
    case 6:
        return ImageLayout::kNone; // "MDL5"/"MDL6": a skin without image bytes
    case legacy::skin::kIdp2Type:
        return ImageLayout::kExternal;
    default:
        return ImageLayout::kUndefined;
    }
}

// Walks the model with the reader's read operations. Every loop is bounded by
// the data whatever a count says: each pass takes at least four bytes of the
// file or fails, and a failure ends the walk.
class LegacyWalker {
  public:
    LegacyWalker(LegacyModelReader& reader, LoadResult& result) : reader_(reader), result_(result) {}

    void run()
    {
        Model& model = result_.model;
        const std::uint8_t* header = nullptr;
        if (reader_.getHeader(header) && header != nullptr) {
            model.format.assign(reinterpret_cast<const char*>(header), 4);
        }
        Group& group = model.groups.emplace().emplace_back();
        group.type = kMeshGroupType;
        Mesh& mesh = group.mesh.emplace();
        readCounts(mesh);
        (void)(readSkins(mesh) && readTexCoords(mesh) && readTriangles(mesh) && readFrames(mesh));
    }

  private:
    bool fail(std::string place, std::string reason = "cannot be read")
    {
        result_.failure = LoadFailure{std::move(place), std::move(reason), reader_.tell()};
        return false;
    }

    void readCounts(Mesh& mesh)
    {
        MeshCounts& c = mesh.counts;
        c.skinCount = reader_.getSkinCount();
        c.vertexCount = reader_.getVertexCount();
        c.triangleCount = reader_.getTriangleCount();
        c.texCoordCount = reader_.getTexCoordCount();
        c.frameCount = reader_.getFrameCount();

        // "IDPO"/"MDL2" keep one texture coordinate per vertex.
        mesh.texCoordsByVertex = reader_.formatCode() == kFormatMdl2;
        std::int32_t width = 0;
        std::int32_t height = 0;
        if (reader_.getTexCoordSkinSize(width, height)) {
            mesh.texCoordDivisor = {static_cast<float>(width), static_cast<float>(height)};
        }
        float scale[3] = {};
        float translate[3] = {};
        framesCarryScale_ = !reader_.getPackedScale(scale, translate);
        if (!framesCarryScale_) {
            mesh.packedScale = {scale[0], scale[1], scale[2]};
            mesh.packedTranslate = {translate[0], translate[1], translate[2]};
        }
    }

    bool readSkins(Mesh& mesh)
    {
        mesh.reached = MeshSection::kSkins;
        for (std::int32_t i = 0; i < mesh.counts.skinCount; ++i) {
            const std::string place = "skin " + std::to_string(i);
            Skin skin;
            if (!reader_.readSkinFormat(skin.type, skin.width, skin.height, skin.bytesPerPixel,
                                        skin.hasMipmaps)) {
                // Kind 0 is in every format, so a kind in the type means the
                // kind was refused; a cut record leaves the type at 0.
                if ((skin.type & legacy::skin::kKindMask) != 0) {
                    return fail(place, "has image kind " +
                                           std::to_string(skin.type & legacy::skin::kKindMask) +
                                           ", which this format does not have");
                }
                return fail(place);
            }
            skin.layout = layoutOf(skin.type);
            Skin& stored = mesh.skins.emplace_back(std::move(skin));
            const std::uint8_t* image = nullptr;
            if (!reader_.readSkinPixels(&image, nullptr, nullptr, nullptr)) return fail(place + ": image");
            keepImage(stored, image);
        }
        return true;
    }

    // The main image of an 8-bit skin; the texture file an "IDP2" name
    // record names, up to its first zero (the record's size is its width).
    static void keepImage(Skin& skin, const std::uint8_t* image)
    {
        if (image == nullptr || skin.width <= 0) return;
        if (skin.layout == ImageLayout::kIndexed8 && skin.height > 0) {
            // The reader handed out width x height bytes, so the product fits.
            skin.pixels.assign(image, image + std::int64_t{skin.width} * skin.height);
        } else if (skin.layout == ImageLayout::kExternal) {
            skin.externalFile = textBeforeZero(image, static_cast<std::size_t>(skin.width));
            skin.name = skin.externalFile;
        }
    }

    bool readTexCoords(Mesh& mesh)
    {
        mesh.reached = MeshSection::kTexCoords;
        for (std::int32_t i = 0; i < mesh.counts.texCoordCount; ++i) {
            std::int16_t s = 0;
            std::int16_t t = 0;
            if (!reader_.readTexCoord(s, t)) return fail("texture coordinate " + std::to_string(i));
            mesh.texCoords.push_back({static_cast<float>(s), static_cast<float>(t)});
            bool onSeam = false;
            if (reader_.getTexCoordOnSeam(onSeam)) mesh.onSeam.push_back(onSeam ? 1 : 0);
        }
        return true;
    }

    bool readTriangles(Mesh& mesh)
    {
        mesh.reached = MeshSection::kTriangles;
        for (std::int32_t i = 0; i < mesh.counts.triangleCount; ++i) {
            Triangle t;
            if (!reader_.readTriangle(t.vertexIndex, t.texCoordIndex))
                return fail("triangle " + std::to_string(i));
            bool facesFront = true;
            if (reader_.getTriangleFacesFront(facesFront)) t.facesFront = facesFront;
            mesh.triangles.push_back(t);
        }
        return true;
    }

    bool readFrames(Mesh& mesh)
    {
        mesh.reached = MeshSection::kFrames;
        for (std::int32_t f = 0; f < mesh.counts.frameCount; ++f) {
            const std::string place = "frame " + std::to_string(f);
            char name[legacy::kFrameNameSize] = {};
            Frame frame;
            float scale[3] = {};
            float translate[3] = {};
            if (!reader_.readFrameHeader(name, frame.bboxMin.data(), frame.bboxMax.data(), scale,
                                         translate)) {
                std::int32_t type = 0;
                if (reader_.getFrameType(type)) {
                    return fail(place, "starts a group of frames (type " + std::to_string(type) +
                                           "), which is not read");
                }
                return fail(place);
            }
            frame.name = name;
            if (framesCarryScale_) {
                frame.scale = Vec3{scale[0], scale[1], scale[2]};
                frame.translate = Vec3{translate[0], translate[1], translate[2]};
            }
            Frame& stored = mesh.frames.emplace_back(std::move(frame));
            for (std::int32_t v = 0; v < mesh.counts.vertexCount; ++v) {
                PackedVertex vertex;
                if (!reader_.readVertex(vertex.position, vertex.normalIndex)) {
                    return fail(place + ": vertex " + std::to_string(v));
                }
                stored.packedVertices.push_back(vertex);
            }
        }
        return true;
    }

    LegacyModelReader& reader_;
    LoadResult& result_;
    // "IDP2": each frame header holds its own scale and translate.
    bool framesCarryScale_ = false;
};

} // namespace

void loadLegacy(LegacyModelReader& reader, LoadResult& result) { LegacyWalker(reader, result).run(); }

} // namespace kelvane::scene
