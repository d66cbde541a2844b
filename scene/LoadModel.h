// loadModel: reads a whole model file of any supported format into a Model.
//
// The file's first four bytes pick the format (openModelFile); one loader per
// format then walks the file with that format's reader, in file order, and
// fills the model. The reader, and with it the loaded file, is released
// before loadModel returns: the model is all that stays in memory.
//
// Safe on untrusted files: memory grows only with records actually read,
// never with counts a file claims, and nothing is read outside the file.
#pragma once

#include "scene/Model.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::scene {

// Where and why reading stopped (or, for a warning, stopped for one part).
struct LoadFailure {
    std::string place;       // such as "group 2: triangle 17"
    std::string reason;      // such as "cannot be read"
    std::int32_t offset = 0; // the reader's cursor when it stopped

    // "place: reason (reading stopped at offset N)", as the tools print it.
    [[nodiscard]] std::string describe() const;
};

enum class LoadMode : std::uint8_t {
    // Read every record and stop at the first that cannot be read, keeping
    // what came before (what a dump shows).
    kWhole,
    // Read what an export needs. A part it does not export (bones, bone
    // transforms, deformers, trailers) that cannot be read is stepped over
    // where the file allows and reported as a warning; reading goes on.
    // The second index set of MDL7 triangles is not kept (Mesh::secondSets
    // stays empty); everything else is as kWhole loads it.
    kForExport,
};

struct LoadResult {
    // Empty when the file was opened; otherwise one line naming the file and
    // what is wrong (openModelFile's message). The model is then empty.
    std::string openError;
    Model model;
    // Set when reading stopped before the end: the model holds what was read
    // before this point.
    std::optional<LoadFailure> failure;
    // kForExport: parts that could not be read and were left out.
    std::vector<LoadFailure> warnings;

    [[nodiscard]] bool complete() const { return openError.empty() && !failure; }
};

// Told of each mesh group as soon as it has been read whole, while the load
// goes on: a caller can start working on the meshes before the file is read
// to the end (the glTF export builds their geometry on another thread).
class LoadObserver {
  public:
    virtual ~LoadObserver() = default;
    // Called on the loading thread when group `group` of the model and its
    // mesh have been read (MDL7 files; a legacy model's one mesh is not
    // announced). The mesh is complete and the load does not touch it
    // again: it keeps its address for as long as the model does, however
    // the result is moved, and its content unless the observer changes it
    // (an export that needs only part of the mesh may release the rest).
    virtual void meshLoaded(std::size_t group, Mesh& mesh) = 0;
};

// Opens `path` and loads it whole. Never throws except for a failed
// allocation.
[[nodiscard]] LoadResult loadModel(const char* path, LoadMode mode = LoadMode::kWhole);

// The same into `result`, which must be empty, telling `observer` of each
// mesh as it is read. Here the caller owns the model from the start, so an
// observer that works on the meshes on another thread can be stopped
// before the model goes, even when the load throws.
void loadModel(const char* path, LoadMode mode, LoadObserver& observer, LoadResult& result);

} // namespace kelvane::scene
