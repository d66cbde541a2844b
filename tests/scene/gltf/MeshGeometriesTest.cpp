// Builds geometry while models load, or for meshes handed over in other
// ways, and compares the export with one that builds its own.
#include "scene/gltf/MeshGeometries.h"

#include "scene/gltf/GltfExport.h"
#include "support/Mdl7Builder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace kelvane::scene::gltf {
namespace {

// A mesh of `n` vertices on a line and n triangles between them, each corner
// with a texture coordinate of its own half of the time.
Mesh strip(int n, float z)
{
    Mesh mesh;
    for (int i = 0; i < n; ++i) {
        Vertex v;
        v.position = {float(i), float(i % 7), z};
        mesh.vertices.push_back(v);
        mesh.texCoords.push_back({float(i) / float(n), z});
    }
    for (int i = 0; i < n; ++i) {
        Triangle t;
        t.vertexIndex = {i, (i + 1) % n, (i + 2) % n};
        t.texCoordIndex = {i, i % 2 == 0 ? (i + 1) % n : i, (i + 5) % n};
        mesh.triangles.push_back(t);
    }
    return mesh;
}

std::string exportBytes(const Model& model, MeshGeometries* geometries)
{
    StringSink out;
    ExportReport report;
    EXPECT_TRUE(exportGlb(model, {}, out, report, geometries)) << report.failure;
    return out.bytes;
}

TEST(MeshGeometriesTest, GeometryBuiltWhileTheFileLoadsExportsTheSameBytes)
{
    test::Mdl7Builder b;
    for (int g = 0; g < 40; ++g) {
        if (g == 7) {
            b.group({.type = 2}).fill(12);
            continue;
        }
        const int n = 30 + 11 * g;
        b.group({.texCoordCount = n, .triangleCount = n, .vertexCount = n, .frameCount = 1});
        for (int i = 0; i < n; ++i) {
            b.texCoord(float(i), float(g));
        }
        for (int i = 0; i < n; ++i) {
            b.triangle({.vertex = {std::uint16_t(i), std::uint16_t((i + 1) % n), std::uint16_t((i + 3) % n)},
                        .texCoord = {std::uint16_t((i * 3) % n), std::uint16_t(i), 0}});
        }
        for (int i = 0; i < n; ++i) {
            b.vertex({.x = float(i), .y = float(g)});
        }
        b.frame({.frameVertexCount = 1}).frameVertex({.x = 1, .index = std::uint16_t(g % n)});
    }
    test::TempDir dir;
    const std::string path = b.writeTo(dir.path("meshes.mdl"));

    const LoadResult plain = loadModel(path.c_str(), LoadMode::kForExport);
    ASSERT_TRUE(plain.complete());
    const std::string expected = exportBytes(plain.model, nullptr);
    for (const auto triangles : {MeshGeometries::Triangles::kKeep, MeshGeometries::Triangles::kRelease}) {
        const bool released = triangles == MeshGeometries::Triangles::kRelease;
        SCOPED_TRACE(released ? "triangles released" : "triangles kept");
        LoadResult loaded;
        MeshGeometries geometries(triangles);
        loadModel(path.c_str(), LoadMode::kForExport, geometries, loaded);
        ASSERT_TRUE(loaded.complete());
        EXPECT_TRUE(exportBytes(loaded.model, &geometries) == expected);
        // Released meshes lost their triangles and nothing else.
        for (std::size_t g = 0; g < 40; ++g) {
            const std::optional<Mesh>& mesh = (*loaded.model.groups)[g].mesh;
            if (!mesh) continue;
            EXPECT_EQ(mesh->triangles.empty(), released) << "group " << g;
            EXPECT_EQ(mesh->vertices.size(), (*plain.model.groups)[g].mesh->vertices.size());
        }
    }
}

TEST(MeshGeometriesTest, BuildsTheMeshesThatWereNotHandedOver)
{
    Model model;
    model.format = "MDL7";
    model.groups.emplace(3);
    for (std::size_t g = 0; g < 3; ++g) {
        (*model.groups)[g].mesh = strip(50 + int(g) * 20, float(g));
    }
    // Group 1 was handed over as another mesh; groups 0 and 2 not at all.
    Mesh other = strip(9, 5);
    MeshGeometries geometries;
    geometries.meshLoaded(1, other);
    EXPECT_TRUE(exportBytes(model, &geometries) == exportBytes(model, nullptr));
    // A second export builds nothing more and gives the same.
    EXPECT_TRUE(exportBytes(model, &geometries) == exportBytes(model, nullptr));
}

} // namespace
} // namespace kelvane::scene::gltf
