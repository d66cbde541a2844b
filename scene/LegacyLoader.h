// loadLegacy: fills a Model from a file of one of the older formats
// ("IDPO"/"MDL2", "MDL3", "IDP2", "MDL4", "MDL5", "MDL6") through its
// LegacyModelReader.
//
// Such a file holds one mesh, which becomes the model's one group: the
// counts, the skins (an 8-bit skin keeps its main image, an "IDP2" skin the
// texture file it names), the texture coordinates, the triangles and the
// frames with their packed vertices, together with what turns the packed
// values into plain ones (Mesh::texCoordDivisor, Mesh::packedScale, the
// IDPO/MDL2 flags, an "IDP2" frame's own scale and translate).
#pragma once

#include "mdl/legacy/LegacyModelReader.h"
#include "scene/LoadModel.h"

namespace kelvane::scene {

// Reads the model from an open reader standing just past its header (as
// open leaves it) into result.model, which must be empty; the format needs
// no LoadMode, having none of the parts an export may step over.
//
// Reading stops at the first record that cannot be read: result.failure
// names its place ("frame 3: vertex 7"), why ("cannot be read", "has image
// kind 4, which this format does not have", "starts a group of frames
// (type 1), which is not read") and the reader's cursor at that point, and
// the model keeps everything read before. Indices are kept as stored, not
// checked against the counts.
//
// Safe on untrusted files: memory grows only with records actually read.
void loadLegacy(LegacyModelReader& reader, LoadResult& result);

} // namespace kelvane::scene
