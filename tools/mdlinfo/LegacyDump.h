// LegacyDump: reads a whole model of one of the older formats ("IDPO"/"MDL2",
// "MDL3", "IDP2", "MDL4", "MDL5", "MDL6") through LegacyModelReader into a
// plain tree of its records, and prints that tree as a readable summary or as
// JSON.
//
// As with Mdl7Dump, reading and printing are separate so that a file that
// cannot be read to the end still shows everything before the point where
// reading stopped: sections that were not reached stay std::nullopt and print
// as null. The JSON form is described in docs/mdlinfo.md.
#pragma once

#include "mdl/legacy/LegacyModelReader.h"
#include "tools/mdlinfo/Mdl7Dump.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::mdlinfo {

// The counts as the file header states them, unchecked (possibly negative).
struct LegacyCounts {
    std::int32_t skins = 0;
    std::int32_t vertices = 0;
    std::int32_t triangles = 0;
    std::int32_t texCoords = 0;
    std::int32_t frames = 0;
};

// A skin's format as the reader reports it. Image bytes are not kept.
struct LegacySkin {
    std::uint8_t type = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerPixel = 0;
    bool hasMipmaps = false;
};

// Three vertex indices, then three texture-coordinate indices (-1 each in
// "IDPO"/"MDL2", which index texture coordinates by vertex).
using LegacyTriangle = std::array<std::int32_t, 6>;

// Packed x, y, z and the normal index.
struct LegacyVertex {
    std::array<std::uint16_t, 3> position{};
    std::int32_t normalIndex = 0;
};

struct LegacyFrame {
    std::string name; // cut at its terminating zero
    std::array<std::uint16_t, 3> bboxMin{};
    std::array<std::uint16_t, 3> bboxMax{};
    // The position unpacking; only "IDP2" frames have it.
    std::optional<std::array<float, 3>> scale;
    std::optional<std::array<float, 3>> translate;
    std::vector<LegacyVertex> vertices;
};

// Everything read from one file. A section is std::nullopt when reading
// stopped before it; a partly read section holds the records before the stop.
struct LegacyDump {
    std::string format; // the file's four-character tag, such as "IDPO"
    LegacyCounts counts;
    std::optional<std::vector<LegacySkin>> skins;
    std::optional<std::vector<std::array<std::int16_t, 2>>> texCoords;
    std::optional<std::vector<LegacyTriangle>> triangles;
    std::optional<std::vector<LegacyFrame>> frames;
};

// Reads the whole model from an open reader positioned after its header (as
// open leaves it), stopping at each section's count. Returns true when
// everything was read; otherwise fills `failure` (the place, why, and the
// reader's cursor) and keeps in `dump` what was read before. A frame that
// starts a group of frames, which the readers refuse, stops reading like
// data that runs out, with its own reason. Indices are kept as stored, not
// checked against the counts. Memory grows only with records actually read,
// never with counts a file claims.
[[nodiscard]] bool readLegacy(LegacyModelReader& reader, LegacyDump& dump, ReadFailure& failure);

// The readable summary: the format and counts, one line per skin, and how
// many texture coordinates, triangles and frames were read (with the number
// of indices outside their counts, if any).
void printLegacyText(std::ostream& out, const LegacyDump& dump);

// One JSON document, {"format":"IDPO",...}, ended by a line feed.
void printLegacyJson(std::ostream& out, const LegacyDump& dump);

} // namespace kelvane::mdlinfo
