// validationmodels FOLDER [COUNT]: writes COUNT (default 60) MDL7 models,
// v00.mdl, v01.mdl, ..., that between them hold everything a glTF export has
// to get right, for tools/validate-gltf.sh to convert and validate.
//
// Each model is a few mesh groups shaped as wavy sheets (so the triangles
// have area and the normals vary), and model i takes its variations from i
// and a fixed seed, so the files are the same on every run:
// - vertex records of 26 bytes (stored normals, some zero), 16 (an index
//   into the normal table), 14 (no normal) and 30 (surplus bytes);
// - triangle records of 26, 16, 12 (no skin index) and 30 bytes;
// - skins of every image kind, with mipmaps, material records and extra
//   blocks; external references to wood.png, rock.jpg, "Cloth Pattern.JPEG"
//   (the script provides these three files), metal.tga and a name without an
//   extension;
// - skin indices of -1 and past the group's skins, texture-coordinate
//   indices of 0xFFFF and past the group's coordinates;
// - frames whose frame vertices are sparse, some naming a vertex outside the
//   group or holding a NaN, and bone transforms;
// - NaN and infinite positions, NaN texture coordinates;
// - groups without triangles, groups whose triangles have no vertices, and
//   opaque groups of other types; bones, deformers and both trailers;
// - one model with a group of more than 65,535 output vertices (32-bit
//   indices).
#include "mdl/ImageSize.h"
#include "support/Mdl7Builder.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using kelvane::test::Mdl7Builder;
namespace header = kelvane::mdl7::header;

// The standard 64-bit Mersenne twister, whose output the standard fixes; the
// values are drawn from it with plain arithmetic rather than the library's
// distributions, which differ between implementations.
class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t next() { return engine_(); }
    int below(int bound) { return int(next() % std::uint64_t(bound)); }
    bool chance(int percent) { return below(100) < percent; }
    float unit() { return float(next() >> 40) * (1.0f / 16777216.0f); }

  private:
    std::mt19937_64 engine_;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

const char* const kExternalNames[] = {"wood.png", "rock.jpg", "Cloth Pattern.JPEG", "metal.tga",
                                      "noextension"};

void addSkin(Mdl7Builder& b, Random& random, int kind, int index)
{
    std::uint8_t type = static_cast<std::uint8_t>(kind);
    // Mipmaps only where they have a defined size: the raw block (6) and the
    // file name (7) are stepped over by their width alone.
    if (kind < 6 && random.chance(30)) type |= 0x08;
    if (random.chance(25)) type |= 0x10;
    if (random.chance(25)) type |= 0x20;
    const std::string name = "skin" + std::to_string(index) + "_k" + std::to_string(kind);
    if (kind == 7) {
        const std::string file = kExternalNames[random.below(5)];
        b.skin({.type = type, .width = std::int32_t(file.size() + 1), .height = 1, .name = name});
        b.raw(file).u8(0);
    } else {
        const int width = 4 << random.below(3);
        const int height = 4 << random.below(3);
        b.skin({.type = type, .width = width, .height = height, .name = name});
        std::int64_t bytes =
            kelvane::imageByteCount(width, height, kelvane::mdl7::skin::kBytesPerPixel[kind]);
        if ((type & 0x08) != 0) {
            for (int level = 1; level <= kelvane::kMipmapCount; ++level) {
                bytes +=
                    kelvane::mipmapByteCount(width, height, kelvane::mdl7::skin::kBytesPerPixel[kind], level);
            }
        }
        for (std::int64_t i = 0; i < bytes; ++i)
            b.u8(static_cast<std::uint8_t>(random.next() >> 56));
    }
    if ((type & 0x10) != 0) {
        b.material({0.8f, 0.8f, 0.8f, 1, 0.2f, 0.2f, 0.2f, 1, 0, 0, 0, 1, 0, 0, 0, 1, 16});
    }
    if ((type & 0x20) != 0) b.extra(11, "shader=base");
}

struct GroupPlan {
    int columns = 0;
    int rows = 0;
    int skinCount = 0;
    int texCoordCount = 0;
    int triangleCount = 0;
    int vertexCount = 0;
    int frameCount = 0;
    bool spreadTexCoords = false; // texture coordinates per triangle side: many (vertex, coordinate) pairs
};

void addMeshGroup(Mdl7Builder& b, Random& random, int modelIndex, int groupIndex, const GroupPlan& plan,
                  bool wantVertices)
{
    const int vertices = wantVertices ? plan.vertexCount : 0;
    b.group({.name = "g" + std::to_string(groupIndex) + "_m" + std::to_string(modelIndex),
             .skinCount = plan.skinCount,
             .texCoordCount = plan.texCoordCount,
             .triangleCount = plan.triangleCount,
             .vertexCount = vertices,
             .frameCount = wantVertices ? plan.frameCount : 0});
    for (int s = 0; s < plan.skinCount; ++s)
        addSkin(b, random, (modelIndex + groupIndex + s) % 8, s);

    for (int t = 0; t < plan.texCoordCount; ++t) {
        float s = 0, u = 0;
        if (plan.spreadTexCoords) {
            s = random.unit();
            u = random.unit();
        } else {
            s = float(t % plan.columns) / float(plan.columns - 1);
            u = float(t / plan.columns) / float(plan.rows - 1);
        }
        if (random.chance(1)) s = kNaN;
        b.texCoord(s, u);
    }

    // Two triangles per cell of the grid of vertices.
    int written = 0;
    for (int row = 0; row + 1 < plan.rows && written < plan.triangleCount; ++row) {
        for (int column = 0; column + 1 < plan.columns && written < plan.triangleCount; ++column) {
            const int v00 = row * plan.columns + column;
            const int corners[2][3] = {{v00, v00 + 1, v00 + plan.columns},
                                       {v00 + 1, v00 + plan.columns + 1, v00 + plan.columns}};
            for (const auto& corner : corners) {
                if (written == plan.triangleCount) break;
                Mdl7Builder::Triangle triangle;
                for (int k = 0; k < 3; ++k) {
                    triangle.vertex[k] = static_cast<std::uint16_t>(corner[k]);
                    int texCoord = corner[k] % plan.texCoordCount;
                    if (plan.spreadTexCoords)
                        texCoord = (corner[k] + 20000 * (written % 3)) % plan.texCoordCount;
                    if (random.chance(2)) texCoord = 0xFFFF;
                    if (random.chance(2)) texCoord = plan.texCoordCount + 3;
                    triangle.texCoord[k] = static_cast<std::uint16_t>(texCoord);
                }
                // Mostly the group's skins; sometimes none (-1) or one past them.
                const int pick = random.below(100);
                triangle.skinIndex = pick < 6             ? -1
                                     : pick < 10          ? plan.skinCount + 1
                                     : plan.skinCount > 0 ? random.below(plan.skinCount)
                                                          : 0;
                b.triangle(triangle);
                ++written;
            }
        }
    }

    for (int v = 0; v < vertices; ++v) {
        const float x = float(v % plan.columns) - float(plan.columns) / 2;
        const float y = float(v / plan.columns) - float(plan.rows) / 2;
        Mdl7Builder::Vertex vertex{.x = x, .y = y, .z = std::sin(x * 0.7f) * std::cos(y * 0.5f)};
        vertex.index = static_cast<std::uint16_t>(random.chance(50) ? 0xFFFF : 0);
        const float length = std::sqrt(1 + vertex.z * vertex.z);
        vertex.nx = -vertex.z / length;
        vertex.ny = 0;
        vertex.nz = 1 / length;
        if (random.chance(3)) vertex.nx = vertex.ny = vertex.nz = 0;
        vertex.normalIndex = static_cast<std::uint16_t>(random.below(170)); // some past the table
        if (random.chance(1)) vertex.z = random.chance(50) ? kNaN : kInfinity;
        b.vertex(vertex);
    }

    if (!wantVertices) return;
    for (int f = 0; f < plan.frameCount; ++f) {
        // A sparse frame: every third vertex or so moves up and back.
        std::vector<Mdl7Builder::Vertex> moved;
        for (int v = f % 3; v < vertices; v += 3) {
            const float x = float(v % plan.columns) - float(plan.columns) / 2;
            const float y = float(v / plan.columns) - float(plan.rows) / 2;
            Mdl7Builder::Vertex fv{
                .x = x, .y = y, .z = 0.5f * float(f + 1), .index = static_cast<std::uint16_t>(v)};
            fv.normalIndex = static_cast<std::uint16_t>(random.below(162));
            if (random.chance(2)) fv.index = static_cast<std::uint16_t>(vertices + 7); // outside the group
            if (random.chance(2)) fv.y = kNaN;
            moved.push_back(fv);
        }
        const int boneTransforms = random.chance(30) ? 1 : 0;
        b.frame({.name = "frame" + std::to_string(f),
                 .frameVertexCount = std::int32_t(moved.size()),
                 .boneTransformCount = boneTransforms});
        for (const auto& fv : moved)
            b.frameVertex(fv);
        for (int t = 0; t < boneTransforms; ++t)
            b.boneTransform(0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }
}

std::vector<std::uint8_t> makeModel(int index)
{
    Random random(0x6C7F0000u + std::uint64_t(index));
    Mdl7Builder b;
    constexpr std::uint16_t kVertexSizes[] = {26, 16, 14, 30};
    constexpr std::uint16_t kTriangleSizes[] = {26, 16, 12, 30};
    b.setRecordSize(header::kVertexRecordSize, kVertexSizes[index % 4]);
    b.setRecordSize(header::kFrameVertexRecordSize, kVertexSizes[(index / 4) % 4]);
    b.setRecordSize(header::kTriangleRecordSize, kTriangleSizes[(index / 2) % 4]);

    const int bones = index % 3;
    for (int i = 0; i < bones; ++i)
        b.bone(i == 0 ? 0xFFFF : 0, 0, 0, float(i), "bone" + std::to_string(i));

    const bool large = index == 7;
    const int groups = large ? 1 : 1 + index % 4;
    int deformers = 0;
    for (int g = 0; g < groups; ++g) {
        if (!large && g > 0 && (index + g) % 5 == 0) {
            // An opaque group of another type.
            b.group({.type = static_cast<std::uint8_t>(2 + g % 2), .name = "opaque" + std::to_string(g)})
                .fill(12, 0xAB);
            continue;
        }
        GroupPlan plan;
        plan.columns = large ? 200 : 3 + random.below(10);
        plan.rows = large ? 200 : 3 + random.below(10);
        plan.vertexCount = plan.columns * plan.rows;
        plan.texCoordCount = large ? 60000 : plan.vertexCount;
        plan.spreadTexCoords = large;
        plan.skinCount = large ? 1 : random.below(4);
        plan.triangleCount = 2 * (plan.columns - 1) * (plan.rows - 1);
        plan.frameCount = large ? 1 : random.below(4);
        const int shape = (index + g) % 9;
        if (!large && shape == 3) plan.triangleCount = 0; // a group without triangles
        const bool wantVertices = large || shape != 6;    // shape 6: triangles, no vertices
        if (g == 0 && index % 6 == 5) deformers = 1;
        addMeshGroup(b, random, index, g, plan, wantVertices);
    }
    for (int d = 0; d < deformers; ++d) {
        b.deformer({.deformerType = 1, .groupIndex = 0, .elementCount = 1, .deformerDataSize = 16 + 28 + 8});
        b.deformerElement(0, "bone0", 1).deformerWeight(0, 1.0f);
    }
    // Trailer triangles need the skin index, so records of 16 bytes or more.
    if (index % 7 == 2 && b.recordSize(header::kTriangleRecordSize) >= 16) {
        b.beginTrailer().trailerHeader(1, 12 + 8 + 8 + b.recordSize(header::kTriangleRecordSize), 1);
        b.trailerEntry(1, 1).trailerSubEntry(2, 1).trailerTriangle({.vertex = {0, 1, 2}});
        b.beginSecondTrailer().secondTrailerHeader(9, 12).fill(4, 0);
    }
    return b.bytes();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: validationmodels FOLDER [COUNT]\n");
        return 1;
    }
    const int count = argc == 3 ? std::atoi(argv[2]) : 60;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/v%02d.mdl", i);
        const std::string path = std::string(argv[1]) + name;
        const std::vector<std::uint8_t> bytes = makeModel(i);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "validationmodels: %s: cannot be written\n", path.c_str());
            return 2;
        }
    }
    return 0;
}
