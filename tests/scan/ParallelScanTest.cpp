// One tree walked by several workers: the result must be the one-worker result, node for node.

#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"
#include "support/PosixDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::TempTree;

// Thread-safe hooks: a name may fail to open, "slow" entries take a while to examine (so that every
// worker gets its share), and the threads that examined entries are recorded.
struct RacingFileSystem : TFileSystemApi {
    std::string deniedName = "denied";
    std::atomic<int> stats{0};
    std::atomic<int> stopAfter{-1};
    TDirScanner* scanner = nullptr;
    std::atomic<int> mostOpen{0};
    int descriptorsBefore = 0;
    std::mutex mutex;
    std::set<std::thread::id> threads;

    int OpenDirectory(int parentFd, const char* name) override {
        if (name == deniedName)
            return -EACCES;
        if (descriptorsBefore > 0) {
            const int open = testing::OpenDescriptors() - descriptorsBefore;
            int seen = mostOpen.load();
            while (open > seen && !mostOpen.compare_exchange_weak(seen, open)) {
            }
        }
        return TFileSystemApi::OpenDirectory(parentFd, name);
    }
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        if (std::string(name).rfind("slow", 0) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        if (++stats == stopAfter.load() && scanner != nullptr)
            scanner->Stop();
        {
            std::lock_guard guard(mutex);
            threads.insert(std::this_thread::get_id());
        }
        return TFileSystemApi::StatEntry(dirFd, name, info);
    }
};

// Wide (a root of 120 directories), deep (a chain of 40 with a side branch at every level), many tiny
// directories (400 empty ones), small files to group, one directory that cannot be opened. Returns
// the total size of its files.
std::int64_t MakeRacingTree(const TempTree& t) {
    std::int64_t total = 0;
    auto file = [&](const std::string& path, int size) {
        t.File(path, size);
        total += size;
    };
    for (int w = 0; w < 120; ++w) {
        const std::string dir = std::string("w").append(std::to_string(w));
        t.Dir(dir);
        file(dir + "/slow", 100 + w);
        for (int f = 0; f < w % 5; ++f)
            file(dir + "/small" + std::to_string(f), 3 + f);
        if (w % 10 == 0) {
            t.Dir(dir + "/sub");
            file(dir + "/sub/big", 5000 + w);
        }
    }
    std::string deep = "deep";
    t.Dir(deep);
    for (int level = 0; level < 40; ++level) {
        t.Dir(deep + "/side");
        file(deep + "/side/slow", 7);
        file(deep + "/side/other", 2000);
        deep += "/d";
        t.Dir(deep);
    }
    file(deep + "/bottom", 11);
    t.Dir("tiny");
    for (int i = 0; i < 400; ++i)
        t.Dir("tiny/t" + std::to_string(i));
    t.Dir("denied");
    t.File("denied/hidden-by-the-error", 999);
    return total;
}

// Every figure and flag a reader can see, in child order, one line per node. Each child list is held
// locked while its nodes are read, as the window does: a finishing directory may dissolve its group.
void Describe(const TGroupNode* node, std::ostringstream& out, int depth = 0) {
    out << std::string(static_cast<std::size_t>(depth), ' ') << node->Name() << " size=" << node->GetSize()
        << " files=" << node->GetFileCount() << " own=" << node->OwnFilesSize()
        << " error=" << node->ErrorCode() << " flags=" << static_cast<int>(node->Flags()) << "\n";
    const TChildrenLock guard(node);
    for (const auto& child : guard.Children()) {
        if (auto* group = dynamic_cast<const TGroupNode*>(child.get()))
            Describe(group, out, depth + 1);
    }
}

std::string Describe(const TGroupNode* root) {
    std::ostringstream out;
    Describe(root, out);
    return out.str();
}

// The files found below `node`, each counted once: its own files and its group's, summed over the
// subtree. Whatever a stop cut short, a directory's totals must come to exactly this.
std::pair<std::int64_t, std::int32_t> FoundBelow(const TGroupNode* node) {
    std::int64_t size = node->OwnFilesSize();
    std::int32_t count = node->OwnFilesCount();
    const TChildrenLock guard(node);
    for (const auto& child : guard.Children()) {
        if (auto* group = dynamic_cast<const TGroupNode*>(child.get())) {
            const auto [s, c] = FoundBelow(group);
            size += s;
            count += c;
        }
    }
    return {size, count};
}

void ExpectConsistentAfterStop(const TGroupNode* node) {
    const auto [size, count] = FoundBelow(node);
    EXPECT_EQ(node->GetSize(), size) << GetFullPath(node);
    EXPECT_EQ(node->GetFileCount(), count) << GetFullPath(node);
    EXPECT_FALSE(node->IsScanning()) << GetFullPath(node);
    const TChildrenLock guard(node);
    for (const auto& child : guard.Children()) {
        auto* group = dynamic_cast<const TGroupNode*>(child.get());
        if (group == nullptr || group->GetNodeType() == ntFileGroup)
            continue;
        if (group->HasFlag(nfIncomplete)) {
            EXPECT_TRUE(node->HasFlag(nfIncomplete))
                << "an unfinished child, a finished parent: " << GetFullPath(group);
        }
        ExpectConsistentAfterStop(group);
    }
}

class ParallelScan : public ::testing::TestWithParam<int> {};

TEST_P(ParallelScan, GivesTheOneWorkerResultNodeForNode) {
    TempTree t;
    const std::int64_t total = MakeRacingTree(t);
    RacingFileSystem serialFs;
    TRootDirNode serial;
    TDirScanner(&serial, &serialFs).Scan(t.Path(), 10);

    RacingFileSystem fs;
    TRootDirNode parallel;
    TDirScanner scanner(&parallel, &fs, std::make_shared<TWorkerBudget>(GetParam()));
    EXPECT_EQ(scanner.MaxWorkers(), GetParam());
    // Reads the way the window does while the workers write: live totals, the child lists under
    // their locks, the current directory. The window names a root before its scan starts.
    parallel.SetName(t.Path());
    std::atomic<bool> scanned{false};
    std::thread window([&] {
        while (!scanned) {
            EXPECT_LE(parallel.GetSize(), total);
            Describe(&parallel);
            scanner.GetCurrentDir();
        }
    });
    scanner.Scan(t.Path(), 10);
    scanned = true;
    window.join();

    EXPECT_GE(fs.threads.size(), 2u) << "one worker did everything";
    EXPECT_EQ(parallel.GetSize(), total);
    EXPECT_EQ(Describe(&parallel), Describe(&serial));
    const auto* denied = dynamic_cast<const TGroupNode*>(testing::Child(&parallel, "denied"));
    ASSERT_NE(denied, nullptr);
    EXPECT_EQ(denied->ErrorCode(), EACCES);
    EXPECT_FALSE(parallel.IsScanning() || parallel.HasFlag(nfIncomplete) || scanner.IsBusy());
}

TEST_P(ParallelScan, StopCountsWhatWasFoundOnceAndMarksEveryUnfinishedDirectory) {
    TempTree t;
    MakeRacingTree(t);
    for (const int stopAfter : {1, 40, 300, 700}) {
        RacingFileSystem fs;
        TRootDirNode root;
        TDirScanner scanner(&root, &fs, std::make_shared<TWorkerBudget>(GetParam()));
        fs.scanner = &scanner;
        fs.stopAfter = stopAfter;
        scanner.Scan(t.Path(), 10);
        SCOPED_TRACE("stopped after " + std::to_string(stopAfter) + " entries");
        EXPECT_TRUE(root.HasFlag(nfIncomplete));
        // Each of the other workers may finish the entry it is on.
        EXPECT_LE(fs.stats.load(), stopAfter + GetParam() - 1) << "workers went on after the stop";
        ExpectConsistentAfterStop(&root);
    }
}

// Beyond PATH_MAX with a side branch at every level, so that idle workers take directories deep
// down; all workers together stay within the descriptor budget.
TEST_P(ParallelScan, DeepTreeBeyondPathMaxWithinTheDescriptorBudget) {
    TempTree t;
    constexpr int kDepth = 1500;
    t.Chain(kDepth, [](int fd, int) {
        ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
        const int file = ::openat(fd, "side/slow", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::ftruncate(file, 2), 0);
        ::close(file);
    });

    RacingFileSystem fs;
    fs.descriptorsBefore = testing::OpenDescriptors();
    TRootDirNode root;
    TDirScanner(&root, &fs, std::make_shared<TWorkerBudget>(GetParam())).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetFileCount(), kDepth);
    EXPECT_EQ(root.GetSize(), 2 * kDepth);
    EXPECT_GE(fs.threads.size(), 2u);
    EXPECT_LE(fs.mostOpen.load(), TDirScanner::kMaxOpenDirs + 1);
    int depth = 0;
    for (const TGroupNode* node = &root;
         (node = dynamic_cast<const TGroupNode*>(testing::Child(node, "level"))) != nullptr; ++depth) {
        ASSERT_EQ(node->ErrorCode(), 0) << depth;
        ASSERT_FALSE(node->HasFlag(nfIncomplete)) << depth;
    }
    EXPECT_EQ(depth, kDepth);
}

INSTANTIATE_TEST_SUITE_P(Workers, ParallelScan, ::testing::Values(2, 4, 8),
                         [](const auto& param) { return std::to_string(param.param); });

} // namespace
} // namespace quorvex
