// The built mdlinfo program, run on the given arguments; shared by the suites
// that check what it prints.
#pragma once

#include "support/Files.h"
#include "support/RunProcess.h"

#include <string>
#include <vector>

namespace kelvane::test {

inline ProcessResult mdlinfo(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), builtProgram("tools/mdlinfo"));
    return runProcess(arguments);
}

} // namespace kelvane::test
