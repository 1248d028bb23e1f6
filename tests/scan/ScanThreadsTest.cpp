// The walk at every worker count against the one-worker result, and the list of scan threads: its
// stops, completions and shutdown.

#include "common/HookedFileSystem.h"
#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"
#include "support/FileAttributes.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::HookedFileSystem;
using testing::OpenDescriptors;
using testing::TempTree;

// "denied" cannot be opened; `slowPrefix`... entries take `slowFor` to examine, so that every worker
// gets its share. Records how many entries were examined, at once, at what priority, with what open.
struct TWatchedFileSystem {
    explicit TWatchedFileSystem(std::string slow = "slow", std::chrono::microseconds forHowLong = 300us)
        : slowPrefix(std::move(slow)), slowFor(forHowLong) {}
    const std::string slowPrefix;
    const std::chrono::microseconds slowFor;
    std::atomic<int> stats{0}, inside{0}, mostInside{0}, mostOpen{0}, stopAfter{-1};
    TDirScanner* scanner = nullptr;
    std::string stopPrefix; // of the entries that count towards stopAfter
    const int descriptorsBefore = OpenDescriptors();
    std::mutex mutex;
    std::map<pid_t, int> niceOf;
    static void Raise(std::atomic<int>& most, int now) {
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
    }
    HookedFileSystem fs{[this](const char* name) {
                            Raise(mostOpen, OpenDescriptors() - descriptorsBefore);
                            return std::string(name) == "denied" ? EACCES : 0;
                        },
                        [this](const char* name) {
                            Raise(mostInside, ++inside);
                            {
                                const std::lock_guard guard(mutex);
                                niceOf[::gettid()] = ::getpriority(PRIO_PROCESS, 0);
                            }
                            if (std::string(name).starts_with(slowPrefix))
                                std::this_thread::sleep_for(slowFor);
                            if (std::string(name).starts_with(stopPrefix) && ++stats == stopAfter &&
                                scanner != nullptr)
                                scanner->Stop();
                            --inside;
                            return 0;
                        }};
};

// Wide, deep (chains of 40 and 1500 with a side branch at every level), many tiny directories, small
// files to group, one directory that cannot be opened, one of many small files. Returns the files' total.
std::int64_t MakeRacingTree(const TempTree& t) {
    std::int64_t total = 0;
    auto file = [&](const std::string& path, int size) {
        t.File(path, size);
        total += size;
    };
    for (int w = 0; w < 120; ++w) {
        const std::string dir = "w" + std::to_string(w);
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
    t.Dir("many"); // a stop among its files catches them held by the directory and by its group
    for (int i = 0; i < 300; ++i)
        file("many/g" + std::to_string(i), 1);
    // Beyond PATH_MAX and the descriptor limit, with side branches for idle workers to take deep down.
    t.Chain(1500, [&](int fd, int) {
        testing::Check(::mkdirat(fd, "side", 0755) == 0, "mkdir side");
        const int f = ::openat(fd, "side/slow", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        testing::Check(f >= 0 && ::ftruncate(f, 2) == 0 && ::close(f) == 0, "side/slow");
        total += 2;
    });
    return total;
}

// Every figure and flag a reader can see, each child list locked as the window does it. One string
// appended to: the tree is 1,500 levels deep, and copying each level's text upwards made it quadratic.
void DescribeInto(std::string& out, const TGroupNode* node, std::size_t depth) {
    out.append(depth, ' ');
    out += node->Name() + " size=" + std::to_string(node->GetSize()) +
           " files=" + std::to_string(node->GetFileCount()) + " own=" + std::to_string(node->OwnFilesSize()) +
           " error=" + std::to_string(node->ErrorCode()) +
           " flags=" + std::to_string(static_cast<int>(node->Flags())) + "\n";
    const TChildrenLock guard(node);
    for (const auto& child : guard.Children())
        if (auto* group = dynamic_cast<const TGroupNode*>(child.get()))
            DescribeInto(out, group, depth + 1);
}

std::string Describe(const TGroupNode* node) {
    std::string out;
    DescribeInto(out, node, 0);
    return out;
}

// Whatever a stop cut short, a directory's totals are exactly the files found below it, and an
// unfinished child makes an unfinished parent.
std::pair<std::int64_t, std::int32_t> ExpectConsistentAfterStop(const TGroupNode* node) {
    std::int64_t size = node->OwnFilesSize();
    std::int32_t count = node->OwnFilesCount();
    const TChildrenLock guard(node);
    for (const auto& child : guard.Children()) {
        auto* group = dynamic_cast<const TGroupNode*>(child.get());
        if (group == nullptr)
            continue;
        EXPECT_TRUE(group->GetNodeType() == ntFileGroup || !group->HasFlag(nfIncomplete) ||
                    node->HasFlag(nfIncomplete))
            << "unfinished child, finished parent: " << GetFullPath(group);
        const auto [s, c] = ExpectConsistentAfterStop(group);
        size += s;
        count += c;
    }
    if (node->GetNodeType() != ntFileGroup) {
        EXPECT_EQ(std::pair(node->GetSize(), node->GetFileCount()), std::pair(size, count))
            << GetFullPath(node);
        EXPECT_FALSE(node->IsScanning()) << GetFullPath(node);
    }
    return {size, count};
}

// One worker walks without a budget, on the caller's thread.
class ParallelScan : public ::testing::TestWithParam<int> {
protected:
    std::shared_ptr<TWorkerBudget> Budget() const {
        return GetParam() == 1 ? nullptr : std::make_shared<TWorkerBudget>(GetParam());
    }
};

TEST_P(ParallelScan, GivesTheOneWorkerResultNodeForNode) {
    TempTree t;
    const std::int64_t total = MakeRacingTree(t);
    TWatchedFileSystem serialFs;
    TRootDirNode serial;
    TDirScanner(&serial, &serialFs.fs).Scan(t.Path(), 10);

    TWatchedFileSystem watch;
    TRootDirNode parallel;
    TDirScanner scanner(&parallel, &watch.fs, Budget());
    parallel.SetName(t.Path()); // as the window does before it reads along
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

    EXPECT_GE(watch.niceOf.size(), GetParam() > 1 ? 2u : 1u) << "one worker did everything";
    EXPECT_LE(watch.mostOpen.load(), TDirScanner::kMaxOpenDirs + 1);
    EXPECT_EQ(OpenDescriptors(), watch.descriptorsBefore) << "every directory descriptor was closed";
    EXPECT_EQ(parallel.GetSize(), total);
    EXPECT_EQ(Describe(&parallel), Describe(&serial));
    EXPECT_EQ(dynamic_cast<const TGroupNode&>(*testing::Child(&parallel, "denied")).ErrorCode(), EACCES);
    EXPECT_FALSE(parallel.IsScanning() || parallel.HasFlag(nfIncomplete) || scanner.IsBusy());
}

TEST_P(ParallelScan, StopCountsWhatWasFoundOnceAndMarksEveryUnfinishedDirectory) {
    TempTree t;
    MakeRacingTree(t);
    for (const auto& [prefix, stopAfter] : {std::pair{"", 1}, {"", 40}, {"", 300}, {"", 700}, {"g", 100}}) {
        TWatchedFileSystem watch;
        TRootDirNode root;
        TDirScanner scanner(&root, &watch.fs, Budget());
        watch.scanner = &scanner;
        watch.stopPrefix = prefix;
        watch.stopAfter = stopAfter;
        scanner.Scan(t.Path(), 10);
        SCOPED_TRACE("stopped after " + std::to_string(stopAfter) + " entries " + prefix);
        EXPECT_TRUE(root.HasFlag(nfIncomplete));
        // Each of the other workers may finish the entry it is on.
        EXPECT_LE(watch.stats.load(), stopAfter + GetParam() - 1) << "workers went on after the stop";
        ExpectConsistentAfterStop(&root);
        if (auto* many = dynamic_cast<TGroupNode*>(testing::Child(&root, "many"))) {
            RecalculateUpward(many);
            ExpectConsistentAfterStop(&root);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, ParallelScan, ::testing::Values(1, 2, 4, 8),
                         [](const auto& param) { return std::to_string(param.param); });

// Runs the event loop (and so the completions) only when `runEvents` is set.
bool WaitFor(const std::function<bool()>& done, bool runEvents = true,
             std::chrono::milliseconds timeout = 10s) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        runEvents ? QCoreApplication::processEvents(QEventLoop::AllEvents, 10)
                  : std::this_thread::sleep_for(1ms);
    }
    return true;
}

constexpr auto NoGrouping = [] { return std::int64_t{0}; };

int LowerNice() {
    return std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10);
}

int ThreadsInProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

bool Walking(const std::vector<TDirScanThread*>& threads) {
    return std::ranges::all_of(threads, [](const TDirScanThread* t) {
        return t->Scanner().IsBusy() && !t->GetCurrentDir().empty();
    });
}

class DirScanThreadListTest : public ::testing::Test {
protected:
    // The list delivers completions through the event loop of the thread that made it.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "threads_scan";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    std::string BigDir(const std::string& relative, int files) const {
        tree_.Dir(relative);
        for (int i = 0; i < files; ++i)
            tree_.File(relative + "/f" + std::to_string(i), 0);
        return tree_ / relative;
    }
    // Outlives every list of the test.
    TRootDirNode* Root(const std::string& path) {
        roots_.emplace_back().SetName(path);
        return &roots_.back();
    }
    TDirScanThread* Start(
        TDirScanThreadList& list, TGroupNode* root,
        const std::function<void(TDirScanThread&)>& then = [](TDirScanThread&) {}) {
        TDirScanThread* thread = list.AddThread(root);
        thread->SetOnFinished([this, then](TDirScanThread& t) {
            ++calls_;
            then(t);
        });
        thread->Resume();
        return thread;
    }

    TempTree tree_;
    std::deque<TRootDirNode> roots_;
    TWatchedFileSystem slow_{"", 1ms}; // a few thousand files keep a walk busy for seconds
    std::atomic<int> calls_{0};
};

TEST_F(DirScanThreadListTest, CompletionRunsOnTheUserInterfaceThreadAfterLeavingTheList) {
    for (const auto& [name, size] : {std::pair{"small", 10}, {"smaller", 5}, {"large", 1000}})
        tree_.File(name, size);
    auto root = Root(tree_.Path());
    const int threadsBefore = ThreadsInProcess();
    TDirScanThreadList list(9, [] { return 100; });
    const auto uiThread = std::this_thread::get_id();
    Start(list, root, [&](TDirScanThread& finished) {
        EXPECT_EQ(std::this_thread::get_id(), uiThread);
        EXPECT_TRUE(list.IsEmpty()) << "the thread is still listed";
        // The worker waits for this call, so its priority can still be read.
        EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(finished.WorkerId())), LowerNice());
        list.Remove(&finished); // what the window does; harmless when already gone
    });
    ASSERT_TRUE(WaitFor([&] { return calls_ > 0; }));
    EXPECT_EQ(root->GetFileCount(), 3);
    ASSERT_NE(root->FileGroup(), nullptr) << "the threshold from the source groups the small files";
    EXPECT_TRUE(WaitFor([&] { return ThreadsInProcess() == threadsBefore; })) << "the ended worker is joined";
    EXPECT_EQ(calls_, 1);

    // An error that ends a walk still completes it.
    HookedFileSystem throwing{nullptr, [](const char*) -> int { throw std::runtime_error("disk on fire"); }};
    TDirScanThreadList failing(9, NoGrouping, &throwing);
    auto burning = Root(tree_.Path());
    Start(failing, burning);
    EXPECT_TRUE(WaitFor([&] { return calls_ == 2; }));
    EXPECT_TRUE(failing.IsEmpty());
    EXPECT_FALSE(burning->IsScanning());
}

TEST_F(DirScanThreadListTest, StopThreadsBelowStopsOnlyDescendants) {
    tree_.Dir("n");
    tree_.Dir("n/a");
    BigDir("n/a/b", 3000);
    auto n = Root(tree_ / "n");
    TDirNode* grandchild = AddDirNode(AddDirNode(n, "a", faDirectory), "b", faDirectory);
    auto unrelated = Root(BigDir("u", 3000));
    TDirScanThreadList list(9, NoGrouping, &slow_.fs);
    TDirScanThread* below = Start(list, grandchild);
    TDirScanThread* other = Start(list, unrelated);
    ASSERT_TRUE(WaitFor([&] { return Walking({below, other}); }, false));
    EXPECT_EQ(list.GetCurrentDir(), tree_ / "n/a/b"); // the first thread added
    EXPECT_EQ(list.StopThreadsBelow(n), 1);
    EXPECT_TRUE(below->IsTerminated() && !below->Scanner().IsBusy());
    EXPECT_TRUE(!other->IsTerminated() && other->Scanner().IsBusy());
    ASSERT_TRUE(WaitFor([&] { return calls_ == 1; }));

    // A thread on the node itself is not below it (it rescans the node, so only once b's has ended).
    TDirScanThread* itself = Start(list, n);
    ASSERT_TRUE(WaitFor([&] { return Walking({itself}); }, false));
    EXPECT_EQ(list.StopThreadsBelow(n), 0);
    EXPECT_FALSE(itself->IsTerminated());
    list.StopAll();
    EXPECT_TRUE(WaitFor([&] { return calls_ == 3 && list.IsEmpty(); }));
}

// A full list of nine refuses the next root. Shutdown, with nine walks busy on large trees and a
// completion already queued, is quick, and nothing calls back afterwards.
TEST_F(DirScanThreadListTest, FullListRefusesAnotherRootAndShutsDownQuicklyAndSilently) {
    tree_.Dir("tiny");
    auto tiny = Root(tree_ / "tiny");
    const std::string dir = BigDir("big", 3000);
    std::vector<TDirScanThread*> threads;
    const int threadsBefore = ThreadsInProcess();
    TDirScanThreadList list(9, NoGrouping, &slow_.fs);
    Start(list, tiny);
    for (int i = 0; i < 9; ++i) {
        // The last once tiny has left the list, its completion still queued.
        ASSERT_TRUE(i < 8 || WaitFor([&] { return list.Count() == 8; }, false));
        threads.push_back(Start(list, Root(dir)));
    }
    EXPECT_TRUE(list.IsFull());
    EXPECT_EQ(list.AddThread(tiny), nullptr);
    ASSERT_TRUE(WaitFor([&] { return Walking(threads); }, false));
    const auto start = std::chrono::steady_clock::now();
    list.StopAllAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(list.IsEmpty() && ThreadsInProcess() == threadsBefore);
    WaitFor([] { return false; }, true, 200ms);
    EXPECT_EQ(calls_.load(), 0);
    EXPECT_TRUE(std::all_of(std::next(roots_.begin()), roots_.end(),
                            [](const TRootDirNode& big) { return big.HasFlag(nfIncomplete); }));
}

// The scanner forgets a stop that comes before its walk begins; the thread must not.
TEST_F(DirScanThreadListTest, StopAroundTheStartOfAWalkIsNeverLost) {
    const std::string dir = BigDir("big", 2000);
    TDirScanThreadList list(9, NoGrouping, &slow_.fs);
    auto never = Root(dir);
    TDirScanThread* early = list.AddThread(never);
    early->SetOnFinished([this](TDirScanThread&) { ++calls_; });
    list.StopAll(); // before Resume: the thread never walks, but still ends normally
    early->Resume();
    ASSERT_TRUE(WaitFor([&] { return calls_ == 1; }));
    EXPECT_EQ(never->GetFileCount(), 0);
    EXPECT_TRUE(never->HasFlag(nfIncomplete)) << "an empty root must not pass for a scanned one";

    // The stop lands at a different moment of the worker's start-up in each round.
    for (int round = 0; round < 60; ++round) {
        auto root = Root(dir);
        TDirScanThread* t = Start(list, root);
        std::this_thread::sleep_for(std::chrono::microseconds(round * 5));
        list.StopAll();
        const std::int32_t filesAtStop = root->GetFileCount();
        EXPECT_LT(filesAtStop, 2000) << "the stop was ignored, round " << round;
        EXPECT_TRUE(root->HasFlag(nfIncomplete)) << "a root cut short must say so, round " << round;
        EXPECT_FALSE(t->Scanner().IsBusy());
        ASSERT_TRUE(WaitFor([&] { return calls_ == round + 2; }));
        EXPECT_EQ(root->GetFileCount(), filesAtStop) << "the walk went on after StopAll, round " << round;
    }
    // Never resumed: shutdown must not wait for it to leave by itself.
    list.AddThread(never);
    list.StopAllAndWait();
    EXPECT_TRUE(list.IsEmpty());
}

// Two scans at once on a budget of three threads: never more than three walk, every one of them at
// the scan threads' lower priority, and together they count every file.
TEST_F(DirScanThreadListTest, ScansShareOneBudgetOfWorkersAtLowerPriority) {
    for (const char* top : {"one", "two"}) {
        tree_.Dir(top);
        for (int d = 0; d < 12; ++d)
            BigDir(std::string(top) + "/d" + std::to_string(d), 15);
    }
    TWatchedFileSystem watch{"", 2ms};
    TDirScanThreadList list(9, NoGrouping, &watch.fs);
    list.SetJobs(3);
    TRootDirNode* one = Root(tree_ / "one");
    TRootDirNode* two = Root(tree_ / "two");
    Start(list, one);
    Start(list, two);
    ASSERT_TRUE(WaitFor([&] { return calls_ == 2; }, true, 30s));
    EXPECT_EQ(std::pair(one->GetFileCount(), two->GetFileCount()), std::pair(12 * 15, 12 * 15));
    EXPECT_EQ(watch.mostInside.load(), 3) << "the budget was not shared, or not used";
    EXPECT_GE(watch.niceOf.size(), 3u);
    for (const auto& [tid, nice] : watch.niceOf)
        EXPECT_EQ(nice, LowerNice()) << "thread " << tid;
}

} // namespace
} // namespace quorvex
