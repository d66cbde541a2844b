#include "mdl/OpenModelFile.h"

#include "mdl/Mdl7Format.h"
#include "mdl/Mdl7Reader.h"
#include "mdl/PlatformFile.h"
#include "mdl/legacy/Idp2Reader.h"
#include "mdl/legacy/LegacyFormat.h"
#include "mdl/legacy/Mdl2Reader.h"
#include "mdl/legacy/Mdl3Reader.h"
#include "mdl/legacy/Mdl4Reader.h"
#include "mdl/legacy/Mdl5Reader.h"
#include "mdl/legacy/Mdl6Reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kelvane {
namespace {

struct FormatEntry {
    const char* magic; // 4 characters, not terminated in the file
    std::int32_t minimumLength;
    std::unique_ptr<ModelFile> (*create)();
};

template <typename Reader> std::unique_ptr<ModelFile> make() { return std::make_unique<Reader>(); }

constexpr std::int32_t minimumLength(std::int32_t headerSize)
{
    return std::max(headerSize, ModelFile::kMinimumFileLength);
}

const FormatEntry kFormats[] = {
    {mdl7::kMagic, minimumLength(mdl7::kFileHeaderSize), &make<Mdl7Reader>},
    {legacy::kMagicIdpo, minimumLength(legacy::header::kSize), &make<Mdl2Reader>},
    {legacy::kMagicMdl2, minimumLength(legacy::header::kSize), &make<Mdl2Reader>},
    {legacy::kMagicMdl3, minimumLength(legacy::header::kSize), &make<Mdl3Reader>},
    {legacy::kMagicIdp2, minimumLength(legacy::idp2header::kSize), &make<Idp2Reader>},
    {legacy::kMagicMdl4, minimumLength(legacy::header::kSize), &make<Mdl4Reader>},
    {legacy::kMagicMdl5, minimumLength(legacy::header::kSize), &make<Mdl5Reader>},
    {legacy::kMagicMdl6, minimumLength(legacy::header::kSize), &make<Mdl6Reader>},
};

const FormatEntry* findFormat(std::span<const std::uint8_t, 4> magic)
{
    for (const FormatEntry& entry : kFormats) {
        if (std::memcmp(entry.magic, magic.data(), magic.size()) == 0) return &entry;
    }
    return nullptr;
}

// The tag as it can be shown in a message: printable ASCII as is, anything
// else (and the quote and backslash) as \xNN.
std::string quoteTag(std::span<const std::uint8_t, 4> magic)
{
    std::string text = "\"";
    for (const std::uint8_t byte : magic) {
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
            text += escaped;
        }
    }
    return text + "\"";
}

OpenModelResult failure(const char* path, const std::string& what)
{
    OpenModelResult result;
    result.error = std::string(path) + ": " + what;
    return result;
}

} // namespace

std::unique_ptr<ModelFile> createModelFile(std::span<const std::uint8_t, 4> magic)
{
    const FormatEntry* entry = findFormat(magic);
    return entry == nullptr ? nullptr : entry->create();
}

OpenModelResult openModelFile(const char* path)
{
    if (path == nullptr) return failure("(null)", "no file name");

    // Peek at the tag and the length first, so that the message can say what
    // is wrong; the chosen reader then loads the file itself.
    std::uint8_t tag[4] = {};
    std::int64_t length = 0;
    std::int64_t tagBytes = 0;
    {
        const int fd = platform::openRead(path);
        if (fd < 0) {
            const int cause = errno;
            return failure(path, std::string("cannot open: ") + std::strerror(cause));
        }
        length = platform::seekEnd(fd);
        if (length >= 0 && platform::seekSet(fd, 0) == 0) tagBytes = platform::readAll(fd, tag, sizeof tag);
        platform::close(fd);
    }
    if (length < 0 || tagBytes < 0) return failure(path, "cannot read the file");
    if (length < 4 || tagBytes < 4) {
        return failure(path, "too short to be a model file (" + std::to_string(length) + " bytes)");
    }

    const std::span<const std::uint8_t, 4> magic(tag);
    const FormatEntry* entry = findFormat(magic);
    if (entry == nullptr) return failure(path, "unknown format tag " + quoteTag(magic));

    const std::string formatName(entry->magic, 4);
    if (length < entry->minimumLength) {
        return failure(path, "too short for an " + formatName + " model (" + std::to_string(length) +
                                 " bytes, needs " + std::to_string(entry->minimumLength) + ")");
    }
    if (length > std::numeric_limits<std::int32_t>::max()) {
        return failure(path,
                       "too large for an " + formatName + " model (" + std::to_string(length) + " bytes)");
    }

    std::unique_ptr<ModelFile> model = entry->create();
    if (model->open(path) < 0) {
        return failure(path, "not a readable " + formatName + " model (header rejected, " +
                                 std::to_string(length) + " bytes)");
    }
    OpenModelResult result;
    result.model = std::move(model);
    return result;
}

} // namespace kelvane
