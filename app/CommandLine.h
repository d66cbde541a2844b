// The program's entry: the argument walk, the usage text and the exit code.
#pragma once

#include "app/Options.h"

#include <functional>
#include <iosfwd>

namespace kelvane {

// Exit codes of the tool.
inline constexpr int kExitSplitDone = 0;   // the split ran to its end
inline constexpr int kExitUsage = 1;       // the usage text was printed
inline constexpr int kExitSplitFailed = 2; // the split stopped early; stderr says why

// Runs the split on the model file name with the options read; returns
// whether it completed.
using SplitFunction = std::function<bool(const char* modelFileName, const Options& options)>;

// Writes the usage text to `out`, each line ended and flushed.
void printUsage(std::ostream& out);

// Reads the arguments (argv[0] is the program) and either prints the usage
// text (returns 1) or runs `split` once with the file name and the options
// (returns 0 when it completed, 2 when it stopped early). Arguments after
// the file name that are no option are ignored with a warning line on `err`;
// the reason for a refused --ext goes there too, before the usage text.
int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   const SplitFunction& split);

} // namespace kelvane
