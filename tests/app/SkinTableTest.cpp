#include "app/SkinTable.h"

#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/Mdl7Writer.h"

#include "support/Mdl7Builder.h"
#include "support/Mdl7Dump.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace kelvane {
namespace {

using test::Mdl7Builder;

constexpr std::array<float, 17> kMaterialValues = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};

// A reader standing at the first of `skinCount` skins that `addSkins` appends
// to a one-group model. One texture coordinate (7.5, -2) follows the skins,
// so a test can check that the skins were read to their very end.
class SkinSource {
  public:
    SkinSource(std::int32_t skinCount, const std::function<void(Mdl7Builder&)>& addSkins,
               bool withTexCoord = true)
    {
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = skinCount, .texCoordCount = withTexCoord ? 1 : 0});
        addSkins(b);
        if (withTexCoord) b.texCoord(7.5f, -2.0f);
        const std::string path = b.writeTo(dir_.path("skins.mdl"));
        ok_ = reader.open(path.c_str()) >= 0;
        std::int32_t bones = 0, groups = 0, dataSize = 0, trailer = 0, second = 0;
        ok_ = ok_ && reader.readHeader(bones, groups, dataSize, trailer, second);
        std::uint8_t type = 0;
        std::int32_t groupDataSize = 0, counts[5] = {};
        ok_ = ok_ && reader.readGroupHeader(type, groupDataSize, nullptr) &&
              reader.readGroupCounts(counts[0], counts[1], counts[2], counts[3], counts[4]);
    }

    [[nodiscard]] bool ok() const { return ok_; }

    // True when the reader stands exactly at the texture coordinate.
    bool atTexCoord()
    {
        float s = 0, t = 0;
        return reader.readTexCoord(s, t) && s == 7.5f && t == -2.0f;
    }

    Mdl7Reader reader;

  private:
    test::TempDir dir_;
    bool ok_ = false;
};

// Writes the skins that writeSkins selects with `index` into a one-group
// file and reads that file back.
class WrittenSkins {
  public:
    WrittenSkins(const SkinTable& table, std::int32_t index)
    {
        const std::string path = dir_.path("out.mdl");
        Mdl7Writer writer;
        EXPECT_GE(writer.open(path.c_str()), 0);
        writer.beginGroup(1, "out");
        result = table.writeSkins(writer, index);
        writer.finishGroup();
        EXPECT_TRUE(writer.close());
        const test::DumpedModel model = test::dumpMdl7(path);
        EXPECT_TRUE(model.ok) << model.error;
        if (model.ok && !model.groups.empty()) group = model.groups[0];
    }

    bool result = false;
    test::DumpedGroup group;

  private:
    test::TempDir dir_;
};

std::string text(const std::uint8_t* bytes)
{
    return bytes != nullptr ? reinterpret_cast<const char*>(bytes) : "<null>";
}

TEST(SkinTableTest, ExtReplacesImagesByTextureFileReferences)
{
    SkinSource source(5, [](Mdl7Builder& b) {
        // Kind 4 (three bytes per pixel) with mipmaps: 2x2 main image, one 1x1
        // mipmap, two empty ones.
        b.skin({.type = 0x0C, .width = 2, .height = 2, .name = "wood:2"}).fill(12 + 3, 0xAB);
        b.skin({.type = 7, .width = 8, .height = 1, .name = "ref"}).raw(std::string("tex.tga\0", 8));
        b.skin({.type = 4, .width = 1, .height = 1, .name = ":::a:b"}).fill(3, 1);
        b.skin({.type = 6, .width = 5, .height = 1, .name = "raw"}).fill(5, 2);
        b.skin({.type = 4, .width = 1, .height = 1, .name = "ABCDEFGHIJKLMNO"}).fill(3, 3);
    });
    ASSERT_TRUE(source.ok());
    Options options;
    options.externalTextures = 1;
    std::ostringstream out;
    SkinTable table(options, out);
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(table.readSkin(source.reader)) << k;
    EXPECT_TRUE(source.atTexCoord()) << "the replaced images and mipmaps are still stepped over";
    EXPECT_EQ(out.str(), "skin: wood:2\nskin: ref\nskin: :::a:b\nskin: raw\nskin: ABCDEFGHIJKLMNO\n");
    ASSERT_EQ(table.size(), 5u);

    const SkinRecord& wood = table[0];
    EXPECT_EQ(wood.skinType, 7);
    EXPECT_STREQ(wood.name, "wood:2");
    EXPECT_EQ(text(wood.pixels), "wood.bmp");
    EXPECT_EQ(wood.width, 9);
    EXPECT_EQ(wood.height, 1);
    EXPECT_EQ(wood.bytesPerPixel, 1);
    EXPECT_EQ(wood.hasMipmaps, 0);
    EXPECT_EQ(wood.mipmaps[0], nullptr);
    EXPECT_EQ(wood.mipmaps[2], nullptr);

    // An input reference stays as it is.
    EXPECT_EQ(table[1].skinType, 7);
    EXPECT_EQ(table[1].width, 8);
    EXPECT_EQ(text(table[1].pixels), "tex.tga");
    // Leading colons are skipped; the raw block of kind 6 is an image too.
    EXPECT_EQ(text(table[2].pixels), "a.bmp");
    EXPECT_EQ(table[2].width, 6);
    EXPECT_EQ(text(table[3].pixels), "raw.bmp");
    EXPECT_STREQ(table[4].name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(text(table[4].pixels), "ABCDEFGHIJKLMNO.bmp");

    const WrittenSkins written(table, -1);
    EXPECT_TRUE(written.result);
    ASSERT_EQ(written.group.skins.size(), 5u);
    EXPECT_EQ(written.group.skins[0].type, 7);
    EXPECT_EQ(written.group.skins[0].name, "wood:2");
    EXPECT_EQ(written.group.skins[0].width, 9);
    EXPECT_EQ(written.group.skins[0].height, 1);
    EXPECT_EQ(written.group.skins[0].image, std::string("wood.bmp\0", 9));
    EXPECT_EQ(written.group.skins[0].mipmaps, "");
    EXPECT_EQ(written.group.skins[1].image, std::string("tex.tga\0", 8));
}

TEST(SkinTableTest, ExtKeepsTheImageOfASkinNameWithoutABase)
{
    SkinSource source(2, [](Mdl7Builder& b) {
        b.skin({.type = 4, .width = 1, .height = 1, .name = ""}).raw("xyz");
        b.skin({.type = 0x14, .width = 1, .height = 1, .name = ":::"}).raw("uvw").material(kMaterialValues);
    });
    ASSERT_TRUE(source.ok());
    Options options;
    options.externalTextures = 1;
    std::ostringstream out;
    SkinTable table(options, out);
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(source.atTexCoord());
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].skinType, 4);
    EXPECT_EQ(table[0].width, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[0].pixels), 3), "xyz");
    EXPECT_EQ(table[1].skinType, 0x14);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[1].pixels), 3), "uvw");
}

TEST(SkinTableTest, ImagesWithoutExtAreWrittenAsRead)
{
    // Bits 6 and 7 of the type byte travel along unchanged.
    SkinSource source(1, [](Mdl7Builder& b) {
        b.skin({.type = 0xCC, .width = 4, .height = 2, .name = "img"});
        for (int i = 0; i < 24 + 6; ++i)
            b.u8(static_cast<std::uint8_t>(i + 1));
    });
    ASSERT_TRUE(source.ok());
    Options options;
    std::ostringstream out;
    SkinTable table(options, out);
    ASSERT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(source.atTexCoord());
    EXPECT_EQ(table[0].skinType, 0xCC);
    EXPECT_EQ(table[0].hasMipmaps, 1);

    const WrittenSkins written(table, 0);
    ASSERT_EQ(written.group.skins.size(), 1u);
    const test::DumpedSkin& skin = written.group.skins[0];
    EXPECT_EQ(skin.type, 0xCC);
    EXPECT_EQ(skin.width, 4);
    EXPECT_EQ(skin.height, 2);
    ASSERT_EQ(skin.image.size(), 24u);
    ASSERT_EQ(skin.mipmaps.size(), 6u);
    EXPECT_EQ(skin.image[0], 1);
    EXPECT_EQ(skin.image[23], 24);
    EXPECT_EQ(skin.mipmaps[5], 30);
}

// Reads one skin of kind 4 named wood:2 with a material record and the extra
// block "hello" under `options`.
struct MaterialSkin {
    explicit MaterialSkin(const Options& chosen)
        : options(chosen),
          source(1,
                 [](Mdl7Builder& b) {
                     b.skin({.type = 0x34, .width = 1, .height = 1, .name = "wood:2"}).raw("rgb");
                     b.material(kMaterialValues).extra(5, "hello");
                 }),
          table(options, out)
    {
        EXPECT_TRUE(source.ok());
        read = table.readSkin(source.reader);
        EXPECT_TRUE(source.atTexCoord()) << "the material record and the extra block are always stepped over";
    }
    Options options; // the table keeps a reference
    SkinSource source;
    std::ostringstream out;
    SkinTable table;
    bool read = false;
};

TEST(SkinTableTest, MaterialAndExtraBitsFollowTheOptions)
{
    {
        const MaterialSkin plain(Options{});
        ASSERT_TRUE(plain.read);
        const SkinRecord& r = plain.table[0];
        EXPECT_EQ(r.skinType, 0x34);
        EXPECT_EQ(r.materialColours[0][0], 1.0f);
        EXPECT_EQ(r.materialColours[3][3], 16.0f);
        EXPECT_EQ(r.materialScalar, 17.0f);
        EXPECT_EQ(r.extraDataLength, 5);
        ASSERT_NE(r.extraData, nullptr);
        EXPECT_STREQ(r.extraData, "hello") << "the copy ends in a zero byte";

        const WrittenSkins written(plain.table, 0);
        ASSERT_EQ(written.group.skins.size(), 1u);
        const test::DumpedSkin& skin = written.group.skins[0];
        EXPECT_TRUE(skin.hasMaterial);
        EXPECT_EQ(skin.material, kMaterialValues);
        EXPECT_EQ(skin.extraLength, 5);
        EXPECT_EQ(skin.extra, "hello") << "the appended zero byte is not written";
    }
    {
        Options options;
        options.externalTextures = 1;
        const MaterialSkin ext(options);
        ASSERT_TRUE(ext.read);
        EXPECT_EQ(ext.table[0].skinType, 0x37);
        const WrittenSkins written(ext.table, 0);
        ASSERT_EQ(written.group.skins.size(), 1u);
        EXPECT_EQ(written.group.skins[0].image, std::string("wood.bmp\0", 9));
        EXPECT_EQ(written.group.skins[0].material, kMaterialValues);
        EXPECT_EQ(written.group.skins[0].extra, "hello");
    }
    for (const int ext : {0, 1}) {
        Options options;
        options.externalTextures = ext;
        options.disableMat = 1;
        const MaterialSkin disabled(options);
        ASSERT_TRUE(disabled.read);
        EXPECT_EQ(disabled.table[0].skinType, ext ? 0x07 : 0x04);
        const WrittenSkins written(disabled.table, 0);
        ASSERT_EQ(written.group.skins.size(), 1u);
        EXPECT_FALSE(written.group.skins[0].hasMaterial);
        EXPECT_FALSE(written.group.skins[0].hasExtra);
        EXPECT_EQ(written.group.skins[0].image, ext ? std::string("wood.bmp\0", 9) : std::string("rgb"));
    }
}

TEST(SkinTableTest, ExtraBitWithoutBytesIsWrittenWithALengthOfZero)
{
    SkinSource source(2, [](Mdl7Builder& b) {
        b.skin({.type = 0x24, .width = 1, .height = 1, .name = "zero"}).raw("abc").extra(0, "");
        b.skin({.type = 0x24, .width = 1, .height = 1, .name = "negative"}).raw("def").extra(-3, "");
    });
    ASSERT_TRUE(source.ok());
    Options options;
    std::ostringstream out;
    SkinTable table(options, out);
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(source.atTexCoord());
    ASSERT_EQ(table.size(), 2u);

    const WrittenSkins written(table, -1);
    ASSERT_EQ(written.group.skins.size(), 2u);
    for (const test::DumpedSkin& skin : written.group.skins) {
        EXPECT_EQ(skin.type, 0x24) << skin.name;
        EXPECT_TRUE(skin.hasExtra);
        EXPECT_EQ(skin.extraLength, 0) << skin.name;
    }
    EXPECT_EQ(written.group.skins[1].image, "def")
        << "the second skin starts where the first one's block ends";
}

TEST(SkinTableTest, RefusesSkinsItCannotReadWithoutAppending)
{
    const auto refuses = [](const std::function<void(Mdl7Builder&)>& addSkin, std::int64_t expectedTell,
                            const std::string& name, const std::string& reason) {
        SCOPED_TRACE(reason);
        SkinSource source(1, addSkin, false);
        ASSERT_TRUE(source.ok());
        Options options;
        std::ostringstream out;
        SkinTable table(options, out);
        SkinTable::Refusal refusal;
        EXPECT_FALSE(table.readSkin(source.reader, &refusal));
        EXPECT_EQ(table.size(), 0u);
        EXPECT_EQ(refusal.name, name);
        EXPECT_EQ(refusal.reason, reason);
        if (expectedTell >= 0) {
            EXPECT_EQ(source.reader.tell(), expectedTell);
        }
    };
    constexpr std::int64_t kAfterSkinHeader = 48 + 44 + 28;
    // An image kind with a size below 1 is refused before its image is read.
    refuses([](Mdl7Builder& b) { b.skin({.type = 4, .width = 0, .height = 5, .name = "flat"}).fill(16); },
            kAfterSkinHeader, "flat", "an image of kind 4 cannot be 0 x 5 pixels");
    refuses([](Mdl7Builder& b) { b.skin({.type = 5, .width = 3, .height = -1, .name = "neg"}).fill(16); },
            kAfterSkinHeader, "neg", "an image of kind 5 cannot be 3 x -1 pixels");
    // A header too short to decode, an image longer than the data left.
    refuses(
        [](Mdl7Builder& b) {
            b.setRecordSize(mdl7::header::kSkinHeaderSize, 27)
                .skin({.type = 4, .width = 1, .height = 1})
                .raw("rgb");
        },
        -1, "", "the record size 27 of its header is smaller than the 28 bytes of its fields");
    refuses([](Mdl7Builder& b) { b.skin({.type = 5, .width = 4, .height = 4, .name = "cut"}).fill(10); }, -1,
            "cut", "its image (4 x 4, 4 bytes per pixel) does not fit in the 10 bytes left at offset 120");
    // A material record the data does not hold.
    refuses([](Mdl7Builder& b) { b.skin({.type = 0x14, .width = 1, .height = 1, .name = "m"}).fill(3 + 20); },
            -1, "m", "its material record does not fit in the 20 bytes left at offset 123");
    // Extra-block lengths beyond the data left are refused before anything
    // is allocated for them.
    refuses(
        [](Mdl7Builder& b) {
            b.skin({.type = 0x24, .width = 1, .height = 1}).raw("abc").extra(INT_MAX, "xy");
        },
        -1, "", "its extra block of 2147483647 bytes does not fit in the 2 bytes left at offset 127");
    refuses(
        [](Mdl7Builder& b) { b.skin({.type = 0x24, .width = 1, .height = 1}).raw("abc").extra(4, "xyz"); },
        -1, "", "its extra block of 4 bytes does not fit in the 3 bytes left at offset 127");

    // Kinds 1 and 6 need no size.
    SkinSource source(2, [](Mdl7Builder& b) {
        b.skin({.type = 1, .width = 0, .height = 0, .name = "none"});
        b.skin({.type = 6, .width = 0, .height = 0, .name = "block"});
    });
    Options options;
    std::ostringstream out;
    SkinTable table(options, out);
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_TRUE(table.readSkin(source.reader));
    EXPECT_EQ(table.size(), 2u);
    EXPECT_TRUE(source.atTexCoord());
}

TEST(SkinTableTest, NormalMapsFollowTheSkinsOfEachCall)
{
    Options options;
    options.externalTextures = 1;
    options.normalMaps = 1;
    std::ostringstream out;
    SkinTable table(options, out);

    SkinSource first(2, [](Mdl7Builder& b) {
        b.skin({.type = 4, .width = 1, .height = 1, .name = "wood"}).fill(3);
        b.skin({.type = 4, .width = 1, .height = 1, .name = "stone"}).fill(3);
    });
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(table.readSkin(first.reader));
    ASSERT_TRUE(table.readSkin(first.reader));
    table.addNormalMapSkins();
    ASSERT_EQ(table.size(), 4u);
    const char* const firstNames[] = {"wood.bmp", "stone.bmp", "wood_nm.bmp", "stone_nm.bmp"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(table[i].skinType, 7) << i;
        EXPECT_EQ(text(table[i].pixels), firstNames[i]);
        EXPECT_EQ(table[i].width, static_cast<std::int32_t>(std::strlen(firstNames[i]) + 1));
        EXPECT_EQ(table[i].height, 1);
    }
    EXPECT_STREQ(table[2].name, "wood");
    EXPECT_STREQ(table[3].name, "stone");
    EXPECT_EQ(table[3].extraData, nullptr);

    // A later group's skins get normal maps of their own; the records of the
    // earlier call are not visited again.
    SkinSource second(
        1, [](Mdl7Builder& b) { b.skin({.type = 4, .width = 1, .height = 1, .name = "iron"}).fill(3); });
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(table.readSkin(second.reader));
    table.addNormalMapSkins();
    table.addNormalMapSkins();
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(text(table[4].pixels), "iron.bmp");
    EXPECT_EQ(text(table[5].pixels), "iron_nm.bmp");

    const WrittenSkins written(table, 5);
    ASSERT_EQ(written.group.skins.size(), 1u);
    EXPECT_EQ(written.group.skins[0].type, 7);
    EXPECT_EQ(written.group.skins[0].name, "iron");
    EXPECT_EQ(written.group.skins[0].image, std::string("iron_nm.bmp\0", 12));
}

TEST(SkinTableTest, NormalMapNameComesFromTheSkinNameWithoutAUsableFileName)
{
    SkinSource source(6, [](Mdl7Builder& b) {
        b.skin({.type = 4, .width = 1, .height = 1, .name = "metal:3"}).fill(3, 'm');
        b.skin({.type = 7, .width = 4, .height = 1, .name = "short"}).raw(std::string("a.b\0", 4));
        b.skin({.type = 4, .width = 1, .height = 1, .name = "::"}).fill(3, 'c');
        // A file name without its zero byte: only the six image bytes count,
        // not the next skin header behind them.
        b.skin({.type = 7, .width = 6, .height = 1, .name = "open"}).raw("abcdef");
        b.skin({.type = 7, .width = 12, .height = 1, .name = "zero"}).raw(std::string("x.png\0junk!!", 12));
        b.skin({.type = 7, .width = 0, .height = 1, .name = "empty:1"});
    });
    ASSERT_TRUE(source.ok());
    Options options;
    options.normalMaps = 1;
    std::strcpy(options.textureExt, "tga");
    std::ostringstream out;
    SkinTable table(options, out);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(table.readSkin(source.reader)) << k;
    EXPECT_TRUE(source.atTexCoord());
    table.addNormalMapSkins();

    ASSERT_EQ(table.size(), 6u + 5u) << "the skin named \"::\" gives no normal-map name";
    const char* const expected[][2] = {{"metal:3", "metal_nm.tga"},
                                       {"short", "short_nm.tga"},
                                       {"open", "ab_nm.tga"},
                                       {"zero", "x_nm.tga"},
                                       {"empty:1", "empty_nm.tga"}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_STREQ(table[6 + i].name, expected[i][0]);
        EXPECT_EQ(text(table[6 + i].pixels), expected[i][1]);
        EXPECT_EQ(table[6 + i].skinType, 7);
    }
}

TEST(SkinTableTest, WriteSkinsSelectsOneRecordAllOrNone)
{
    Options options;
    std::ostringstream out;
    SkinTable table(options, out);
    {
        const WrittenSkins written(table, -1);
        EXPECT_TRUE(written.result);
        EXPECT_EQ(written.group.skinCount, 0);
    }

    SkinSource source(3, [](Mdl7Builder& b) {
        b.skin({.type = 4, .width = 1, .height = 1, .name = "a"}).raw("AAA");
        b.skin({.type = 4, .width = 1, .height = 1, .name = "b"}).raw("BBB");
        b.skin({.type = 4, .width = 1, .height = 1, .name = "c"}).raw("CCC");
    });
    ASSERT_TRUE(source.ok());
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(table.readSkin(source.reader));

    const WrittenSkins one(table, 1);
    EXPECT_TRUE(one.result);
    ASSERT_EQ(one.group.skins.size(), 1u);
    EXPECT_EQ(one.group.skins[0].name, "b");
    EXPECT_EQ(one.group.skins[0].image, "BBB");

    const WrittenSkins all(table, -1);
    EXPECT_TRUE(all.result);
    ASSERT_EQ(all.group.skins.size(), 3u);
    EXPECT_EQ(all.group.skins[0].name, "a");
    EXPECT_EQ(all.group.skins[2].image, "CCC");

    for (const std::int32_t index : {3, -2, INT_MAX, INT_MIN}) {
        const WrittenSkins none(table, index);
        EXPECT_TRUE(none.result) << index;
        EXPECT_EQ(none.group.skinCount, 0) << index;
    }
}

TEST(SkinTableTest, WriteSkinsStopsAtARecordWithoutImageSize)
{
    SkinSource source(2, [](Mdl7Builder& b) {
        b.skin({.type = 1, .width = 0, .height = 0, .name = "none"});
        b.skin({.type = 4, .width = 1, .height = 1, .name = "after"}).raw("xyz");
    });
    ASSERT_TRUE(source.ok());
    Options options;
    std::ostringstream out;
    SkinTable table(options, out);
    ASSERT_TRUE(table.readSkin(source.reader));
    ASSERT_TRUE(table.readSkin(source.reader));

    const WrittenSkins all(table, -1);
    EXPECT_FALSE(all.result);
    ASSERT_EQ(all.group.skins.size(), 1u) << "nothing after the record it stopped at";
    EXPECT_EQ(all.group.skins[0].name, "none");

    const WrittenSkins later(table, 1);
    EXPECT_TRUE(later.result);
    ASSERT_EQ(later.group.skins.size(), 1u);
    EXPECT_EQ(later.group.skins[0].name, "after");
}

} // namespace
} // namespace kelvane
