// exportGlb / exportGltf: write a Model as a glTF 2.0 asset.
//
//     StringSink out;
//     ExportReport report;
//     if (!exportGlb(model, {}, out, report)) std::cerr << report.failure << '\n';
//
// What the asset holds. A root node turns the models' Z-up coordinates into
// glTF's Y-up (a rotation of -90 degrees about X); accessor data keep the
// stored values. Each mesh group with at least one drawable triangle becomes
// one mesh and one node named after the group; the other groups are listed
// in the root node's extras. Output vertices are the distinct (vertex,
// texture coordinate) pairs the triangles use, in first-use order; each skin
// a mesh's triangles use gives one primitive and one material, and triangles
// whose skin index is outside the group's skins share a default material.
// Frames become morph targets and one animation "frames" that shows frame k
// at k / 10 s. Bones, bone transforms, deformers and trailers are not
// exported.
//
// Safe for any model, however corrupt: indices are checked, triangles that
// use a missing or non-finite vertex are left out, non-finite texture
// coordinates become 0 and unusable normals (0, 0, 1). What was left out is
// counted in the report's warnings.
//
// Memory and output. The export plans the whole asset first (vertex counts,
// accessor sizes, bounds), so the output size is known before a byte is
// written: an asset larger than options.maxOutputBytes, or a .glb whose
// size does not fit its 32-bit length fields, fails without writing
// anything. Then the JSON is written and the binary data streamed mesh by
// mesh. The model is not copied; the un-welded geometry of every mesh (a
// few bytes per triangle corner, see MeshGeometry) is held from the plan to
// the write.
//
// Threads. The meshes are un-welded on the caller's thread and one helper
// (MeshGeometries), and the binary data goes to the sink from a writer
// thread (BackgroundWriter) while the next is computed: a sink receives the
// JSON (and the .glb header) on the caller's thread and the binary data on
// the writer's, one thread at a time. The bytes written never depend on how
// the threads run.
#pragma once

#include "scene/Model.h"
#include "scene/gltf/ByteSink.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::scene::gltf {

struct ExportOptions {
    // 256 RGB triples. When set, 8-bit palette-index skins become embedded
    // PNG images; without it they get no texture.
    std::optional<std::array<std::uint8_t, 768>> palette;
    // false: the base pose alone, without morph targets and animation.
    bool animation = true;
    // The largest output accepted, JSON and binary data together.
    std::uint64_t maxOutputBytes = std::numeric_limits<std::uint64_t>::max();
    // asset.generator.
    std::string generator = "Kelvane mdlconvert";
};

struct ExportReport {
    // One line each, naming the place: "group 3: 2 triangles left out, ...".
    std::vector<std::string> warnings;
    // Why the export stopped; empty after a success.
    std::string failure;
    // Bytes written: the .glb, or the .gltf's JSON and its binary data.
    std::uint64_t jsonBytes = 0;
    std::uint64_t binaryBytes = 0;
};

class MeshGeometries;

// Writes one binary glTF file to `out`. Returns false, with report.failure
// set, when the asset is too large (nothing is written then) or the sink
// refuses bytes (the sink then holds a partial file).
//
// `geometries`, when given, holds (or is building) the geometry of the
// model's meshes: the export completes it and uses it (see
// MeshGeometries.h). Otherwise the export builds its own.
[[nodiscard]] bool exportGlb(const Model& model, const ExportOptions& options, ByteSink& out,
                             ExportReport& report, MeshGeometries* geometries = nullptr);

// Writes the JSON document to `json` and the binary data it refers to by
// `binUri` (a relative URI reference, such as the .bin file's name; it is
// percent-encoded here) to `bin`. When the asset has no binary data, nothing
// goes to `bin`, the JSON names no buffer and report.binaryBytes is 0.
// Failures and `geometries` as exportGlb.
[[nodiscard]] bool exportGltf(const Model& model, const ExportOptions& options, ByteSink& json, ByteSink& bin,
                              std::string_view binUri, ExportReport& report,
                              MeshGeometries* geometries = nullptr);

} // namespace kelvane::scene::gltf
