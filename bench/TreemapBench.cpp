// In-process figures for the treemap at 1280x800: the layout and the cushion painting of a scan of /usr,
// of the generated tree of 500,000 files (made by bench_ScanBench --benchmark_filter=BM_GenerateTree)
// and of /, each with the window's grouping of files under 1 MiB and without grouping (every file a
// record that may become a tile). Counters: tiles drawn, files in the tree, bytes per tile.

#include "model/FileKinds.h"
#include "model/RootNodes.h"
#include "model/TreemapLayout.h"
#include "model/TreemapShading.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string GeneratedTree() {
    const char* base = std::getenv("QUORVEX_BENCH_DIR");
    return std::string(base != nullptr ? base : "/tmp") + "/quorvex-bench-500k";
}

// Each tree is scanned once for all the benchmarks that draw it.
const quorvex::TRootDirNode& Scanned(const std::string& path, bool grouped) {
    static std::map<std::pair<std::string, bool>, std::unique_ptr<quorvex::TRootDirNode>> scans;
    auto& root = scans[{path, grouped}];
    if (!root) {
        root = std::make_unique<quorvex::TRootDirNode>();
        const std::int64_t threshold = grouped ? 1 << 20 : 0;
        root->SetGroupThreshold(threshold);
        quorvex::TDirScanner scanner(root.get(), nullptr, std::make_shared<quorvex::TWorkerBudget>(0));
        scanner.Scan(path, threshold);
    }
    return *root;
}

const quorvex::TFileKinds& Kinds() {
    static const quorvex::TFileKinds kinds;
    return kinds;
}

quorvex::TTreemapOptions Options() {
    return {.Width = 1280, .Height = 800, .Kinds = &Kinds()};
}

void Count(benchmark::State& state, const quorvex::TRootDirNode& root, std::size_t tiles) {
    state.counters["tiles"] = static_cast<double>(tiles);
    state.counters["files"] = root.GetFileCount();
    state.counters["bytes/tile"] = sizeof(quorvex::TTreemapTile);
}

void BM_TreemapLayout(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::is_directory(path)) {
        state.SkipWithError("no such tree; bench_ScanBench --benchmark_filter=BM_GenerateTree makes it");
        return;
    }
    const quorvex::TRootDirNode& root = Scanned(path, state.range(0) != 0);
    std::size_t tiles = 0;
    for (auto _ : state) {
        const std::vector<quorvex::TTreemapTile> layout = quorvex::LayoutTreemap(root, Options());
        tiles = layout.size();
        benchmark::DoNotOptimize(layout.data());
    }
    Count(state, root, tiles);
}

void BM_TreemapLayoutAndPaint(benchmark::State& state, const std::string& path) {
    if (!std::filesystem::is_directory(path)) {
        state.SkipWithError("no such tree; bench_ScanBench --benchmark_filter=BM_GenerateTree makes it");
        return;
    }
    const quorvex::TRootDirNode& root = Scanned(path, state.range(0) != 0);
    std::vector<std::uint32_t> pixels(1280 * 800);
    std::size_t tiles = 0;
    for (auto _ : state) {
        const std::vector<quorvex::TTreemapTile> layout = quorvex::LayoutTreemap(root, Options());
        quorvex::PaintTreemap(layout, 1, pixels.data(), 1280, 800, 1280);
        tiles = layout.size();
        benchmark::DoNotOptimize(pixels.data());
    }
    Count(state, root, tiles);
}

BENCHMARK_CAPTURE(BM_TreemapLayout, usr, std::string("/usr"))->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TreemapLayout, tree500k, GeneratedTree())->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TreemapLayout, root, std::string("/"))->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TreemapLayoutAndPaint, usr, std::string("/usr"))
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TreemapLayoutAndPaint, tree500k, GeneratedTree())
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TreemapLayoutAndPaint, root, std::string("/"))
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
