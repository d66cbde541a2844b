// SplitDriver: writes one MDL7 file per mesh group of a model, with the
// group's vertices moved so that its bounding-box centre is the origin.
#pragma once

#include "app/Options.h"

#include <iosfwd>

namespace kelvane {

class SplitDriver {
public:
    // Progress goes to `out`; a description of what stopped the run to `err`.
    SplitDriver(const Options& options, std::ostream& out, std::ostream& err);

    // Splits the model file `modelFileName` (at most 259 characters). Returns
    // true when every group was processed, false when the run stopped early.
    bool run(const char* modelFileName);

private:
    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace kelvane
