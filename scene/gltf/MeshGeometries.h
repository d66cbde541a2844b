// MeshGeometries: the geometry of every mesh of a model, built on two
// threads, starting while the model is still being loaded.
//
//     LoadResult loaded;
//     MeshGeometries geometries; // after the model: it must go first
//     loadModel(path, LoadMode::kForExport, geometries, loaded);
//     ... exportGlb(loaded.model, options, out, report, &geometries) ...
//
// Un-welding the meshes (MeshGeometry) is most of an export's work. As an
// observer of the load, MeshGeometries has a helper thread build each mesh
// as soon as the loader has read it, while the loader reads the next; once
// the load is done, complete() builds what is left on both threads. A
// geometry depends on its mesh alone, so which thread built which changes
// nothing.
//
// Once a mesh is un-welded the export needs its triangles no more. A caller
// that loads a model only to export it once (mdlconvert) can have them
// released as each mesh is built: the loader then reuses their memory for
// the meshes that follow, instead of asking the system for fresh memory.
#pragma once

#include "scene/LoadModel.h"
#include "scene/gltf/MeshGeometry.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kelvane::scene::gltf {

class MeshGeometries final : public LoadObserver {
  public:
    enum class Triangles : std::uint8_t {
        kKeep,
        // Each mesh handed over by meshLoaded loses its triangles (an empty
        // vector) once its geometry is built; its other parts stay. The
        // model can then be exported only with these geometries.
        kRelease,
    };

    // Starts the helper thread (none where the system has one processor).
    explicit MeshGeometries(Triangles triangles = Triangles::kKeep);
    MeshGeometries(const MeshGeometries&) = delete;
    MeshGeometries& operator=(const MeshGeometries&) = delete;
    // Stops the helper thread, after the geometry it is building. Meshes
    // handed over must still be there: destroy this object before them.
    ~MeshGeometries() override;

    // Queues the mesh for the helper thread.
    void meshLoaded(std::size_t group, Mesh& mesh) override;

    // Builds the geometry of every mesh group of `groups` that was not
    // handed over (or was handed over as another mesh), on this thread and
    // the helper, waits for every geometry and ends the helper thread.
    // Raises a failed allocation of either thread here. A later call builds
    // what is missing on this thread alone.
    void complete(const std::vector<Group>& groups);

    // After complete: the geometry of mesh group `group`.
    [[nodiscard]] const MeshGeometry& operator[](std::size_t group) const
    {
        return *byGroup_[group].geometry;
    }

  private:
    struct Job {
        MeshGeometry* geometry = nullptr;
        const Mesh* mesh = nullptr;
        // The same mesh when its triangles go once it is built.
        Mesh* releasing = nullptr;
    };

    // Adds a geometry for `mesh` and queues it; the caller holds mutex_.
    void queue(std::size_t group, const Mesh& mesh, Mesh* releasing);
    // Builds queued meshes until the queue is empty or, with `untilClosed`
    // (the helper), until it is closed as well.
    void buildQueued(bool untilClosed);

    const Triangles triangles_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_ while the helper thread runs. Geometries live in
    // storage_, which never moves them, so one can be built while others
    // are added.
    std::deque<MeshGeometry> storage_;
    std::vector<Job> byGroup_;
    std::deque<Job> jobs_;
    bool closed_ = false;
    std::exception_ptr failure_;
    std::thread helper_;
};

} // namespace kelvane::scene::gltf
