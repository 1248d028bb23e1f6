// Drives the main window offscreen over a generated tree of about 100,000 directories while it is
// scanned, and reports the cost of each tree rebuild, of painting the visible rows (with their theme
// icons and the scanning animation) and the longest stall of the event loop.
//
//   bench_WindowRebuildBench [--levels 2|3] [--keep DIR] [--jobs N]
//
// --levels 2 keeps the root and its children expanded (about 2,000 rows); --levels 3 also expands the
// next level (about 100,000 rows in the view). --jobs sets how many threads walk (0, the default, lets
// the program choose), to see what a parallel walk costs the window against a single thread.

#include "model/FileSystemNode.h"
#include "settings/QxSettings.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/QxApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLevel1 = 50;
constexpr int kLevel2 = 40;
constexpr int kLevel3 = 50; // 50 x 40 x 50 = 100,000 leaf directories

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void MakeFile(int dirFd, const char* name, off_t size) {
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (::ftruncate(fd, size) != 0)
            std::perror("ftruncate");
        ::close(fd);
    }
}

// A prefix letter and a number; built by appending, which GCC 12 does not misread as an overlap.
std::string Name(char prefix, int number) {
    std::string name(1, prefix);
    name += std::to_string(number);
    return name;
}

int OpenDir(int parentFd, const std::string& name) {
    ::mkdirat(parentFd, name.c_str(), 0755);
    return ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Sparse files, so the tree costs inodes, not disk space.
void Generate(const std::string& root) {
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int a = 0; a < kLevel1; ++a) {
        const int aFd = OpenDir(rootFd, Name('a', a));
        for (int b = 0; b < kLevel2; ++b) {
            const int bFd = OpenDir(aFd, Name('b', b));
            MakeFile(bFd, "data.bin", static_cast<off_t>((a * 7919 + b * 104729) % 50000000));
            for (int c = 0; c < kLevel3; ++c) {
                const int cFd = OpenDir(bFd, Name('c', c));
                MakeFile(cFd, "f", static_cast<off_t>(((a + 1) * (b + 3) * (c + 11) * 9973) % 3000000));
                ::close(cFd);
            }
            ::close(bFd);
        }
        ::close(aFd);
    }
    ::close(rootFd);
}

struct Series {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Percentile(double p) const {
        if (values.empty())
            return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
    void Print(const char* label) const {
        std::printf("%-28s n=%4zu  median %7.2f ms  p95 %7.2f ms  max %7.2f ms\n", label, values.size(),
                    Percentile(0.5), Percentile(0.95), Percentile(1.0));
    }
};

// Expands every row down to `levels` levels (the top row counting as the first), as a user would have
// done; in one pass, since expanding rows one at a time makes the view lay out again for each.
void ExpandLevels(quorvex::TNodeTreeView& view, int levels) {
    if (levels > 0)
        view.expandToDepth(levels - 1);
}

} // namespace

int main(int argc, char** argv) {
    int levels = 2;
    int jobs = 0;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--levels") == 0 && i + 1 < argc)
            levels = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = argv[++i];
        else if (std::strcmp(argv[i], "--jobs") == 0 && i + 1 < argc)
            jobs = std::atoi(argv[++i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    const std::string config = QFile::encodeName(work.path()).toStdString();
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(config)); // the history it keeps
    quorvex::TQxApplication app(argc, argv);

    std::string root = keep;
    if (root.empty()) {
        root = config + "/tree";
        ::mkdir(root.c_str(), 0755);
    }
    struct stat st {};
    if (::stat((root + "/a0").c_str(), &st) != 0) {
        const auto start = Clock::now();
        Generate(root);
        std::printf("generated %d directories in %.1f s\n", kLevel1 * kLevel2 * (kLevel3 + 1) + kLevel1,
                    Ms(Clock::now() - start) / 1000.0);
    }
    // Cold caches would measure the disk, not the window: walk once first.
    [[maybe_unused]] const int walked = std::system(("du -s '" + root + "' > /dev/null").c_str());

    quorvex::TSettings settings(config + "/Quorvex.ini");
    settings.SetTreeViewRefreshRate(1000000); // the bench rebuilds itself, every 250 ms, to time it
    settings.SetScanJobs(jobs);
    quorvex::TFormMain form(settings);
    form.resize(1280, 800);
    form.show();
    quorvex::TNodeTreeView& view = *form.TreeView();

    Series rebuild;
    Series paint;
    double longestStall = 0;
    auto lastBeat = Clock::now();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    double stallAtEnd = 0;
    bool done = false;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        // The first beat after the scan's end measures the whole of the finishing work.
        double& longest = done ? stallAtEnd : longestStall;
        longest = std::max(longest, Ms(now - lastBeat));
        lastBeat = now;
    });

    auto tick = [&] {
        auto t0 = Clock::now();
        form.RebuildTree();
        auto t1 = Clock::now();
        view.viewport()->repaint();
        auto t2 = Clock::now();
        rebuild.Add(Ms(t1 - t0));
        paint.Add(Ms(t2 - t1));
        ExpandLevels(view, levels);
        lastBeat = Clock::now(); // expanding is the user's doing, not a stall to charge to the scan
    };
    QTimer refresh;
    refresh.setInterval(250);
    QObject::connect(&refresh, &QTimer::timeout, tick);

    // The first show polishes styles and loads fonts; that is start-up, not the scan's doing.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    QObject::connect(&form, &quorvex::TFormMain::ScanFinishedSignal, [&] { done = true; });
    const auto scanStart = Clock::now();
    form.StartDirScan(root);
    lastBeat = Clock::now();
    heartbeat.start();
    refresh.start();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double scanMs = Ms(Clock::now() - scanStart);
    refresh.stop();
    const double stallDuringScan = longestStall;
    // Through the history's copy, which runs between events after the end.
    QElapsedTimer ending;
    ending.start();
    while (ending.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    heartbeat.stop();

    // The finished tree, fully expanded to the same depth.
    Series after;
    Series afterPaint;
    ExpandLevels(view, levels);
    for (int i = 0; i < 20; ++i) {
        auto t0 = Clock::now();
        form.RebuildTree();
        auto t1 = Clock::now();
        view.viewport()->repaint();
        after.Add(Ms(t1 - t0));
        afterPaint.Add(Ms(Clock::now() - t1));
    }

    int rows = 0;
    std::vector<QModelIndex> pending{form.TreeModel()->index(0, 0)};
    while (!pending.empty()) {
        const QModelIndex at = pending.back();
        pending.pop_back();
        ++rows;
        if (view.isExpanded(at))
            for (int r = 0; r < form.TreeModel()->rowCount(at); ++r)
                pending.push_back(form.TreeModel()->index(r, 0, at));
    }
    std::printf("scan of %s: %.2f s wall, %d rows expanded in the view (root + %d levels)\n", root.c_str(),
                scanMs / 1000.0, rows, levels);
    rebuild.Print("RebuildTree during scan");
    paint.Print("paint visible rows (scan)");
    after.Print("RebuildTree, finished tree");
    afterPaint.Print("paint visible rows (done)");
    std::printf("%-28s %.2f ms (heartbeat every 1 ms, rebuild and paint included)\n",
                "longest event-loop stall", stallDuringScan);
    std::printf("%-28s %.2f ms (from the last beat of the scan, through 2 s after it)\n",
                "longest stall, scan's end", stallAtEnd);
    form.close();
    return 0;
}
