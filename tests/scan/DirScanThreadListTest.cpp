#include "scan/DirScanThreadList.h"
#include "common/TempTree.h"
#include "model/FileSystemNode.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace quorvex {
namespace {

using namespace std::chrono_literals;

// Waits for `done`, running the event loop (and so the completions) only when `runEvents` is set.
bool WaitFor(const std::function<bool()>& done, bool runEvents = true,
             std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (runEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        else
            std::this_thread::sleep_for(1ms);
    }
    return true;
}

int ThreadsInProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// Whether every one of `threads` is walking, with a current directory.
bool Walking(const std::vector<TDirScanThread*>& threads) {
    return std::all_of(threads.begin(), threads.end(), [](const TDirScanThread* t) {
        return t->Scanner().IsBusy() && !t->GetCurrentDir().empty();
    });
}

// Every entry takes a millisecond, so a directory of a few thousand files keeps a walk busy for
// seconds while a stop still ends it within one entry.
class SlowFileSystem : public TFileSystemApi {
public:
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        std::this_thread::sleep_for(1ms);
        return TFileSystemApi::StatEntry(dirFd, name, info);
    }
};

struct ThrowingFileSystem : TFileSystemApi {
    int StatEntry(int, const char*, TEntryInfo&) override { throw std::runtime_error("disk on fire"); }
};

class DirScanThreadListTest : public ::testing::Test {
protected:
    // The list delivers completions through the event loop of the thread that made it.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_scan";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }

    // A directory of `files` empty files below the temporary tree.
    std::string BigDir(const std::string& relative, int files) const {
        tree_.Dir(relative);
        for (int i = 0; i < files; ++i)
            tree_.File(relative + "/f" + std::to_string(i), 0);
        return tree_ / relative;
    }
    std::unique_ptr<TRootDirNode> Root(const std::string& path) const {
        auto root = std::make_unique<TRootDirNode>();
        root->SetName(path);
        return root;
    }
    // A running thread for `root` whose completions count in calls_ and then run `then`.
    TDirScanThread* Start(
        TDirScanThreadList& list, TGroupNode* root,
        std::function<void(TDirScanThread&)> then = [](TDirScanThread&) {}) {
        TDirScanThread* thread = list.AddThread(root);
        thread->SetOnFinished([this, then](TDirScanThread& t) {
            ++calls_;
            then(t);
        });
        thread->Resume();
        return thread;
    }

    testing::TempTree tree_;
    SlowFileSystem slow_;
    std::atomic<int> calls_{0};
};

TEST_F(DirScanThreadListTest, CompletionRunsOnTheUserInterfaceThreadAfterLeavingTheList) {
    tree_.File("small", 10);
    tree_.File("smaller", 5);
    tree_.File("large", 1000);
    auto root = Root(tree_.Path());
    const int threadsBefore = ThreadsInProcess();
    const int expectedNice = std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10);
    TDirScanThreadList list(9, [] { return 100; });
    const auto uiThread = std::this_thread::get_id();
    Start(list, root.get(), [&](TDirScanThread& finished) {
        EXPECT_EQ(std::this_thread::get_id(), uiThread);
        EXPECT_TRUE(list.IsEmpty()) << "the thread is still listed";
        // The worker waits for this call, so its priority can still be read.
        EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(finished.WorkerId())), expectedNice);
        list.Remove(&finished); // what the window does; harmless when already gone
    });
    ASSERT_TRUE(WaitFor([&] { return calls_ > 0; }));
    EXPECT_EQ(root->GetFileCount(), 3);
    ASSERT_NE(root->FileGroup(), nullptr); // the threshold from the source groups the small files
    EXPECT_EQ(root->FileGroup()->GetFileCount(), 2);
    // The ended worker is joined without anyone asking.
    EXPECT_TRUE(WaitFor([&] { return ThreadsInProcess() == threadsBefore; }));
    EXPECT_EQ(calls_, 1);
}

TEST_F(DirScanThreadListTest, StopThreadsBelowStopsOnlyDescendants) {
    tree_.Dir("n");
    tree_.Dir("n/a");
    BigDir("n/a/b", 3000);
    auto n = Root(tree_ / "n");
    TDirNode* grandchild = AddDirNode(AddDirNode(n.get(), "a", faDirectory), "b", faDirectory);
    auto unrelated = Root(BigDir("u", 3000));
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    TDirScanThread* below = Start(list, grandchild);
    TDirScanThread* other = Start(list, unrelated.get());
    ASSERT_TRUE(WaitFor([&] { return Walking({below, other}); }, false));
    EXPECT_EQ(list.GetCurrentDir(), tree_ / "n/a/b"); // the first thread added
    EXPECT_EQ(list.StopThreadsBelow(n.get()), 1);
    EXPECT_TRUE(below->IsTerminated() && !below->Scanner().IsBusy());
    EXPECT_TRUE(!other->IsTerminated() && other->Scanner().IsBusy());
    ASSERT_TRUE(WaitFor([&] { return calls_ == 1; }));

    // A thread on the node itself is not below it (it rescans the node, so only once b's has ended).
    TDirScanThread* itself = Start(list, n.get());
    ASSERT_TRUE(WaitFor([&] { return Walking({itself}); }, false));
    EXPECT_EQ(list.StopThreadsBelow(n.get()), 0);
    EXPECT_FALSE(itself->IsTerminated());
    list.StopAll();
    EXPECT_TRUE(WaitFor([&] { return calls_ == 3 && list.IsEmpty(); }));
}

// A full list of nine refuses the next root. Shutdown, with nine walks busy on large trees
// and a completion already queued, is quick, and nothing calls back afterwards.
TEST_F(DirScanThreadListTest, FullListRefusesAnotherRootAndShutsDownQuicklyAndSilently) {
    tree_.Dir("tiny");
    auto tiny = Root(tree_ / "tiny");
    const std::string dir = BigDir("big", 3000);
    std::vector<std::unique_ptr<TRootDirNode>> roots;
    std::vector<TDirScanThread*> threads;
    const int threadsBefore = ThreadsInProcess();
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    Start(list, tiny.get());
    for (int i = 0; i < 9; ++i) {
        if (i == 8) { // tiny has left the list, its completion still queued
            ASSERT_TRUE(WaitFor([&] { return list.Count() == 8; }, false));
        }
        roots.push_back(Root(dir));
        threads.push_back(Start(list, roots.back().get()));
    }
    EXPECT_TRUE(list.IsFull());
    EXPECT_EQ(list.AddThread(tiny.get()), nullptr);
    ASSERT_TRUE(WaitFor([&] { return Walking(threads); }, false));
    const auto start = std::chrono::steady_clock::now();
    list.StopAllAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(ThreadsInProcess(), threadsBefore);
    WaitFor([] { return false; }, true, 200ms);
    EXPECT_EQ(calls_.load(), 0);
    for (const auto& root : roots)
        EXPECT_TRUE(root->HasFlag(nfIncomplete));
}

// The scanner forgets a stop that comes before its walk begins; the thread must not.
TEST_F(DirScanThreadListTest, StopAroundTheStartOfAWalkIsNeverLost) {
    const std::string dir = BigDir("big", 2000);
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    auto never = Root(dir);
    TDirScanThread* early = list.AddThread(never.get());
    early->SetOnFinished([this](TDirScanThread&) { ++calls_; });
    list.StopAll(); // before Resume: the thread never walks, but still ends normally
    early->Resume();
    ASSERT_TRUE(WaitFor([&] { return calls_ == 1; }));
    EXPECT_EQ(never->GetFileCount(), 0);

    // The stop lands at a different moment of the worker's start-up in each round.
    for (int round = 0; round < 60; ++round) {
        auto root = Root(dir);
        TDirScanThread* t = Start(list, root.get());
        std::this_thread::sleep_for(std::chrono::microseconds(round * 5));
        list.StopAll();
        const std::int32_t filesAtStop = root->GetFileCount();
        EXPECT_LT(filesAtStop, 2000) << "the stop was ignored, round " << round;
        EXPECT_FALSE(t->Scanner().IsBusy());
        ASSERT_TRUE(WaitFor([&] { return calls_ == round + 2; }));
        EXPECT_EQ(root->GetFileCount(), filesAtStop) << "the walk went on after StopAll, round " << round;
    }
    // Never resumed: shutdown must not wait for it to leave by itself.
    list.AddThread(never.get());
    list.StopAllAndWait();
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(DirScanThreadListTest, AnErrorEndingTheWalkStillCompletes) {
    tree_.File("f", 1);
    auto root = Root(tree_.Path());
    ThrowingFileSystem throwing;
    TDirScanThreadList list(
        9, [] { return 0; }, &throwing);
    Start(list, root.get());
    EXPECT_TRUE(WaitFor([&] { return calls_ == 1; }));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(root->IsScanning());
}

} // namespace
} // namespace quorvex
