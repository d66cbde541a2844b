// loadModel: the open failures, and the file let go of once the model is made.
#include "scene/LoadModel.h"

#include "support/Mdl7Builder.h"
#include "support/Mdl7Samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kelvane::scene {
namespace {

TEST(LoadModelTest, FilesThatCannotBeOpenedLeaveTheModelEmpty)
{
    test::TempDir dir;
    const std::string missing = dir.path("missing.mdl");
    LoadResult loaded = loadModel(missing.c_str());
    EXPECT_FALSE(loaded.complete());
    EXPECT_EQ(loaded.openError.rfind(missing + ": cannot open", 0), 0u) << loaded.openError;
    EXPECT_TRUE(loaded.model.format.empty());
    EXPECT_FALSE(loaded.model.groups);

    test::Mdl7Builder unknown;
    unknown.setMagic("ABCD");
    loaded = loadModel(unknown.writeTo(dir.path("unknown.mdl")).c_str());
    EXPECT_NE(loaded.openError.find("unknown format tag \"ABCD\""), std::string::npos) << loaded.openError;
    EXPECT_FALSE(loaded.failure);
}

TEST(LoadModelTest, LetsGoOfTheFileBeforeItReturns)
{
    test::TempDir dir;
    const std::string path = test::everyRecordKind().writeTo(dir.path("sample.mdl"));
    const LoadResult loaded = loadModel(path.c_str());
    ASSERT_TRUE(loaded.complete());
#ifdef __linux__
    // Neither a mapping of the file nor a descriptor on it is left.
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        EXPECT_EQ(line.find(path), std::string::npos) << line;
    }
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        EXPECT_NE(std::filesystem::read_symlink(fd.path(), error).string(), path);
    }
#endif
    // The model owns its values: the file can go (on Windows, only once it
    // is closed and unmapped).
    EXPECT_TRUE(std::filesystem::remove(path));
    EXPECT_EQ(loaded.model.groups->at(0).mesh->skins.at(1).externalFile, "tex.tga");
}

} // namespace
} // namespace kelvane::scene
