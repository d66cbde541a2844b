// mdlinfo [--json] FILE: shows what a model file holds.
//
// Without options it prints a readable summary; with --json one JSON document
// (described in docs/mdlinfo.md). Exit codes: 0 when the whole file was
// read or --help printed the usage (on stdout), 1 for a usage error (the
// usage on stderr), 2 when the file cannot be opened or read to the end
// (what was read is still printed, and stderr names the file and the offset
// where reading stopped).
#include "mdl/Mdl7Reader.h"
#include "mdl/OpenModelFile.h"
#include "mdl/legacy/LegacyModelReader.h"
#include "tools/mdlinfo/LegacyDump.h"
#include "tools/mdlinfo/Mdl7Dump.h"

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

int reportStop(const char* path, const kelvane::mdlinfo::ReadFailure& failure)
{
    std::cerr << "mdlinfo: " << path << ": " << failure.place << ": " << failure.reason
              << " (reading stopped at offset " << failure.offset << ")\n";
    return kExitUnreadable;
}

int describeMdl7(kelvane::Mdl7Reader& reader, const char* path, bool json)
{
    kelvane::mdlinfo::Mdl7Dump dump;
    kelvane::mdlinfo::ReadFailure failure;
    const bool complete = kelvane::mdlinfo::readMdl7(reader, dump, failure);
    if (json) {
        kelvane::mdlinfo::printMdl7Json(std::cout, dump);
    } else {
        kelvane::mdlinfo::printMdl7Text(std::cout, dump);
    }
    return complete ? kExitOk : reportStop(path, failure);
}

int describeLegacy(kelvane::LegacyModelReader& reader, const char* path, bool json)
{
    kelvane::mdlinfo::LegacyDump dump;
    kelvane::mdlinfo::ReadFailure failure;
    const bool complete = kelvane::mdlinfo::readLegacy(reader, dump, failure);
    if (json) {
        kelvane::mdlinfo::printLegacyJson(std::cout, dump);
    } else {
        kelvane::mdlinfo::printLegacyText(std::cout, dump);
    }
    return complete ? kExitOk : reportStop(path, failure);
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

    // The reader is picked by the file's format tag; each format that mdlinfo
    // describes has its own dump module beside Mdl7Dump.
    kelvane::OpenModelResult opened = kelvane::openModelFile(path);
    if (!opened) {
        std::cerr << "mdlinfo: " << opened.error << '\n';
        return kExitUnreadable;
    }
    if (auto* mdl7 = dynamic_cast<kelvane::Mdl7Reader*>(opened.model.get())) {
        return describeMdl7(*mdl7, path, json);
    }
    if (auto* legacy = dynamic_cast<kelvane::LegacyModelReader*>(opened.model.get())) {
        return describeLegacy(*legacy, path, json);
    }
    std::cerr << "mdlinfo: " << path << ": this model format (code " << opened.model->formatCode()
              << ") is not described yet\n";
    return kExitUnreadable;
}
