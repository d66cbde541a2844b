// SkinTable: the program-wide table through which skins travel from the
// input model to the group files.
//
// While a group is read, readSkin takes each skin from the reader, turns it
// into a SkinRecord as the options ask (an external texture reference with
// --ext, material record and extra block dropped with --disableMat) and
// appends it; addNormalMapSkins then appends a normal-map reference for each
// of those skins (--nm). writeSkins hands one record, or all of them, to a
// group file's writer. The table only grows: records are identified by their
// position, counted from 0 over the whole run.
#pragma once

#include "app/Options.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace kelvane {

class Mdl7Reader;
class Mdl7Writer;

struct SkinRecord {
    // Written unchanged as the skin header's type byte: image kind in bits
    // 0-2, 0x08 mipmaps, 0x10 material record, 0x20 extra block.
    std::uint8_t skinType = 0;
    char name[16] = {};
    // For image kind 7 the width is the byte count of the texture file name,
    // terminator included, and the height 1.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    std::uint8_t hasMipmaps = 0;
    // The main image (for kind 7 the zero-terminated texture file name) and
    // the three mipmaps. Images taken over from the input point into the
    // reader's buffer, which must stay open while the table is written from;
    // names made here are owned by the table.
    const std::uint8_t* pixels = nullptr;
    const std::uint8_t* mipmaps[3] = {};
    float materialColours[4][4] = {};
    float materialScalar = 0;
    // A copy of the extra block with one zero byte appended (owned by the
    // table); the length does not count the appended zero.
    const char* extraData = nullptr;
    std::int32_t extraDataLength = 0;
};

class SkinTable {
  public:
    // Skin lines ("skin: " and the name) go to `out`.
    SkinTable(const Options& options, std::ostream& out);

    // Why readSkin appended nothing.
    struct Refusal {
        // The skin name as read; empty when its header could not be read.
        std::string name;
        // What was wrong, such as "its image (4 x 4, 3 bytes per pixel) does
        // not fit in the 20 bytes left at offset 130".
        std::string reason;
    };

    // Reads the reader's current skin (header, format, image, material, extra
    // block), prints its line and appends it. Returns false, appending
    // nothing and saying why in `refusal` (when given), when a reader call
    // fails or a skin of an image kind other than 1, 6 and 7 has a width or
    // height below 1 (its image is then not read); the reader stays where the
    // failed call left it.
    bool readSkin(Mdl7Reader& reader, Refusal* refusal = nullptr);

    // Appends a normal-map reference (image kind 7, "<base>_nm.<ext>") for
    // each record that readSkin appended since the previous call. The base is
    // the record's texture file name less its last four characters; for a
    // record that carries no such name (not kind 7, or a name shorter than
    // four characters) it is the skin name up to its first ":". A record
    // whose base comes out empty gets no normal map.
    void addNormalMapSkins();

    // Writes the record at `index`, or every record for -1, as skins of the
    // writer's current group. An index outside the table writes nothing and
    // returns true. Returns false when it stops at a record of an image kind
    // other than 6 and 7 whose width or height is 0 or less (that skin is
    // left unfinished and no later record is written).
    bool writeSkins(Mdl7Writer& writer, std::int32_t index) const;

    [[nodiscard]] std::size_t size() const { return records_.size(); }
    [[nodiscard]] const SkinRecord& operator[](std::size_t index) const { return records_[index]; }

  private:
    // The steps of readSkin, in file order. Each reads its part of the
    // reader's current skin into `record` (`type` is the type byte as read),
    // or returns false with the reason in `refusal`.
    static bool readHeader(Mdl7Reader& reader, std::uint8_t& type, SkinRecord& record, Refusal& refusal);
    static bool readImage(Mdl7Reader& reader, SkinRecord& record, Refusal& refusal);
    // With --ext: makes `record` a reference to the texture file named after
    // the skin, where its name gives one.
    void referToTextureFile(SkinRecord& record);
    bool readMaterial(Mdl7Reader& reader, std::uint8_t type, SkinRecord& record, Refusal& refusal) const;
    bool readExtraBlock(Mdl7Reader& reader, std::uint8_t type, SkinRecord& record, Refusal& refusal);

    // Keeps a zero-terminated copy of `text` for the rest of the run.
    const std::uint8_t* keepName(const std::string& text);
    // A kind-7 reference to the texture file `fileName` with the skin name of
    // `name`.
    static SkinRecord externalReference(const char* name, const std::uint8_t* fileName,
                                        std::size_t fileNameLength);

    const Options& options_;
    std::ostream& out_;
    std::vector<SkinRecord> records_;
    // Storage of the names and extra blocks the records point to. Held as
    // separate allocations so that records stay valid as the table grows.
    std::vector<std::unique_ptr<char[]>> owned_;
    // First record that addNormalMapSkins has not visited yet.
    std::size_t firstWithoutNormalMap_ = 0;
};

} // namespace kelvane
