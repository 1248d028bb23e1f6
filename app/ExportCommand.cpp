#include "ExportCommand.h"

#include "CommandOutput.h"
#include "InterruptNotifier.h"
#include "ScanProgress.h"

#include "export/ExportAction.h"
#include "export/ExportRegistry.h"
#include "export/NcduImport.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/ScanExclusions.h"
#include "settings/QxSettings.h"
#include "support/PosixDir.h"
#include "support/SafeFileWriter.h"
#include "support/Utilities.h"

#include <QCoreApplication>
#include <QEventLoop>

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
        ReportError(error.what());
    }
    return values;
}

int Fail(int code, const std::string& message) {
    ReportError(message);
    return code;
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
// event loop; meanwhile the progress line is redrawn from the timer. Returns false when a signal
// stopped the scan (`signal` tells which): a partial tree must not be written as if it were the
// result.
bool Scan(TRootDirNode& root, std::int64_t threshold, const TCommandLine& line, int& signal) {
    int argc = 1;
    char name[] = "quorvex";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);
    // The application object reset the C locale from the environment; the C library's messages follow
    // the program's language again.
    FollowLanguageInCLibrary(CurrentLanguage());

    TDirScanThreadList threads(1, [threshold] { return threshold; });
    threads.SetJobs(line.Jobs);
    threads.SetExclusions(std::make_shared<const TScanExclusions>(line.Exclusions));
    const TInterruptNotifier interrupt([&threads] { threads.StopAll(); });
    TDirScanThread* thread = threads.AddThread(&root);
    QEventLoop loop;
    thread->SetOnFinished([&loop](TDirScanThread&) { loop.quit(); });
    TScanProgressTicker progress(STDERR_FILENO,
                                 [&](std::string& directory, std::int64_t& files, std::int64_t& bytes) {
                                     directory = threads.GetCurrentDir();
                                     files = root.GetFileCount();
                                     bytes = root.GetSize();
                                 });
    thread->Resume();
    loop.exec();
    progress.Finish();
    signal = interrupt.Signal();
    return signal == 0;
}

} // namespace

int RunExportCommand(const TCommandLine& line) {
    const std::string& path = line.Paths.front();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Fail(kUsageError, path + ": " + SystemErrorMessage(errno));
    // A regular file is a scan made elsewhere, read instead of scanned.
    const bool isFile = S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && !isFile)
        return Fail(kUsageError, path + ": " + SystemErrorMessage(ENOTDIR));
    if (const auto problem = OutputProblem(line.Output))
        return Fail(kRunError, *problem);

    const TExportSettings settings = ReadExportSettings();
    int exitCode = 0;
    auto root = std::make_unique<TRootDirNode>();
    if (isFile) {
        try {
            root = ImportNcduFile(path, settings.GroupThreshold, line.Sizes.HardLinksOnce);
        } catch (const EImportError& unreadable) {
            return Fail(kRunError, unreadable.what());
        }
    } else {
        root->SetName(ExcludeTrailingPathDelimiter(path));
        root->SetHardLinksOnce(line.Sizes.HardLinksOnce);
        int signal = 0;
        if (!Scan(*root, settings.GroupThreshold, line, signal)) {
            ReportError(TranslateText("interrupted; nothing was written"));
            return 128 + signal;
        }
        // An unreadable root would export as an empty tree that looks like a real result.
        if (root->ErrorCode() != 0)
            return Fail(kRunError, path + ": " + SystemErrorMessage(root->ErrorCode()));
        // The file is still written whole; the caller learns from the status that parts are missing.
        const TTreeCounts counts = CountTree(root.get());
        ReportUnreadable(counts);
        exitCode = counts.Errors > 0 ? kRunError : 0;
    }

    // A signal while the file is written stops the writing and takes the temporary file with it.
    TInterruptNotifier interrupt({});
    try {
        const auto exporter = line.Format->Create(root.get());
        exporter->SetSizeKind(line.Sizes.Kind);
        exporter->SetSizeFormatter(
            ExportSizeFormatter(*line.Format, line.Rounding.value_or(settings.FileSizeRounding)));
        std::optional<TSafeFileWriter> out;
        try {
            if (line.Output == "-")
                out.emplace(STDOUT_FILENO, TranslateText("standard output"));
            else
                out.emplace(line.Output);
        } catch (const EFileWriteError& error) {
            return Fail(kRunError, Substitute(TranslateText("Cannot create file %s"), error.FileName()) +
                                       ": " + error.Reason());
        }
        out->SetStopRequest([&interrupt] { return interrupt.Poll(); });
        exporter->ExportToWriter(*out);
    } catch (const std::exception& failure) {
        if (interrupt.Poll()) {
            ReportError(TranslateText("interrupted; nothing was written"));
            return interrupt.ExitStatus();
        }
        return Fail(kRunError, failure.what());
    }
    return exitCode;
}

} // namespace quorvex
