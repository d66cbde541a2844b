// writeGltfFile: exports a model to a .glb file, or a .gltf file with its
// .bin beside it, so that a failed export leaves nothing behind.
//
// Each file is written under a temporary name in its own folder and renamed
// to its real name only once it is complete, so a failure at any point (a
// model too large, a full disk) leaves no new file and an existing one
// untouched. An output that is the input (compared by file identity, so a
// second name or a link to the input counts too), or a .bin beside a .gltf
// that is the input, is refused before anything is written.
#pragma once

#include "scene/Model.h"
#include "scene/gltf/GltfExport.h"

#include <optional>
#include <string>
#include <string_view>

namespace kelvane::scene::gltf {

enum class OutputKind : std::uint8_t { kGlb, kGltf };

// The kind an output name asks for by its extension (".glb" or ".gltf", in
// any case), or std::nullopt.
[[nodiscard]] std::optional<OutputKind> outputKindOf(std::string_view path);

// The .bin file beside a .gltf: the same name with ".bin" for its extension.
[[nodiscard]] std::string binaryPathFor(const std::string& gltfPath);

// Fails, with `failure` naming the output, when writing `outputPath` would
// replace `inputPath` (or, for a .gltf, its .bin would).
[[nodiscard]] bool checkOutputIsNotInput(const std::string& inputPath, const std::string& outputPath,
                                         std::string& failure);

// Exports `model` to `outputPath` (its kind from its extension), with
// `geometries` as exportGlb takes them. Returns false with report.failure
// starting with the file it concerns.
[[nodiscard]] bool writeGltfFile(const Model& model, const ExportOptions& options,
                                 const std::string& inputPath, const std::string& outputPath,
                                 ExportReport& report, MeshGeometries* geometries = nullptr);

} // namespace kelvane::scene::gltf
