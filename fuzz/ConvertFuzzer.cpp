// libFuzzer entry point; the body lives in FuzzTargets.h so that the
// regression test replays findings through the same code.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return kelvane::fuzz::runConvert(data, size);
}
