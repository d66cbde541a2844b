#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kelvane {
namespace {

const char* const kUsage =
    "usage: Kelvane.exe fileName [options]\n"
    "\n"
    "options:\n"
    "\t--ext EXT\t\tsave skins as external textures with\n\t\t\t\t fileextension EXT (3 digits)\n"
    "\t--offsetmesh\t\tcreates an additional mesh with vertexes at\n\t\t\t\t the group positions\n"
    "\t--nm\t\t\tadds normalmaps as external textures\n\t\t\t\t with ('SKINNAME'_nm.'EXT')\n"
    "\t--all\t\t\tevery group model has the same skins\n"
    "\t--disableMat\t\tremoves all material definitions from the skins\n"
    "\t--wmp\t\t\tcreates a wmp consisting of the group models\n"
    "\t--help\t\t\tdisplays this\n";

// Runs the command line with a recording split.
struct CommandLineRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::optional<std::string> splitName; // set when the split ran
    Options options;
};

CommandLineRun run(std::vector<std::string> args, bool splitSucceeds = true)
{
    args.insert(args.begin(), "Kelvane");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    CommandLineRun r;
    std::ostringstream out, err;
    r.exitCode = runCommandLine(static_cast<int>(argv.size()), argv.data(), out, err,
                                [&](const char* name, const Options& options) {
                                    r.splitName = name;
                                    r.options = options;
                                    return splitSucceeds;
                                });
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(CommandLineTest, PrintsUsageTextByteForByte)
{
    std::ostringstream out;
    printUsage(out);
    EXPECT_EQ(out.str(), kUsage);
}

TEST(CommandLineTest, MissingFileNamePrintsMessageThenUsage)
{
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{""}}) {
        const CommandLineRun r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, std::string("mdl file name not specified!\n") + kUsage);
        EXPECT_FALSE(r.splitName);
    }
}

TEST(CommandLineTest, HelpAnywhereStopsBeforeTheSplit)
{
    for (const auto& args : {std::vector<std::string>{"--help"},
                             {"model.mdl", "--nm", "--help"},
                             {"model.mdl", "--ext", "tga", "--help", "--all"}}) {
        const CommandLineRun r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, kUsage);
        EXPECT_FALSE(r.splitName);
    }
}

TEST(CommandLineTest, FileNameAloneRunsSplitWithDefaults)
{
    const CommandLineRun r = run({"model.mdl"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_TRUE(r.splitName);
    EXPECT_EQ(*r.splitName, "model.mdl");
    const Options& o = r.options;
    EXPECT_EQ(o.offsetMesh + o.normalMaps + o.allSkins + o.disableMat + o.writeWmp + o.externalTextures, 0);
    EXPECT_STREQ(o.textureExt, "bmp");
}

TEST(CommandLineTest, OptionsSetTheirFlags)
{
    const CommandLineRun r =
        run({"model.mdl", "--ext", "tga", "--all", "--offsetmesh", "--nm", "--disableMat", "--wmp"});
    EXPECT_EQ(r.exitCode, 0);
    const Options& o = r.options;
    EXPECT_EQ(o.externalTextures, 1);
    EXPECT_EQ(o.allSkins, 1);
    EXPECT_EQ(o.offsetMesh, 1);
    EXPECT_EQ(o.normalMaps, 1);
    EXPECT_EQ(o.disableMat, 1);
    EXPECT_EQ(o.writeWmp, 1);
    EXPECT_STREQ(o.textureExt, "tga");
}

TEST(CommandLineTest, UnknownAndRepeatedArgumentsAreIgnored)
{
    const CommandLineRun r = run({"model.mdl", "--wmp", "--wmp", "extra", "--Nm", "--all=1", "--helpme",
                                  "--ext", "png", "--ext", "jpg"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Kelvane: \"extra\" is not an option and is ignored\n"
                     "Kelvane: \"--Nm\" is not an option and is ignored; did you mean \"--nm\"?\n"
                     "Kelvane: \"--all=1\" is not an option and is ignored\n"
                     "Kelvane: \"--helpme\" is not an option and is ignored\n");
    EXPECT_EQ(r.options.writeWmp, 1);
    EXPECT_EQ(r.options.normalMaps, 0);
    EXPECT_EQ(r.options.allSkins, 0);
    EXPECT_STREQ(r.options.textureExt, "jpg");
}

TEST(CommandLineTest, FirstArgumentIsAlwaysTheFileName)
{
    const CommandLineRun r = run({"--nm", "model.mdl"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(*r.splitName, "--nm");
    EXPECT_EQ(r.options.normalMaps, 0);
}

TEST(CommandLineTest, ExtensionIsConsumedEvenWhenItLooksLikeAnOption)
{
    // The argument after --ext is the extension, never an option, even when
    // it spells one of the shorter words.
    const CommandLineRun r = run({"model.mdl", "--ext", "all", "--nm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_STREQ(r.options.textureExt, "all");
    EXPECT_EQ(r.err, "") << "the extension is no unknown option";
    EXPECT_EQ(r.options.normalMaps, 1);
    EXPECT_EQ(r.options.allSkins, 0);
}

TEST(CommandLineTest, ExtAsLastArgumentPrintsUsage)
{
    const CommandLineRun r = run({"model.mdl", "--ext"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "Kelvane: --ext needs an extension after it, such as \"--ext tga\"\n");
    EXPECT_FALSE(r.splitName);
}

TEST(CommandLineTest, ExtensionLongerThanThreeCharactersIsRefused)
{
    for (const char* ext : {"tiff", "--nm", "averyveryverylongextension"}) {
        const CommandLineRun r = run({"model.mdl", "--ext", ext});
        EXPECT_EQ(r.exitCode, 1) << ext;
        EXPECT_EQ(r.out, kUsage);
        EXPECT_NE(r.err.find(ext), std::string::npos) << r.err;
        EXPECT_FALSE(r.splitName);
    }
    const CommandLineRun empty = run({"model.mdl", "--ext", ""});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_STREQ(empty.options.textureExt, "");
}

TEST(CommandLineTest, LongFileNameIsTakenWhole)
{
    const std::string name(300, 'n');
    const CommandLineRun r = run({name});
    ASSERT_TRUE(r.splitName);
    EXPECT_EQ(*r.splitName, name);
}

TEST(CommandLineTest, FailedSplitExitsWithTwo)
{
    const CommandLineRun r = run({"model.mdl"}, false);
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
} // namespace kelvane
