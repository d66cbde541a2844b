// mdlconvert INPUT OUTPUT [--palette FILE] [--no-animation]: converts a model
// file of any supported format to glTF 2.0 (described in docs/mdlconvert.md).
//
// OUTPUT ending in .glb gives one binary glTF file; .gltf gives the JSON file
// and a .bin beside it. Exit codes: 0 after a conversion, 1 for a usage
// error, 2 when the conversion failed (stderr names the file, and the offset
// for bad input); a failed conversion leaves no output file.
#include "scene/LoadModel.h"
#include "scene/gltf/GltfFile.h"
#include "scene/gltf/MeshGeometries.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

using namespace kelvane::scene;

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

constexpr std::size_t kPaletteBytes = 768;

constexpr const char* kUsage =
    "usage: mdlconvert INPUT OUTPUT [--palette FILE] [--no-animation]\n"
    "Converts a model file to glTF 2.0: OUTPUT ending in .glb gives one binary file,\n"
    "ending in .gltf the JSON file and a .bin beside it.\n"
    "  --palette FILE   768 bytes of 256 RGB colours: 8-bit skins become PNG textures\n"
    "  --no-animation   the base pose alone, without morph targets and animation\n"
    "  --help           this text\n";

int usageError(const std::string& what)
{
    std::cerr << "mdlconvert: " << what << '\n' << kUsage;
    return kExitUsage;
}

int failed(const std::string& message)
{
    std::cerr << "mdlconvert: " << message << '\n';
    return kExitFailed;
}

struct Arguments {
    std::string input;
    std::string output;
    std::string palette;
    bool animation = true;
};

// Returns kExitOk when the arguments name a conversion, -1 when --help
// printed the usage, and otherwise the exit code after the usage text went
// to stderr.
int parseArguments(int argc, char** argv, Arguments& arguments)
{
    int files = 0;
    bool hasPalette = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0) {
            std::cout << kUsage;
            return -1;
        }
        if (std::strcmp(argument, "--no-animation") == 0) {
            arguments.animation = false;
        } else if (std::strcmp(argument, "--palette") == 0) {
            if (i + 1 >= argc) return usageError("--palette needs a file name");
            arguments.palette = argv[++i];
            hasPalette = true;
        } else if (argument[0] == '-' && argument[1] != '\0') {
            return usageError(std::string("unknown option ") + argument);
        } else if (files == 0) {
            arguments.input = argument;
            ++files;
        } else if (files == 1) {
            arguments.output = argument;
            ++files;
        } else {
            return usageError(std::string("one input and one output only; what is ") + argument + "?");
        }
    }
    if (files < 2) return usageError("an input and an output file are needed");
    if (hasPalette && arguments.palette.empty()) return usageError("--palette needs a file name");
    if (!gltf::outputKindOf(arguments.output)) {
        return usageError(arguments.output + ": the output name must end in .glb or .gltf");
    }
    return kExitOk;
}

bool readPalette(const std::string& path, std::array<std::uint8_t, kPaletteBytes>& palette,
                 std::string& failure)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        failure = path + ": cannot be opened";
        return false;
    }
    // One byte more than a palette holds tells a longer file from a palette.
    char bytes[kPaletteBytes + 1];
    file.read(bytes, sizeof bytes);
    const auto count = static_cast<std::size_t>(file.gcount());
    if (count != kPaletteBytes) {
        failure = path + ": a palette is exactly 768 bytes (256 RGB colours); this file is " +
                  (count > kPaletteBytes ? std::string("longer") : std::to_string(count) + " bytes");
        return false;
    }
    for (std::size_t i = 0; i < kPaletteBytes; ++i) {
        palette[i] = static_cast<std::uint8_t>(bytes[i]);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    const int parsed = parseArguments(argc, argv, arguments);
    if (parsed < 0) return kExitOk;
    if (parsed != kExitOk) return parsed;

    std::string failure;
    if (!gltf::checkOutputIsNotInput(arguments.input, arguments.output, failure)) return failed(failure);

    gltf::ExportOptions options;
    options.animation = arguments.animation;
    if (!arguments.palette.empty()) {
        std::array<std::uint8_t, kPaletteBytes> palette{};
        if (!readPalette(arguments.palette, palette, failure)) return failed(failure);
        options.palette = palette;
    }

    // The meshes' geometry is built on a second thread while the file is
    // read, and their triangles let go of once it is: the loader reuses
    // that memory. `geometries` works on the model, so it is declared after
    // it and goes first.
    LoadResult loaded;
    gltf::MeshGeometries geometries(gltf::MeshGeometries::Triangles::kRelease);
    loadModel(arguments.input.c_str(), LoadMode::kForExport, geometries, loaded);
    if (!loaded.openError.empty()) return failed(loaded.openError);
    if (loaded.failure) return failed(arguments.input + ": " + loaded.failure->describe());
    for (const LoadFailure& warning : loaded.warnings) {
        std::cerr << "mdlconvert: " << arguments.input << ": warning: " << warning.describe() << '\n';
    }

    gltf::ExportReport report;
    const bool written =
        gltf::writeGltfFile(loaded.model, options, arguments.input, arguments.output, report, &geometries);
    for (const std::string& warning : report.warnings) {
        std::cerr << "mdlconvert: " << arguments.input << ": warning: " << warning << '\n';
    }
    if (!written) return failed(report.failure);
    return kExitOk;
}
