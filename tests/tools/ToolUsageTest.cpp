// The developer tools' usage handling: asked for with --help, the usage goes
// to stdout and the tool exits with 0; after a mistake it goes to stderr with
// exit code 1. Neither reads nor writes a file.
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelvane {
namespace {

#ifndef KELVANE_EXE_SUFFIX
#define KELVANE_EXE_SUFFIX ""
#endif

test::ProcessResult runTool(const std::string& tool, const test::TempDir& dir,
                            std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(),
                     std::string(KELVANE_BINARY_DIR) + "/tools/" + tool + KELVANE_EXE_SUFFIX);
    return test::runProcess(arguments, {.workingDir = dir.root()});
}

TEST(ToolUsageTest, HelpGoesToStdoutAndMistakesToStderr)
{
    for (const char* tool : {"mdlinfo", "samplemodel"}) {
        SCOPED_TRACE(tool);
        test::TempDir dir;
        const test::ProcessResult help = runTool(tool, dir, {"--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: ") + tool, 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");

        for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--bogus"}, {}}) {
            const test::ProcessResult mistake = runTool(tool, dir, wrong);
            EXPECT_EQ(mistake.exitCode, 1);
            EXPECT_EQ(mistake.out, "");
            EXPECT_EQ(mistake.err, help.out);
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.root())) << "no file is written";
    }
}

} // namespace
} // namespace kelvane
