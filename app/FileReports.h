#pragma once

#include "CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

class TGroupNode;
class TFileKinds;

// The reports of --largest, --by-type and --by-age, from the records of a finished scan. A record
// counted at another name (--hard-links once) adds nothing and is not listed: the file appears once,
// at the name that counts, as in the summary's totals.

struct TLargeFile {
    std::int64_t Size = 0;
    std::string Path; // the exact bytes
};

// The `count` largest files below `top`, largest first, equal sizes in the byte order of their paths.
// Holds only `count` paths at a time, however many files the tree has.
std::vector<TLargeFile> LargestFiles(const TGroupNode& top, std::int64_t count, const TSizeOptions& sizes);

struct TFileTally {
    std::string Extension; // empty for names without one
    int Year = 0;
    std::int64_t Files = 0;
    std::int64_t Size = 0;
};

// One row per extension, the largest size first (equal sizes by extension).
std::vector<TFileTally> FilesByType(const TGroupNode& top, const TFileKinds& kinds,
                                    const TSizeOptions& sizes);
// One row per local year of the modification time, the oldest first.
std::vector<TFileTally> FilesByAge(const TGroupNode& top, const TSizeOptions& sizes);

} // namespace quorvex
