#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <random>
#else
#include <unistd.h>
#endif

namespace kelvane::test {

#ifdef _WIN32
// The Windows runtime has no mkdtemp: try random names in the system's
// temporary folder until one can be created (creation fails when it exists).
TempDir::TempDir()
{
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) {
        ADD_FAILURE() << "no temporary folder: " << error.message();
        return;
    }
    std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::_getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("kelvane-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, error)) {
            root_ = candidate.string();
            return;
        }
    }
    ADD_FAILURE() << "cannot create a temporary folder in " << base.string();
}
#else
TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && base[0] != '\0') ? base : "/tmp";
    pattern += "/kelvane-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
        return;
    }
    root_ = name.data();
}
#endif

TempDir::~TempDir()
{
    if (root_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::path(const std::string& name) const
{
    return (root_.empty() ? std::string("/nonexistent-kelvane-temp") : root_) + "/" + name;
}

} // namespace kelvane::test
