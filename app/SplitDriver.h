// SplitDriver: writes one MDL7 file per mesh group of a model, with the
// group's vertices moved so that the centre of its bounding box is the origin.
//
// For an input "ship.mdl" every group of type 1 becomes ship000.mdl,
// ship001.mdl, ... (the group's index in the input, so skipped groups leave
// gaps); ship_pos.txt gets one line per group file with the centre taken out
// of it; with --offsetmesh ship_off.mdl gets one vertex per centre, and with
// --wmp the level file ship.wmp one model entity per group file. Frames are
// never carried over.
#pragma once

#include "app/Options.h"

#include <iosfwd>
#include <string>

namespace kelvane {

class SplitDriver {
  public:
    // Progress lines go to `out`; what stopped a run goes to `err`, as one
    // line naming the file, the place and the cause.
    SplitDriver(const Options& options, std::ostream& out, std::ostream& err);

    // Splits the model file `modelFileName` (a path of any length). Returns
    // true when every group was processed and every output written
    // completely; false when the run stopped early, after saying why on `err`.
    // An input that is missing, a directory or not an MDL7 file stops the run
    // before any output is created. Files written up to a later failure stay
    // on disk: finished group files, the group file in hand as far as it got,
    // the positions file's lines so far.
    bool run(const char* modelFileName);

  private:
    class Run;

    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace kelvane
