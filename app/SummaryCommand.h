#pragma once

#include <string>
#include <vector>

namespace quorvex {

// Paths one summary scans at once, one scan thread each, as the window does.
inline constexpr int kSummaryMaxRoots = 9;

// Exit codes besides 0 (all scanned), 1 (a root could not be read) and 2 (a path is missing or no
// directory).
inline constexpr int kExitTooManyPaths = 3;
inline constexpr int kExitInterrupted = 130;

// `quorvex --summary PATH...`: scans the paths at once, without a window, and prints one block of
// "key: value" lines per path, blocks separated by a blank line. `argc`/`argv` are handed to the
// Qt application object the scan threads need.
int RunSummaryCommand(int argc, char** argv, const std::vector<std::string>& paths);

} // namespace quorvex
