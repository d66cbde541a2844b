// mdlinfo [--json] FILE: shows what a model file holds.
//
// Without options it prints a readable summary; with --json one JSON document
// (described in docs/mdlinfo.md). Exit codes: 0 when the whole file was
// read or --help printed the usage (on stdout), 1 for a usage error (the
// usage on stderr), 2 when the file cannot be opened or read to the end
// (what was read is still printed, and stderr names the file and the offset
// where reading stopped).
#include "scene/LoadModel.h"
#include "tools/mdlinfo/ModelPrinter.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitUnreadable = 2;

// Asked for, the usage goes to stdout and is no error; after a mistake it
// goes to stderr.
int usage(std::ostream& out, int exitCode)
{
    out << "usage: mdlinfo [--json] FILE\n"
           "Prints the header, groups, skins and other records of a model file;\n"
           "--json prints every record as one JSON document.\n";
    return exitCode;
}

int reportStop(const char* path, const kelvane::scene::LoadFailure& failure)
{
    std::cerr << "mdlinfo: " << path << ": " << failure.describe() << '\n';
    return kExitUnreadable;
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            return usage(std::cout, kExitOk);
        } else if (argv[i][0] == '-' || path != nullptr) {
            return usage(std::cerr, kExitUsage);
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) return usage(std::cerr, kExitUsage);

    // The loader is picked by the file's format tag; what it read is printed
    // even when it stopped part-way.
    const kelvane::scene::LoadResult loaded = kelvane::scene::loadModel(path);
    if (!loaded.openError.empty()) {
        std::cerr << "mdlinfo: " << loaded.openError << '\n';
        return kExitUnreadable;
    }
    if (json) {
        kelvane::mdlinfo::printJson(std::cout, loaded.model);
    } else {
        kelvane::mdlinfo::printText(std::cout, loaded.model);
    }
    return loaded.failure ? reportStop(path, *loaded.failure) : kExitOk;
}
