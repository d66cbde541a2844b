#include "mdl/OpenModelFile.h"

#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/legacy/LegacyModelReader.h"

#include "legacy/LegacyFileBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using namespace testing_legacy;

TEST(OpenModelFileTest, PicksTheReaderByTheFormatTag)
{
    test::TempDir folder;
    const struct {
        const char* tag;
        std::int32_t formatCode;
    } cases[] = {
        {"IDPO", kFormatMdl2}, {"MDL2", kFormatMdl2}, {"MDL3", kFormatMdl3}, {"IDP2", kFormatIdp2},
        {"MDL4", kFormatMdl4}, {"MDL5", kFormatMdl5}, {"MDL6", kFormatMdl6},
    };
    for (const auto& c : cases) {
        const std::string path = writeFile(folder, std::string(c.tag) + ".bin", sampleModel(c.tag).data);
        OpenModelResult result = openModelFile(path.c_str());
        ASSERT_TRUE(result) << c.tag << ": " << result.error;
        EXPECT_TRUE(result.error.empty());
        EXPECT_TRUE(result.model->isOpen());
        EXPECT_EQ(result.model->formatCode(), c.formatCode) << c.tag;
        auto* reader = dynamic_cast<LegacyModelReader*>(result.model.get());
        ASSERT_NE(reader, nullptr) << c.tag;
        EXPECT_EQ(reader->getFrameCount(), 2) << c.tag;

        const std::uint8_t* magic = reinterpret_cast<const std::uint8_t*>(c.tag);
        auto created = createModelFile(std::span<const std::uint8_t, 4>(magic, 4));
        ASSERT_NE(created, nullptr) << c.tag;
        EXPECT_EQ(created->formatCode(), c.formatCode);
        EXPECT_FALSE(created->isOpen());
    }
    const std::uint8_t mdl7Tag[4] = {'M', 'D', 'L', '7'};
    EXPECT_NE(dynamic_cast<Mdl7Reader*>(createModelFile(mdl7Tag).get()), nullptr);
    const std::uint8_t unknown[4] = {'M', 'D', 'L', '8'};
    EXPECT_EQ(createModelFile(unknown), nullptr);
}

// A 48-byte MDL7 file: the header alone, announcing exactly itself as data
// (or `modelDataSize` bytes).
std::vector<std::uint8_t> mdl7HeaderOnly(std::int32_t modelDataSize = mdl7::kFileHeaderSize)
{
    std::vector<std::uint8_t> bytes(mdl7::kFileHeaderSize, 0);
    std::memcpy(bytes.data(), mdl7::kMagic, sizeof mdl7::kMagic);
    storeI32(bytes.data() + mdl7::header::kModelDataSize, modelDataSize);
    return bytes;
}

TEST(OpenModelFileTest, OpensMdl7FilesWithTheMdl7Reader)
{
    test::TempDir folder;
    OpenModelResult result = openModelFile(writeFile(folder, "ship.mdl", mdl7HeaderOnly()).c_str());
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(result.model->formatCode(), kFormatMdl7);
    auto* reader = dynamic_cast<Mdl7Reader*>(result.model.get());
    ASSERT_NE(reader, nullptr);
    std::int32_t boneCount = -1, groupCount = -1, modelDataSize = 0, trailerSize = -1, secondTrailerSize = -1;
    ASSERT_TRUE(reader->readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondTrailerSize));
    EXPECT_EQ(groupCount, 0);
    EXPECT_EQ(modelDataSize, 48);

    // A header announcing less data than itself is refused by the reader.
    const std::string refused = writeFile(folder, "bad.mdl", mdl7HeaderOnly(20));
    const OpenModelResult bad = openModelFile(refused.c_str());
    EXPECT_FALSE(bad);
    EXPECT_EQ(bad.error, refused + ": not a readable MDL7 model (header rejected, 48 bytes)");

    std::vector<std::uint8_t> shortFile = mdl7HeaderOnly();
    shortFile.resize(47);
    EXPECT_NE(openModelFile(writeFile(folder, "short.mdl", shortFile).c_str()).error.find("needs 48"),
              std::string::npos);
}

TEST(OpenModelFileTest, SaysWhatIsWrongWithTheFile)
{
    test::TempDir folder;
    const auto errorFor = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = writeFile(folder, name, bytes);
        OpenModelResult result = openModelFile(path.c_str());
        EXPECT_FALSE(result) << name;
        EXPECT_EQ(result.model, nullptr) << name;
        EXPECT_EQ(result.error.rfind(path + ": ", 0), 0u) << result.error; // the file comes first
        return result.error;
    };

    EXPECT_NE(openModelFile((writeFile(folder, "x", {}) + ".missing").c_str()).error.find("cannot open"),
              std::string::npos);
    EXPECT_NE(errorFor("empty.mdl", {}).find("too short to be a model file (0 bytes)"), std::string::npos);
    EXPECT_NE(errorFor("three.mdl", {'I', 'D', 'P'}).find("(3 bytes)"), std::string::npos);

    Bytes unknown;
    unknown.tag("AB\"C").fill(100);
    unknown.data[1] = 0x01;
    EXPECT_NE(errorFor("unknown.mdl", unknown.data).find("unknown format tag \"A\\x01\\x22C\""),
              std::string::npos);

    Bytes shortIdpo;
    shortIdpo.tag("IDPO").fill(56);
    EXPECT_NE(errorFor("short.mdl", shortIdpo.data).find("too short for an IDPO model (60 bytes, needs 84)"),
              std::string::npos);
    Bytes shortIdp2;
    shortIdp2.tag("IDP2").fill(40);
    EXPECT_NE(errorFor("short.md2", shortIdp2.data).find("too short for an IDP2 model (44 bytes, needs 68)"),
              std::string::npos);
}

} // namespace
} // namespace kelvane
