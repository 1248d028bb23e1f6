#include "HeadlessCommand.h"

#include "ExportCommand.h"
#include "SummaryCommand.h"

#include "i18n/Translation.h"
#include "support/HeapPages.h"
#include "support/Version.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {
namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        TranslateText(
            "Usage: quorvex [DIRECTORY]\n"
            "       quorvex --summary [--jobs N] [--allocated] [--hard-links once|each] PATH...\n"
            "       quorvex --export FORMAT --output FILE [--rounding 0|1|2] [--jobs N] [--allocated]\n"
            "                [--hard-links once|each] PATH\n"
            "       quorvex --help | --version\n"
            "\n"
            "  --summary PATH...  scan up to %d paths at once without a window and print the totals of "
            "each,\n"
            "                     one \"key: value\" a line, one block per path; Ctrl+C stops the scans and\n"
            "                     prints what was found so far, marked \"incomplete: yes\"\n"
            "  --export FORMAT    scan PATH without a window and write the result as csv, txt, html, xml,\n"
            "                     xml2 or ncdu (or the format's number 1 to 6) to FILE, - for standard\n"
            "                     output; --rounding sets the size style of txt and html (0 bytes,\n"
            "                     1 rounded, 2 truncated), by default the one in the settings\n"
            "  --jobs N           with --summary or --export: N threads walk the tree (0, the default,\n"
            "                     lets the program choose)\n"
            "  --allocated        with --summary or --export: sizes are the blocks the disk allocated,\n"
            "                     not the logical lengths\n"
            "  --hard-links once  with --summary or --export: a file with several names counts at the\n"
            "                     first name the scan meets; each (the default) counts it at every name\n"
            "  PATH               a directory to scan, or a regular file read as a scan made elsewhere (the\n"
            "                     JSON that ncdu -o, gdu -o and --export ncdu write)\n"
            "  --help             show this text\n"
            "  --version          show the version\n"
            "\n"
            "Exit status of --summary: 0 done, 1 a path could not be read, 2 a path is missing or neither a\n"
            "directory nor a file, 3 more than %d paths (the rest were not scanned), 130 interrupted.\n")
            .c_str(),
        kSummaryMaxRoots, kSummaryMaxRoots);
}

} // namespace

bool IsHeadlessCommand(int argc, char** argv) {
    return argc > 1 && argv[1][0] == '-';
}

int RunHeadlessCommand(int argc, char** argv) {
    if (!IsHeadlessCommand(argc, argv))
        return -1;
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("quorvex %s\n", kVersionText);
        return 0;
    }
    if (first == "--summary") {
        if (args.size() < 2) {
            std::fprintf(stderr, "quorvex: %s\n", TranslateText("--summary takes at least one PATH").c_str());
            PrintUsage(stderr);
            return 2;
        }
        std::vector<std::string> paths;
        int jobs = 0;
        TSizeOptions sizes;
        for (std::size_t i = 1; i < args.size(); ++i) {
            std::string error;
            if (ParseSizeOption(args, i, sizes, error)) {
                if (!error.empty()) {
                    std::fprintf(stderr, "quorvex: %s\n", error.c_str());
                    return 2;
                }
                continue;
            }
            if (args[i] != "--jobs") {
                paths.push_back(args[i]);
                continue;
            }
            const std::optional<int> value = i + 1 < args.size() ? ParseJobs(args[i + 1]) : std::nullopt;
            if (!value) {
                std::fprintf(stderr, "quorvex: %s\n",
                             BadJobsMessage(i + 1 < args.size() ? args[i + 1] : "").c_str());
                return 2;
            }
            jobs = *value;
            ++i;
        }
        if (paths.empty()) {
            std::fprintf(stderr, "quorvex: --summary takes at least one PATH\n");
            PrintUsage(stderr);
            return 2;
        }
        PreferLargeHeapPages();
        return RunSummaryCommand(argc, argv, paths, jobs, sizes);
    }
    if (first == "--export") {
        PreferLargeHeapPages();
        return RunExportCommand(args);
    }
    std::fprintf(stderr, "quorvex: %s\n", Substitute(TranslateText("unknown option %s"), first).c_str());
    PrintUsage(stderr);
    return 2;
}

} // namespace quorvex
