// loadMdl7: fills a Model from an MDL7 file through Mdl7Reader.
//
// The walk takes every record in file order: the header, the bones, each
// group (a mesh group's skins, texture coordinates, triangles, vertices and
// frames; other groups are stepped over), the deformers, the trailer and the
// second trailer. Texture coordinates, triangles and vertices are read as
// runs, so a group of many thousand records costs a fraction of one call
// per record.
#pragma once

#include "mdl/Mdl7Reader.h"
#include "scene/LoadModel.h"

namespace kelvane::scene {

// Reads the file from an open reader standing just past its header (as open
// leaves it) into result.model, which must be empty.
//
// Reading stops at the first record that cannot be read: result.failure
// names its place ("group 2: triangle 17"), why ("cannot be read", "content
// of 120 bytes cannot be read", ...) and the reader's cursor at that point,
// and the model keeps everything read before. In LoadMode::kForExport, bones,
// bone transforms, deformers and trailers that cannot be read are stepped
// over where the file allows and reported in result.warnings instead; reading
// goes on. A triangle that names a vertex outside its group is kept with
// Triangle::vertexOutside set, and reading goes on after it.
//
// Each mesh group read whole is announced to `observer` (when given) before
// the next group is read.
//
// Safe on untrusted files: no allocation is sized by a count before the
// count's records are known to fit in the data that remains.
void loadMdl7(Mdl7Reader& reader, LoadMode mode, LoadResult& result, LoadObserver* observer = nullptr);

} // namespace kelvane::scene
