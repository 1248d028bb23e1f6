#include "SummaryCommand.h"

#include "InterruptNotifier.h"

#include "export/NcduImport.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"
#include "settings/QxSettings.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <sys/stat.h>

namespace quorvex {
namespace {

struct TreeCounts {
    std::int64_t directories = 0;
    std::int64_t errors = 0;
};

// Iterative, so a tree 10,000 levels deep does not exhaust the stack.
TreeCounts CountTree(const TGroupNode* root) {
    TreeCounts counts;
    std::vector<const TGroupNode*> todo{root};
    while (!todo.empty()) {
        const TGroupNode* node = todo.back();
        todo.pop_back();
        if (node->GetNodeType() == ntFileGroup)
            continue;
        ++counts.directories;
        if (node->ErrorCode() != 0)
            ++counts.errors;
        TChildrenLock guard(node);
        for (const auto& child : guard.Children()) {
            if (auto* group = dynamic_cast<const TGroupNode*>(child.get()))
                todo.push_back(group);
        }
    }
    return counts;
}

// A directory is scanned; a regular file is read as a scan file made elsewhere.
bool CheckPath(const std::string& path, bool& isFile) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(errno).c_str());
        return false;
    }
    isFile = S_ISREG(st.st_mode);
    if (!S_ISDIR(st.st_mode) && !isFile) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(ENOTDIR).c_str());
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
        std::fprintf(stderr, "quorvex: %s\n", e.what());
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
        std::fprintf(stderr, "quorvex: %s\n", error.what());
        return false;
    }
    scan.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

void PrintBlock(const TRootScan& scan, TSizeKind kind) {
    const TRootDirNode& root = *scan.root;
    const TreeCounts counts = CountTree(&root);
    const std::int64_t size = root.GetSize(kind);
    std::printf("path: %s\n", GetFullPath(&root).c_str());
    std::printf("size: %lld\n", static_cast<long long>(size));
    std::printf("size_formatted: %s\n", FormatSizeTruncated(size).c_str());
    std::printf("files: %lld\n", static_cast<long long>(root.GetFileCount()));
    std::printf("directories: %lld\n", static_cast<long long>(counts.directories));
    std::printf("errors: %lld\n", static_cast<long long>(counts.errors));
    // Scripts read these lines: the figure never takes the decimal separator of the user's locale.
    char seconds[32];
    const auto end = std::to_chars(std::begin(seconds), std::end(seconds), scan.elapsedSeconds,
                                   std::chars_format::fixed, 3);
    std::printf("elapsed_seconds: %.*s\n", static_cast<int>(end.ptr - seconds), seconds);
    if (root.HasFlag(nfIncomplete))
        std::printf("incomplete: yes\n");
    if (IsImportedTree(root))
        std::printf("imported: yes\n");
}

} // namespace

std::optional<int> ParseJobs(const std::string& value) {
    int jobs = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs < 0 ||
        jobs > TWorkerBudget::kMaxWorkers)
        return std::nullopt;
    return jobs;
}

std::string BadJobsMessage(const std::string& value) {
    return Substitute(Substitute(TranslateText("--jobs takes a number from 0 (automatic) to %s, not \"%s\""),
                                 std::to_string(TWorkerBudget::kMaxWorkers)),
                      value);
}

bool ParseSizeOption(const std::vector<std::string>& args, std::size_t& i, TSizeOptions& options,
                     std::string& error) {
    if (args[i] == "--allocated") {
        options.Kind = TSizeKind::Allocated;
        return true;
    }
    if (args[i] != "--hard-links")
        return false;
    const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
    if (value == "once" || value == "each") {
        options.HardLinksOnce = value == "once";
        ++i;
    } else {
        error = Substitute(TranslateText("--hard-links must be once or each, not \"%s\""), value);
    }
    return true;
}

int RunSummaryCommand(int argc, char** argv, const std::vector<std::string>& paths, int jobs,
                      TSizeOptions sizes) {
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
        scans.back()->root->SetHardLinksOnce(sizes.HardLinksOnce);
    }
    int exitCode = 0;
    for (auto it = scans.begin(); it != scans.end();) {
        if ((*it)->isFile && !ImportScan(**it, threshold, sizes.HardLinksOnce)) {
            exitCode = 1;
            it = scans.erase(it);
        } else {
            ++it;
        }
    }

    QEventLoop loop;
    TDirScanThreadList threads(kSummaryMaxRoots, [threshold] { return threshold; });
    threads.SetJobs(jobs);
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
    if (running > 0)
        loop.exec();
    threads.StopAllAndWait();

    for (std::size_t i = 0; i < scans.size(); ++i) {
        if (i > 0)
            std::printf("\n");
        PrintBlock(*scans[i], sizes.Kind);
        if (!scans[i]->isFile && scans[i]->root->ErrorCode() != 0) {
            std::fprintf(stderr, "quorvex: %s: %s\n", scans[i]->path.c_str(),
                         SystemErrorMessage(scans[i]->root->ErrorCode()).c_str());
            exitCode = 1;
        }
    }
    std::fflush(stdout);
    for (std::size_t i = scanned; i < paths.size(); ++i)
        std::fprintf(stderr, "quorvex: %s: %s\n", paths[i].c_str(),
                     Substitute(TranslateText("not scanned: at most %s paths are scanned at once"),
                                std::to_string(kSummaryMaxRoots))
                         .c_str());
    if (interrupt.Interrupted()) {
        std::fprintf(stderr, "quorvex: %s\n",
                     TranslateText("interrupted; the totals above are incomplete").c_str());
        return kExitInterrupted;
    }
    return scanned < paths.size() ? kExitTooManyPaths : exitCode;
}

} // namespace quorvex
