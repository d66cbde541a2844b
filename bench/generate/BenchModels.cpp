#include "bench/generate/BenchModels.h"

#include "mdl/Mdl7Writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace kelvane::bench {

namespace {

constexpr std::int32_t kVerticesPerGroup = 2000;
constexpr std::int32_t kTrianglesPerGroup = 3000;
constexpr std::int32_t kTexCoordsPerGroup = 2000;

constexpr std::int32_t kWideGroupCount = 1000;
constexpr std::int32_t kWideSkinCount = 4;
constexpr std::int32_t kSkinSide = 256;
constexpr std::int32_t kSkinBytesPerPixel = 3;
// Image kind 4 (three bytes per pixel) with the mipmap flag.
constexpr std::int32_t kSkinType = 4 | 0x08;

constexpr std::int32_t kFramedGroupCount = 200;
constexpr std::int32_t kFramesPerGroup = 10;

// splitmix64: small, fast and the same everywhere, unlike the standard
// library's distributions.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // A float in [0, 1) from the top 24 bits.
    float unit() { return float(next() >> 40) * (1.0f / 16777216.0f); }
    float range(float low, float high) { return low + (high - low) * unit(); }
    std::int32_t below(std::int32_t bound) { return std::int32_t(next() % std::uint64_t(bound)); }

  private:
    std::uint64_t state_;
};

// Vertices scattered in a box of side 10 around a centre that differs per
// group, so every group file gets its own offset.
void writeVertices(Mdl7Writer& writer, Random& random, std::int32_t group)
{
    const float cx = float(group % 32) * 20.0f;
    const float cy = float(group / 32) * 20.0f;
    const float cz = float(group % 7) * -5.0f;
    for (std::int32_t i = 0; i < kVerticesPerGroup; ++i) {
        const float x = cx + random.range(-5.0f, 5.0f);
        const float y = cy + random.range(-5.0f, 5.0f);
        const float z = cz + random.range(-5.0f, 5.0f);
        writer.writeVertex(x, y, z, -1, random.range(-1.0f, 1.0f), random.range(-1.0f, 1.0f),
                           random.range(-1.0f, 1.0f));
    }
}

void writeTriangles(Mdl7Writer& writer, Random& random, std::int32_t texCoordCount, std::int32_t skinCount)
{
    for (std::int32_t i = 0; i < kTrianglesPerGroup; ++i) {
        const std::int32_t v0 = random.below(kVerticesPerGroup);
        const std::int32_t v1 = random.below(kVerticesPerGroup);
        const std::int32_t v2 = random.below(kVerticesPerGroup);
        std::int32_t t0 = -1, t1 = -1, t2 = -1;
        if (texCoordCount > 0) {
            t0 = random.below(texCoordCount);
            t1 = random.below(texCoordCount);
            t2 = random.below(texCoordCount);
        }
        writer.writeTriangle(v0, v1, v2, t0, t1, t2, skinCount > 0 ? random.below(skinCount) : 0);
    }
}

void writeSkins(Mdl7Writer& writer, Random& random)
{
    std::size_t bytes = 0;
    for (std::int32_t side = kSkinSide, level = 0; level < 4; side /= 2, ++level) {
        bytes += std::size_t(side) * std::size_t(side) * kSkinBytesPerPixel;
    }
    std::vector<std::uint8_t> pixels(bytes);
    const std::size_t main = std::size_t(kSkinSide) * kSkinSide * kSkinBytesPerPixel;
    for (std::int32_t k = 0; k < kWideSkinCount; ++k) {
        for (std::uint8_t& p : pixels)
            p = static_cast<std::uint8_t>(random.next() >> 56);
        const std::string name = "skin" + std::to_string(k) + ":wood";
        writer.beginSkin(kSkinType, name.c_str());
        writer.setSkinImage(kSkinSide, kSkinSide, kSkinBytesPerPixel, true);
        writer.writeSkinPixels(pixels.data(), pixels.data() + main, pixels.data() + main + main / 4,
                               pixels.data() + main + main / 4 + main / 16);
        writer.finishSkin();
    }
}

} // namespace

bool writeWideModel(const std::string& path)
{
    Mdl7Writer writer;
    if (writer.open(path.c_str()) < 0) return false;
    Random random(0x5EED0001);
    for (std::int32_t g = 0; g < kWideGroupCount; ++g) {
        const std::string name = "wide" + std::to_string(g);
        writer.beginGroup(1, name.c_str());
        if (g == 0) writeSkins(writer, random);
        for (std::int32_t i = 0; i < kTexCoordsPerGroup; ++i)
            writer.writeTexCoord(random.unit(), random.unit());
        writeTriangles(writer, random, kTexCoordsPerGroup, kWideSkinCount);
        writeVertices(writer, random, g);
        writer.finishGroup();
    }
    return writer.close();
}

bool writeFramedModel(const std::string& path)
{
    Mdl7Writer writer;
    if (writer.open(path.c_str()) < 0) return false;
    Random random(0x5EED0002);
    for (std::int32_t g = 0; g < kFramedGroupCount; ++g) {
        const std::string name = "framed" + std::to_string(g);
        writer.beginGroup(1, name.c_str());
        writeTriangles(writer, random, 0, 0);
        writeVertices(writer, random, g);
        for (std::int32_t f = 0; f < kFramesPerGroup; ++f) {
            const std::string frameName = "frame" + std::to_string(f);
            writer.beginFrame(frameName.c_str());
            for (std::int32_t i = 0; i < kVerticesPerGroup; ++i) {
                writer.writeFrameVertex(i, random.range(-5.0f, 5.0f), random.range(-5.0f, 5.0f),
                                        random.range(-5.0f, 5.0f), 0.0f, 0.0f, 1.0f);
            }
            writer.finishFrame();
        }
        writer.finishGroup();
    }
    return writer.close();
}

ScratchFolder::ScratchFolder(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && base[0] != '\0') ? base : "/tmp";
    pattern += "/" + prefix + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    path_ = name.data();
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

WideModelFile::WideModelFile(const std::string& folderPrefix)
    : folder(folderPrefix), path(folder.path() + "/wide.mdl")
{
    if (!writeWideModel(path)) {
        std::fprintf(stderr, "writing %s failed\n", path.c_str());
        std::exit(1);
    }
    size = static_cast<std::int64_t>(std::filesystem::file_size(path));
}

} // namespace kelvane::bench
