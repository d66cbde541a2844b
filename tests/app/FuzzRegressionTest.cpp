// Replays the fuzz harnesses' inputs through the same bodies the fuzzers run
// (fuzz/FuzzTargets.h): every input that once crashed, hung or leaked
// (fuzz/regressions/<harness>/) and the seed corpus (fuzz/corpus/<harness>/).
// In the sanitizer build any overrun, overflow or leak they cause fails the
// suite like it fails a fuzz run.
//
// The seed corpus itself is written by FuzzSeeds.DISABLED_WriteCorpus, from
// the sample model, the test builders' models and older-format files, when
// run with KELVANE_FUZZ_SEED_DIR=fuzz/corpus and the options
// --gtest_also_run_disabled_tests --gtest_filter=FuzzSeeds.*
#include "fuzz/FuzzTargets.h"

#include "SplitTestModels.h"
#include "mdl/legacy/LegacyFileBuilder.h"
#include "support/Mdl7Samples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvane {
namespace {

namespace fs = std::filesystem;

using Target = int (*)(const std::uint8_t*, std::size_t);

std::vector<fs::path> inputsOf(const std::string& folder)
{
    std::vector<fs::path> files;
    const fs::path root = fs::path(KELVANE_SOURCE_DIR) / "fuzz" / folder;
    std::error_code error;
    if (!fs::is_directory(root, error)) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs every input of `folder` through `target`; returns how many ran. Each
// input gets the time limit the fuzz runs allow, with room for the slower
// unoptimised sanitizer build.
std::size_t replay(const std::string& folder, Target target)
{
    std::size_t count = 0;
    for (const fs::path& file : inputsOf(folder)) {
        const std::vector<std::uint8_t> bytes = test::readFileBytes(file);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(target(bytes.data(), bytes.size()), 0) << file;
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::seconds(5)) << file << " ran too long";
        ++count;
    }
    return count;
}

TEST(FuzzRegression, Mdl7ReaderInputsRunClean)
{
    replay("regressions/mdl7_reader", &fuzz::runMdl7Reader);
    EXPECT_GT(replay("corpus/mdl7_reader", &fuzz::runMdl7Reader), 0u) << "the seed corpus is missing";
}

TEST(FuzzRegression, LegacyReaderInputsRunClean)
{
    replay("regressions/legacy_readers", &fuzz::runLegacyReaders);
    EXPECT_GT(replay("corpus/legacy_readers", &fuzz::runLegacyReaders), 0u) << "the seed corpus is missing";
}

TEST(FuzzRegression, SplitInputsRunClean)
{
    replay("regressions/split", &fuzz::runSplit);
    EXPECT_GT(replay("corpus/split", &fuzz::runSplit), 0u) << "the seed corpus is missing";
}

TEST(FuzzRegression, ConvertInputsRunClean)
{
    replay("regressions/convert", &fuzz::runConvert);
    EXPECT_GT(replay("corpus/convert", &fuzz::runConvert), 0u) << "the seed corpus is missing";
}

TEST(FuzzRegression, ConvertOptionsComeFromTheLastByte)
{
    const fuzz::ConvertChoice plain = fuzz::convertChoice(0x00);
    EXPECT_TRUE(plain.options.animation);
    EXPECT_FALSE(plain.options.palette);
    EXPECT_FALSE(plain.separateBinary);
    const fuzz::ConvertChoice all = fuzz::convertChoice(0x07);
    EXPECT_FALSE(all.options.animation);
    EXPECT_TRUE(all.options.palette);
    EXPECT_TRUE(all.separateBinary);
    EXPECT_LE(all.options.maxOutputBytes, 64u << 20);
}

TEST(FuzzRegression, SplitOptionsComeFromTheFirstByte)
{
    const Options none = fuzz::splitOptions(0x00);
    EXPECT_EQ(none.offsetMesh + none.normalMaps + none.allSkins + none.disableMat + none.writeWmp +
                  none.externalTextures,
              0);
    EXPECT_STREQ(none.textureExt, "bmp");
    const Options all = fuzz::splitOptions(0xFF);
    EXPECT_EQ(all.offsetMesh + all.normalMaps + all.allSkins + all.disableMat + all.writeWmp +
                  all.externalTextures,
              6);
    EXPECT_STREQ(all.textureExt, "pc");
}

// --- Seed corpus -------------------------------------------------------------

void writeSeed(const fs::path& folder, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    fs::create_directories(folder);
    ASSERT_TRUE(test::Mdl7Builder::writeFile((folder / name).string(), bytes));
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> mdl7Seeds()
{
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> seeds;
    seeds.emplace_back("sample.mdl",
                       test::readFileBytes(std::string(KELVANE_SOURCE_DIR) + "/examples/sample.mdl"));
    seeds.emplace_back("every-record-kind.mdl", test::everyRecordKind().bytes());
    seeds.emplace_back("header-only.mdl", test::Mdl7Builder().bytes());
    {
        test::Mdl7Builder b;
        test::addMesh(b, {.name = "hull",
                          .skins = {"a", "b"},
                          .texCoords = 3,
                          .triangleSkins = {1, 0},
                          .vertices = {{.x = 1}, {.y = 2}, {.z = 3}},
                          .frames = 1});
        test::addOtherGroup(b, 3, 8);
        test::addMesh(b, {.name = "empty", .triangleSkins = {0}});
        seeds.emplace_back("three-groups.mdl", b.bytes());
    }
    {
        // 16-byte vertex records hold a normal-table index.
        test::Mdl7Builder b;
        b.setRecordSize(mdl7::header::kVertexRecordSize, 16);
        test::addMesh(b, {.name = "indexed",
                          .texCoords = 1,
                          .triangleSkins = {0},
                          .vertices = {{.x = 1}, {.y = 1}, {.normalIndex = 400}}});
        seeds.emplace_back("normal-index.mdl", b.bytes());
    }
    return seeds;
}

TEST(FuzzSeeds, DISABLED_WriteCorpus)
{
    const char* target = std::getenv("KELVANE_FUZZ_SEED_DIR");
    ASSERT_NE(target, nullptr) << "set KELVANE_FUZZ_SEED_DIR to the corpus folder";
    const fs::path root(target);

    for (const auto& [name, bytes] : mdl7Seeds()) {
        ASSERT_FALSE(bytes.empty()) << name;
        writeSeed(root / "mdl7_reader", name, bytes);
        // The split's first byte selects the options; a few spread-out sets.
        for (const std::uint8_t selector : {0x00, 0x3F, 0x52, 0xA9}) {
            std::vector<std::uint8_t> input(bytes.size() + 1);
            input[0] = selector;
            std::memcpy(input.data() + 1, bytes.data(), bytes.size());
            char prefix[8];
            std::snprintf(prefix, sizeof prefix, "%02x-", selector);
            writeSeed(root / "split", prefix + name, input);
        }
    }
    for (const char* magic : {"IDPO", "MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6"}) {
        writeSeed(root / "legacy_readers", std::string(magic) + ".mdl",
                  testing_legacy::sampleModel(magic).data);
    }
    // Conversion seeds are whole model files (the options come from the
    // last byte); fuzz/run.sh adds the real legacy files of tests/data.
    for (const auto& [name, bytes] : mdl7Seeds())
        writeSeed(root / "convert", name, bytes);
    for (const char* magic : {"IDPO", "MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6"}) {
        writeSeed(root / "convert", std::string(magic) + ".mdl", testing_legacy::sampleModel(magic).data);
    }
}

} // namespace
} // namespace kelvane
