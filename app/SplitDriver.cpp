#include "app/SplitDriver.h"

#include "app/SkinTable.h"
#include "level/LevelExport.h"
#include "level/Wmpio.h"
#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/Mdl7Writer.h"
#include "mdl/MeshRecords.h"
#include "mdl/PlatformFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace kelvane {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TextFile = std::unique_ptr<std::FILE, FileCloser>;

// The suffix the input name loses to form the output names (".mdl").
constexpr std::size_t kExtensionLength = 4;

// Whether `count` records of `recordSize` bytes can lie in `remaining`
// bytes. A stored record size below what a read takes is counted at that
// minimum, so a zero size cannot make a huge count look small.
bool fits(std::int32_t count, std::int32_t recordSize, std::int32_t minimumSize, std::int64_t remaining)
{
    const std::int64_t size = recordSize > minimumSize ? recordSize : minimumSize;
    return std::int64_t(count) * size <= remaining;
}

// A group header as the split uses it.
struct GroupHeader {
    std::uint8_t type = 0;
    std::int32_t dataSize = 0;
    char name[mdl7::group::kNameSize] = {};
};

// The record counts of a mesh group header.
struct GroupCounts {
    std::int32_t skins = 0, texCoords = 0, triangles = 0, vertices = 0, frames = 0;
};

struct Centre {
    float x = 0, y = 0, z = 0;
};

// The centre of the bounding box of `vertices`, which is not empty. "Not
// less than" and "not greater than" are written as negated comparisons so
// that every input, NaN included, has a defined result.
Centre boundingBoxCentre(std::span<const VertexRecord> vertices)
{
    float maxX = vertices[0].x, maxY = vertices[0].y, maxZ = vertices[0].z;
    float minX = maxX, minY = maxY, minZ = maxZ;
    for (const VertexRecord& v : vertices) {
        if (!(v.x < maxX)) maxX = v.x;
        if (!(v.y < maxY)) maxY = v.y;
        if (!(v.z < maxZ)) maxZ = v.z;
        if (!(v.x > minX)) minX = v.x;
        if (!(v.y > minY)) minY = v.y;
        if (!(v.z > minZ)) minZ = v.z;
    }
    return {(minX + maxX) * 0.5f, (minY + maxY) * 0.5f, (minZ + maxZ) * 0.5f};
}

// Why the MDL7 reader refused to open `path`, as the rest of a message
// that starts with the path: the cause a user can act on.
std::string whyUnusable(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(platform::filesystemPath(path.c_str()), error)) return "is a directory";
    const int descriptor = platform::openRead(path.c_str());
    if (descriptor < 0) return std::string("cannot be opened: ") + std::strerror(errno);
    std::uint8_t header[mdl7::kFileHeaderSize] = {};
    const std::int64_t length = platform::seekEnd(descriptor);
    const std::int64_t got = length < 0 || platform::seekSet(descriptor, 0) != 0
                                 ? -1
                                 : platform::readAll(descriptor, header, sizeof header);
    const int readError = errno;
    platform::close(descriptor);
    if (got < 0) return std::string("cannot be read: ") + std::strerror(readError);

    std::string cause;
    if (length == 0) {
        cause = "it is empty";
    } else if (got >= 4 && std::memcmp(header, mdl7::kMagic, sizeof mdl7::kMagic) != 0) {
        const bool printable =
            std::all_of(header, header + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
        cause = printable ? "it starts with \"" + std::string(header, header + 4) + "\", not \"MDL7\""
                          : "it does not start with \"MDL7\"";
    } else if (length < mdl7::kFileHeaderSize) {
        cause = "it has " + std::to_string(length) + " bytes, fewer than the 48 of the file header";
    } else if (length > std::numeric_limits<std::int32_t>::max()) {
        cause = "it has " + std::to_string(length) + " bytes; its 32-bit sizes cannot reach past 2 GiB";
    } else {
        // The reader refuses data sizes that do not even cover the header.
        const std::uint32_t sum = mdl7::dataSizeSum(header);
        if (sum >= std::uint32_t(mdl7::kFileHeaderSize)) return "cannot be read";
        cause = "the header's data sizes add up to " + std::to_string(std::bit_cast<std::int32_t>(sum)) +
                ", less than the 48 bytes of the header itself";
    }
    return "is not an MDL7 file (" + cause + ")";
}

} // namespace

// The state of one split: the inputs and outputs of the whole run, and the
// failure message when it stops.
class SplitDriver::Run {
  public:
    Run(const Options& options, std::ostream& out, std::ostream& err, const char* inputName)
        : options_(options), out_(out), err_(err), inputName_(inputName), skins_(options, out)
    {
    }

    bool execute();

  private:
    // Reads group `group` and, for a mesh group, writes its group file and
    // its share of the other outputs: the steps below, in file order.
    bool processGroup(std::int32_t group);
    bool readGroupHeader(std::int32_t group, GroupHeader& header);
    // Steps over a group that is not a mesh; its index is used up all the same.
    bool skipOtherGroup(std::int32_t group, const GroupHeader& header);
    // Reads, prints and checks the counts of a mesh group.
    bool readCounts(std::int32_t group, const GroupHeader& header, GroupCounts& counts);
    bool checkCounts(std::int32_t group, const GroupCounts& counts);
    // Names the group file, then opens it with the group header begun.
    bool beginGroupFile(std::int32_t group, const GroupHeader& header);
    // Reads the group's skins into the table, with a warning on stderr for
    // each skin the table drops, and adds their normal maps.
    void readSkins(std::int32_t group, std::int32_t count);
    // Reads the texture coordinates, then the triangles of a group that has
    // vertices; steps over the triangles of one that has none.
    bool readTexCoordsAndTriangles(std::int32_t group, const GroupCounts& counts);
    bool readTriangles(std::int32_t group, std::int32_t triangleCount, std::int32_t vertexCount);
    // Writes the skins the group file gets, decided by the first triangle,
    // and points the triangles at them.
    void writeChosenSkins();
    bool readVertices(std::int32_t group, std::int32_t vertexCount);
    // Hands the group's centre to the positions file, the level file and the
    // offset mesh, and writes the vertices moved by it.
    void writeCentredVertices(const Centre& centre);
    // Steps over the frames and completes the group file.
    bool finishGroupFile();
    bool finishOutputs();

    // Whether creating `output` would truncate the input itself: the same
    // name after the last four characters are swapped (an input "a.wmp" and
    // its level file), or a link to it. The input is mapped while it is read,
    // so losing its bytes would not only destroy it but crash the run.
    bool isInput(const std::string& output) const;
    // Reports a failure about `file` on stderr; always false.
    bool fail(const std::string& file, const std::string& what);
    // Reports a failure about the input at group `group`.
    bool failGroup(std::int32_t group, const std::string& what);
    // Why the reader stopped on a record of `kind` whose stored size is
    // `recordSize` and whose reads need `minimumSize` bytes.
    std::string readFailure(const char* kind, std::size_t number, std::size_t count, std::int32_t recordSize,
                            std::int32_t minimumSize) const;

    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string inputName_;
    std::string baseName_;
    std::string positionsName_;
    std::string offsetMeshName_;
    std::string levelName_;

    Mdl7Reader reader_;
    SkinTable skins_;
    TextFile positions_;
    Mdl7Writer offsetMesh_;
    // The writer of the group file in hand and the group's records. They
    // are kept from group to group so that their buffers are allocated once
    // per run rather than once per group; every group still starts from
    // zero-filled records of exactly its own counts (each read step assigns
    // them).
    Mdl7Writer groupWriter_;
    std::vector<TexCoordRecord> texCoords_;
    std::vector<TriangleRecord> triangles_;
    std::vector<VertexRecord> vertices_;
    // Skin count of the latest group that had skins: the normal-map skin of
    // that group's skin k stands at lastGroupSkinCount + k.
    std::int32_t lastGroupSkinCount_ = 0;
    std::int32_t groupCount_ = 0;
    // The group file name, rewritten for every group.
    std::string groupFileName_;

    // The latest skin the table dropped. When the data ended inside it, every
    // later read fails for its sake, and a stop message names it rather
    // than the record that found no data after it.
    struct DroppedSkin {
        std::int32_t group = 0;
        std::int32_t index = 0;
        std::string skin; // "skin 1 of 3 (\"wood\")"
        std::string reason;
        bool dataEnded = false;
    };
    std::optional<DroppedSkin> droppedSkin_;

    // Whether the data ended inside the latest dropped skin, so that no
    // read after it can succeed.
    bool dataEndedInDroppedSkin() const
    {
        return droppedSkin_ && droppedSkin_->dataEnded && reader_.remaining() == 0;
    }
};

SplitDriver::SplitDriver(const Options& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err)
{
}

bool SplitDriver::run(const char* modelFileName)
{
    Run run(options_, out_, err_, modelFileName);
    return run.execute();
}

bool SplitDriver::Run::fail(const std::string& file, const std::string& what)
{
    err_ << "Kelvane: " << file << ": " << what << std::endl;
    return false;
}

bool SplitDriver::Run::isInput(const std::string& output) const
{
    return platform::sameFile(inputName_.c_str(), output.c_str());
}

bool SplitDriver::Run::failGroup(std::int32_t group, const std::string& what)
{
    if (dataEndedInDroppedSkin()) {
        return fail(inputName_, "group " + std::to_string(droppedSkin_->group) + ": " + droppedSkin_->skin +
                                    ": " + droppedSkin_->reason);
    }
    // A skin refused without reading it leaves the reader inside its data,
    // so what the group reads next may be its bytes.
    const bool afterDrop = droppedSkin_ && droppedSkin_->group == group;
    return fail(inputName_, "group " + std::to_string(group) + ": " + what +
                                (afterDrop ? " (after " + droppedSkin_->skin + " was dropped)" : ""));
}

void SplitDriver::Run::readSkins(std::int32_t group, std::int32_t count)
{
    // Skins are only collected here; which of them reach the file is decided
    // by the group's first triangle.
    if (count == 0) return;
    lastGroupSkinCount_ = count;
    // Once the data has ended inside a skin, the skins after it are summed
    // up in one line rather than one each (a count can run to thousands).
    std::int32_t firstLost = -1;
    for (std::int32_t k = 0; k < count; ++k) {
        const bool dataGone = dataEndedInDroppedSkin();
        SkinTable::Refusal refusal;
        if (skins_.readSkin(reader_, &refusal)) continue;
        if (dataGone) {
            if (firstLost < 0) firstLost = k;
            continue;
        }
        std::string skin = "skin " + std::to_string(k) + " of " + std::to_string(count);
        if (!refusal.name.empty()) skin += " (\"" + refusal.name + "\")";
        err_ << "Kelvane: " << inputName_ << ": group " << group << ": " << skin
             << " is dropped: " << refusal.reason << std::endl;
        droppedSkin_ = DroppedSkin{group, k, skin, refusal.reason, reader_.remaining() == 0};
    }
    if (firstLost >= 0) {
        err_ << "Kelvane: " << inputName_ << ": group " << group << ": skin"
             << (firstLost + 1 < count ? "s " : " ") << firstLost
             << (firstLost + 1 < count ? " to " + std::to_string(count - 1) + " are" : " is")
             << " dropped: the data ended in skin " << droppedSkin_->index << std::endl;
    }
    if (options_.normalMaps) skins_.addNormalMapSkins();
}

std::string SplitDriver::Run::readFailure(const char* kind, std::size_t number, std::size_t count,
                                          std::int32_t recordSize, std::int32_t minimumSize) const
{
    std::ostringstream text;
    text << kind << ' ' << number << " of " << count << ": ";
    if (recordSize < minimumSize) {
        text << "the record size " << recordSize << " is smaller than the " << minimumSize
             << " bytes of its fields";
    } else {
        text << "the data ends at offset " << reader_.tell();
    }
    return text.str();
}

bool SplitDriver::Run::execute()
{
    if (inputName_.size() < kExtensionLength) {
        return fail(inputName_,
                    "the name is shorter than 4 characters, so no output names can be formed from it");
    }
    baseName_ = inputName_.substr(0, inputName_.size() - kExtensionLength);
    positionsName_ = baseName_ + "_pos.txt";
    offsetMeshName_ = baseName_ + "_off.mdl";
    levelName_ = baseName_ + ".wmp";

    // The input is opened and checked before any output exists: an input
    // that cannot be used leaves nothing behind.
    if (reader_.open(inputName_.c_str()) < 0) return fail(inputName_, whyUnusable(inputName_));

    const bool outputs[] = {true, options_.offsetMesh != 0, options_.writeWmp != 0};
    const std::string* names[] = {&positionsName_, &offsetMeshName_, &levelName_};
    for (int i = 0; i < 3; ++i) {
        if (outputs[i] && isInput(*names[i])) {
            return fail(*names[i], "is the input file itself; it is not overwritten");
        }
    }
    positions_.reset(std::fopen(positionsName_.c_str(), "w"));
    if (!positions_) return fail(positionsName_, std::string("cannot be created: ") + std::strerror(errno));

    if (options_.offsetMesh) {
        if (offsetMesh_.open(offsetMeshName_.c_str()) < 0) {
            return fail(offsetMeshName_, std::string("cannot be created: ") + std::strerror(errno));
        }
        offsetMesh_.beginGroup(mdl7::kMeshGroupType, nullptr);
    }

    std::int32_t boneCount = 0, groupCount = 0, modelDataSize = 0, trailerSize = 0, secondTrailerSize = 0;
    reader_.readHeader(boneCount, groupCount, modelDataSize, trailerSize, secondTrailerSize);
    out_ << boneCount << ' ' << groupCount << ' ' << modelDataSize << ' ' << trailerSize << ' '
         << secondTrailerSize << std::endl;
    if (boneCount != 0) reader_.skipBones();

    // Every group takes at least its 44-byte header, so a count that cannot
    // fit in the data is corrupt; refuse it before anything is sized by it,
    // the level file's one element per group among them.
    if (groupCount < 0 || !fits(groupCount, mdl7::kGroupHeaderSize, 0, reader_.remaining())) {
        return fail(inputName_, "the header announces " + std::to_string(groupCount) + " groups, but " +
                                    std::to_string(reader_.remaining()) +
                                    " bytes are left after the bones (44 bytes per group header)");
    }

    groupCount_ = groupCount;
    if (groupCount != 0) {
        if (options_.writeWmp) {
            if (!createLevelFile(levelName_.c_str(), groupCount) || wmpioFailed()) {
                return fail(levelName_, "cannot be created");
            }
        }
        for (std::int32_t j = 0; j < groupCount; ++j) {
            if (!processGroup(j)) return false;
        }
    }
    return finishOutputs();
}

bool SplitDriver::Run::finishOutputs()
{
    // Everything is closed before the first failure is reported, so one
    // output that could not be written does not leave the others unfinished.
    bool ok = true;
    const bool positionsWritten = std::ferror(positions_.get()) == 0;
    const bool positionsClosed = std::fclose(positions_.release()) == 0;
    if (!positionsWritten || !positionsClosed) ok = fail(positionsName_, "could not be written completely");
    reader_.close();
    if (options_.offsetMesh) {
        offsetMesh_.finishGroup();
        if (!offsetMesh_.close()) ok = fail(offsetMeshName_, "could not be written completely");
    }
    if (options_.writeWmp) {
        wmpioClose();
        // A run with no groups creates no level file; the close then does
        // nothing and there is nothing to report.
        if (groupCount_ != 0 && wmpioFailed()) ok = fail(levelName_, "could not be written completely");
    }
    return ok;
}

bool SplitDriver::Run::checkCounts(std::int32_t group, const GroupCounts& counts)
{
    struct Count {
        const char* kind;
        std::int32_t count;
        std::int32_t recordSize;
        std::int32_t minimumSize;
    };
    const Count checked[] = {
        {"skin", counts.skins, reader_.skinHeaderSize(), mdl7::skin::kMinReadSize},
        {"texture coordinate", counts.texCoords, reader_.texCoordRecordSize(), mdl7::texcoord::kMinReadSize},
        {"triangle", counts.triangles, reader_.triangleRecordSize(), mdl7::triangle::kMinReadSize},
        {"vertex", counts.vertices, reader_.vertexRecordSize(), mdl7::vertex::kMinReadSize},
    };
    const std::int64_t left = reader_.remaining();
    for (const Count& c : checked) {
        if (c.count < 0)
            return failGroup(group, std::string("the ") + c.kind + " count " + std::to_string(c.count) +
                                        " is negative");
        if (!fits(c.count, c.recordSize, c.minimumSize, left)) {
            return failGroup(group,
                             std::to_string(c.count) + " " + c.kind + " records of " +
                                 std::to_string(c.recordSize > c.minimumSize ? c.recordSize : c.minimumSize) +
                                 " bytes cannot fit in the " + std::to_string(left) +
                                 " bytes left after the group header");
        }
    }
    return true;
}

bool SplitDriver::Run::processGroup(std::int32_t group)
{
    GroupHeader header;
    if (!readGroupHeader(group, header)) return false;
    if (header.type != mdl7::kMeshGroupType) return skipOtherGroup(group, header);

    GroupCounts counts;
    if (!readCounts(group, header, counts) || !beginGroupFile(group, header)) return false;
    readSkins(group, counts.skins);
    if (!readTexCoordsAndTriangles(group, counts)) return false;
    // Without vertices the file keeps only its headers.
    if (counts.vertices != 0) {
        writeChosenSkins();
        groupWriter_.writeTexCoords(texCoords_);
        groupWriter_.writeTriangles(triangles_);
        if (!readVertices(group, counts.vertices)) return false;
        writeCentredVertices(boundingBoxCentre(vertices_));
    }
    return finishGroupFile();
}

bool SplitDriver::Run::readGroupHeader(std::int32_t group, GroupHeader& header)
{
    if (reader_.readGroupHeader(header.type, header.dataSize, header.name)) return true;
    return failGroup(group, "the group header does not fit in the data (offset " +
                                std::to_string(reader_.tell()) + ")");
}

bool SplitDriver::Run::skipOtherGroup(std::int32_t group, const GroupHeader& header)
{
    if (reader_.skipGroup()) return true;
    return failGroup(group, "cannot step over this group of type " + std::to_string(header.type) +
                                " and size " + std::to_string(header.dataSize) + " (offset " +
                                std::to_string(reader_.tell()) + ")");
}

bool SplitDriver::Run::readCounts(std::int32_t group, const GroupHeader& header, GroupCounts& counts)
{
    reader_.readGroupCounts(counts.skins, counts.texCoords, counts.triangles, counts.vertices, counts.frames);
    out_ << header.name << ' ' << counts.skins << ' ' << counts.texCoords << ' ' << counts.triangles << ' '
         << counts.vertices << ' ' << counts.frames << std::endl;
    return checkCounts(group, counts);
}

bool SplitDriver::Run::beginGroupFile(std::int32_t group, const GroupHeader& header)
{
    // The base name, then the group index with three digits at least.
    const std::string index = std::to_string(group);
    groupFileName_.assign(baseName_)
        .append(index.size() < 3 ? 3 - index.size() : 0, '0')
        .append(index)
        .append(".mdl");
    out_ << groupFileName_ << std::endl;
    if (isInput(groupFileName_))
        return fail(groupFileName_, "is the input file itself; it is not overwritten");
    if (groupWriter_.open(groupFileName_.c_str()) < 0) {
        return fail(groupFileName_, std::string("cannot be created: ") + std::strerror(errno));
    }
    groupWriter_.beginGroup(header.type, header.name);
    return true;
}

bool SplitDriver::Run::readTexCoordsAndTriangles(std::int32_t group, const GroupCounts& counts)
{
    texCoords_.assign(static_cast<std::size_t>(counts.texCoords), TexCoordRecord{});
    const std::size_t read = reader_.readTexCoords(texCoords_);
    if (read != texCoords_.size()) {
        return failGroup(group, readFailure("texture coordinate", read, texCoords_.size(),
                                            reader_.texCoordRecordSize(), mdl7::texcoord::kMinReadSize));
    }
    if (counts.vertices != 0) return readTriangles(group, counts.triangles, counts.vertices);
    // Triangles of a group without vertices are not written; they are
    // stepped over so the frames and the next group are read where they
    // really start.
    if (counts.triangles != 0) (void)reader_.skipTriangles();
    return true;
}

bool SplitDriver::Run::readTriangles(std::int32_t group, std::int32_t triangleCount, std::int32_t vertexCount)
{
    triangles_.assign(static_cast<std::size_t>(triangleCount), TriangleRecord{});
    const std::size_t read = reader_.readTriangles(triangles_);
    if (read == triangles_.size()) return true;
    // A triangle the reader took but refused names a vertex outside the
    // group; otherwise the record itself could not be read.
    for (std::int32_t vertex : triangles_[read].vertexIndex) {
        if (vertex >= vertexCount) {
            return failGroup(group, "triangle " + std::to_string(read) + " uses vertex " +
                                        std::to_string(vertex) + " of " + std::to_string(vertexCount));
        }
    }
    return failGroup(group, readFailure("triangle", read, triangles_.size(), reader_.triangleRecordSize(),
                                        mdl7::triangle::kMinReadSize));
}

void SplitDriver::Run::writeChosenSkins()
{
    // The skin of the first triangle (every skin without one, or with --all)
    // goes into the file, with its normal map when there are normal maps.
    const std::int32_t chosen = options_.allSkins || triangles_.empty() ? -1 : triangles_[0].skinIndex;
    skins_.writeSkins(groupWriter_, chosen);
    if (options_.normalMaps && chosen != -1) {
        const std::int64_t normalMap = std::int64_t(lastGroupSkinCount_) + chosen;
        if (normalMap >= 0 && normalMap < std::int64_t(skins_.size())) {
            skins_.writeSkins(groupWriter_, static_cast<std::int32_t>(normalMap));
        }
    }
    // Without --all the file has the one chosen skin (and its normal map),
    // and every triangle uses the first.
    if (!options_.allSkins) {
        for (TriangleRecord& t : triangles_)
            t.skinIndex = 0;
    }
}

bool SplitDriver::Run::readVertices(std::int32_t group, std::int32_t vertexCount)
{
    // A short record's normal comes from the normal table (a 16-byte record)
    // or is the zero normal; either is what the vertex has.
    vertices_.assign(static_cast<std::size_t>(vertexCount), VertexRecord{});
    const std::size_t read = reader_.readVertices(vertices_);
    if (read == vertices_.size()) return true;
    return failGroup(group, readFailure("vertex", read, vertices_.size(), reader_.vertexRecordSize(),
                                        mdl7::vertex::kMinReadSize));
}

void SplitDriver::Run::writeCentredVertices(const Centre& centre)
{
    std::fprintf(positions_.get(), "%s   %f %f %f\n", groupFileName_.c_str(), double(centre.x),
                 double(centre.y), double(centre.z));
    if (options_.writeWmp) addModelEntity(groupFileName_.c_str(), centre.x, centre.y, centre.z);
    if (options_.offsetMesh) offsetMesh_.writeVertex(centre.x, centre.y, centre.z, 0, 0.0f, 0.0f, 0.0f);
    for (VertexRecord& v : vertices_) {
        v.x -= centre.x;
        v.y -= centre.y;
        v.z -= centre.z;
    }
    groupWriter_.writeVertices(vertices_);
}

bool SplitDriver::Run::finishGroupFile()
{
    (void)reader_.skipFrames();
    groupWriter_.finishGroup();
    if (!groupWriter_.close()) return fail(groupFileName_, "could not be written completely");
    return true;
}

} // namespace kelvane
