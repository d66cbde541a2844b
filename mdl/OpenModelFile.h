// openModelFile: picks the reader for a model file by the four bytes it
// starts with and opens the file with it.
//
// This is the one place that maps format tags to reader classes: "MDL7"
// (Mdl7Reader), "IDPO" and "MDL2" (Mdl2Reader), "MDL3", "IDP2", "MDL4", "MDL5"
// and "MDL6" (the legacy readers). Callers tell the formats apart by the
// opened reader's formatCode().
#pragma once

#include "mdl/ModelFile.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kelvane {

struct OpenModelResult {
    // The reader, opened on the file; null when the file could not be opened.
    std::unique_ptr<ModelFile> model;
    // Empty on success; otherwise one line naming the file and what is wrong,
    // such as `ship.mdl: unknown format tag "ABCD"` or
    // `ship.mdl: too short for an IDP2 model (60 bytes, needs 68)`.
    std::string error;

    explicit operator bool() const { return model != nullptr; }
};

// A new, closed reader for files that start with `magic`; null when no reader
// knows the tag.
[[nodiscard]] std::unique_ptr<ModelFile> createModelFile(std::span<const std::uint8_t, 4> magic);

// Opens `path` with the reader its first four bytes select. Fails, with a
// message, when the file cannot be opened or read, is too short for a format
// tag or for its format, carries an unknown tag, or its reader refuses the
// header. Never throws except for a failed allocation.
[[nodiscard]] OpenModelResult openModelFile(const char* path);

} // namespace kelvane
