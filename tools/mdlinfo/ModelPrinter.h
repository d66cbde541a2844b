// ModelPrinter: mdlinfo's two outputs, written from a loaded Model.
//
// The readable summary and the JSON document (described in docs/mdlinfo.md)
// show each format's own records, so they take their shape from
// Model::format: an MDL7 model prints its header, bones, groups, deformers
// and trailers; a model of an older format its counts, skins, texture
// coordinates, triangles and frames. A model that was read only part-way
// prints what it holds: sections not reached show as null in the JSON.
#pragma once

#include "scene/Model.h"

#include <iosfwd>

namespace kelvane::mdlinfo {

// The readable summary, one line per header, group, skin and section. A
// triangle that names a vertex outside its group gets a line of its own
// under the group ("  triangle 17: uses vertex 80 of 64").
void printText(std::ostream& out, const scene::Model& model);

// One JSON document on one line, ended by a line feed.
void printJson(std::ostream& out, const scene::Model& model);

} // namespace kelvane::mdlinfo
