#include "app/SplitDriver.h"

namespace kelvane {

SplitDriver::SplitDriver(const Options& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err)
{
}

bool SplitDriver::run(const char* modelFileName)
{
    // The split itself is not built yet: nothing is read or written.
    (void)modelFileName;
    (void)options_;
    (void)out_;
    (void)err_;
    return true;
}

} // namespace kelvane
