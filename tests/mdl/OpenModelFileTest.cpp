#include "mdl/OpenModelFile.h"

#include "mdl/legacy/LegacyModelReader.h"

#include "legacy/LegacyFileBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane {
namespace {

using namespace testing_legacy;

TEST(OpenModelFileTest, PicksTheReaderByTheFormatTag)
{
    TempFolder folder;
    const struct {
        const char* tag;
        std::int32_t formatCode;
    } cases[] = {
        {"IDPO", kFormatMdl2}, {"MDL2", kFormatMdl2}, {"MDL3", kFormatMdl3}, {"IDP2", kFormatIdp2},
        {"MDL4", kFormatMdl4}, {"MDL5", kFormatMdl5}, {"MDL6", kFormatMdl6},
    };
    for (const auto& c : cases) {
        const std::string path = folder.write(std::string(c.tag) + ".bin", sampleModel(c.tag).data);
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
    const std::uint8_t unknown[4] = {'M', 'D', 'L', '8'};
    EXPECT_EQ(createModelFile(unknown), nullptr);
}

TEST(OpenModelFileTest, SaysWhatIsWrongWithTheFile)
{
    TempFolder folder;
    const auto errorFor = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = folder.write(name, bytes);
        OpenModelResult result = openModelFile(path.c_str());
        EXPECT_FALSE(result) << name;
        EXPECT_EQ(result.model, nullptr) << name;
        EXPECT_EQ(result.error.rfind(path + ": ", 0), 0u) << result.error; // the file comes first
        return result.error;
    };

    EXPECT_NE(openModelFile((folder.write("x", {}) + ".missing").c_str()).error.find("cannot open"),
              std::string::npos);
    EXPECT_NE(errorFor("empty.mdl", {}).find("too short to be a model file (0 bytes)"), std::string::npos);
    EXPECT_NE(errorFor("three.mdl", {'I', 'D', 'P'}).find("(3 bytes)"), std::string::npos);

    Bytes unknown;
    unknown.tag("AB\"C").fill(100);
    unknown.data[1] = 0x01;
    EXPECT_NE(errorFor("unknown.mdl", unknown.data).find("unknown format tag \"A\\x01\\x22C\""), std::string::npos);

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
