#include "app/SkinTable.h"

#include "mdl/ImageSize.h"
#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/Mdl7Writer.h"

#include <cstring>
#include <ostream>
#include <string_view>

namespace kelvane {

namespace {

namespace skin = mdl7::skin;

constexpr std::uint8_t kind(std::uint8_t type) { return type & skin::kImageKindMask; }

// Whether an image of this kind must be at least 1 x 1 pixels: every kind
// but the raw block (sized by its width alone) and the texture reference
// (whose width is its file name's length, 0 for none).
constexpr bool needsPositiveSize(std::uint8_t imageKind)
{
    return imageKind != skin::kKindRawBlock && imageKind != skin::kKindExternal;
}

// The skin name up to its first ':', colons at its very start skipped (the
// way a tokenizer on ':' takes the first token). "wood:2" gives "wood".
std::string_view textureBaseName(const char* name)
{
    std::string_view text(name);
    const std::size_t start = text.find_first_not_of(':');
    if (start == std::string_view::npos) return {};
    text.remove_prefix(start);
    return text.substr(0, text.find(':'));
}

// The texture file name a kind-7 record carries: its image bytes up to the
// first zero, never more than the image holds. Empty when it has no image.
std::string_view referencedFileName(const SkinRecord& record)
{
    if (kind(record.skinType) != skin::kKindExternal || record.pixels == nullptr) return {};
    const std::int64_t imageBytes = imageByteCount(record.width, record.height, record.bytesPerPixel);
    if (imageBytes <= 0) return {};
    return textBeforeZero(record.pixels, static_cast<std::size_t>(imageBytes));
}

// Where the reader stood before a read that may fail. A failed read moves
// the reader to the end of the data, so a refusal names the place taken
// before it.
struct Place {
    std::int64_t offset = 0;
    std::int64_t left = 0;
};

Place placeOf(const Mdl7Reader& reader) { return {reader.tell(), reader.remaining()}; }

// Why a read that started at `place` failed: `what` did not fit, or its
// stored record size is below the `minimumSize` bytes of its fields (a
// minimum of 0 checks no size).
std::string noRoom(const std::string& what, const Place& place, std::int32_t recordSize = 0,
                   std::int32_t minimumSize = 0)
{
    if (recordSize < minimumSize) {
        return "the record size " + std::to_string(recordSize) + " of " + what + " is smaller than the " +
               std::to_string(minimumSize) + " bytes of its fields";
    }
    return what + " does not fit in the " + std::to_string(place.left) + " bytes left at offset " +
           std::to_string(place.offset);
}

// "its image (4 x 4, 3 bytes per pixel)", with the mipmaps when it has them.
std::string describeImage(const SkinRecord& record)
{
    return "its image (" + std::to_string(record.width) + " x " + std::to_string(record.height) + ", " +
           std::to_string(record.bytesPerPixel) + " bytes per pixel" +
           (record.hasMipmaps != 0 ? ", and three mipmaps)" : ")");
}

bool refuse(SkinTable::Refusal& refusal, std::string reason)
{
    refusal.reason = std::move(reason);
    return false;
}

} // namespace

SkinTable::SkinTable(const Options& options, std::ostream& out) : options_(options), out_(out) {}

const std::uint8_t* SkinTable::keepName(const std::string& text)
{
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.data(), text.size());
    copy[text.size()] = '\0';
    owned_.push_back(std::move(copy));
    return reinterpret_cast<const std::uint8_t*>(owned_.back().get());
}

SkinRecord SkinTable::externalReference(const char* name, const std::uint8_t* fileName,
                                        std::size_t fileNameLength)
{
    SkinRecord record;
    record.skinType = skin::kKindExternal;
    std::memcpy(record.name, name, sizeof record.name);
    record.width = static_cast<std::int32_t>(fileNameLength + 1);
    record.height = 1;
    record.bytesPerPixel = 1;
    record.pixels = fileName;
    return record;
}

bool SkinTable::readSkin(Mdl7Reader& reader, Refusal* refusal)
{
    Refusal unused;
    Refusal& why = refusal != nullptr ? *refusal : unused;
    SkinRecord record;
    // The type byte as read; the record's own type follows the options.
    std::uint8_t type = 0;
    if (!readHeader(reader, type, record, why)) return false;
    out_ << "skin: " << record.name << std::endl;
    if (!readImage(reader, record, why)) return false;
    const bool isImage = kind(type) != skin::kKindNoImage && kind(type) != skin::kKindExternal;
    if (isImage && options_.externalTextures) referToTextureFile(record);

    // The material record and the extra block are read even with
    // --disableMat, so the reader moves past them; the record then no longer
    // announces them and writeSkins leaves them out.
    if (options_.disableMat)
        record.skinType &= static_cast<std::uint8_t>(~(skin::kMaterialFlag | skin::kExtraFlag));
    if (!readMaterial(reader, type, record, why) || !readExtraBlock(reader, type, record, why)) return false;

    records_.push_back(record);
    return true;
}

bool SkinTable::readHeader(Mdl7Reader& reader, std::uint8_t& type, SkinRecord& record, Refusal& refusal)
{
    const Place place = placeOf(reader);
    char name[skin::kNameSize] = {};
    if (!reader.readSkinHeader(type, name)) {
        return refuse(refusal, noRoom("its header", place, reader.skinHeaderSize(), skin::kMinReadSize));
    }
    name[sizeof name - 1] = '\0';
    refusal.name = name;
    bool hasMipmaps = false;
    if (!reader.readSkinFormat(record.width, record.height, record.bytesPerPixel, hasMipmaps)) {
        return refuse(refusal, "its header cannot be read");
    }
    record.skinType = type;
    record.hasMipmaps = hasMipmaps ? 1 : 0;
    std::memcpy(record.name, name, sizeof record.name);
    return true;
}

bool SkinTable::readImage(Mdl7Reader& reader, SkinRecord& record, Refusal& refusal)
{
    const std::uint8_t imageKind = kind(record.skinType);
    if (imageKind == skin::kKindNoImage) return true;
    // A reference's image is the texture file name; an empty one has none.
    // Mipmaps, should the type byte announce any, are carried along so the
    // group file stays consistent with the type byte it repeats.
    if (imageKind == skin::kKindExternal && record.width == 0) return true;
    if (needsPositiveSize(imageKind) && (record.width < 1 || record.height < 1)) {
        return refuse(refusal, "an image of kind " + std::to_string(imageKind) + " cannot be " +
                                   std::to_string(record.width) + " x " + std::to_string(record.height) +
                                   " pixels");
    }
    const Place place = placeOf(reader);
    const bool mipmaps = record.hasMipmaps != 0;
    if (reader.readSkinPixels(&record.pixels, mipmaps ? &record.mipmaps[0] : nullptr,
                              mipmaps ? &record.mipmaps[1] : nullptr,
                              mipmaps ? &record.mipmaps[2] : nullptr)) {
        return true;
    }
    return refuse(refusal, noRoom(describeImage(record), place));
}

void SkinTable::referToTextureFile(SkinRecord& record)
{
    // --ext replaces an image by a reference to "<name up to ':'>.<ext>". A
    // name that gives no base (empty, or only colons) would make the file
    // name ".<ext>"; such a skin keeps its image instead.
    const std::string_view base = textureBaseName(record.name);
    if (base.empty()) return;
    std::string fileName(base);
    fileName += '.';
    fileName += options_.textureExt;
    // The flag bits are set again by the steps after this one where they
    // apply.
    record = externalReference(record.name, keepName(fileName), fileName.size());
}

bool SkinTable::readMaterial(Mdl7Reader& reader, std::uint8_t type, SkinRecord& record,
                             Refusal& refusal) const
{
    if ((type & skin::kMaterialFlag) == 0) return true;
    if (!options_.disableMat) record.skinType |= skin::kMaterialFlag;
    const Place place = placeOf(reader);
    if (reader.readSkinMaterial(record.materialColours[0], record.materialColours[1],
                                record.materialColours[2], record.materialColours[3],
                                &record.materialScalar)) {
        return true;
    }
    return refuse(refusal, noRoom("its material record", place, reader.materialRecordSize(),
                                  mdl7::material::kMinReadSize));
}

bool SkinTable::readExtraBlock(Mdl7Reader& reader, std::uint8_t type, SkinRecord& record, Refusal& refusal)
{
    if ((type & skin::kExtraFlag) == 0) return true;
    std::int32_t length = 0;
    const Place lengthPlace = placeOf(reader);
    if (!reader.readSkinExtraLength(length))
        return refuse(refusal, noRoom("its extra block's length", lengthPlace));
    if (length <= 0) return true;

    // The length comes from the file: check it against the data left before
    // allocating anything for it.
    const Place place = placeOf(reader);
    const std::string extraBlock = "its extra block of " + std::to_string(length) + " bytes";
    if (length > reader.remaining()) {
        (void)reader.skip(length); // moves to the end, as a failed read does
        return refuse(refusal, noRoom(extraBlock, place));
    }
    auto extra = std::make_unique<char[]>(static_cast<std::size_t>(length) + 1);
    if (!reader.readSkinExtraData(extra.get())) return refuse(refusal, noRoom(extraBlock, place));
    extra[static_cast<std::size_t>(length)] = '\0';
    if (!options_.disableMat) record.skinType |= skin::kExtraFlag;
    record.extraData = extra.get();
    record.extraDataLength = length;
    owned_.push_back(std::move(extra));
    return true;
}

void SkinTable::addNormalMapSkins()
{
    const std::size_t end = records_.size();
    for (std::size_t i = firstWithoutNormalMap_; i < end; ++i) {
        std::string fileName;
        const std::string_view referenced = referencedFileName(records_[i]);
        if (referenced.size() >= 4) {
            fileName = referenced.substr(0, referenced.size() - 4);
        } else {
            fileName = textureBaseName(records_[i].name);
            if (fileName.empty()) continue;
        }
        fileName += "_nm.";
        fileName += options_.textureExt;
        // Take the name before appending: appending may move the records.
        char name[sizeof records_[i].name];
        std::memcpy(name, records_[i].name, sizeof name);
        records_.push_back(externalReference(name, keepName(fileName), fileName.size()));
    }
    firstWithoutNormalMap_ = records_.size();
}

bool SkinTable::writeSkins(Mdl7Writer& writer, std::int32_t index) const
{
    if (index != -1 && (index < 0 || static_cast<std::size_t>(index) >= records_.size())) return true;
    const std::size_t first = index == -1 ? 0 : static_cast<std::size_t>(index);
    const std::size_t last = index == -1 ? records_.size() : first + 1;

    for (std::size_t i = first; i < last; ++i) {
        const SkinRecord& r = records_[i];
        writer.beginSkin(r.skinType, r.name);
        writer.setSkinImage(r.width, r.height, r.bytesPerPixel, r.hasMipmaps != 0);
        const std::uint8_t imageKind = kind(r.skinType);
        if (needsPositiveSize(imageKind) && (r.width <= 0 || r.height <= 0)) return false;
        if (imageKind != skin::kKindExternal || r.width != 0) {
            writer.writeSkinPixels(r.pixels, r.mipmaps[0], r.mipmaps[1], r.mipmaps[2]);
        }
        if (r.skinType & skin::kMaterialFlag) {
            writer.writeMaterial(r.materialColours[0], r.materialColours[1], r.materialColours[2],
                                 r.materialColours[3], r.materialScalar);
        }
        // A skin that announces an extra block always gets one, if only its
        // length field of 0, so the file agrees with its type byte.
        if (r.skinType & skin::kExtraFlag) {
            const bool hasBytes = r.extraDataLength > 0 && r.extraData != nullptr;
            writer.writeSizedData(hasBytes ? r.extraDataLength : 0, hasBytes ? r.extraData : nullptr);
        }
        writer.finishSkin();
    }
    return true;
}

} // namespace kelvane
