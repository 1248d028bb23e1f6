// In-process figures for the scanner: walk time over a generated tree of 500,000 files in 50,000
// directories with 1 to 8 workers, and the heap bytes each directory node costs (measured with mallinfo2
// around a scan of a tree of empty directories whose names fit the string's inline buffer, so the figure is
// the node alone).

#include "export/ScanHistory.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string BenchRoot(const char* name) {
    const char* base = std::getenv("QUORVEX_BENCH_DIR");
    return std::string(base != nullptr ? base : "/tmp") + "/" + name;
}

// dirs directories in a two-level fan-out, filesPerDir files in each.
std::string MakeTree(const char* name, int dirs, int filesPerDir) {
    const std::string root = BenchRoot(name);
    if (std::filesystem::exists(root + "/.complete"))
        return root;
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    const int fanout = 100;
    for (int d = 0; d < dirs; ++d) {
        const std::string parent = root + "/g" + std::to_string(d / fanout);
        ::mkdir(parent.c_str(), 0755);
        const std::string dir = parent + "/d" + std::to_string(d % fanout);
        ::mkdir(dir.c_str(), 0755);
        for (int f = 0; f < filesPerDir; ++f) {
            const int fd = ::open((dir + "/f" + std::to_string(f)).c_str(), O_WRONLY | O_CREAT, 0644);
            if (fd >= 0) {
                if (::ftruncate(fd, (f + 1) * 1000) != 0)
                    std::abort();
                ::close(fd);
            }
        }
    }
    ::close(::open((root + "/.complete").c_str(), O_WRONLY | O_CREAT, 0644));
    return root;
}

constexpr int kTreeDirs = 50000;
constexpr int kFilesPerDir = 10;

std::string GeneratedTree() {
    return MakeTree("quorvex-bench-500k", kTreeDirs, kFilesPerDir);
}

// Only makes the tree (bench/run.sh asks for it by this name).
void BM_GenerateTree(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(GeneratedTree());
}
BENCHMARK(BM_GenerateTree)->Iterations(1);

void BM_ScanTree(benchmark::State& state) {
    const std::string root = GeneratedTree();
    const auto budget = std::make_shared<quorvex::TWorkerBudget>(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        quorvex::TRootDirNode node;
        quorvex::TDirScanner scanner(&node, nullptr, budget);
        scanner.Scan(root, 1 << 20);
        benchmark::DoNotOptimize(node.GetSize());
    }
    state.counters["dirs/s"] =
        benchmark::Counter(kTreeDirs + kTreeDirs / 100, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ScanTree)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

void BM_BytesPerDirectoryNode(benchmark::State& state) {
    const std::string root = MakeTree("quorvex-bench-dirs", 100000, 0);
    double perNode = 0;
    for (auto _ : state) {
        const auto before = ::mallinfo2().uordblks;
        auto node = std::make_unique<quorvex::TRootDirNode>();
        quorvex::TDirScanner scanner(node.get());
        scanner.Scan(root, 1 << 20);
        const auto after = ::mallinfo2().uordblks;
        perNode = static_cast<double>(after - before) / (100000 + 1000 + 1);
        benchmark::DoNotOptimize(node.get());
    }
    state.counters["bytes/dir"] = perNode;
}
BENCHMARK(BM_BytesPerDirectoryNode)->Unit(benchmark::kMillisecond)->Iterations(3);

// Expanding a folder of 100,000 files: the file nodes made as the window makes them, into a scratch
// directory that is emptied after each round.
void BM_ExpandFolder(benchmark::State& state) {
    const std::string root = MakeTree("quorvex-bench-100k", 1, 100000);
    quorvex::TRootDirNode node;
    quorvex::TDirScanner(&node).Scan(root, 0);
    const auto* dir = static_cast<const quorvex::TDirNode*>(quorvex::FindNodeByPath(&node, root + "/g0/d0"));
    for (auto _ : state) {
        quorvex::TDirNode scratch;
        const int listed = dir->ListDirectoryFiles(&scratch, [](std::int64_t) { return true; });
        if (listed != 100000)
            std::abort();
    }
    state.counters["files/s"] = benchmark::Counter(100000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExpandFolder)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The history's copy of a finished scan of the 500,000-file tree: whole (what a window would wait
// for if it copied at once), and the longest of the 8 ms slices the window copies it in.
void BM_HistoryCopy(benchmark::State& state) {
    quorvex::TRootDirNode node;
    quorvex::TDirScanner(&node).Scan(GeneratedTree(), 1 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(quorvex::TakeHistorySnapshot(node).Tree);
    using Clock = std::chrono::steady_clock;
    double longest = 0;
    quorvex::THistoryCopier copier(node);
    for (bool done = false; !done;) {
        const auto start = Clock::now();
        done = copier.CopyUntil(start + std::chrono::milliseconds(8));
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    state.counters["longest slice ms"] = longest;
}
BENCHMARK(BM_HistoryCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
