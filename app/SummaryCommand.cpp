#include "SummaryCommand.h"

#include "CommandOutput.h"
#include "InterruptNotifier.h"
#include "ScanProgress.h"

#include "export/NcduImport.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "model/SizeFormat.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "scan/ScanExclusions.h"
#include "settings/QxSettings.h"
#include "support/PosixDir.h"
#include "support/PrintableText.h"
#include "support/Utilities.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

// A directory is scanned; a regular file is read as a scan file made elsewhere.
bool CheckPath(const std::string& path, bool& isFile) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        ReportError(path + ": " + SystemErrorMessage(errno));
        return false;
    }
    isFile = S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && !isFile) {
        ReportError(path + ": " + SystemErrorMessage(ENOTDIR));
        return false;
    }
    return true;
}

// The user's grouping, as the window would scan with it. A settings file that cannot be read costs
// the user's grouping, not the summary.
std::int64_t GroupThresholdFromSettings() {
    try {
        TSettings& settings = GlobalSettings();
        settings.Load();
        return settings.GroupThreshold();
    } catch (const std::exception& e) {
        ReportError(e.what());
        return kDefaultGroupFileSize;
    }
}

struct TRootScan {
    std::string path;
    bool isFile = false;
    std::unique_ptr<TRootDirNode> root = std::make_unique<TRootDirNode>();
    double elapsedSeconds = 0;
};

// Reads the scan file in place of a scan; false (and the reason on stderr) when it cannot be read.
bool ImportScan(TRootScan& scan, std::int64_t threshold, bool hardLinksOnce) {
    const auto start = std::chrono::steady_clock::now();
    try {
        scan.root = ImportNcduFile(scan.path, threshold, hardLinksOnce);
    } catch (const EImportError& error) {
        ReportError(error.what());
        return false;
    }
    scan.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

// The block of one root. Scripts read these lines: the path is escaped so that no name can forge a
// line, and no figure takes the decimal separator of the user's locale.
std::string Block(const TRootScan& scan, const TTreeCounts& counts, TSizeKind kind) {
    const TRootDirNode& root = *scan.root;
    const std::int64_t size = root.GetSize(kind);
    std::string text = "path: " + PrintableText(GetFullPath(&root)) + "\n";
    text += "size: " + std::to_string(size) + "\n";
    text += "size_formatted: " + FormatSizeTruncated(size) + "\n";
    text += "files: " + std::to_string(root.GetFileCount()) + "\n";
    text += "directories: " + std::to_string(counts.Directories) + "\n";
    text += "errors: " + std::to_string(counts.Errors) + "\n";
    char seconds[32];
    const auto end = std::to_chars(std::begin(seconds), std::end(seconds), scan.elapsedSeconds,
                                   std::chars_format::fixed, 3);
    text += "elapsed_seconds: " + std::string(seconds, end.ptr) + "\n";
    if (root.HasFlag(nfIncomplete))
        text += "incomplete: yes\n";
    if (IsImportedTree(root))
        text += "imported: yes\n";
    return text;
}

} // namespace

int RunSummaryCommand(int argc, char** argv, const TCommandLine& line) {
    const std::vector<std::string>& paths = line.Paths;
    bool allUsable = true;
    std::vector<bool> isFile(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        bool file = false;
        allUsable = CheckPath(paths[i], file) && allUsable;
        isFile[i] = file;
    }
    if (!allUsable)
        return 2;

    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);
    // The application object reset the C locale from the environment; the C library's messages follow
    // the program's language again.
    FollowLanguageInCLibrary(CurrentLanguage());
    const std::int64_t threshold = GroupThresholdFromSettings();

    const std::size_t scanned = std::min(paths.size(), static_cast<std::size_t>(kSummaryMaxRoots));
    std::vector<std::unique_ptr<TRootScan>> scans;
    for (std::size_t i = 0; i < scanned; ++i) {
        scans.push_back(std::make_unique<TRootScan>());
        scans.back()->path = paths[i];
        scans.back()->isFile = isFile[i];
        scans.back()->root->SetName(ExcludeTrailingPathDelimiter(paths[i]));
        scans.back()->root->SetHardLinksOnce(line.Sizes.HardLinksOnce);
    }
    int exitCode = 0;
    for (auto it = scans.begin(); it != scans.end();) {
        if ((*it)->isFile && !ImportScan(**it, threshold, line.Sizes.HardLinksOnce)) {
            exitCode = 1;
            it = scans.erase(it);
        } else {
            ++it;
        }
    }

    QEventLoop loop;
    TDirScanThreadList threads(kSummaryMaxRoots, [threshold] { return threshold; });
    threads.SetJobs(line.Jobs);
    threads.SetExclusions(std::make_shared<const TScanExclusions>(line.Exclusions));
    TInterruptNotifier interrupt([&threads] { threads.StopAll(); });
    std::size_t running = 0;
    for (const auto& scan : scans) {
        if (scan->isFile)
            continue;
        TDirScanThread* thread = threads.AddThread(scan->root.get());
        if (thread == nullptr)
            break; // cannot happen: the list holds as many as are scanned
        thread->SetOnFinished([&, s = scan.get()](TDirScanThread& finished) {
            s->elapsedSeconds = finished.Scanner().ElapsedSeconds();
            threads.Remove(&finished);
            if (--running == 0)
                loop.quit();
        });
        ++running;
        thread->Resume();
    }
    if (running > 0) {
        TScanProgressTicker progress(STDERR_FILENO,
                                     [&](std::string& directory, std::int64_t& files, std::int64_t& bytes) {
                                         directory = threads.GetCurrentDir();
                                         for (const auto& scan : scans) {
                                             files += scan->root->GetFileCount();
                                             bytes += scan->root->GetSize(line.Sizes.Kind);
                                         }
                                     });
        loop.exec();
        progress.Finish();
    }
    threads.StopAllAndWait();

    std::string out;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const TTreeCounts counts = CountTree(scans[i]->root.get());
        if (i > 0)
            out += "\n";
        out += Block(*scans[i], counts, line.Sizes.Kind);
        // A scan file's errors are those of the machine that made it, not of this run.
        if (!scans[i]->isFile && counts.Errors > 0) {
            ReportUnreadable(counts);
            exitCode = 1;
        }
    }
    if (!WriteStandardOutput(out))
        exitCode = 1;
    for (std::size_t i = scanned; i < paths.size(); ++i)
        ReportError(paths[i] + ": " +
                    Substitute(TranslateText("not scanned: at most %s paths are scanned at once"),
                               std::to_string(kSummaryMaxRoots)));
    if (interrupt.Interrupted()) {
        ReportError(TranslateText("interrupted; the totals above are incomplete"));
        return interrupt.ExitStatus();
    }
    return scanned < paths.size() ? kExitTooManyPaths : exitCode;
}

} // namespace quorvex
