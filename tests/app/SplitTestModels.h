// Models, file helpers and the Kelvane runner shared by the split tests.
#pragma once

#include "support/Files.h"
#include "support/Mdl7Builder.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kelvane::test {

// One mesh group: skins of kind 4 (1 x 1, image "rgb") with the given names,
// texture coordinates (0.25 k, 1 - 0.25 k), one triangle per entry of
// `triangleSkins` (vertices 0, 1, 2 as far as the group has them, texture
// coordinates 0, none, 0, that skin index), the vertices, and `frames` frames
// of one frame vertex each.
struct MeshDesc {
    std::string name;
    std::vector<std::string> skins{};
    std::int32_t texCoords = 0;
    std::vector<std::int32_t> triangleSkins{};
    std::vector<Mdl7Builder::Vertex> vertices{};
    std::int32_t frames = 0;
};

inline void addMesh(Mdl7Builder& b, const MeshDesc& m)
{
    const auto vertexCount = static_cast<std::int32_t>(m.vertices.size());
    b.group({.name = m.name,
             .skinCount = static_cast<std::int32_t>(m.skins.size()),
             .texCoordCount = m.texCoords,
             .triangleCount = static_cast<std::int32_t>(m.triangleSkins.size()),
             .vertexCount = vertexCount,
             .frameCount = m.frames});
    for (const std::string& skin : m.skins)
        b.skin({.type = 4, .width = 1, .height = 1, .name = skin}).raw("rgb");
    for (std::int32_t k = 0; k < m.texCoords; ++k)
        b.texCoord(0.25f * float(k), 1.0f - 0.25f * float(k));
    const auto last = static_cast<std::uint16_t>(std::max(vertexCount - 1, 0));
    for (const std::int32_t skin : m.triangleSkins) {
        b.triangle({.vertex = {0, std::min<std::uint16_t>(1, last), std::min<std::uint16_t>(2, last)},
                    .texCoord = {0, 0xFFFF, 0},
                    .skinIndex = skin});
    }
    for (const Mdl7Builder::Vertex& v : m.vertices)
        b.vertex(v);
    for (std::int32_t k = 0; k < m.frames; ++k) {
        b.frame({.name = "pose", .frameVertexCount = 1}).frameVertex({.x = 9, .y = 9, .z = 9});
    }
}

// A group of another type: its header and `size` opaque bytes.
inline void addOtherGroup(Mdl7Builder& b, std::uint8_t type, std::size_t size)
{
    b.group({.type = type, .name = "other"});
    b.fill(size, 0x5A);
}

// A text file as the runtime reads it back: on Windows the positions file's
// "\r\n" line ends read as "\n" (WindowsBehaviourTest checks the bytes).
inline std::string readText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

// The built Kelvane program, and a run of it in `dir` with `args`, started
// through `shellPrefix` (e.g. "ulimit -f 2") where one is given.
inline const std::string kKelvane = builtProgram("app/Kelvane");

inline ProcessResult kelvane(const TempDir& dir, std::vector<std::string> args,
                             const std::string& shellPrefix = {})
{
    args.insert(args.begin(), kKelvane);
    return runProcess(args, {.workingDir = dir.root(), .shellPrefix = shellPrefix});
}

} // namespace kelvane::test
