// Runs the built mdlinfo program on models of the older formats: small ones
// built byte by byte, and the real files in the shared test data.
#include "RunMdlinfo.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "tests/mdl/legacy/LegacyFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using test::mdlinfo;
using testing_legacy::Bytes;
using testing_legacy::sampleModel;

// Just enough JSON to look into mdlinfo's documents: the values it writes
// (objects, arrays, integers, floats, strings with \u00XX escapes, null,
// booleans). A malformed document fails the test and yields null.
struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const
    {
        static const Json missing;
        const auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
    [[nodiscard]] std::int64_t integer() const { return static_cast<std::int64_t>(number); }
};

class JsonParser {
  public:
    explicit JsonParser(const std::string& text) : text_(text) {}

    Json parseDocument()
    {
        Json value = parseValue();
        skipSpace();
        if (pos_ != text_.size()) ADD_FAILURE() << "JSON: trailing bytes at " << pos_;
        return value;
    }

  private:
    void skipSpace()
    {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n'))
            ++pos_;
    }
    bool take(char c)
    {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    Json bad(const char* what)
    {
        ADD_FAILURE() << "JSON: " << what << " at " << pos_;
        pos_ = text_.size();
        return {};
    }

    Json parseValue()
    {
        skipSpace();
        if (pos_ >= text_.size()) return bad("value expected");
        Json value;
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            value.kind = Json::kObject;
            if (take('}')) return value;
            do {
                skipSpace();
                const Json key = parseString();
                if (!take(':')) return bad("':' expected");
                value.members[key.text] = parseValue();
            } while (take(','));
            if (!take('}')) return bad("'}' expected");
        } else if (c == '[') {
            ++pos_;
            value.kind = Json::kArray;
            if (take(']')) return value;
            do {
                value.items.push_back(parseValue());
            } while (take(','));
            if (!take(']')) return bad("']' expected");
        } else if (c == '"') {
            return parseString();
        } else if (text_.compare(pos_, 4, "null") == 0) {
            pos_ += 4;
        } else if (text_.compare(pos_, 4, "true") == 0 || text_.compare(pos_, 5, "false") == 0) {
            value.kind = Json::kBool;
            value.number = c == 't' ? 1 : 0;
            pos_ += c == 't' ? 4 : 5;
        } else {
            const char* start = text_.c_str() + pos_;
            char* end = nullptr;
            value.kind = Json::kNumber;
            value.number = std::strtod(start, &end);
            if (end == start) return bad("number expected");
            pos_ += static_cast<std::size_t>(end - start);
        }
        return value;
    }

    Json parseString()
    {
        if (pos_ >= text_.size() || text_[pos_] != '"') return bad("string expected");
        Json value;
        value.kind = Json::kString;
        for (++pos_; pos_ < text_.size() && text_[pos_] != '"'; ++pos_) {
            if (text_[pos_] != '\\') {
                value.text += text_[pos_];
                continue;
            }
            if (++pos_ >= text_.size()) break;
            if (text_[pos_] == 'u' && pos_ + 4 < text_.size()) {
                value.text += static_cast<char>(std::stoi(text_.substr(pos_ + 1, 4), nullptr, 16));
                pos_ += 4;
            } else {
                value.text += text_[pos_];
            }
        }
        if (pos_ >= text_.size()) return bad("unterminated string");
        ++pos_;
        return value;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

class MdlinfoLegacyTest : public ::testing::Test {
  protected:
    test::TempDir dir_;

    std::string write(const Bytes& bytes, const std::string& name = "model.mdl",
                      std::size_t length = SIZE_MAX)
    {
        std::vector<std::uint8_t> data = bytes.data;
        data.resize(std::min(length, data.size()));
        return testing_legacy::writeFile(dir_, name, data);
    }
};

// Where the records of sampleModel("IDPO") start.
constexpr std::size_t kIdpoTriangle = 84 + (4 + 8) + (4 + 16) + 3 * 12;
constexpr std::size_t kIdpoFrame1 = kIdpoTriangle + 16 + 28 + 3 * 4;
constexpr std::size_t kIdpoSize = kIdpoFrame1 + 28 + 3 * 4;

TEST_F(MdlinfoLegacyTest, PrintsEachFormatAsJson)
{
    test::ProcessResult run = mdlinfo({"--json", write(sampleModel("IDPO"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string idpoFrame = R"("bboxMin":[1,2,3],"bboxMax":[40,50,60],"scale":null,"translate":null,)"
                                  R"("vertices":[[0,0,0,1],[1,1,1,2],[2,2,2,3]]})";
    EXPECT_EQ(run.out,
              R"({"format":"IDPO","counts":{"skins":2,"vertices":3,"triangles":1,"texCoords":3,"frames":2},)"
              R"("skins":[{"type":0,"width":4,"height":2,"bytesPerPixel":1,"hasMipmaps":false},)"
              R"({"type":2,"width":4,"height":2,"bytesPerPixel":2,"hasMipmaps":false}],)"
              R"("texCoords":[[0,10],[1,11],[2,12]],"triangles":[[0,1,2,-1,-1,-1]],)"
              R"("frames":[{"name":"stand1",)" +
                  idpoFrame + R"(,{"name":"stand2",)" + idpoFrame + "]}\n");

    run = mdlinfo({"--json", write(sampleModel("IDP2"), "model.md2")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string idp2Frame = R"("bboxMin":[0,0,0],"bboxMax":[255,255,255],"scale":[1,2,3],)"
                                  R"("translate":[-1,-2,-3],"vertices":[[0,0,0,1],[1,1,1,2],[2,2,2,3]]})";
    EXPECT_EQ(run.out,
              R"({"format":"IDP2","counts":{"skins":2,"vertices":3,"triangles":1,"texCoords":4,"frames":2},)"
              R"("skins":[{"type":7,"width":64,"height":0,"bytesPerPixel":0,"hasMipmaps":false},)"
              R"({"type":7,"width":64,"height":0,"bytesPerPixel":0,"hasMipmaps":false}],)"
              R"("texCoords":[[0,10],[1,11],[2,12],[3,13]],"triangles":[[0,1,2,3,2,1]],)"
              R"("frames":[{"name":"stand1",)" +
                  idp2Frame + R"(,{"name":"stand2",)" + idp2Frame + "]}\n");

    // Skins with their own size and mipmaps; 16-bit positions.
    run = mdlinfo({"--json", write(sampleModel("MDL5"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string mdl5Frame =
        R"("bboxMin":[1,2,3],"bboxMax":[400,500,600],"scale":null,"translate":null,)"
        R"("vertices":[[300,0,0,1],[301,1,1,2],[302,2,2,3]]})";
    EXPECT_EQ(run.out,
              R"({"format":"MDL5","counts":{"skins":2,"vertices":3,"triangles":1,"texCoords":4,"frames":2},)"
              R"("skins":[{"type":0,"width":4,"height":2,"bytesPerPixel":1,"hasMipmaps":false},)"
              R"({"type":10,"width":4,"height":4,"bytesPerPixel":2,"hasMipmaps":true}],)"
              R"("texCoords":[[0,10],[1,11],[2,12],[3,13]],"triangles":[[0,1,2,3,2,1]],)"
              R"("frames":[{"name":"stand1",)" +
                  mdl5Frame + R"(,{"name":"stand2",)" + mdl5Frame + "]}\n");

    // Every tag reads to the end and is named as stored ("IDPO" and "MDL2"
    // share a reader).
    for (const char* tag : {"MDL2", "MDL3", "MDL4", "MDL6"}) {
        run = mdlinfo({"--json", write(sampleModel(tag))});
        EXPECT_EQ(run.exitCode, 0) << tag << ": " << run.err;
        EXPECT_EQ(
            run.out.rfind(std::string(R"({"format":")") + tag + R"(","counts":{"skins":2,"vertices":3,)", 0),
            0u)
            << run.out;
    }
}

TEST_F(MdlinfoLegacyTest, PrintsReadableSummary)
{
    test::ProcessResult run = mdlinfo({write(sampleModel("MDL5"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "format: MDL5\n"
                       "counts: skins 2, vertices 3, triangles 1, texture coordinates 4, frames 2\n"
                       "  skin 0: kind 0 (8-bit), 4 x 2, 1 byte per pixel\n"
                       "  skin 1: kind 2 (16-bit (2)), 4 x 4, 2 bytes per pixel, mipmaps\n"
                       "texture coordinates: 4 read\n"
                       "triangles: 1 read\n"
                       "frames: 2 read, \"stand1\" to \"stand2\"\n");

    // Indices are shown as stored; the summary counts those outside.
    Bytes outside = sampleModel("IDPO");
    outside.patchI32(kIdpoTriangle + 12, 3);
    run = mdlinfo({write(outside)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("triangles: 1 read, 1 index outside their counts\n"), std::string::npos)
        << run.out;
    run = mdlinfo({"--json", write(outside)});
    EXPECT_NE(run.out.find(R"("triangles":[[0,1,3,-1,-1,-1]])"), std::string::npos) << run.out;
}

TEST_F(MdlinfoLegacyTest, ReportsWhereReadingStopped)
{
    // Cut inside the second frame's second vertex: both frames are shown,
    // the second with the one vertex read.
    std::string path = write(sampleModel("IDPO"), "cut.mdl", kIdpoSize - 6);
    test::ProcessResult run = mdlinfo({"--json", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "mdlinfo: " + path +
                           ": frame 1: vertex 1: cannot be read (reading stopped at offset " +
                           std::to_string(kIdpoSize - 6) + ")\n");
    EXPECT_NE(run.out.find(R"({"name":"stand2","bboxMin":[1,2,3],"bboxMax":[40,50,60],"scale":null,)"
                           R"("translate":null,"vertices":[[0,0,0,1]]}]}
)"),
              std::string::npos)
        << run.out;

    // A frame that starts a group of frames stops reading just past its
    // header, also when that header ends the file.
    Bytes grouped = sampleModel("IDPO");
    grouped.patchI32(kIdpoFrame1, 1);
    for (const std::size_t length : {kIdpoSize, kIdpoFrame1 + 28}) {
        path = write(grouped, "grouped.mdl", length);
        run = mdlinfo({"--json", path});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "mdlinfo: " + path +
                               ": frame 1: starts a group of frames (type 1), which is not read "
                               "(reading stopped at offset " +
                               std::to_string(kIdpoFrame1 + 28) + ")\n");
        EXPECT_NE(run.out.find(R"("frames":[{"name":"stand1",)"), std::string::npos);
        EXPECT_EQ(run.out.find("stand2"), std::string::npos);
    }
    // The same for the 36-byte headers, whose single frames have type 2.
    Bytes groupedWide = sampleModel("MDL4");
    const std::size_t mdl4Frame0 = 84 + (4 + 8) + (4 + 16) + 4 * 4 + 12;
    groupedWide.patchI32(mdl4Frame0, 0);
    run = mdlinfo({write(groupedWide)});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(
        run.err.find(": frame 0: starts a group of frames (type 0), which is not read (reading stopped at "
                     "offset " +
                     std::to_string(mdl4Frame0 + 36) + ")\n"),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("frames: 0 read\n"), std::string::npos) << run.out;

    // An image kind the format lacks stops at that skin; later sections are
    // null. A skin whose image is cut short is shown.
    Bytes badKind = sampleModel("MDL3");
    badKind.patchI32(84 + 4 + 8, 4);
    path = write(badKind);
    run = mdlinfo({"--json", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "mdlinfo: " + path +
                           ": skin 1: has image kind 4, which this format does not have "
                           "(reading stopped at offset 100)\n");
    EXPECT_NE(run.out.find(R"("hasMipmaps":false}],"texCoords":null,"triangles":null,"frames":null}
)"),
              std::string::npos)
        << run.out;

    path = write(sampleModel("MDL3"), "short.mdl", 84 + 12 + 4 + 10);
    run = mdlinfo({"--json", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "mdlinfo: " + path + ": skin 1: image: cannot be read (reading stopped at offset 110)\n");
    EXPECT_NE(
        run.out.find(
            R"({"type":2,"width":4,"height":2,"bytesPerPixel":2,"hasMipmaps":false}],"texCoords":null)"),
        std::string::npos)
        << run.out;

    // A skin whose type record is cut short has no kind to blame.
    path = write(sampleModel("MDL3"), "cut-type.mdl", 84 + 12 + 2);
    run = mdlinfo({path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "mdlinfo: " + path + ": skin 1: cannot be read (reading stopped at offset 98)\n");
}

// Files whose frames include a group of frames: reading stops at the first.
bool hasGroupedFrames(const std::string& name) { return name == "flame2.mdl" || name == "laser.mdl"; }

// Checks one real file's document against the readers' rules and returns the
// number of bytes the records read take up from the file's start.
std::int64_t checkDocument(const Json& doc, const std::string& tag)
{
    EXPECT_EQ(doc["format"].text, tag);
    const Json& counts = doc["counts"];
    const std::int64_t vertexCount = counts["vertices"].integer();
    const std::int64_t texCoordCount = counts["texCoords"].integer();
    const bool idpo = tag == "IDPO";
    std::int64_t bytes = idpo ? 84 : 68;

    EXPECT_EQ(doc["skins"].items.size(), static_cast<std::size_t>(counts["skins"].integer()));
    for (const Json& skin : doc["skins"].items) {
        if (idpo) {
            EXPECT_EQ(skin["type"].integer(), 0);
            bytes += 4 + skin["width"].integer() * skin["height"].integer();
        } else {
            EXPECT_EQ(skin["type"].integer(), 7);
            bytes += 64;
        }
    }

    EXPECT_EQ(doc["texCoords"].items.size(), static_cast<std::size_t>(texCoordCount));
    bytes += texCoordCount * (idpo ? 12 : 4);

    const Json& triangles = doc["triangles"];
    EXPECT_EQ(triangles.items.size(), static_cast<std::size_t>(counts["triangles"].integer()));
    bytes += counts["triangles"].integer() * (idpo ? 16 : 12);
    for (const Json& t : triangles.items) {
        if (t.items.size() != 6) {
            ADD_FAILURE() << "a triangle of " << t.items.size() << " values";
            continue;
        }
        for (std::size_t i = 0; i < 3; ++i) {
            const std::int64_t v = t.items[i].integer();
            const std::int64_t c = t.items[i + 3].integer();
            EXPECT_TRUE(v >= 0 && v < vertexCount) << "vertex " << v << " of " << vertexCount;
            if (idpo) {
                EXPECT_EQ(c, -1);
            } else {
                EXPECT_TRUE(c >= 0 && c < texCoordCount)
                    << "texture coordinate " << c << " of " << texCoordCount;
            }
        }
    }

    for (const Json& frame : doc["frames"].items) {
        const std::string& name = frame["name"].text;
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }))
            << "frame name \"" << name << "\" holds a control byte";
        EXPECT_LT(name.size(), 16u);
        EXPECT_EQ(frame["scale"].kind, idpo ? Json::kNull : Json::kArray);
        EXPECT_EQ(frame["vertices"].items.size(), static_cast<std::size_t>(vertexCount));
        for (const Json& v : frame["vertices"].items) {
            if (v.items.size() != 4) {
                ADD_FAILURE() << "a vertex of " << v.items.size() << " values";
                continue;
            }
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_LE(v.items[i].integer(), 255);
            EXPECT_LT(v.items[3].integer(), 162);
        }
        bytes += (idpo ? 28 : 40) + vertexCount * 4;
    }
    return bytes;
}

TEST(MdlinfoLegacyRealFilesTest, EveryFileReadsCleanly)
{
    const fs::path root = fs::path(KELVANE_TESTDATA) / "legacy";
    ASSERT_TRUE(fs::is_directory(root)) << "test data not found at " << root.string();
    int files = 0;
    for (const auto& [subfolder, extension, tag] :
         {std::tuple{"idpo", ".mdl", "IDPO"}, {"idp2", ".md2", "IDP2"}}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(root / subfolder)) {
            if (!entry.is_regular_file() || entry.path().extension() != extension) continue;
            ++files;
            const std::string path = entry.path().string();
            const std::string name = entry.path().filename().string();
            SCOPED_TRACE(name);
            const test::ProcessResult run = mdlinfo({"--json", path});
            const Json doc = JsonParser(run.out).parseDocument();
            const std::int64_t bytesRead = checkDocument(doc, tag);
            if (hasGroupedFrames(name)) {
                // Stopped at the group's header, just past which the cursor stays.
                EXPECT_EQ(run.exitCode, 2);
                EXPECT_LT(doc["frames"].items.size(),
                          static_cast<std::size_t>(doc["counts"]["frames"].integer()));
                EXPECT_EQ(run.err.rfind("mdlinfo: " + path + ": frame " +
                                            std::to_string(doc["frames"].items.size()) +
                                            ": starts a group of frames",
                                        0),
                          0u)
                    << run.err;
                EXPECT_NE(
                    run.err.find("(reading stopped at offset " + std::to_string(bytesRead + 28) + ")\n"),
                    std::string::npos)
                    << run.err;
            } else {
                EXPECT_EQ(run.exitCode, 0) << run.err;
                EXPECT_EQ(run.err, "");
                EXPECT_EQ(doc["frames"].items.size(),
                          static_cast<std::size_t>(doc["counts"]["frames"].integer()));
                EXPECT_LE(bytesRead, static_cast<std::int64_t>(entry.file_size()));
            }
            // The summary reads the same way.
            EXPECT_EQ(mdlinfo({path}).exitCode, run.exitCode);
        }
    }
    EXPECT_EQ(files, 16);
}

} // namespace
} // namespace kelvane
