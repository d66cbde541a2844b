#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

namespace kelvane {

namespace {

// The options as the usage text lists them: the option column, a run of
// tabs, the description. Descriptions that hold a line feed continue on the
// next screen line after four tabs and a blank.
struct UsageLine {
    const char* option;
    const char* argument;
    const char* tabs;
    const char* description;
};
constexpr UsageLine kUsageLines[] = {
    {"--ext", " EXT", "\t\t", "save skins as external textures with\n\t\t\t\t fileextension EXT (3 digits)"},
    {"--offsetmesh", "", "\t\t", "creates an additional mesh with vertexes at\n\t\t\t\t the group positions"},
    {"--nm", "", "\t\t\t", "adds normalmaps as external textures\n\t\t\t\t with ('SKINNAME'_nm.'EXT')"},
    {"--all", "", "\t\t\t", "every group model has the same skins"},
    {"--disableMat", "", "\t\t", "removes all material definitions from the skins"},
    {"--wmp", "", "\t\t\t", "creates a wmp consisting of the group models"},
    {"--help", "", "\t\t\t", "displays this"},
};

// The option that `argument` spells in other letter case ("--offsetMesh"),
// or null: options are compared exactly, so such a slip is easily missed.
const char* optionSpelledAs(std::string_view argument)
{
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    for (const UsageLine& line : kUsageLines) {
        if (std::ranges::equal(std::string_view(line.option), argument, sameLetter)) return line.option;
    }
    return nullptr;
}

} // namespace

void printUsage(std::ostream& out)
{
    out << "usage: Kelvane.exe fileName [options]" << std::endl;
    out << std::endl;
    out << "options:" << std::endl;
    for (const UsageLine& line : kUsageLines) {
        out << '\t' << line.option << line.argument << line.tabs << line.description << std::endl;
    }
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
                err << "Kelvane: --ext needs an extension after it, such as \"--ext tga\"" << std::endl;
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
            // The extension is taken as such even when it spells an option;
            // being at most three characters it never does.
            ++i;
        } else if (is(i, "--offsetmesh")) {
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
        } else {
            // Anything else is ignored, as it always was, but not silently.
            err << "Kelvane: \"" << argv[i] << "\" is not an option and is ignored";
            if (const char* option = optionSpelledAs(argv[i])) err << "; did you mean \"" << option << "\"?";
            err << std::endl;
        }
    }

    return split(modelFileName.c_str(), options) ? kExitSplitDone : kExitSplitFailed;
}

} // namespace kelvane
