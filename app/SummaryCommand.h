#pragma once

#include "CommandLine.h"

#include <string>
#include <vector>

namespace quorvex {

// Paths one summary scans at once, one scan thread each, as the window does.
inline constexpr int kSummaryMaxRoots = 9;

// Exit codes besides 0 (all scanned), 1 (a directory could not be read, or the output not written)
// and 2 (a path is missing or no directory). A signal that stops the scans gives 128 + its number.
inline constexpr int kExitTooManyPaths = 3;

// `quorvex --summary PATH...`: scans the paths at once, without a window, and prints one block of
// "key: value" lines per path, blocks separated by a blank line. `argc`/`argv` are handed to the Qt
// application object the scan threads need. `line.Jobs` threads walk, all paths together
// (0 = automatic).
int RunSummaryCommand(int argc, char** argv, const TCommandLine& line);

} // namespace quorvex
