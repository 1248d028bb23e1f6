#pragma once

#include "model/FileSystemNode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

class TExportClass;

// How the sizes are counted: --allocated and --hard-links once|each.
struct TSizeOptions {
    TSizeKind Kind = TSizeKind::Logical;
    bool HardLinksOnce = false;
};

enum class TCommand { Summary, Largest, ByType, ByAge, Compare, Export, Treemap, Help, Version };

// What the arguments of the headless command ask for. Arguments are bytes: a PATH or FILE that is
// not valid UTF-8 reaches the file system unchanged.
struct TCommandLine {
    TCommand Command = TCommand::Help;
    const TExportClass* Format = nullptr;
    std::string Output;
    std::optional<int> Rounding;
    int Jobs = 0;
    TSizeOptions Sizes;
    std::vector<std::string> Paths;
    // --exclude and the lines of --exclude-from, in the order given.
    std::vector<std::string> Exclusions;
    // The N of --largest.
    std::int64_t Largest = 0;
    bool Json = false;
    // The file of --treemap (.svg or .png) and the picture's size in pixels.
    std::string TreemapFile;
    int TreemapWidth = 1280;
    int TreemapHeight = 800;
    // The N of --depth: --compare lists changes at most this many levels below the roots; -1 all.
    int Depth = -1;
    // --keep: each directory scanned is saved to the scan history, as the window saves its scans.
    bool Keep = false;
};

// Every command's arguments, by the conventions of getopt_long: options before or after the command
// word and the paths, "--opt=value" or "--opt value", unambiguous abbreviations, "--" ends the
// options. Returns nullopt with a translated `error` for a usage fault (exit status 2).
// May reorder argv, as getopt does.
std::optional<TCommandLine> ParseCommandLine(int argc, char** argv, std::string& error);

// The usage text of --help, in lines of at most 80 columns.
std::string UsageText();

} // namespace quorvex
