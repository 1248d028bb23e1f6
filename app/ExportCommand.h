#pragma once

#include <string>
#include <vector>

namespace quorvex {

// `quorvex --export FORMAT --output FILE [--rounding 0|1|2] PATH`; `args` are the arguments after
// the program name. Returns the exit code.
int RunExportCommand(const std::vector<std::string>& args);

} // namespace quorvex
