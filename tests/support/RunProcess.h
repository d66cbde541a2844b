// RunProcess: runs a program as a child process and captures what it says.
//
//     const ProcessResult r = runProcess({binary, "ship.mdl", "--nm"}, {.workingDir = dir.root()});
//     EXPECT_EQ(r.exitCode, 0);
//     EXPECT_EQ(r.out, "...");
//
// The command goes through /bin/sh with every argument quoted, so arguments
// are passed exactly as given. `shellPrefix` runs in that shell before the
// program is started, e.g. "ulimit -f 4; trap '' XFSZ" to limit the size of
// the files the program may write (limits and ignored signals carry over to
// the program).
#pragma once

#include <string>
#include <vector>

namespace kelvane::test {

struct RunOptions {
    std::string workingDir{}; // empty: the test's own
    std::string shellPrefix{};
};

struct ProcessResult {
    // The program's exit code; -1 when it did not exit normally (killed by a
    // signal) or could not be started.
    int exitCode = -1;
    std::string out; // everything written to standard output
    std::string err; // everything written to standard error
};

ProcessResult runProcess(const std::vector<std::string>& command, const RunOptions& options = {});

// `text` in single quotes for /bin/sh.
std::string shellQuote(const std::string& text);

} // namespace kelvane::test
