// The large models the split benchmark and the reader benchmark run on.
//
// wide (about 150 MB): 1,000 mesh groups of 2,000 vertices, 3,000 triangles
// and 2,000 texture coordinates each; the first group also holds four
// 256 x 256 skins of three bytes per pixel with their mipmaps, which the
// triangles of every group use.
//
// framed (about 130 MB): 200 mesh groups of 2,000 vertices and 3,000
// triangles each, and ten frames of 2,000 frame vertices per group. The
// split steps over the frames, so most of this file is read and never
// written.
//
// Every value comes from a generator with a fixed seed, so the files are the
// same, byte for byte, on every run and every machine.
#pragma once

#include <cstdint>
#include <string>

namespace kelvane::bench {

// Each writes its model to `path` (created or emptied) and returns whether
// the whole file was written.
bool writeWideModel(const std::string& path);
bool writeFramedModel(const std::string& path);

// A private folder for a benchmark's files, under $TMPDIR (or /tmp), removed
// with everything in it when the object goes. Exits the program when the
// folder cannot be made: a benchmark without its files measures nothing.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The wide model, written once into a scratch folder of its own for a
// benchmark that reads it. Exits the program when it cannot be written.
struct WideModelFile {
    explicit WideModelFile(const std::string& folderPrefix);

    ScratchFolder folder;
    std::string path;
    std::int64_t size = 0;
};

} // namespace kelvane::bench
