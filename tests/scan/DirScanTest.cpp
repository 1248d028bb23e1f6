#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "scan/DiskListing.h"
#include "support/FileAttributes.h"
#include "support/PosixDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::Child;
using testing::TempTree;

// The real file system, with hooks that may fail a call by returning an errno value.
struct InjectingFileSystem : TFileSystemApi {
    using Hook = std::function<int(const char* name)>;
    explicit InjectingFileSystem(Hook open = {}, Hook stat = {})
        : onOpen(std::move(open)), onStat(std::move(stat)) {}
    Hook onOpen;
    Hook onStat;

    int OpenDirectory(int parentFd, const char* name) override {
        const int e = onOpen ? onOpen(name) : 0;
        return e != 0 ? -e : TFileSystemApi::OpenDirectory(parentFd, name);
    }
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        const int e = onStat ? onStat(name) : 0;
        return e != 0 ? e : TFileSystemApi::StatEntry(dirFd, name, info);
    }
};

using testing::OpenDescriptors;

TDirNode* SubDir(const TGroupNode* parent, const std::string& name) {
    return dynamic_cast<TDirNode*>(Child(parent, name));
}

TEST(DirScanner, CountsHostileNamesLinksAndHiddenEntries) {
    TempTree t;
    const std::string invalidUtf8 = "bad\xff\xfe";
    t.Dir(invalidUtf8);
    t.File(invalidUtf8 + "/line\nbreak", 100);
    t.File(invalidUtf8 + "/\"quoted\",<script>", 200);
    t.Dir(".hidden");
    t.File(".hidden/f", 50);
    t.Link("/usr", "link-to-dir"); // never followed: a file of its own size
    t.Dir("empty");
    TRootDirNode root;
    TDirScanner scanner(&root);
    scanner.Scan(t.Path() + "/", 0);

    EXPECT_EQ(root.Name(), t.Path()) << "trailing delimiter removed";
    EXPECT_EQ(root.GetFileCount(), 4);
    EXPECT_EQ(root.GetSize(), 350 + static_cast<std::int64_t>(std::string("/usr").size()));
    auto* bad = Child(&root, invalidUtf8);
    ASSERT_NE(bad, nullptr) << "names are kept as bytes";
    EXPECT_EQ(bad->GetSize(), 300);
    EXPECT_TRUE(Child(&root, ".hidden")->IsHidden());
    EXPECT_TRUE(SubDir(&root, "empty")->HasFlag(nfEmpty));
    EXPECT_FALSE(SubDir(&root, ".hidden")->HasFlag(nfEmpty));
    EXPECT_EQ(Child(&root, "link-to-dir"), nullptr) << "a link is a file, not a directory node";
    EXPECT_FALSE(root.IsScanning() || root.HasFlag(nfIncomplete) || scanner.IsBusy());
}

// A missing root; directories denied once through the seam and once by the kernel itself, with the
// file-system uid of "nobody" (this thread only; it drops root's DAC override capabilities); one that
// can be listed but not searched, whose entries cannot be examined; and an entry that vanishes
// between readdir and stat, which is simply not counted.
TEST(DirScanner, EntryErrorsAreRecordedAndSiblingsGoOn) {
    TempTree t;
    for (const char* dir : {"injected", "denied", "listed-only", "open"}) {
        t.Dir(dir);
        t.File(std::string(dir) + "/f", 10);
    }
    t.File("vanishes", 1000);
    ASSERT_EQ(::chmod((t / "denied").c_str(), 0), 0);
    ASSERT_EQ(::chmod((t / "listed-only").c_str(), 0444), 0);
    InjectingFileSystem fs;
    fs.onOpen = [](const char* name) { return std::string(name) == "injected" ? EACCES : 0; };
    fs.onStat = [](const char* name) { return std::string(name) == "vanishes" ? ENOENT : 0; };
    ::setfsuid(65534);
    TRootDirNode node;
    TDirScanner(&node, &fs).Scan(t.Path(), 0);
    ::setfsuid(0);

    for (const char* name : {"injected", "denied"}) {
        TDirNode* dir = SubDir(&node, name);
        ASSERT_NE(dir, nullptr) << name;
        EXPECT_EQ(dir->ErrorCode(), EACCES) << name;
        EXPECT_TRUE(dir->HasFlag(nfEmpty)) << name;
    }
    TDirNode* listedOnly = SubDir(&node, "listed-only");
    ASSERT_NE(listedOnly, nullptr);
    EXPECT_EQ(listedOnly->ErrorCode(), EACCES) << "its names were read, but none could be counted";
    EXPECT_EQ(listedOnly->GetSize(), 0);
    EXPECT_EQ(Child(&node, "open")->GetSize(), 10);
    EXPECT_EQ(node.GetSize(), 10);
    EXPECT_EQ(node.GetFileCount(), 1);
    EXPECT_EQ(node.ErrorCode(), 0);

    TRootDirNode listedOnlyRoot;
    ::setfsuid(65534);
    TDirScanner(&listedOnlyRoot).Scan(t / "listed-only", 0);
    ::setfsuid(0);
    EXPECT_EQ(listedOnlyRoot.ErrorCode(), EACCES);

    TRootDirNode missing;
    TDirScanner(&missing).Scan(t / "missing", 0);
    EXPECT_EQ(missing.ErrorCode(), ENOENT);
    EXPECT_TRUE(missing.HasFlag(nfEmpty));
}

// The root's own link is followed (also through a link to a link); links inside it still are not.
TEST(DirScanner, RootNamedThroughASymbolicLinkScansItsTarget) {
    TempTree t;
    t.Dir("real");
    t.Dir("real/sub");
    t.File("real/sub/f", 300);
    t.Link(t / "real/sub", "real/link-to-sub");
    t.Link("real", "alias");
    t.Link("alias", "alias-of-alias");
    for (const char* name : {"alias", "alias-of-alias"}) {
        TRootDirNode root;
        TDirScanner(&root).Scan(t / name, 0);
        EXPECT_EQ(root.ErrorCode(), 0) << name;
        EXPECT_EQ(root.Name(), t / name) << "the root keeps the name it was given";
        EXPECT_EQ(root.GetSize(), 300 + static_cast<std::int64_t>((t / "real/sub").size())) << name;
        EXPECT_EQ(root.GetFileCount(), 2) << name;
        EXPECT_EQ(Child(&root, "link-to-sub"), nullptr) << "a link below the root is a file";
    }
}

// Small files are held both by the directory's totals and by its file group; after a stop, reading
// the directory's live totals (and recalculating them) must count each found file once.
TEST(DirScanner, StoppedAmongGroupedFilesCountsEachFileOnce) {
    TempTree t;
    t.Dir("many");
    for (int i = 0; i < 300; ++i)
        t.File("many/f" + std::to_string(i), 1);
    t.File("many/big", 5000);
    TRootDirNode root;
    InjectingFileSystem fs;
    TDirScanner scanner(&root, &fs);
    int smallSeen = 0;
    bool bigSeen = false;
    fs.onStat = [&](const char* name) {
        if (std::string(name) == "big")
            bigSeen = true;
        else if (name[0] == 'f' && ++smallSeen == 100)
            scanner.Stop();
        return 0;
    };
    scanner.Scan(t.Path(), 1000);

    auto* many = SubDir(&root, "many");
    ASSERT_NE(many, nullptr);
    ASSERT_TRUE(many->HasFlag(nfIncomplete));
    ASSERT_NE(many->FileGroup(), nullptr);
    const std::int64_t found = 100 + (bigSeen ? 5000 : 0);
    const std::int32_t foundCount = 100 + (bigSeen ? 1 : 0);
    EXPECT_EQ(many->FileGroup()->GetSize(), 100);
    for (TGroupNode* node : {static_cast<TGroupNode*>(many), static_cast<TGroupNode*>(&root)}) {
        EXPECT_EQ(node->GetSize(), found) << node->Name();
        EXPECT_EQ(node->GetFileCount(), foundCount) << node->Name();
    }
    RecalculateUpward(many);
    EXPECT_EQ(root.GetSize(), found);
    EXPECT_EQ(root.GetFileCount(), foundCount);
}

TEST(DirScanner, StopMarksTheCurrentPathIncompleteAndKeepsFinishedTotals) {
    TempTree t;
    for (const char* dir : {"a", "b", "b/c", "b/c/d", "b/c/d/e", "z"})
        t.Dir(dir);
    t.File("a/f", 7);
    t.File("b/c/f", 1);
    InjectingFileSystem fs;
    TRootDirNode root;
    TDirScanner scanner(&root, &fs);
    fs.onOpen = [&](const char* name) {
        if (std::string(name) == "d")
            scanner.Stop();
        return 0;
    };
    scanner.Scan(t.Path(), 0);

    auto* d = dynamic_cast<TDirNode*>(FindNodeByPath(&root, t / "b/c/d"));
    ASSERT_NE(d, nullptr);
    for (const TGroupNode* n = d; n != nullptr; n = n->Parent()) {
        EXPECT_TRUE(n->HasFlag(nfIncomplete)) << n->Name();
        EXPECT_FALSE(n->IsScanning()) << n->Name();
    }
    EXPECT_EQ(Child(d, "e"), nullptr) << "no nodes after the stop";
    // Listed before the stop, the siblings exist; each either finished with its exact totals or is
    // marked as not done.
    for (const char* name : {"a", "z"}) {
        TDirNode* sibling = SubDir(&root, name);
        ASSERT_NE(sibling, nullptr) << name;
        EXPECT_FALSE(sibling->IsScanning()) << name;
        if (!sibling->HasFlag(nfIncomplete)) {
            EXPECT_EQ(sibling->GetSize(), name[0] == 'a' ? 7 : 0) << name;
        }
    }
}

// Deeper than PATH_MAX, and than the descriptor limit allows if each level kept its directory open.
TEST(DirScanner, TenThousandLevelsDeep) {
    TempTree t;
    constexpr int kDepth = 10000;
    t.Chain(kDepth, [](int fd, int level) {
        if (level % 1000 == 0) {
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::ftruncate(file, 3), 0);
            ::close(file);
        }
    });

    const int before = OpenDescriptors();
    int opens = 0;
    int mostOpen = 0;
    InjectingFileSystem fs;
    fs.onOpen = [&](const char*) {
        if (++opens % 50 == 0)
            mostOpen = std::max(mostOpen, OpenDescriptors() - before);
        return 0;
    };
    TRootDirNode root;
    TDirScanner(&root, &fs).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetFileCount(), 10);
    EXPECT_EQ(root.GetSize(), 30);
    EXPECT_LE(mostOpen, TDirScanner::kMaxOpenDirs + 1);
    EXPECT_EQ(OpenDescriptors(), before) << "every directory descriptor was closed";

    int depth = 0;
    for (const TGroupNode* node = &root; (node = SubDir(node, "level")) != nullptr; ++depth)
        EXPECT_EQ(node->ErrorCode(), 0);
    EXPECT_EQ(depth, kDepth);
}

// Out of descriptors now and then, as when other threads of the program hold them: the walk gives up
// its own and tries again rather than skip a directory, on the way down and back up through "..".
TEST(DirScanner, RunningOutOfDescriptorsSkipsNoDirectory) {
    TempTree t;
    constexpr int kDepth = 400;
    t.Chain(kDepth, [](int fd, int) {
        ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
        const int file = ::openat(fd, "side/f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::ftruncate(file, 1), 0);
        ::close(file);
    });
    InjectingFileSystem fs;
    int opens = 0;
    fs.onOpen = [&](const char*) { return ++opens % 3 == 0 ? EMFILE : 0; };
    TRootDirNode root;
    TDirScanner(&root, &fs).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetFileCount(), kDepth);
    int sides = 0;
    for (const TGroupNode* node = &root; node != nullptr; node = SubDir(node, "level")) {
        ASSERT_EQ(node->ErrorCode(), 0) << sides;
        if (const TDirNode* side = SubDir(node, "side")) {
            ASSERT_EQ(side->ErrorCode(), 0) << sides;
            ++sides;
        }
    }
    EXPECT_EQ(sides, kDepth);
}

// A bind mount of the tree's own file system has the device of its parent; its mount tells it apart.
// It is listed and not entered, and listing a directory's files never reaches into a mount, not even
// one made since the scan.
TEST(DirScanner, BindMountsAreEdgesOfTheTree) {
    TempTree t;
    t.Dir("src");
    t.File("src/f", 100);
    t.Dir("mnt");
    t.Dir("later");
    t.File("later/g", 7);
    TempTree other;
    other.File("x", 1000);
    const testing::ScopedMount mnt(t / "mnt", t / "src");
    if (!mnt.Mounted())
        GTEST_SKIP() << mnt.Refusal();

    TRootDirNode root;
    TDirScanner(&root).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetSize(), 107);
    TDirNode* mountPoint = SubDir(&root, "mnt");
    ASSERT_NE(mountPoint, nullptr);
    EXPECT_NE(mountPoint->Attributes() & faReparsePoint, 0);
    EXPECT_EQ(mountPoint->ListFiles(ScanForChildrenFiles), 0);
    EXPECT_EQ(mountPoint->ErrorCode(), 0);
    EXPECT_EQ(Child(mountPoint, "f"), nullptr);

    const testing::ScopedMount since(t / "later", other.Path());
    ASSERT_TRUE(since.Mounted()) << since.Refusal();
    TDirNode* later = SubDir(&root, "later");
    EXPECT_EQ(later->ListFiles(ScanForChildrenFiles), 0);
    EXPECT_EQ(later->ErrorCode(), EXDEV);
    EXPECT_EQ(Child(later, "x"), nullptr);
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

std::int64_t NoGrouping() {
    return 0;
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
    // A root node named `path` that outlives every list of the test.
    TRootDirNode* Root(const std::string& path) {
        roots_.emplace_back().SetName(path);
        return &roots_.back();
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

    TempTree tree_;
    std::deque<TRootDirNode> roots_;
    // Every entry takes a millisecond, so a directory of a few thousand files keeps a walk busy for
    // seconds while a stop still ends it within one entry.
    InjectingFileSystem slow_{nullptr, [](const char*) {
                                  std::this_thread::sleep_for(1ms);
                                  return 0;
                              }};
    std::atomic<int> calls_{0};
};

TEST_F(DirScanThreadListTest, CompletionRunsOnTheUserInterfaceThreadAfterLeavingTheList) {
    for (const auto& [name, size] : {std::pair{"small", 10}, {"smaller", 5}, {"large", 1000}})
        tree_.File(name, size);
    auto root = Root(tree_.Path());
    const int threadsBefore = ThreadsInProcess();
    const int expectedNice = std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10);
    TDirScanThreadList list(9, [] { return 100; });
    const auto uiThread = std::this_thread::get_id();
    Start(list, root, [&](TDirScanThread& finished) {
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
    TDirNode* grandchild = AddDirNode(AddDirNode(n, "a", faDirectory), "b", faDirectory);
    auto unrelated = Root(BigDir("u", 3000));
    TDirScanThreadList list(9, NoGrouping, &slow_);
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

// A full list of nine refuses the next root. Shutdown, with nine walks busy on large trees
// and a completion already queued, is quick, and nothing calls back afterwards.
TEST_F(DirScanThreadListTest, FullListRefusesAnotherRootAndShutsDownQuicklyAndSilently) {
    tree_.Dir("tiny");
    auto tiny = Root(tree_ / "tiny");
    const std::string dir = BigDir("big", 3000);
    std::vector<TDirScanThread*> threads;
    const int threadsBefore = ThreadsInProcess();
    TDirScanThreadList list(9, NoGrouping, &slow_);
    Start(list, tiny);
    for (int i = 0; i < 9; ++i) {
        if (i == 8) { // tiny has left the list, its completion still queued
            ASSERT_TRUE(WaitFor([&] { return list.Count() == 8; }, false));
        }
        threads.push_back(Start(list, Root(dir)));
    }
    EXPECT_TRUE(list.IsFull());
    EXPECT_EQ(list.AddThread(tiny), nullptr);
    ASSERT_TRUE(WaitFor([&] { return Walking(threads); }, false));
    const auto start = std::chrono::steady_clock::now();
    list.StopAllAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(ThreadsInProcess(), threadsBefore);
    WaitFor([] { return false; }, true, 200ms);
    EXPECT_EQ(calls_.load(), 0);
    EXPECT_TRUE(std::all_of(std::next(roots_.begin()), roots_.end(),
                            [](const TRootDirNode& big) { return big.HasFlag(nfIncomplete); }));
}

// The scanner forgets a stop that comes before its walk begins; the thread must not.
TEST_F(DirScanThreadListTest, StopAroundTheStartOfAWalkIsNeverLost) {
    const std::string dir = BigDir("big", 2000);
    TDirScanThreadList list(9, NoGrouping, &slow_);
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
    struct CountingFileSystem : TFileSystemApi {
        std::atomic<int> inside{0};
        std::atomic<int> most{0};
        std::mutex mutex;
        std::map<pid_t, int> niceOf;
        int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
            const int now = ++inside;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            {
                std::lock_guard guard(mutex);
                niceOf[::gettid()] = ::getpriority(PRIO_PROCESS, 0);
            }
            std::this_thread::sleep_for(2ms);
            --inside;
            return TFileSystemApi::StatEntry(dirFd, name, info);
        }
    } fs;
    const int expectedNice = std::min(19, ::getpriority(PRIO_PROCESS, 0) + 10);
    TDirScanThreadList list(9, NoGrouping, &fs);
    list.SetJobs(3);
    EXPECT_EQ(list.Jobs(), 3);
    TRootDirNode* one = Root(tree_ / "one");
    TRootDirNode* two = Root(tree_ / "two");
    Start(list, one);
    Start(list, two);
    ASSERT_TRUE(WaitFor([&] { return calls_ == 2; }, true, 30s));
    EXPECT_EQ(one->GetFileCount(), 12 * 15);
    EXPECT_EQ(two->GetFileCount(), 12 * 15);
    EXPECT_EQ(fs.most.load(), 3) << "the budget was not shared, or not used";
    EXPECT_GE(fs.niceOf.size(), 3u);
    for (const auto& [tid, nice] : fs.niceOf)
        EXPECT_EQ(nice, expectedNice) << "thread " << tid;
}

TEST_F(DirScanThreadListTest, AnErrorEndingTheWalkStillCompletes) {
    tree_.File("f", 1);
    auto root = Root(tree_.Path());
    InjectingFileSystem throwing{nullptr,
                                 [](const char*) -> int { throw std::runtime_error("disk on fire"); }};
    TDirScanThreadList list(9, NoGrouping, &throwing);
    Start(list, root);
    EXPECT_TRUE(WaitFor([&] { return calls_ == 1; }));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_FALSE(root->IsScanning());
}

} // namespace
} // namespace quorvex
