#include "level/Wmpio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kelvane {
namespace {

std::filesystem::path testDir()
{
    const auto dir = std::filesystem::path(KELVANE_BINARY_DIR) / "wmpio-test";
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::string> readLines(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// A path as the level file quotes it: Windows' backslashes come out doubled.
std::string escaped(const std::filesystem::path& path)
{
    std::string text;
    for (const char c : path.string()) {
        if (c == '\\' || c == '"') text += '\\';
        text += c;
    }
    return text;
}

// A model object whose records point at the given name and triples.
struct ModelObject {
    double position[3] = {0.0, 0.0, 0.0};
    double angles[3] = {0.0, 0.0, 0.0};
    double scale[3] = {1.0, 1.0, 1.0};
    WmpModelInfo info;
    WmpObjectDesc object;
    WmpObjectAux aux;
    WmpPayloadDesc payload;

    explicit ModelObject(const char* name)
    {
        info.size = kWmpModelInfoSize;
        info.fileName = name;
        info.modelName = name;
        info.extra = "";
        object.size = kWmpObjectDescSize;
        object.typeName = "model";
        object.name = name;
        object.kind = kWmpKindModel;
        object.position = position;
        object.angles = angles;
        object.scale = scale;
        aux.size = kWmpObjectAuxSize;
        payload.size = kWmpPayloadDescSize;
        payload.kind = kWmpKindModel;
        payload.info = &info;
    }

    void add(std::int32_t code = 0) { wmpioAddObject(&object, &aux, &payload, code, nullptr); }
};

TEST(WmpioTest, WritesOneLinePerCallAndClosingLine)
{
    const auto path = testDir() / "lines.wmp";
    wmpioCreate(path.string().c_str(), 0, 3, 3, 0, 0);
    WmpBufferDesc buffer;
    buffer.size = kWmpBufferDescSize;
    wmpioRegisterBuffer(&buffer);
    ModelObject first("a000.mdl");
    first.position[0] = -1.5;
    first.position[1] = 0.1;
    first.position[2] = 1e300;
    first.object.typeCode = 135;
    first.object.flags = 565;
    first.info.flags = 512;
    first.add(7);
    ModelObject second("a001.mdl");
    second.add();

    wmpioClose();
    EXPECT_FALSE(wmpioFailed());

    const auto lines = readLines(path);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "kelvane-level 1");
    EXPECT_EQ(lines[1], "create path=\"" + escaped(path) + "\" args=0,3,3,0,0");
    EXPECT_EQ(lines[2], "buffer size=24 reserved=0,0,0,0");
    EXPECT_EQ(lines[3].rfind("object code=7 kind=3 type=\"model\" name=\"a000.mdl\" "
                             "position=-1.5,0.1,1e+300 angles=0,0,0 scale=1,1,1 size=64 ",
                             0),
              0u)
        << lines[3];
    EXPECT_NE(lines[3].find(" typeCode=135 "), std::string::npos);
    EXPECT_NE(lines[3].find(" flags=565 "), std::string::npos);
    EXPECT_NE(lines[3].find(" model.flags=512 "), std::string::npos);
    EXPECT_EQ(lines[4].rfind("object code=0 kind=3 type=\"model\" name=\"a001.mdl\" ", 0), 0u);
    EXPECT_EQ(lines[5], "end objects=2");
}

TEST(WmpioTest, FileNotClosedHasNoClosingLine)
{
    const auto path = testDir() / "unclosed.wmp";
    wmpioCreate(path.string().c_str(), 0, 1, 1, 0, 0);
    ModelObject object("x.mdl");
    object.add();
    // Starting another file abandons this one without completing it.
    const auto other = testDir() / "other.wmp";
    wmpioCreate(other.string().c_str(), 0, 1, 1, 0, 0);
    wmpioClose();

    const auto lines = readLines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].rfind("object ", 0), 0u);
    const auto otherLines = readLines(other);
    ASSERT_EQ(otherLines.size(), 3u);
    EXPECT_EQ(otherLines[2], "end objects=0");
}

TEST(WmpioTest, NamesKeepEveryByte)
{
    const auto path = testDir() / "names.wmp";
    wmpioCreate(path.string().c_str(), 0, 1, 1, 0, 0);
    ModelObject object("q\"b\\s\n\x01\xC3\xA4~");
    object.add();
    wmpioClose();

    const auto lines = readLines(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[2].find(" name=\"q\\\"b\\\\s\\x0A\\x01\\xC3\\xA4~\" "), std::string::npos) << lines[2];
}

TEST(WmpioTest, ReportsFileThatCannotBeCreatedOrWritten)
{
    const auto path = testDir() / "missing-folder" / "level.wmp";
    wmpioCreate(path.string().c_str(), 0, 1, 1, 0, 0);
    EXPECT_TRUE(wmpioFailed());
    ModelObject object("x.mdl");
    object.add();
    wmpioClose();
    EXPECT_TRUE(wmpioFailed());
    EXPECT_FALSE(std::filesystem::exists(path));

    // A new level file starts with a clean record.
    const auto good = testDir() / "good.wmp";
    wmpioCreate(good.string().c_str(), 0, 1, 1, 0, 0);
    EXPECT_FALSE(wmpioFailed());
    wmpioClose();
    EXPECT_FALSE(wmpioFailed());

    // A device that is always full accepts the open but not the data.
    if (std::filesystem::exists("/dev/full")) {
        wmpioCreate("/dev/full", 0, 1, 1, 0, 0);
        object.add();
        wmpioClose();
        EXPECT_TRUE(wmpioFailed());
    }
}

TEST(WmpioTest, CloseWithoutLevelFileDoesNothing)
{
    const auto path = testDir() / "closed-once.wmp";
    wmpioCreate(path.string().c_str(), 0, 1, 1, 0, 0);
    wmpioClose();
    wmpioClose();
    wmpioClose();
    EXPECT_FALSE(wmpioFailed());
    // Calls after the close do not reach the closed file either.
    ModelObject object("late.mdl");
    object.add();
    const auto lines = readLines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "end objects=0");
}

} // namespace
} // namespace kelvane
