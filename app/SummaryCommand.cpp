#include "SummaryCommand.h"

#include "InterruptNotifier.h"

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

bool CheckDirectory(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(errno).c_str());
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
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
    TRootDirNode root;
    double elapsedSeconds = 0;
};

void PrintBlock(const TRootScan& scan) {
    const TreeCounts counts = CountTree(&scan.root);
    const std::int64_t size = scan.root.GetSize();
    std::printf("path: %s\n", GetFullPath(&scan.root).c_str());
    std::printf("size: %lld\n", static_cast<long long>(size));
    std::printf("size_formatted: %s\n", FormatSizeTruncated(size).c_str());
    std::printf("files: %lld\n", static_cast<long long>(scan.root.GetFileCount()));
    std::printf("directories: %lld\n", static_cast<long long>(counts.directories));
    std::printf("errors: %lld\n", static_cast<long long>(counts.errors));
    // Scripts read these lines: the figure never takes the decimal separator of the user's locale.
    char seconds[32];
    const auto end = std::to_chars(std::begin(seconds), std::end(seconds), scan.elapsedSeconds,
                                   std::chars_format::fixed, 3);
    std::printf("elapsed_seconds: %.*s\n", static_cast<int>(end.ptr - seconds), seconds);
    if (scan.root.HasFlag(nfIncomplete))
        std::printf("incomplete: yes\n");
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

int RunSummaryCommand(int argc, char** argv, const std::vector<std::string>& paths, int jobs) {
    bool allDirectories = true;
    for (const std::string& path : paths)
        allDirectories = CheckDirectory(path) && allDirectories;
    if (!allDirectories)
        return 2;

    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QCoreApplication>(argc, argv);
    const std::int64_t threshold = GroupThresholdFromSettings();

    const std::size_t scanned = std::min(paths.size(), static_cast<std::size_t>(kSummaryMaxRoots));
    std::vector<std::unique_ptr<TRootScan>> scans;
    for (std::size_t i = 0; i < scanned; ++i) {
        scans.push_back(std::make_unique<TRootScan>());
        scans.back()->path = paths[i];
        scans.back()->root.SetName(ExcludeTrailingPathDelimiter(paths[i]));
    }

    QEventLoop loop;
    TDirScanThreadList threads(kSummaryMaxRoots, [threshold] { return threshold; });
    threads.SetJobs(jobs);
    TInterruptNotifier interrupt([&threads] { threads.StopAll(); });
    std::size_t running = 0;
    for (const auto& scan : scans) {
        TDirScanThread* thread = threads.AddThread(&scan->root);
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

    int exitCode = 0;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        if (i > 0)
            std::printf("\n");
        PrintBlock(*scans[i]);
        if (scans[i]->root.ErrorCode() != 0) {
            std::fprintf(stderr, "quorvex: %s: %s\n", scans[i]->path.c_str(),
                         SystemErrorMessage(scans[i]->root.ErrorCode()).c_str());
            exitCode = 1;
        }
    }
    std::fflush(stdout);
    for (std::size_t i = scanned; i < paths.size(); ++i)
        std::fprintf(stderr, "quorvex: %s: not scanned: at most %d paths are scanned at once\n",
                     paths[i].c_str(), kSummaryMaxRoots);
    if (interrupt.Interrupted()) {
        std::fprintf(stderr, "quorvex: interrupted; the totals above are incomplete\n");
        return kExitInterrupted;
    }
    return scanned < paths.size() ? kExitTooManyPaths : exitCode;
}

} // namespace quorvex
