#include "ExportCommand.h"

#include "InterruptNotifier.h"
#include "ScanProgress.h"
#include "SummaryCommand.h"

#include "export/ExportAction.h"
#include "export/ExportRegistry.h"
#include "export/NcduImport.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileSystemNode.h"
#include "scan/DirScanThreadList.h"
#include "settings/QxSettings.h"
#include "support/PosixDir.h"
#include "support/SafeFileWriter.h"
#include "support/Utilities.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

constexpr int kUsageError = 2;
constexpr int kRunError = 1;

const char* const kUsage =
    N_("Usage: quorvex --export FORMAT --output FILE [--rounding 0|1|2] [--jobs N] [--allocated]\n"
       "                [--hard-links once|each] PATH\n"
       "  FORMAT    csv, txt, html, xml, xml2, ncdu, or the format's number 1 to 6\n"
       "  PATH      a directory to scan, or a scan file (JSON, as ncdu -o writes) to read\n"
       "  FILE      the file to write (-o FILE also works), or - for standard output\n"
       "  rounding  sizes in txt and html: 0 bytes, 1 rounded, 2 truncated\n");

// What the command takes from the settings.
struct TExportSettings {
    std::int64_t GroupThreshold = kDefaultGroupFileSize;
    int FileSizeRounding = kDefaultFileSizeRounding;
};

// The user's own grouping and size style, so that the file matches what the window would save.
// Settings that cannot be read are reported and the defaults used: the export itself can go on.
TExportSettings ReadExportSettings() {
    TExportSettings values;
    try {
        TSettings& settings = GlobalSettings();
        settings.Load();
        values.GroupThreshold = settings.GroupThreshold();
        values.FileSizeRounding = settings.FileSizeRounding();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorvex: %s\n", error.what());
    }
    return values;
}

struct TExportOptions {
    const TExportClass* Format = nullptr;
    std::string Output;
    std::optional<int> Rounding;
    int Jobs = 0;
    TSizeOptions Sizes;
    std::string Path;
};

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "quorvex: %s\n", message.c_str());
    if (code == kUsageError)
        std::fputs(TranslateText(kUsage).c_str(), stderr);
    return code;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

const TExportClass* FindFormat(const std::string& word) {
    const TExportRegistry& registry = ExportRegistry();
    const std::string name = Lower(word);
    for (int i = 0; i < registry.Count(); ++i) {
        if (registry.Items(i).GetCommandName() == name || std::to_string(i + 1) == word)
            return &registry.Items(i);
    }
    return nullptr;
}

// Arguments are bytes: a PATH or FILE that is not valid UTF-8 reaches the file system unchanged.
std::optional<TExportOptions> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    TExportOptions options;
    if (args.size() < 2) {
        error = TranslateText("--export needs a FORMAT");
        return std::nullopt;
    }
    options.Format = FindFormat(args[1]);
    if (options.Format == nullptr) {
        error = Substitute(TranslateText("unknown export format \"%s\""), args[1]);
        return std::nullopt;
    }
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (ParseSizeOption(args, i, options.Sizes, error)) {
            if (!error.empty())
                return std::nullopt;
            continue;
        }
        const bool takesValue = arg == "--output" || arg == "-o" || arg == "--rounding" || arg == "--jobs";
        if (!takesValue) {
            error = Substitute(TranslateText("unknown option %s"), arg);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = Substitute(TranslateText("%s needs a value"), arg);
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (arg == "--rounding") {
            if (value != "0" && value != "1" && value != "2") {
                error = Substitute(TranslateText("--rounding must be 0, 1 or 2, not \"%s\""), value);
                return std::nullopt;
            }
            options.Rounding = value[0] - '0';
        } else if (arg == "--jobs") {
            const std::optional<int> jobs = ParseJobs(value);
            if (!jobs) {
                error = BadJobsMessage(value);
                return std::nullopt;
            }
            options.Jobs = *jobs;
        } else {
            options.Output = value;
        }
    }
    if (options.Output.empty()) {
        error = TranslateText("--export needs --output FILE (- for standard output)");
        return std::nullopt;
    }
    if (paths.size() != 1) {
        error = paths.empty() ? TranslateText("--export needs the PATH to scan")
                              : TranslateText("--export takes one PATH");
        return std::nullopt;
    }
    options.Path = paths[0];
    return options;
}

// Checked before the scan so that a long scan does not end in a file that cannot be written.
std::optional<std::string> OutputProblem(const std::string& output) {
    if (output == "-")
        return std::nullopt;
    if (const int problem = SafeWriteProblem(output); problem != 0)
        return output + ": " + SystemErrorMessage(problem);
    return std::nullopt;
}

// Runs the scan on a scan thread, as the window does, and waits for its completion on this thread's
// event loop; meanwhile the progress line is redrawn from the timer. Returns false when Ctrl+C
// stopped the scan: a partial tree must not be written as if it were the result.
bool Scan(TRootDirNode& root, std::int64_t threshold, int jobs) {
    int argc = 1;
    char name[] = "quorvex";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);
    // The application object reset the C locale from the environment; the C library's messages follow
    // the program's language again.
    FollowLanguageInCLibrary(CurrentLanguage());

    TScanProgress progress(STDERR_FILENO);
    TDirScanThreadList threads(1, [threshold] { return threshold; });
    threads.SetJobs(jobs);
    const TInterruptNotifier interrupt([&threads] { threads.StopAll(); });
    TDirScanThread* thread = threads.AddThread(&root);
    QEventLoop loop;
    thread->SetOnFinished([&loop](TDirScanThread&) { loop.quit(); });

    const auto start = std::chrono::steady_clock::now();
    auto draw = [&] {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        progress.Update(threads.GetCurrentDir(), root.GetFileCount(), root.GetSize(), elapsed.count());
    };
    QTimer timer;
    timer.setInterval(TScanProgress::kInterval);
    QObject::connect(&timer, &QTimer::timeout, draw);
    if (progress.Enabled()) {
        draw();
        timer.start();
    }
    thread->Resume();
    loop.exec();
    timer.stop();
    progress.Finish();
    return !interrupt.Interrupted();
}

} // namespace

int RunExportCommand(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<TExportOptions> options = ParseArguments(args, error);
    if (!options)
        return Fail(kUsageError, error);

    struct stat st {};
    if (::stat(options->Path.c_str(), &st) != 0)
        return Fail(kUsageError, options->Path + ": " + SystemErrorMessage(errno));
    // A regular file is a scan made elsewhere, read instead of scanned.
    const bool isFile = S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && !isFile)
        return Fail(kUsageError, options->Path + ": " + SystemErrorMessage(ENOTDIR));
    if (const auto problem = OutputProblem(options->Output))
        return Fail(kRunError, *problem);

    const TExportSettings settings = ReadExportSettings();
    auto root = std::make_unique<TRootDirNode>();
    if (isFile) {
        try {
            root = ImportNcduFile(options->Path, settings.GroupThreshold, options->Sizes.HardLinksOnce);
        } catch (const EImportError& unreadable) {
            return Fail(kRunError, unreadable.what());
        }
    } else {
        root->SetName(ExcludeTrailingPathDelimiter(options->Path));
        root->SetHardLinksOnce(options->Sizes.HardLinksOnce);
        if (!Scan(*root, settings.GroupThreshold, options->Jobs)) {
            std::fprintf(stderr, "quorvex: %s\n", TranslateText("interrupted; nothing was written").c_str());
            return kExitInterrupted;
        }
        // An unreadable root would export as an empty tree that looks like a real result.
        if (root->ErrorCode() != 0)
            return Fail(kRunError, options->Path + ": " + SystemErrorMessage(root->ErrorCode()));
    }

    try {
        const auto exporter = options->Format->Create(root.get());
        exporter->SetSizeKind(options->Sizes.Kind);
        exporter->SetSizeFormatter(
            ExportSizeFormatter(*options->Format, options->Rounding.value_or(settings.FileSizeRounding)));
        if (options->Output == "-") {
            TSafeFileWriter out(STDOUT_FILENO, TranslateText("standard output"));
            exporter->ExportToWriter(out);
        } else {
            exporter->ExportToFile(options->Output);
        }
    } catch (const std::exception& failure) {
        return Fail(kRunError, failure.what());
    }
    return 0;
}

} // namespace quorvex
