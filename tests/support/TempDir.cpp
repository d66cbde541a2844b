#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace kelvane::test {

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
