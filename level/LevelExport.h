// The level export: places every group model of a split in one level file.
//
// createLevelFile starts the level file and adds its "root" level object;
// addModelEntity then adds one "model" object per group file, placed at the
// group's centre. The split completes the file with wmpioClose. All records
// are filled here and handed to the level-file library (level/Wmpio.h); the
// library's results are not examined.
#pragma once

#include <cstdint>

namespace kelvane {

// Starts the level file at `path` for a model of `groupCount` groups (the
// count in the model's header) and adds the level object. Storage the level
// object refers to stays allocated until the next createLevelFile (or the end
// of the program), so repeated splits in one process hold only the latest
// level file's. The level object holds one element per group: the caller
// bounds groupCount by what its model can really hold (the split driver
// checks it against the model's data first). Returns false, and calls
// nothing, when groupCount is negative or so large that the object count
// n + 1 does not fit 32 bits, or path is null; otherwise true (whether the
// file could be written is told by wmpioFailed). Throws std::bad_alloc when
// memory runs out.
bool createLevelFile(const char* path, std::int32_t groupCount);

// Adds a model object for the group file `fileName`, positioned at the
// group's centre (x, y, z) widened to doubles. Allocates nothing; `fileName`
// need only stay valid during the call.
void addModelEntity(const char* fileName, float x, float y, float z);

} // namespace kelvane
