// Kelvane fileName [options]: splits an MDL7 model into one file per mesh group.
#include "app/CommandLine.h"
#include "app/SplitDriver.h"

#include <iostream>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// The manifest (Kelvane.manifest) makes UTF-8 the program's code page, so the
// names it prints are UTF-8 bytes; a console shows them as such only while
// its output code page is UTF-8 too. The console's own is put back at exit.
class Utf8Console {
  public:
    Utf8Console() : previous_(::GetConsoleOutputCP())
    {
        if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console()
    {
        if (previous_ != 0) ::SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    UINT previous_; // 0 without a console
};
#endif

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    const Utf8Console console;
#endif
    return kelvane::runCommandLine(argc, argv, std::cout, std::cerr,
                                   [](const char* modelFileName, const kelvane::Options& options) {
                                       kelvane::SplitDriver driver(options, std::cout, std::cerr);
                                       return driver.run(modelFileName);
                                   });
}
