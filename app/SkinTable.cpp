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
    const auto* text = reinterpret_cast<const char*>(record.pixels);
    const void* zero = std::memchr(text, 0, static_cast<std::size_t>(imageBytes));
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                                    : static_cast<std::size_t>(imageBytes);
    return {text, length};
}

// Why a read that started `offset` bytes into the data, with `left` bytes
// after it, failed: `what` did not fit, or its stored record size is below
// the `minimumSize` bytes of its fields (a minimum of 0 checks no size).
std::string noRoom(const std::string& what, std::int64_t offset, std::int64_t left,
                   std::int32_t recordSize = 0, std::int32_t minimumSize = 0)
{
    if (recordSize < minimumSize) {
        return "the record size " + std::to_string(recordSize) + " of " + what + " is smaller than the " +
               std::to_string(minimumSize) + " bytes of its fields";
    }
    return what + " does not fit in the " + std::to_string(left) + " bytes left at offset " +
           std::to_string(offset);
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
    // A failed read moves the reader to the end of the data, so where it
    // stood is taken before each read that may fail.
    std::int64_t offset = reader.tell();
    std::int64_t left = reader.remaining();
    const auto refuse = [&](std::string reason) {
        if (refusal != nullptr) refusal->reason = std::move(reason);
        return false;
    };
    const auto markPlace = [&] {
        offset = reader.tell();
        left = reader.remaining();
    };

    std::uint8_t type = 0;
    char name[mdl7::skin::kNameSize] = {};
    if (!reader.readSkinHeader(type, name)) {
        return refuse(noRoom("its header", offset, left, reader.skinHeaderSize(), skin::kMinReadSize));
    }
    name[sizeof name - 1] = '\0';
    if (refusal != nullptr) refusal->name = name;

    SkinRecord record;
    bool hasMipmaps = false;
    if (!reader.readSkinFormat(record.width, record.height, record.bytesPerPixel, hasMipmaps)) {
        return refuse("its header cannot be read");
    }
    record.skinType = type;
    record.hasMipmaps = hasMipmaps ? 1 : 0;

    out_ << "skin: " << name << std::endl;
    std::memcpy(record.name, name, sizeof record.name);

    const auto image = [&] {
        return "its image (" + std::to_string(record.width) + " x " + std::to_string(record.height) + ", " +
               std::to_string(record.bytesPerPixel) + " bytes per pixel" +
               (hasMipmaps ? ", and three mipmaps)" : ")");
    };
    markPlace();
    bool isImage = false;
    switch (kind(type)) {
    case skin::kKindNoImage:
        break;
    case skin::kKindExternal:
        // The image is the texture file name. Mipmaps, should the type byte
        // announce any, are carried along so the group file stays consistent
        // with the type byte it repeats.
        if (record.width != 0 &&
            !reader.readSkinPixels(&record.pixels, hasMipmaps ? &record.mipmaps[0] : nullptr,
                                   hasMipmaps ? &record.mipmaps[1] : nullptr,
                                   hasMipmaps ? &record.mipmaps[2] : nullptr)) {
            return refuse(noRoom(image(), offset, left));
        }
        break;
    default:
        if (kind(type) != skin::kKindRawBlock && (record.width < 1 || record.height < 1)) {
            return refuse("an image of kind " + std::to_string(kind(type)) + " cannot be " +
                          std::to_string(record.width) + " x " + std::to_string(record.height) + " pixels");
        }
        if (!reader.readSkinPixels(&record.pixels, hasMipmaps ? &record.mipmaps[0] : nullptr,
                                   hasMipmaps ? &record.mipmaps[1] : nullptr,
                                   hasMipmaps ? &record.mipmaps[2] : nullptr)) {
            return refuse(noRoom(image(), offset, left));
        }
        isImage = true;
        break;
    }

    // --ext replaces an image by a reference to "<name up to ':'>.<ext>". A
    // name that gives no base (empty, or only colons) would make the file
    // name ".<ext>"; such a skin keeps its image instead.
    if (isImage && options_.externalTextures) {
        const std::string_view base = textureBaseName(name);
        if (!base.empty()) {
            std::string fileName(base);
            fileName += '.';
            fileName += options_.textureExt;
            record = externalReference(name, keepName(fileName), fileName.size());
            // The flag bits are set again below where they apply.
        }
    }

    // The material record and the extra block are read even with
    // --disableMat, so the reader moves past them; the record then no longer
    // announces them and writeSkins leaves them out.
    if (options_.disableMat)
        record.skinType &= static_cast<std::uint8_t>(~(skin::kMaterialFlag | skin::kExtraFlag));
    if (type & skin::kMaterialFlag) {
        if (!options_.disableMat) record.skinType |= skin::kMaterialFlag;
        markPlace();
        if (!reader.readSkinMaterial(record.materialColours[0], record.materialColours[1],
                                     record.materialColours[2], record.materialColours[3],
                                     &record.materialScalar)) {
            return refuse(noRoom("its material record", offset, left, reader.materialRecordSize(),
                                 mdl7::material::kMinReadSize));
        }
    }
    if (type & skin::kExtraFlag) {
        std::int32_t length = 0;
        markPlace();
        if (!reader.readSkinExtraLength(length))
            return refuse(noRoom("its extra block's length", offset, left));
        if (length > 0) {
            // The length comes from the file: check it against the data left
            // before allocating anything for it.
            markPlace();
            const std::string extraBlock = "its extra block of " + std::to_string(length) + " bytes";
            if (length > reader.remaining()) {
                (void)reader.skip(length); // moves to the end, as a failed read does
                return refuse(noRoom(extraBlock, offset, left));
            }
            auto extra = std::make_unique<char[]>(static_cast<std::size_t>(length) + 1);
            if (!reader.readSkinExtraData(extra.get())) return refuse(noRoom(extraBlock, offset, left));
            extra[static_cast<std::size_t>(length)] = '\0';
            if (!options_.disableMat) record.skinType |= skin::kExtraFlag;
            record.extraData = extra.get();
            record.extraDataLength = length;
            owned_.push_back(std::move(extra));
        }
    }

    records_.push_back(record);
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
        switch (kind(r.skinType)) {
        case skin::kKindExternal:
            if (r.width != 0) writer.writeSkinPixels(r.pixels, r.mipmaps[0], r.mipmaps[1], r.mipmaps[2]);
            break;
        case skin::kKindRawBlock:
            writer.writeSkinPixels(r.pixels, r.mipmaps[0], r.mipmaps[1], r.mipmaps[2]);
            break;
        default:
            if (r.width <= 0 || r.height <= 0) return false;
            writer.writeSkinPixels(r.pixels, r.mipmaps[0], r.mipmaps[1], r.mipmaps[2]);
            break;
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
