// Real model files of two of the older formats, made by others: every one must
// open through openModelFile and read cleanly as far as the readers go.
// They are kept in the repository (tests/data/legacy/, with their licences),
// so a fresh clone runs these tests too.
#include "mdl/OpenModelFile.h"
#include "mdl/legacy/LegacyModelReader.h"

#include "LegacyWalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using namespace testing_legacy;
namespace fs = std::filesystem;

// Files whose frames include a group of frames, which these readers refuse:
// reading stops at the first such frame.
const std::set<std::string> kGroupedFrames = {"flame2.mdl", "laser.mdl"};

std::vector<fs::path> modelFiles(const fs::path& folder, const std::string& extension)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == extension) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void readEveryFile(const char* subfolder, const std::string& extension, std::int32_t formatCode)
{
    const fs::path folder = fs::path(KELVANE_TESTDATA) / "legacy" / subfolder;
    ASSERT_TRUE(fs::is_directory(folder)) << "test data not found at " << folder.string();
    const std::vector<fs::path> files = modelFiles(folder, extension);
    ASSERT_FALSE(files.empty()) << "no " << extension << " files in " << folder.string();

    for (const fs::path& path : files) {
        const std::string label = path.filename().string();
        SCOPED_TRACE(label);
        OpenModelResult opened = openModelFile(path.string().c_str());
        ASSERT_TRUE(opened) << opened.error;
        EXPECT_EQ(opened.model->formatCode(), formatCode);
        auto* reader = dynamic_cast<LegacyModelReader*>(opened.model.get());
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(opened.model->dataLimit(), static_cast<std::int32_t>(fs::file_size(path)));
        EXPECT_GE(reader->getSkinCount(), 0);
        EXPECT_GT(reader->getVertexCount(), 0);
        EXPECT_GT(reader->getTriangleCount(), 0);
        EXPECT_GT(reader->getFrameCount(), 0);

        const WalkResult result = walkModel(*reader, label);
        EXPECT_EQ(result.skins, reader->getSkinCount()) << result.stoppedAt;
        EXPECT_EQ(result.texCoords, reader->getTexCoordCount()) << result.stoppedAt;
        EXPECT_EQ(result.triangles, reader->getTriangleCount()) << result.stoppedAt;
        if (kGroupedFrames.count(label) != 0) {
            // Stopped at a frame header whose type marks a group of frames.
            ASSERT_FALSE(result.complete);
            EXPECT_EQ(result.stoppedAt, "frame " + std::to_string(result.frames));
            ASSERT_GE(reader->tell(), 28);
            EXPECT_NE(reader->data()[reader->tell() - 28], 0);
        } else {
            EXPECT_TRUE(result.complete) << "stopped at " << result.stoppedAt;
            EXPECT_EQ(result.frames, reader->getFrameCount());
        }
        EXPECT_TRUE(reader->close());
    }
}

TEST(LegacyRealFilesTest, IdpoModelsReadCleanly) { readEveryFile("idpo", ".mdl", kFormatMdl2); }

TEST(LegacyRealFilesTest, Idp2ModelsReadCleanly) { readEveryFile("idp2", ".md2", kFormatIdp2); }

} // namespace
} // namespace kelvane
