#include "HeadlessCommand.h"

#include "CommandLine.h"
#include "CommandOutput.h"
#include "ExportCommand.h"
#include "SummaryCommand.h"

#include "i18n/Translation.h"
#include "support/HeapPages.h"
#include "support/Version.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace quorvex {

bool IsHeadlessCommand(int argc, char** argv) {
    // Any option, wherever it stands, asks for the command line; "-" is a name, and after a
    // DIRECTORY a "--" ends the options. "--" first is the command line's, which asks for a command.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return i == 1;
        if (argv[i][0] == '-' && argv[i][1] != '\0')
            return true;
    }
    return false;
}

int RunHeadlessCommand(int argc, char** argv) {
    if (!IsHeadlessCommand(argc, argv))
        return -1;
    std::string error;
    const std::optional<TCommandLine> line = ParseCommandLine(argc, argv, error);
    if (!line) {
        ReportError(error);
        std::fprintf(stderr, "%s\n", TranslateText("Try 'quorvex --help' for more information.").c_str());
        return 2;
    }
    switch (line->Command) {
    case TCommand::Help:
        return WriteStandardOutput(UsageText()) ? 0 : 1;
    case TCommand::Version:
        return WriteStandardOutput(std::string("quorvex ") + kVersionText + "\n") ? 0 : 1;
    case TCommand::Summary:
    case TCommand::Largest:
    case TCommand::ByType:
    case TCommand::ByAge:
    case TCommand::Treemap:
    case TCommand::Compare:
        PreferLargeHeapPages();
        return RunSummaryCommand(argc, argv, *line);
    case TCommand::Export:
        PreferLargeHeapPages();
        return RunExportCommand(*line);
    }
    return 2;
}

} // namespace quorvex
