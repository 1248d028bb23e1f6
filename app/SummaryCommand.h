#pragma once

#include "model/FileSystemNode.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// Paths one summary scans at once, one scan thread each, as the window does.
inline constexpr int kSummaryMaxRoots = 9;

// Exit codes besides 0 (all scanned), 1 (a root could not be read) and 2 (a path is missing or no
// directory).
inline constexpr int kExitTooManyPaths = 3;
inline constexpr int kExitInterrupted = 130;

// `quorvex --summary [--jobs N] PATH...`: scans the paths at once, without a window, and prints one
// block of "key: value" lines per path, blocks separated by a blank line. `argc`/`argv` are handed to
// the Qt application object the scan threads need. `jobs` threads walk, all paths together
// (0 = automatic).
// How the sizes are counted: --allocated and --hard-links once|each.
struct TSizeOptions {
    TSizeKind Kind = TSizeKind::Logical;
    bool HardLinksOnce = false;
};

int RunSummaryCommand(int argc, char** argv, const std::vector<std::string>& paths, int jobs = 0,
                      TSizeOptions sizes = {});

// Takes --allocated, or --hard-links with its value at args[i + 1] (advancing i past it). Returns
// whether args[i] was one of them; `error` is set when its value is wrong.
bool ParseSizeOption(const std::vector<std::string>& args, std::size_t& i, TSizeOptions& options,
                     std::string& error);

// The value of --jobs: a whole number from 0 (automatic) to TWorkerBudget::kMaxWorkers.
std::optional<int> ParseJobs(const std::string& value);
// The message for a value ParseJobs refused.
std::string BadJobsMessage(const std::string& value);

} // namespace quorvex
