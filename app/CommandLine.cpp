#include "app/CommandLine.h"

#include <cstring>
#include <ostream>
#include <string>

namespace kelvane {

void printUsage(std::ostream& out)
{
    // Option column, a run of tabs, description; the descriptions that hold
    // a line feed continue on the next screen line after four tabs and a blank.
    out << "usage: Kelvane.exe fileName [options]" << std::endl;
    out << std::endl;
    out << "options:" << std::endl;
    out << "\t--ext EXT"
        << "\t\t"
        << "save skins as external textures with\n\t\t\t\t fileextension EXT (3 digits)" << std::endl;
    out << "\t--offsetmesh"
        << "\t\t"
        << "creates an additional mesh with vertexes at\n\t\t\t\t the group positions" << std::endl;
    out << "\t--nm"
        << "\t\t\t"
        << "adds normalmaps as external textures\n\t\t\t\t with ('SKINNAME'_nm.'EXT')" << std::endl;
    out << "\t--all"
        << "\t\t\t"
        << "every group model has the same skins" << std::endl;
    out << "\t--disableMat"
        << "\t\t"
        << "removes all material definitions from the skins" << std::endl;
    out << "\t--wmp"
        << "\t\t\t"
        << "creates a wmp consisting of the group models" << std::endl;
    out << "\t--help"
        << "\t\t\t"
        << "displays this" << std::endl;
}

int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   const SplitFunction& split)
{
    const auto is = [&](int i, const char* option) { return std::strcmp(argv[i], option) == 0; };

    // Argument 1 is always the file name, unless it is exactly "--help".
    if (argc > 1 && is(1, "--help")) {
        printUsage(out);
        return kExitUsage;
    }
    // The name is taken whole, however long: the system says whether it can
    // open it.
    const std::string modelFileName = argc > 1 ? argv[1] : "";
    if (modelFileName.empty()) {
        out << "mdl file name not specified!\n";
        printUsage(out);
        return kExitUsage;
    }

    Options options;
    for (int i = 2; i < argc; ++i) {
        if (is(i, "--ext")) {
            options.externalTextures = 1;
            if (i + 1 == argc) {
                printUsage(out);
                return kExitUsage;
            }
            const char* extension = argv[i + 1];
            if (std::strlen(extension) >= sizeof options.textureExt) {
                err << "Kelvane: the extension after --ext must have at most 3 characters, not \""
                    << extension << "\"" << std::endl;
                printUsage(out);
                return kExitUsage;
            }
            std::strcpy(options.textureExt, extension);
            // The extension is stepped onto and compared with the options
            // below; being at most three characters it never matches one.
            ++i;
        }
        if (is(i, "--offsetmesh")) {
            options.offsetMesh = 1;
        } else if (is(i, "--nm")) {
            options.normalMaps = 1;
        } else if (is(i, "--all")) {
            options.allSkins = 1;
        } else if (is(i, "--disableMat")) {
            options.disableMat = 1;
        } else if (is(i, "--wmp")) {
            options.writeWmp = 1;
        } else if (is(i, "--help")) {
            printUsage(out);
            return kExitUsage;
        }
        // Anything else is ignored without a message.
    }

    return split(modelFileName.c_str(), options) ? kExitSplitDone : kExitSplitFailed;
}

} // namespace kelvane
