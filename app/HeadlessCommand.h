#pragma once

namespace quorvex {

// Whether the arguments ask for the command line without a window: one of them is an option. Anything
// else (nothing, or a directory to scan) is for the window.
bool IsHeadlessCommand(int argc, char** argv);

// The command line without a window: --summary, --export, --help, --version. Returns the exit code, or
// -1 when the arguments ask for the window instead.
int RunHeadlessCommand(int argc, char** argv);

} // namespace quorvex
