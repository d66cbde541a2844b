// What the split does differently on Windows by design, checked on every
// platform against that platform's rules: the positions file is a text file
// (its line ends are the platform's), its figures are printed exactly (the
// same digits from MinGW's printf as from glibc's), and on Windows a model
// named with a drive letter and backslashes gets its outputs beside it.
#include "app/Options.h"
#include "app/SplitDriver.h"

#include "support/Files.h"
#include "support/Mdl7Builder.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::builtProgram;
using test::Mdl7Builder;
using test::readFile;

#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

// Two mesh groups whose bounding-box centres need every digit printed right:
// 0.0078125 and 123456.7890625 lie exactly halfway between two six-decimal
// figures (rounded to the even one), and 1e30f has 31 exact integer digits,
// which a printf working from 17 significant digits gets wrong.
Mdl7Builder roundingModel()
{
    Mdl7Builder b;
    b.group({.name = "first", .vertexCount = 2});
    b.vertex({.x = 0.0f, .y = 1e30f, .z = -2.5f});
    b.vertex({.x = 0.015625f, .y = 1e30f, .z = -2.5f});
    b.group({.name = "second", .vertexCount = 1});
    b.vertex({.x = -0.0078125f, .y = 0.1f, .z = 123456.789f});
    return b;
}

bool split(const std::string& modelPath, std::string* errors = nullptr)
{
    const Options options;
    std::ostringstream out, err;
    SplitDriver driver(options, out, err);
    const bool ok = driver.run(modelPath.c_str());
    if (errors != nullptr) *errors = err.str();
    return ok;
}

std::string expectedPositions(const std::string& base)
{
    return base + "000.mdl   0.007812 1000000015047466219876688855040.000000 -2.500000" + kLineEnd + base +
           "001.mdl   -0.007812 0.100000 123456.789062" + kLineEnd;
}

TEST(WindowsBehaviourTest, PositionsFileIsTextWithExactFigures)
{
    test::TempDir dir;
    const std::string model = roundingModel().writeTo(dir.path("ship.mdl"));
    std::string errors;
    ASSERT_TRUE(split(model, &errors)) << errors;
    EXPECT_EQ(readFile(dir.path("ship_pos.txt")), expectedPositions(dir.path("ship")));
}

// A name in UTF-8 that no single-byte code page holds ("船é"). Kelvane.exe
// gets it whole only because its manifest makes UTF-8 its code page: it
// opens the model, names its outputs and prints the name as on Linux.
TEST(WindowsBehaviourTest, NamesOutsideTheSystemCodePage)
{
    test::TempDir dir;
    const std::string base = "\xE8\x88\xB9\xC3\xA9";
    const auto inDir = [&](const std::string& name) {
        return std::filesystem::path(dir.root()) / test::utf8Path(name);
    };
    const std::vector<std::uint8_t> model = roundingModel().bytes();
    std::ofstream(inDir(base + ".mdl"), std::ios::binary)
        .write(reinterpret_cast<const char*>(model.data()), static_cast<std::streamsize>(model.size()));

    const test::ProcessResult run =
        test::runProcess({builtProgram("app/Kelvane"), base + ".mdl"}, {.workingDir = dir.root()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\n" + base + "001.mdl\n"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::is_regular_file(inDir(base + "000.mdl")));
    EXPECT_EQ(readFile(inDir(base + "_pos.txt")), expectedPositions(base));

    // Its level file would be the input itself, whatever code page names it.
    std::filesystem::copy_file(inDir(base + ".mdl"), inDir(base + ".wmp"));
    const test::ProcessResult refused =
        test::runProcess({builtProgram("app/Kelvane"), base + ".wmp", "--wmp"}, {.workingDir = dir.root()});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "Kelvane: " + base + ".wmp: is the input file itself; it is not overwritten\n");
    EXPECT_EQ(std::filesystem::file_size(inDir(base + ".wmp")), model.size());
}

#ifdef _WIN32
// A full Windows path: drive letter, backslashes only. Run in-process and
// through Kelvane.exe, whose command line the runtime splits on its own.
TEST(WindowsBehaviourTest, DriveLetterPathKeepsOutputsBesideTheModel)
{
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::filesystem::path folder = std::filesystem::absolute(dir.root()).make_preferred() / "models";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string base = folder.string() + "\\ship";
    ASSERT_EQ(base.substr(1, 2), ":\\") << base;
    ASSERT_EQ(base.find('/'), std::string::npos) << base;

    const std::string model = roundingModel().writeTo(base + ".mdl");
    std::string errors;
    ASSERT_TRUE(split(model, &errors)) << errors;
    EXPECT_TRUE(std::filesystem::is_regular_file(base + "000.mdl"));
    EXPECT_TRUE(std::filesystem::is_regular_file(base + "001.mdl"));
    EXPECT_EQ(readFile(base + "_pos.txt"), expectedPositions(base));
    const std::string inProcess = readFile(base + "000.mdl");
    EXPECT_FALSE(inProcess.empty());

    for (const char* name : {"000.mdl", "001.mdl", "_pos.txt"})
        std::filesystem::remove(base + name);
    const test::ProcessResult run = test::runProcess({builtProgram("app/Kelvane"), model});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFile(base + "000.mdl"), inProcess);
    EXPECT_EQ(readFile(base + "_pos.txt"), expectedPositions(base));
}
#endif

} // namespace
} // namespace kelvane
