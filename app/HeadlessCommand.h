#pragma once

namespace quorvex {

// The command line without a window: --summary, --help, --version. Returns the exit code, or -1
// when the arguments ask for the window instead.
int RunHeadlessCommand(int argc, char** argv);

} // namespace quorvex
