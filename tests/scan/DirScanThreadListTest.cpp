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
#include <dirent.h>
#include <functional>
#include <memory>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace quorvex {
namespace {

using namespace std::chrono_literals;

// The list delivers completions through the event loop of the thread that made it.
void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "test_scan";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

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
    int count = 0;
    DIR* dir = ::opendir("/proc/self/task");
    while (dirent* e = ::readdir(dir))
        count += e->d_name[0] != '.' ? 1 : 0;
    ::closedir(dir);
    return count;
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

class ThrowingFileSystem : public TFileSystemApi {
public:
    int StatEntry(int, const char*, TEntryInfo&) override { throw std::runtime_error("disk on fire"); }
};

class DirScanThreadListTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

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

    testing::TempTree tree_;
    SlowFileSystem slow_;
};

TEST_F(DirScanThreadListTest, TheTenthOfTenRootsIsRefused) {
    TDirScanThreadList list(9, [] { return 0; });
    std::vector<std::unique_ptr<TRootDirNode>> roots;
    int added = 0;
    for (int i = 0; i < 10; ++i) {
        roots.push_back(Root(tree_.Path()));
        TDirScanThread* thread = list.AddThread(roots.back().get());
        added += thread != nullptr ? 1 : 0;
        EXPECT_EQ(thread == nullptr, i == 9) << i;
    }
    EXPECT_EQ(added, 9);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_TRUE(list.IsFull());
    // Never resumed: shutdown must not wait for them to leave by themselves.
    const auto start = std::chrono::steady_clock::now();
    list.StopAllAndWait();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);

    TDirScanThreadList empty(9, [] { return 0; });
    empty.StopAll();
    EXPECT_EQ(empty.StopThreadsBelow(roots[0].get()), 0);
    EXPECT_EQ(empty.GetCurrentDir(), "");
}

TEST_F(DirScanThreadListTest, CompletionRunsOnTheUserInterfaceThreadAfterLeavingTheList) {
    tree_.File("small", 10);
    tree_.File("smaller", 5);
    tree_.File("large", 1000);
    auto root = Root(tree_.Path());
    const int threadsBefore = ThreadsInProcess();
    const int expectedNice = std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10);
    TDirScanThreadList list(9, [] { return 100; });

    TDirScanThread* thread = list.AddThread(root.get());
    ASSERT_NE(thread, nullptr);
    struct Seen {
        int calls = 0;
        bool onUiThread = false;
        bool listed = true;
        int nice = 0;
        std::int32_t files = 0;
    } seen;
    const auto uiThread = std::this_thread::get_id();
    thread->SetOnFinished([&](TDirScanThread& finished) {
        ++seen.calls;
        seen.onUiThread = std::this_thread::get_id() == uiThread;
        seen.listed = !list.IsEmpty();
        seen.nice =
            ::getpriority(PRIO_PROCESS, static_cast<id_t>(finished.WorkerId())); // worker waits for us
        seen.files = finished.Root()->GetFileCount();
        list.Remove(&finished); // what the window does; harmless when already gone
    });
    thread->Resume();
    ASSERT_TRUE(WaitFor([&] { return seen.calls > 0; }));
    EXPECT_TRUE(seen.onUiThread);
    EXPECT_FALSE(seen.listed);
    EXPECT_EQ(seen.nice, expectedNice);
    EXPECT_EQ(seen.files, 3);
    ASSERT_NE(root->FileGroup(), nullptr); // the threshold from the source groups the small files
    EXPECT_EQ(root->FileGroup()->GetFileCount(), 2);
    // The ended worker is joined without anyone asking.
    EXPECT_TRUE(WaitFor([&] { return ThreadsInProcess() == threadsBefore; }));
    EXPECT_EQ(seen.calls, 1);
}

TEST_F(DirScanThreadListTest, StopThreadsBelowStopsOnlyDescendants) {
    BigDir("n", 0);
    BigDir("n/a", 0);
    BigDir("n/a/b", 3000);
    auto n = Root(tree_ / "n");
    TDirNode* grandchild = AddDirNode(AddDirNode(n.get(), "a", faDirectory), "b", faDirectory);
    auto unrelated = Root(BigDir("u", 3000));
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    int finished = 0;
    auto count = [&](TDirScanThread&) { ++finished; };

    TDirScanThread* below = list.AddThread(grandchild);
    TDirScanThread* other = list.AddThread(unrelated.get());
    for (TDirScanThread* t : {below, other}) {
        t->SetOnFinished(count);
        t->Resume();
    }
    // Both walks are under way once each has a current directory.
    ASSERT_TRUE(
        WaitFor([&] { return !below->GetCurrentDir().empty() && !other->GetCurrentDir().empty(); }, false));
    EXPECT_EQ(list.GetCurrentDir(), tree_ / "n/a/b"); // the first thread added
    EXPECT_EQ(list.StopThreadsBelow(n.get()), 1);
    EXPECT_TRUE(below->IsTerminated());
    EXPECT_FALSE(below->Scanner().IsBusy());
    EXPECT_FALSE(other->IsTerminated());
    EXPECT_TRUE(other->Scanner().IsBusy());
    ASSERT_TRUE(WaitFor([&] { return finished == 1; }));

    // A thread on the node itself is not below it.
    TDirScanThread* itself = list.AddThread(n.get());
    itself->SetOnFinished(count);
    itself->Resume();
    ASSERT_TRUE(WaitFor([&] { return itself->Scanner().IsBusy(); }, false));
    EXPECT_EQ(list.StopThreadsBelow(n.get()), 0);
    EXPECT_FALSE(itself->IsTerminated());
    list.StopAll();
    EXPECT_TRUE(WaitFor([&] { return finished == 3 && list.IsEmpty(); }));
}

// A completion already queued when shutdown begins must not run after it either.
TEST_F(DirScanThreadListTest, NoCallbackRunsAfterStopAllAndWait) {
    tree_.Dir("tiny");
    tree_.File("tiny/f", 1);
    auto tiny = Root(tree_ / "tiny");
    auto big = Root(BigDir("big", 3000));
    const int threadsBefore = ThreadsInProcess();
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    std::atomic<int> calls{0};
    for (TRootDirNode* root : {tiny.get(), big.get()}) {
        TDirScanThread* t = list.AddThread(root);
        t->SetOnFinished([&](TDirScanThread&) { ++calls; });
        t->Resume();
    }
    ASSERT_TRUE(WaitFor([&] { return list.Count() == 1; }, false)); // the tiny walk has left
    const auto start = std::chrono::steady_clock::now();
    list.StopAllAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(ThreadsInProcess(), threadsBefore);
    WaitFor([] { return false; }, true, 200ms);
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(DirScanThreadListTest, NineBusyThreadsShutDownWithinASecond) {
    const std::string dir = BigDir("big", 3000);
    std::vector<std::unique_ptr<TRootDirNode>> roots;
    const int threadsBefore = ThreadsInProcess();
    int calls = 0;
    auto list = std::make_unique<TDirScanThreadList>(
        9, [] { return 0; }, &slow_);
    std::vector<TDirScanThread*> threads;
    for (int i = 0; i < 9; ++i) {
        roots.push_back(Root(dir));
        threads.push_back(list->AddThread(roots.back().get()));
        threads.back()->SetOnFinished([&](TDirScanThread&) { ++calls; });
        threads.back()->Resume();
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::all_of(threads.begin(), threads.end(),
                               [](TDirScanThread* t) { return t->Scanner().IsBusy(); });
        },
        false));
    const auto start = std::chrono::steady_clock::now();
    list.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(ThreadsInProcess(), threadsBefore);
    WaitFor([] { return false; }, true, 100ms);
    EXPECT_EQ(calls, 0);
    for (const auto& root : roots)
        EXPECT_TRUE(root->HasFlag(nfIncomplete));
}

// The scanner forgets a stop that comes before its walk begins; the thread must not.
TEST_F(DirScanThreadListTest, StopAroundTheStartOfAWalkIsNeverLost) {
    const std::string dir = BigDir("big", 2000);
    TDirScanThreadList list(
        9, [] { return 0; }, &slow_);
    int calls = 0;

    auto never = Root(dir);
    TDirScanThread* early = list.AddThread(never.get());
    early->SetOnFinished([&](TDirScanThread&) { ++calls; });
    list.StopAll(); // before Resume: the thread never walks, but still ends normally
    early->Resume();
    ASSERT_TRUE(WaitFor([&] { return calls == 1; }));
    EXPECT_EQ(never->GetFileCount(), 0);

    // The stop lands at a different moment of the worker's start-up in each round.
    for (int round = 0; round < 60; ++round) {
        auto root = Root(dir);
        TDirScanThread* t = list.AddThread(root.get());
        t->SetOnFinished([&](TDirScanThread&) { ++calls; });
        t->Resume();
        std::this_thread::sleep_for(std::chrono::microseconds(round * 5));
        list.StopAll();
        const std::int32_t filesAtStop = root->GetFileCount();
        EXPECT_LT(filesAtStop, 2000) << "the stop was ignored, round " << round;
        EXPECT_FALSE(t->Scanner().IsBusy());
        ASSERT_TRUE(WaitFor([&] { return calls == round + 2; }));
        EXPECT_EQ(root->GetFileCount(), filesAtStop) << "the walk went on after StopAll, round " << round;
    }
}

TEST_F(DirScanThreadListTest, AnErrorEndingTheWalkStillCompletes) {
    tree_.File("f", 1);
    auto root = Root(tree_.Path());
    ThrowingFileSystem throwing;
    TDirScanThreadList list(
        9, [] { return 0; }, &throwing);
    TDirScanThread* t = list.AddThread(root.get());
    bool called = false;
    t->SetOnFinished([&](TDirScanThread&) { called = true; });
    t->Resume();
    EXPECT_TRUE(WaitFor([&] { return called; }));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(root->IsScanning());
}

} // namespace
} // namespace quorvex
