// The sample model shipped in examples/ is what tools/samplemodel writes,
// and it reads to its end.
#include "support/Files.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kelvane {
namespace {

using test::builtProgram;
using test::readFile;

TEST(SampleModelTest, ShippedSampleIsWhatTheGeneratorWrites)
{
    test::TempDir dir;
    const std::string written = dir.path("sample.mdl");
    const auto run = test::runProcess({builtProgram("tools/samplemodel"), written});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string shipped = readFile(std::string(KELVANE_SOURCE_DIR) + "/examples/sample.mdl");
    ASSERT_FALSE(shipped.empty());
    // A change to the generator or the writer must come with a new sample.
    EXPECT_TRUE(readFile(written) == shipped)
        << "examples/sample.mdl is out of date: regenerate it with samplemodel";

    const auto info = test::runProcess({builtProgram("tools/mdlinfo"), written});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("format: MDL7"), std::string::npos);
}

TEST(SampleModelTest, HelpPrintsTheUsageAndWritesNothing)
{
    test::TempDir dir;
    const std::string samplemodel = builtProgram("tools/samplemodel");
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
