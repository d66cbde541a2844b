#include "mdl/legacy/LegacyModelReader.h"

namespace kelvane {

bool LegacyModelReader::reservedQuery(void*, void*, void*) { return false; }

} // namespace kelvane
