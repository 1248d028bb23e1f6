#include "CommandLine.h"

#include "SummaryCommand.h"

#include "export/ExportRegistry.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "scan/WorkerBudget.h"
#include "support/AsciiCase.h"
#include "support/PosixDir.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <memory>
#include <utility>

namespace quorvex {
namespace {

// Values of the long options, above every character a short option could be.
enum TOptionId : int {
    kOptOutput = 'o',
    kOptHelp = 'h',
    kOptSummary = 256,
    kOptExport,
    kOptRounding,
    kOptJobs,
    kOptAllocated,
    kOptHardLinks,
    kOptExclude,
    kOptExcludeFrom,
    kOptVersion,
    kOptLargest,
    kOptByType,
    kOptByAge,
    kOptJson,
    kOptTreemap,
    kOptSize,
    kOptCompare,
    kOptDepth,
    kOptKeep,
};

constexpr option kLongOptions[] = {
    {"summary", no_argument, nullptr, kOptSummary},
    {"largest", required_argument, nullptr, kOptLargest},
    {"by-type", no_argument, nullptr, kOptByType},
    {"by-age", no_argument, nullptr, kOptByAge},
    {"json", no_argument, nullptr, kOptJson},
    {"compare", no_argument, nullptr, kOptCompare},
    {"depth", required_argument, nullptr, kOptDepth},
    {"keep", no_argument, nullptr, kOptKeep},
    {"export", required_argument, nullptr, kOptExport},
    {"treemap", required_argument, nullptr, kOptTreemap},
    {"size", required_argument, nullptr, kOptSize},
    {"output", required_argument, nullptr, kOptOutput},
    {"rounding", required_argument, nullptr, kOptRounding},
    {"jobs", required_argument, nullptr, kOptJobs},
    {"allocated", no_argument, nullptr, kOptAllocated},
    {"hard-links", required_argument, nullptr, kOptHardLinks},
    {"exclude", required_argument, nullptr, kOptExclude},
    {"exclude-from", required_argument, nullptr, kOptExcludeFrom},
    {"help", no_argument, nullptr, kOptHelp},
    {"version", no_argument, nullptr, kOptVersion},
    {nullptr, 0, nullptr, 0},
};
// Leading '+' would stop at the first path; options may follow the paths. Leading ':' tells a
// missing value from an unknown option.
constexpr const char* kShortOptions = ":ho:";

const TExportClass* FindFormat(const std::string& word) {
    const TExportRegistry& registry = ExportRegistry();
    const std::string name = AsciiLowered(word);
    for (int i = 0; i < registry.Count(); ++i) {
        if (registry.Items(i).GetCommandName() == name || std::to_string(i + 1) == word)
            return &registry.Items(i);
    }
    return nullptr;
}

std::optional<std::int64_t> ParseCount(const std::string& value) {
    std::int64_t count = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (error != std::errc() || end != value.data() + value.size() || count < 1)
        return std::nullopt;
    return count;
}

std::optional<int> ParseJobs(const std::string& value) {
    int jobs = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs < 0 ||
        jobs > TWorkerBudget::kMaxWorkers)
        return std::nullopt;
    return jobs;
}

// Either side of a picture, in pixels: a PNG of the largest takes 256 MiB of memory while drawn.
constexpr int kTreemapMaxSide = 8192;

// "WIDTHxHEIGHT", each side from 1 to kTreemapMaxSide.
bool ParsePictureSize(const std::string& value, int& width, int& height) {
    const std::size_t x = value.find('x');
    if (x == std::string::npos)
        return false;
    const auto side = [](std::string_view text, int& out) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
        return error == std::errc() && end == text.data() + text.size() && out >= 1 && out <= kTreemapMaxSide;
    };
    return side(std::string_view(value).substr(0, x), width) &&
           side(std::string_view(value).substr(x + 1), height);
}

bool IsTreemapFileName(const std::string& file) {
    const std::string name = AsciiLowered(file);
    return name.size() > 4 && (name.ends_with(".svg") || name.ends_with(".png"));
}

// Appends the file's lines that are not blank; false with `error` set when it cannot be read.
bool ReadPatternFile(const std::string& file, std::vector<std::string>& patterns, std::string& error) {
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> in(std::fopen(file.c_str(), "re"), &std::fclose);
    std::string text;
    if (in) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
            text.append(buffer, n);
    }
    // A directory opens, and fails at the first read.
    if (!in || std::ferror(in.get()) != 0) {
        error = Substitute(TranslateText("--exclude-from cannot read %s"), file) + ": " +
                SystemErrorMessage(errno);
        return false;
    }
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start)
            patterns.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return true;
}

// How many long options begin with `spelling` ("--name" without a value).
int LongOptionMatches(const std::string& spelling) {
    const std::string name = spelling.substr(2);
    int matches = 0;
    for (const option* o = kLongOptions; o->name != nullptr; ++o)
        matches += std::strncmp(o->name, name.c_str(), name.size()) == 0 ? 1 : 0;
    return matches;
}

bool TakesNoValue(int id) {
    for (const option* o = kLongOptions; o->name != nullptr; ++o) {
        if (o->val == id)
            return o->has_arg == no_argument;
    }
    return false;
}

// Takes one option's value into `line`; false with `error` set when the value is wrong.
bool TakeValue(int id, const std::string& value, TCommandLine& line, std::string& error) {
    switch (id) {
    case kOptExport:
        line.Format = FindFormat(value);
        if (line.Format == nullptr)
            error = value.empty() ? TranslateText("--export needs a FORMAT")
                                  : Substitute(TranslateText("unknown export format \"%s\""), value);
        break;
    case kOptOutput:
        line.Output = value;
        break;
    case kOptTreemap:
        line.TreemapFile = value;
        if (!IsTreemapFileName(value))
            error = Substitute(TranslateText("--treemap writes FILE.svg or FILE.png, not \"%s\""), value);
        break;
    case kOptSize:
        if (!ParsePictureSize(value, line.TreemapWidth, line.TreemapHeight))
            error =
                Substitute(Substitute(TranslateText("--size takes WIDTHxHEIGHT in pixels, each from 1 to %s, "
                                                    "not \"%s\""),
                                      std::to_string(kTreemapMaxSide)),
                           value);
        break;
    case kOptLargest:
        if (const std::optional<std::int64_t> count = ParseCount(value))
            line.Largest = *count;
        else
            error =
                Substitute(TranslateText("--largest takes a number of files from 1 up, not \"%s\""), value);
        break;
    case kOptDepth: {
        int depth = -1;
        const auto [end, fault] = std::from_chars(value.data(), value.data() + value.size(), depth);
        if (fault == std::errc() && end == value.data() + value.size() && depth >= 0)
            line.Depth = depth;
        else
            error =
                Substitute(TranslateText("--depth takes a number of levels from 0 up, not \"%s\""), value);
        break;
    }
    case kOptRounding:
        if (value == "0" || value == "1" || value == "2")
            line.Rounding = value[0] - '0';
        else
            error = Substitute(TranslateText("--rounding must be 0, 1 or 2, not \"%s\""), value);
        break;
    case kOptJobs:
        if (const std::optional<int> jobs = ParseJobs(value))
            line.Jobs = *jobs;
        else
            error = Substitute(
                Substitute(TranslateText("--jobs takes a number from 0 (automatic) to %s, not \"%s\""),
                           std::to_string(TWorkerBudget::kMaxWorkers)),
                value);
        break;
    case kOptHardLinks:
        if (value == "once" || value == "each")
            line.Sizes.HardLinksOnce = value == "once";
        else
            error = Substitute(TranslateText("--hard-links must be once or each, not \"%s\""), value);
        break;
    case kOptExclude:
        line.Exclusions.push_back(value);
        break;
    case kOptExcludeFrom:
        ReadPatternFile(value, line.Exclusions, error);
        break;
    default:
        break;
    }
    return error.empty();
}

// The option as the user wrote it, without a value given with '='.
std::string Spelling(const char* arg) {
    const std::string text = arg;
    return text.substr(0, text.find('='));
}

// The text of --help: every option and exit status, in lines of at most 80 columns.
const char* const kUsage =
    N_("Usage: quorvex [DIRECTORY]\n"
       "       quorvex --summary [OPTION]... PATH...\n"
       "       quorvex --largest N | --by-type | --by-age [OPTION]... PATH...\n"
       "       quorvex --compare [--depth N] [OPTION]... OLD NEW\n"
       "       quorvex --export FORMAT --output FILE [OPTION]... PATH\n"
       "       quorvex --treemap FILE.svg|FILE.png [--size WxH] [OPTION]... PATH\n"
       "       quorvex --help | --version\n"
       "\n"
       "Without options, quorvex opens its window and scans DIRECTORY if given.\n"
       "Options may come in any order, before or after the paths; -- ends them.\n"
       "\n"
       "  --summary            scan up to %s paths at once and print the totals of\n"
       "                       each, one \"key: value\" a line, one block per path\n"
       "  --largest N          the N largest files of each path, largest first, one\n"
       "                       \"SIZE<tab>PATH\" a line; --hard-links once lists a\n"
       "                       file with several names at one name only\n"
       "  --by-type            files and bytes per extension (.h, .tar.gz, (none)),\n"
       "                       one \"EXTENSION<tab>FILES<tab>SIZE\" a line, largest first\n"
       "  --by-age             files and bytes per year of last modification, local\n"
       "                       time, one \"YEAR<tab>FILES<tab>SIZE\" a line, oldest first\n"
       "  --compare            what changed from scan OLD to NEW (each a scan file or\n"
       "                       a directory scanned now): one \"SIZE<tab>FILES<tab>STATE\n"
       "                       <tab>PATH\" a line, largest change first, changes signed;\n"
       "                       STATE is grew, shrank, new, gone or moved (a folder\n"
       "                       renamed or moved, its new path after another tab)\n"
       "  --depth N            --compare lists changes at most N levels below the\n"
       "                       root; a folder's change includes those below it\n"
       "  --keep               also save each directory scanned to the scan history,\n"
       "                       as the window does\n"
       "  --json               print the result of --summary, --largest, --by-type,\n"
       "                       --by-age or --compare as one JSON document, names\n"
       "                       escaped as below\n"
       "  --export FORMAT      scan PATH and write the result as csv, txt, html, xml,\n"
       "                       xml2 or ncdu (or the format's number 1 to 6)\n"
       "  -o, --output FILE    the file --export writes, - for standard output\n"
       "  --rounding 0|1|2     the size style of txt and html: 0 bytes, 1 rounded,\n"
       "                       2 truncated; by default the one in the settings\n"
       "  --treemap FILE       draw PATH as a treemap into FILE.svg (a rectangle per\n"
       "                       file, titled with its path and size) or FILE.png\n"
       "  --size WxH           the size of the --treemap picture in pixels, 1280x800\n"
       "                       by default\n"
       "  --jobs N             N threads walk the tree, 0 to 16; 0 (the default) lets\n"
       "                       the program choose\n"
       "  --allocated          sizes are the blocks the disk allocated, not the\n"
       "                       logical lengths\n"
       "  --hard-links once|each\n"
       "                       once: a file with several names counts at the first\n"
       "                       name the scan meets; each (the default): at every name\n"
       "  --exclude PATTERN    neither enter nor count what PATTERN matches: a glob\n"
       "                       matched as ncdu matches it, against the name, the\n"
       "                       absolute path and every tail of it after a /; may\n"
       "                       be given more than once\n"
       "  --exclude-from FILE  the same for each line of FILE that is not blank\n"
       "  -h, --help           show this text and exit\n"
       "  --version            show the version and exit\n"
       "\n"
       "PATH is a directory to scan, or a regular file read as a scan made elsewhere\n"
       "(the JSON that ncdu -o, gdu -o and --export ncdu write).\n"
       "\n"
       "Names are printed with backslash, control characters and bytes that are not\n"
       "UTF-8 as escapes: \\\\, \\t, \\n, \\r, \\xHH. Exported files keep the exact bytes.\n"
       "A directory that cannot be read is named on standard error and the rest is\n"
       "still counted. Several paths give one block each, in the order given, with a\n"
       "blank line between. Ctrl+C, SIGTERM and SIGHUP stop the scans: --summary\n"
       "prints what it found so far, marked \"incomplete: yes\" (the others print\n"
       "what they found too); --export and --treemap write nothing.\n"
       "\n"
       "Exit status:\n"
       "  0    success\n"
       "  1    a directory could not be read, a scan file is not readable, or the\n"
       "       output could not be written\n"
       "  2    bad arguments, or a PATH that is missing or neither a directory nor\n"
       "       a file\n"
       "  3    more than %s paths (the rest were not scanned)\n"
       "  130  stopped by Ctrl+C; 129 by SIGHUP, 143 by SIGTERM\n");

} // namespace

std::optional<TCommandLine> ParseCommandLine(int argc, char** argv, std::string& error) {
    TCommandLine line;
    // The command words in the order given, each as the user would recognise it.
    std::vector<std::pair<TCommand, std::string>> commands;
    bool help = false;
    bool version = false;
    std::vector<std::string> exportOnly;
    std::vector<std::string> treemapOnly;
    std::vector<std::string> compareOnly;
    // Messages are ours, in the user's language.
    opterr = 0;
    optind = 0; // also resets getopt's state, so that the parser can run more than once
    for (;;) {
        const int id = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (id == -1)
            break;
        if (id == '?') {
            // getopt names the fault through optopt only: 0 for an unknown long option, the option's
            // value for a long one given a value it does not take, the letter of an unknown short one.
            const std::string last = argv[optind - 1];
            const bool longOption = last.starts_with("--") && (optopt == 0 || TakesNoValue(optopt));
            const std::string which =
                longOption ? Spelling(last.c_str()) : std::string("-") + static_cast<char>(optopt);
            if (longOption && optopt != 0)
                error = Substitute(TranslateText("%s takes no value"), which);
            else if (longOption && LongOptionMatches(which) > 1)
                error = Substitute(TranslateText("ambiguous option %s"), which);
            else
                error = Substitute(TranslateText("unknown option %s"), which);
            return std::nullopt;
        }
        if (id == ':') {
            const std::string last = argv[optind - 1];
            const std::string which = last.starts_with("--") ? Spelling(last.c_str())
                                                             : std::string("-") + static_cast<char>(optopt);
            error = Substitute(TranslateText("%s needs a value"), which);
            return std::nullopt;
        }
        switch (id) {
        case kOptHelp:
            help = true;
            break;
        case kOptVersion:
            version = true;
            break;
        case kOptSummary:
            commands.emplace_back(TCommand::Summary, "--summary");
            break;
        case kOptLargest:
            commands.emplace_back(TCommand::Largest, "--largest");
            break;
        case kOptByType:
            commands.emplace_back(TCommand::ByType, "--by-type");
            break;
        case kOptByAge:
            commands.emplace_back(TCommand::ByAge, "--by-age");
            break;
        case kOptExport:
            commands.emplace_back(TCommand::Export, "--export");
            break;
        case kOptTreemap:
            commands.emplace_back(TCommand::Treemap, "--treemap");
            break;
        case kOptSize:
            treemapOnly.emplace_back("--size");
            break;
        case kOptJson:
            line.Json = true;
            break;
        case kOptCompare:
            commands.emplace_back(TCommand::Compare, "--compare");
            break;
        case kOptDepth:
            compareOnly.emplace_back("--depth");
            break;
        case kOptKeep:
            line.Keep = true;
            break;
        case kOptOutput:
            exportOnly.emplace_back("--output");
            break;
        case kOptRounding:
            exportOnly.emplace_back("--rounding");
            break;
        case kOptAllocated:
            line.Sizes.Kind = TSizeKind::Allocated;
            break;
        default:
            break;
        }
        if (optarg != nullptr && !TakeValue(id, optarg, line, error))
            return std::nullopt;
    }
    for (int i = optind; i < argc; ++i)
        line.Paths.emplace_back(argv[i]);
    // Only once every argument has been read: a fault anywhere refuses the whole line.
    if (help || version) {
        line.Command = help ? TCommand::Help : TCommand::Version;
        return line;
    }

    for (const auto& [command, word] : commands) {
        if (command != commands.front().first) {
            error = Substitute(
                Substitute(TranslateText("%s and %s cannot be combined"), commands.front().second), word);
            return std::nullopt;
        }
    }
    if (commands.empty()) {
        error =
            TranslateText("say what to do: --summary, --largest, --by-type, --by-age, --compare, --export, "
                          "--treemap, --help or --version");
        return std::nullopt;
    }
    line.Command = commands.front().first;
    if (line.Command != TCommand::Treemap && !treemapOnly.empty()) {
        error =
            Substitute(Substitute(TranslateText("%s goes with --treemap, not with %s"), treemapOnly.front()),
                       commands.front().second);
        return std::nullopt;
    }
    if (line.Command == TCommand::Treemap && (line.Json || line.Paths.size() > 1)) {
        error = line.Json
                    ? TranslateText("--json goes with --summary, --largest, --by-type or --by-age, not with "
                                    "--treemap")
                    : TranslateText("--treemap takes one PATH");
        return std::nullopt;
    }
    if (line.Command != TCommand::Compare && !compareOnly.empty()) {
        error =
            Substitute(Substitute(TranslateText("%s goes with --compare, not with %s"), compareOnly.front()),
                       commands.front().second);
        return std::nullopt;
    }
    if (line.Command == TCommand::Compare && line.Paths.size() != 2) {
        error = TranslateText("--compare takes two PATHs: the older scan and the newer");
        return std::nullopt;
    }
    if (line.Command != TCommand::Export) {
        const std::string& word = commands.front().second;
        if (!exportOnly.empty()) {
            error = Substitute(
                Substitute(TranslateText("%s goes with --export, not with %s"), exportOnly.front()), word);
            return std::nullopt;
        }
        if (line.Paths.empty()) {
            error = Substitute(TranslateText("%s takes at least one PATH"), word);
            return std::nullopt;
        }
        return line;
    }
    if (line.Json || line.Keep) {
        error = Substitute(
            TranslateText(
                "%s goes with --summary, --largest, --by-type, --by-age or --compare, not with --export"),
            line.Json ? "--json" : "--keep");
        return std::nullopt;
    }
    if (line.Output.empty()) {
        error = TranslateText("--export needs --output FILE (- for standard output)");
        return std::nullopt;
    }
    if (line.Paths.size() != 1) {
        error = line.Paths.empty() ? TranslateText("--export needs the PATH to scan")
                                   : TranslateText("--export takes one PATH");
        return std::nullopt;
    }
    return line;
}

std::string UsageText() {
    const std::string roots = std::to_string(kSummaryMaxRoots);
    return Substitute(Substitute(TranslateText(kUsage), roots), roots);
}

} // namespace quorvex
