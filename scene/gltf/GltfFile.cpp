#include "scene/gltf/GltfFile.h"

#include "mdl/PlatformFile.h"
#include "scene/gltf/EndsWithNoCase.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace kelvane::scene::gltf {

namespace {

namespace fs = std::filesystem;

// A file being written, removed again unless it was kept.
class TemporaryFile final : public ByteSink {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() override { discard(); }

    // Creates an unused name beside `finalPath` and opens it.
    bool open(const std::string& finalPath, std::string& failure)
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string candidate = finalPath + ".tmp" + std::to_string(random() % 1000000000u);
            std::error_code error;
            if (fs::exists(platform::filesystemPath(candidate.c_str()), error) || error) continue;
            descriptor_ = platform::openWrite(candidate.c_str());
            if (descriptor_ < 0) {
                failure = "cannot create a file beside it: " + std::string(std::strerror(errno));
                return false;
            }
            path_ = candidate;
            return true;
        }
        failure = "cannot find an unused temporary name beside it";
        return false;
    }

    bool write(const void* data, std::size_t size) override
    {
        if (size == 0) return true;
        const std::int64_t written = platform::writeAll(descriptor_, data, std::int64_t(size));
        if (written == std::int64_t(size)) return true;
        writeError_ = written < 0 ? errno : ENOSPC;
        return false;
    }

    // Closes the file; false (with the reason) when it could not be completed.
    bool close(std::string& failure)
    {
        const bool closed = platform::close(descriptor_) == 0;
        descriptor_ = -1;
        if (writeError_ != 0 || !closed) {
            failure =
                "cannot be written: " + std::string(std::strerror(writeError_ != 0 ? writeError_ : errno));
            return false;
        }
        return true;
    }

    bool moveTo(const std::string& finalPath, std::string& failure)
    {
        std::error_code error;
        fs::rename(platform::filesystemPath(path_.c_str()), platform::filesystemPath(finalPath.c_str()),
                   error);
        if (error) {
            failure = "cannot be given its name: " + error.message();
            return false;
        }
        path_.clear();
        return true;
    }

    void discard()
    {
        if (descriptor_ >= 0) (void)platform::close(descriptor_);
        descriptor_ = -1;
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(platform::filesystemPath(path_.c_str()), ignored);
            path_.clear();
        }
    }

  private:
    std::string path_;
    int descriptor_ = -1;
    int writeError_ = 0;
};

// The last component of a path, as the bytes it was given in.
std::string fileName(const std::string& path)
{
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\:");
#else
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fail(ExportReport& report, const std::string& path, const std::string& what)
{
    report.failure = path + ": " + what;
    return false;
}

bool writeGlbFile(const Model& model, const ExportOptions& options, const std::string& outputPath,
                  ExportReport& report, MeshGeometries* geometries)
{
    TemporaryFile file;
    std::string failure;
    if (!file.open(outputPath, failure)) return fail(report, outputPath, failure);
    if (!exportGlb(model, options, file, report, geometries)) {
        // A refused write is told by the file's own reason (a full disk).
        if (!file.close(failure)) return fail(report, outputPath, failure);
        return fail(report, outputPath, report.failure);
    }
    if (!file.close(failure) || !file.moveTo(outputPath, failure)) return fail(report, outputPath, failure);
    return true;
}

bool writeGltfFiles(const Model& model, const ExportOptions& options, const std::string& outputPath,
                    ExportReport& report, MeshGeometries* geometries)
{
    const std::string binaryPath = binaryPathFor(outputPath);
    TemporaryFile json;
    TemporaryFile binary;
    std::string failure;
    if (!json.open(outputPath, failure)) return fail(report, outputPath, failure);
    if (!binary.open(binaryPath, failure)) return fail(report, binaryPath, failure);
    if (!exportGltf(model, options, json, binary, fileName(binaryPath), report, geometries)) {
        if (!json.close(failure)) return fail(report, outputPath, failure);
        if (!binary.close(failure)) return fail(report, binaryPath, failure);
        return fail(report, outputPath, report.failure);
    }
    if (!binary.close(failure)) return fail(report, binaryPath, failure);
    if (!json.close(failure)) return fail(report, outputPath, failure);
    // An asset without binary data names no buffer: no .bin then.
    if (report.binaryBytes == 0) {
        binary.discard();
    } else if (!binary.moveTo(binaryPath, failure)) {
        return fail(report, binaryPath, failure);
    }
    if (!json.moveTo(outputPath, failure)) return fail(report, outputPath, failure);
    return true;
}

} // namespace

std::optional<OutputKind> outputKindOf(std::string_view path)
{
    if (endsWithNoCase(path, ".glb")) return OutputKind::kGlb;
    if (endsWithNoCase(path, ".gltf")) return OutputKind::kGltf;
    return std::nullopt;
}

std::string binaryPathFor(const std::string& gltfPath)
{
    const std::size_t extension = gltfPath.size() - std::string_view(".gltf").size();
    return gltfPath.substr(0, extension) + ".bin";
}

bool checkOutputIsNotInput(const std::string& inputPath, const std::string& outputPath, std::string& failure)
{
    if (platform::sameFile(inputPath.c_str(), outputPath.c_str())) {
        failure = outputPath + ": is the input file; the export would overwrite it";
        return false;
    }
    if (outputKindOf(outputPath) == OutputKind::kGltf &&
        platform::sameFile(inputPath.c_str(), binaryPathFor(outputPath).c_str())) {
        failure = binaryPathFor(outputPath) + ": is the input file; the export would overwrite it";
        return false;
    }
    return true;
}

bool writeGltfFile(const Model& model, const ExportOptions& options, const std::string& inputPath,
                   const std::string& outputPath, ExportReport& report, MeshGeometries* geometries)
{
    report = ExportReport{};
    const std::optional<OutputKind> kind = outputKindOf(outputPath);
    if (!kind) return fail(report, outputPath, "the name ends in neither .glb nor .gltf");
    if (!checkOutputIsNotInput(inputPath, outputPath, report.failure)) return false;
    return *kind == OutputKind::kGlb ? writeGlbFile(model, options, outputPath, report, geometries)
                                     : writeGltfFiles(model, options, outputPath, report, geometries);
}

} // namespace kelvane::scene::gltf
