// Runs programs through /bin/sh; RunProcessWindows.cpp does the same job on
// the Windows runtime, which has no shell of that kind.
#include "support/RunProcess.h"

namespace kelvane::test {

// Shell quoting is the same everywhere; only the POSIX runner uses it to
// start programs.
std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

} // namespace kelvane::test

#ifndef _WIN32

#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>

namespace kelvane::test {

ProcessResult runProcess(const std::vector<std::string>& command, const RunOptions& options)
{
    ProcessResult result;
    // The captured output lands in a folder of its own, so it never mixes
    // with the files the program writes.
    TempDir capture;
    if (!capture.ok() || command.empty()) return result;
    const std::string outPath = capture.path("stdout");
    const std::string errPath = capture.path("stderr");

    // Appended piece by piece: `"literal" + std::string` temporaries make
    // GCC 12 at -O3 report a false -Wrestrict overlap inside std::string.
    std::string script;
    if (!options.workingDir.empty())
        script.append("cd ").append(shellQuote(options.workingDir)).append(" || exit 125; ");
    if (!options.shellPrefix.empty()) script.append(options.shellPrefix).append("; ");
    script += "exec";
    for (const std::string& argument : command)
        script.append(" ").append(shellQuote(argument));
    script.append(" >").append(shellQuote(outPath)).append(" 2>").append(shellQuote(errPath));

    std::fflush(nullptr);
    const int status = std::system(script.c_str());
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

} // namespace kelvane::test

#endif // _WIN32
