#pragma once

#include "CommandLine.h"

namespace quorvex {

// `quorvex --export FORMAT --output FILE [OPTION]... PATH`. Returns the exit code.
int RunExportCommand(const TCommandLine& line);

} // namespace quorvex
