#include "scene/gltf/MeshGeometries.h"

namespace kelvane::scene::gltf {

MeshGeometries::MeshGeometries(Triangles triangles) : triangles_(triangles)
{
    if (std::thread::hardware_concurrency() >= 2) helper_ = std::thread([this] { buildQueued(true); });
}

MeshGeometries::~MeshGeometries()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
}

void MeshGeometries::meshLoaded(std::size_t group, Mesh& mesh)
{
    {
        const std::lock_guard lock(mutex_);
        queue(group, mesh, triangles_ == Triangles::kRelease ? &mesh : nullptr);
    }
    changed_.notify_one();
}

void MeshGeometries::complete(const std::vector<Group>& groups)
{
    {
        const std::lock_guard lock(mutex_);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (groups[g].type != kMeshGroupType || !groups[g].mesh) continue;
            const Mesh& mesh = *groups[g].mesh;
            if (g >= byGroup_.size() || byGroup_[g].mesh != &mesh) queue(g, mesh, nullptr);
        }
    }
    changed_.notify_all();
    buildQueued(false);
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
    if (failure_) std::rethrow_exception(failure_);
}

void MeshGeometries::queue(std::size_t group, const Mesh& mesh, Mesh* releasing)
{
    if (byGroup_.size() <= group) byGroup_.resize(group + 1);
    MeshGeometry& geometry = storage_.emplace_back();
    byGroup_[group] = {&geometry, &mesh, releasing};
    jobs_.push_back({&geometry, &mesh, releasing});
}

void MeshGeometries::buildQueued(bool untilClosed)
{
    MeshGeometry::Workspace workspace;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (untilClosed) changed_.wait(lock, [&] { return !jobs_.empty() || closed_; });
        if (jobs_.empty() || failure_) return;
        const Job job = jobs_.front();
        jobs_.pop_front();
        lock.unlock();
        // The geometry, and the mesh it releases, are this thread's alone
        // until it is built.
        try {
            job.geometry->build(*job.mesh, workspace);
            if (job.releasing != nullptr) std::vector<Triangle>().swap(job.releasing->triangles);
        } catch (...) {
            // A failed allocation: raised again by complete() on its thread.
            lock.lock();
            if (!failure_) failure_ = std::current_exception();
            return;
        }
        lock.lock();
    }
}

} // namespace kelvane::scene::gltf
