// Files as the tests look at them: read back whole, listed by name, named in
// UTF-8, and the built programs the suites run.
//
//     EXPECT_EQ(readFile(dir.path("out.glb")), "old");
//     EXPECT_EQ(filesIn(dir.root()), std::vector<std::string>{"out.glb"});
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kelvane::test {

// The whole file, byte for byte (empty when it cannot be read).
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names of everything in `folder`, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A path from a name in UTF-8, whatever the system's code page: on Windows
// a plain std::string would be read in that code page instead.
inline std::filesystem::path utf8Path(const std::string& name)
{
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

// The suites' build (tests/CMakeLists.txt) says where the programs are.
#ifdef KELVANE_BINARY_DIR
// A program of this build, e.g. builtProgram("tools/mdlinfo").
inline std::string builtProgram(const std::string& relativePath)
{
    return std::string(KELVANE_BINARY_DIR) + "/" + relativePath + KELVANE_EXE_SUFFIX;
}
#endif

} // namespace kelvane::test
