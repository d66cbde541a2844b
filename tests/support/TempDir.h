// TempDir: a private temporary folder for one test, removed with everything
// in it when the object goes out of scope.
//
//     TempDir dir;
//     const std::string path = dir.path("ship.mdl");  // <folder>/ship.mdl
//
// The folder is created under $TMPDIR (or /tmp; on Windows the system's
// temporary folder) with a unique name, so tests running in parallel never
// share files. Creation failure is reported as a
// test failure (ok() is then false and path() names a file that cannot be
// created).
#pragma once

#include <string>

namespace kelvane::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] bool ok() const { return !root_.empty(); }
    // The folder itself, without a trailing separator.
    [[nodiscard]] const std::string& root() const { return root_; }
    // A path inside the folder; `name` may contain sub-folders, which are
    // not created.
    [[nodiscard]] std::string path(const std::string& name) const;

  private:
    std::string root_;
};

} // namespace kelvane::test
