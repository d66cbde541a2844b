// Kelvane fileName [options]: splits an MDL7 model into one file per mesh group.
#include "app/CommandLine.h"
#include "app/SplitDriver.h"

#include <iostream>

int main(int argc, char** argv)
{
    return kelvane::runCommandLine(argc, argv, std::cout, std::cerr,
                                   [](const char* modelFileName, const kelvane::Options& options) {
                                       kelvane::SplitDriver driver(options, std::cout, std::cerr);
                                       return driver.run(modelFileName);
                                   });
}
