// The sample model shipped in examples/ is what tools/samplemodel writes,
// and it reads to its end.
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kelvane {
namespace {

#ifndef KELVANE_EXE_SUFFIX
#define KELVANE_EXE_SUFFIX ""
#endif

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SampleModelTest, ShippedSampleIsWhatTheGeneratorWrites)
{
    test::TempDir dir;
    const std::string written = dir.path("sample.mdl");
    const auto run = test::runProcess(
        {std::string(KELVANE_BINARY_DIR) + "/tools/samplemodel" KELVANE_EXE_SUFFIX, written});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string shipped = readBytes(std::string(KELVANE_SOURCE_DIR) + "/examples/sample.mdl");
    ASSERT_FALSE(shipped.empty());
    // A change to the generator or the writer must come with a new sample.
    EXPECT_TRUE(readBytes(written) == shipped)
        << "examples/sample.mdl is out of date: regenerate it with samplemodel";

    const auto info =
        test::runProcess({std::string(KELVANE_BINARY_DIR) + "/tools/mdlinfo" KELVANE_EXE_SUFFIX, written});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("format: MDL7"), std::string::npos);
}

TEST(SampleModelTest, HelpPrintsTheUsageAndWritesNothing)
{
    test::TempDir dir;
    const std::string samplemodel = std::string(KELVANE_BINARY_DIR) + "/tools/samplemodel" KELVANE_EXE_SUFFIX;
    const auto help = test::runProcess({samplemodel, "--help"}, {.workingDir = dir.root()});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: samplemodel", 0), 0u) << help.out;
    const auto bogus = test::runProcess({samplemodel, "--bogus"}, {.workingDir = dir.root()});
    EXPECT_EQ(bogus.exitCode, 1);
    EXPECT_EQ(bogus.err, help.out);
    EXPECT_TRUE(std::filesystem::is_empty(dir.root())) << "no model file named after an option";
}

} // namespace
} // namespace kelvane
