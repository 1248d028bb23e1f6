#include "ExportCommand.h"

#include <cstdio>

namespace quorvex {

// Seam for the export command: the exporters are not built yet.
int RunExportCommand(const std::vector<std::string>& /*args*/) {
    std::fprintf(stderr, "quorvex: --export is not available in this build\n");
    return 2;
}

} // namespace quorvex
