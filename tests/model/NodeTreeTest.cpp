#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "scan/DiskListing.h"

#include "common/NodeLookup.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <future>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quorvex;
using quorvex::testing::Child;
using quorvex::testing::TempTree;

namespace {

std::vector<std::string> ChildNames(const TGroupNode* group) {
    std::vector<std::string> names;
    TChildrenLock guard(group);
    for (const auto& c : guard.Children())
        names.push_back(c->Name());
    return names;
}

// Creates `levels` nested directories called `name` below `top`, by descriptors so that the path may
// pass PATH_MAX, and in the deepest one the files of `files` (name, size). Returns the deepest path.
std::string MakeDeepTree(const std::string& top, const std::string& name, int levels,
                         const std::vector<std::pair<std::string, off_t>>& files) {
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = top;
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/" + name;
    }
    for (const auto& [file, size] : files) {
        const int f = ::openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_EQ(::ftruncate(f, size), 0);
        ::close(f);
    }
    ::close(fd);
    return path;
}

class NodeTree : public ::testing::Test {
protected:
    void Scan(std::int64_t threshold) { TDirScanner(&root_, nullptr).Scan(tree_.Path(), threshold); }

    TempTree tree_;
    TRootDirNode root_;
};

} // namespace

// The root holds two empty files, one/ one small file, two/ two small ones and one exactly at the
// threshold, which belongs to its directory; totals above 4 GiB (sparse files) stay exact.
TEST_F(NodeTree, GroupingRulesAndLargeTotals) {
    constexpr std::int64_t huge = 5LL * 1024 * 1024 * 1024 + 7;
    tree_.File("huge", huge);
    tree_.Dir("d");
    tree_.File("d/huge", huge);
    tree_.File("z1", 0);
    tree_.File("z2", 0);
    tree_.Dir("one");
    tree_.File("one/small", 10);
    tree_.File("one/big", 5000);
    tree_.Dir("two");
    tree_.File("two/b-small", 10);
    tree_.File("two/a-small", 20);
    tree_.File("two/at-threshold", 1000);
    Scan(1000);
    auto* one = dynamic_cast<TDirNode*>(Child(&root_, "one"));
    EXPECT_EQ(one->FileGroup(), nullptr);
    EXPECT_TRUE(one->HasFlag(nfNoFileGroup));
    // Before any listing, a recalculation rebuilds the totals from the own files and the group alike.
    RecalculateUpward(Child(&root_, "two"));
    one->Recalculate();
    EXPECT_EQ(one->GetSize(), 5010);
    EXPECT_EQ(one->GetFileCount(), 2);
    EXPECT_EQ(Child(&root_, "two")->GetSize(), 1030);
    EXPECT_EQ(Child(&root_, "two")->GetFileCount(), 3);
    EXPECT_EQ(root_.GetSize(), 2 * huge + 6040);
    EXPECT_EQ(root_.GetFileCount(), 9);
    EXPECT_EQ(one->ListFiles(ScanForChildrenFiles), 2);
    EXPECT_EQ(one->ListFiles(ScanForChildrenFiles), -1) << "listing twice adds nothing";
    EXPECT_EQ(ChildNames(one), (std::vector<std::string>{"big", "small"}));

    TFileGroupNode* group = dynamic_cast<TDirNode*>(Child(&root_, "two"))->FileGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetFileCount(), 2);
    EXPECT_EQ(group->GetSize(), 30);
    EXPECT_EQ(group->ListFiles(ScanForChildrenFiles), 2);
    EXPECT_EQ(ChildNames(group), (std::vector<std::string>{"a-small", "b-small"}));
    EXPECT_EQ(group->GetSize(), 30) << "listing changes no totals";
    EXPECT_EQ(group->Parent()->ListFiles(ScanForChildrenFiles), 1);
    EXPECT_EQ(GetFullPath(Child(group, "a-small")), tree_ / "two/a-small")
        << "the group adds nothing to paths";
    ASSERT_NE(root_.FileGroup(), nullptr);
    EXPECT_EQ(Child(&root_, "d")->GetSize(), huge);
    EXPECT_EQ(root_.GetSize(), 2 * huge + 6040);
    EXPECT_EQ(root_.GetFileCount(), 9);

    TRootDirNode ungrouped;
    TDirScanner(&ungrouped).Scan(tree_.Path(), 0);
    EXPECT_EQ(ungrouped.FileGroup(), nullptr) << "threshold 0 never groups, not even empty files";
    EXPECT_EQ(dynamic_cast<TDirNode*>(Child(&ungrouped, "two"))->FileGroup(), nullptr);
    EXPECT_EQ(ungrouped.GetSize(), 2 * huge + 6040);
}

TEST(NodeTreePaths, FullPathsJoinWithoutDoubleDelimiters) {
    TRootDirNode root;
    root.SetName("/");
    TDirNode* usr = AddDirNode(&root, "usr", faDirectory);
    EXPECT_EQ(GetFullPath(&root), "/");
    EXPECT_EQ(GetFullPath(AddDirNode(usr, "lib", faDirectory)), "/usr/lib");

    TFixedDrivesNode drives(std::vector<std::string>{"/", "/home"});
    auto* home = dynamic_cast<TGroupNode*>(ChildAt(&drives, 1));
    EXPECT_EQ(GetFullPath(home), "/home") << "a drive's path is its own name";
    EXPECT_EQ(GetFullPath(AddDirNode(home, "me", faDirectory)), "/home/me");

    TDirNode dir;
    dir.SetPath("/");
    EXPECT_EQ(dir.Name(), "/");
    dir.SetPath("/a/b/");
    EXPECT_EQ(dir.Name(), "b");
}

// Names are bytes: only the exact component leads on, whatever comes first.
TEST(NodeTreePaths, FindNodeByPathFollowsExactComponents) {
    TRootDirNode root;
    root.SetName("/data");
    TDirNode* abc = AddDirNode(&root, "abc", faDirectory);
    TDirNode* ab = AddDirNode(&root, "ab", faDirectory);
    TDirNode* deep = AddDirNode(ab, "x", faDirectory);
    AddDirNode(abc, "x", faDirectory);
    AddDirNode(AddDirNode(&root, "Foo", faDirectory), "bar", faDirectory);
    TDirNode* bar = AddDirNode(AddDirNode(&root, "foo", faDirectory), "bar", faDirectory);
    EXPECT_EQ(FindNodeByPath(&root, "/data/ab"), ab);
    EXPECT_EQ(FindNodeByPath(&root, "/data/ab/x"), deep) << "must not descend into /data/abc";
    EXPECT_EQ(FindNodeByPath(&root, "/data/a"), nullptr);
    EXPECT_EQ(FindNodeByPath(&root, "/data/abc/y"), nullptr);
    EXPECT_EQ(FindNodeByPath(&root, "/data/foo/bar"), bar) << "must not descend into /data/Foo";
    EXPECT_EQ(FindNodeByPath(&root, "/data/AB"), nullptr);
    auto small = std::make_unique<TFileNode>();
    small->SetName("small");
    TFileSystemNode* grouped = deep->GetFileGroup()->AddChild(std::move(small));
    EXPECT_EQ(FindNodeByPath(&root, "/data/ab/x/small"), grouped) << "a file group's member";
    EXPECT_EQ(FindNodeByPath(&root, GetFullPath(grouped->Parent())), grouped->Parent()) << "the group";
}

TEST_F(NodeTree, RemoveFromParentRecalculatesAncestors) {
    tree_.Dir("a");
    tree_.File("a/x", 100);
    tree_.File("a/y", 100);
    Scan(0);
    auto* a = dynamic_cast<TDirNode*>(Child(&root_, "a"));
    a->ListFiles(ScanForChildrenFiles);
    RemoveFromParent(Child(a, "x"));
    EXPECT_EQ(a->GetSize(), 100);
    EXPECT_EQ(root_.GetSize(), 100);
    EXPECT_EQ(root_.GetFileCount(), 1);
}

// A scan thread may hold a directory's lock for a while; the window's reads must not wait for it.
TEST(NodeTreeThreads, LiveTotalsNeverBlockOnAHeldLock) {
    TRootDirNode root;
    root.SetScanning(true);
    root.AddOwnFiles(1, 40);
    AddDirNode(&root, "sub", faDirectory)->AddSize(2);

    std::promise<void> locked;
    std::promise<void> release;
    std::thread holder([&] {
        TChildrenLock guard(&root);
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    auto reading = std::async(std::launch::async, [&] { return root.GetSize(); });
    const auto status = reading.wait_for(std::chrono::seconds(5));
    release.set_value();
    holder.join();
    ASSERT_EQ(status, std::future_status::ready) << "reader waited for the scanner's lock";
    EXPECT_EQ(reading.get(), 40) << "children skipped while the lock is busy";
    EXPECT_EQ(root.GetSize(), 42);
}

// Readers walk live totals while a writer appends children: no torn lists, no lost nodes.
TEST(NodeTreeThreads, ConcurrentAppendAndLiveReads) {
    TRootDirNode root;
    root.SetScanning(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            AddDirNode(&root, std::string("d").append(std::to_string(i)), faDirectory)->AddSize(1);
        done = true;
    });
    while (!done)
        EXPECT_LE(root.GetSize(), 2000);
    writer.join();
    EXPECT_EQ(root.GetSize(), 2000);
    EXPECT_EQ(ChildCount(&root), 2000);
}

// Scan workers finishing subdirectories of one parent hand their totals up at the same moment, while
// the window reads: no addition may be lost, and a reader never sees more than was added.
TEST(NodeTreeThreads, TotalsAddedByManyWritersAtOnceAreExact) {
    TRootDirNode root;
    TDirNode* dir = AddDirNode(&root, "shared", faDirectory);
    constexpr int kWriters = 4;
    constexpr int kAdds = 100000;
    std::atomic<int> ready{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&] {
            for (++ready; ready < kWriters;) {
            }
            for (int i = 0; i < kAdds; ++i) {
                dir->AddSize(3);
                dir->AddFileCount(1);
                dir->AddOwnFiles(1, 5);
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            EXPECT_LE(dir->StoredSize(), 3LL * kWriters * kAdds);
            EXPECT_LE(dir->OwnFilesCount(), kWriters * kAdds);
        }
    });
    for (auto& writer : writers)
        writer.join();
    done = true;
    reader.join();
    EXPECT_EQ(dir->StoredSize(), 3LL * kWriters * kAdds);
    EXPECT_EQ(dir->StoredFileCount(), kWriters * kAdds);
    EXPECT_EQ(dir->OwnFilesCount(), kWriters * kAdds);
    EXPECT_EQ(dir->OwnFilesSize(), 5LL * kWriters * kAdds);
}

// Deeper than PATH_MAX: the files of the deepest directory and of its group are listed, its totals
// survive a recalculation, and it can be rescanned on its own.
TEST_F(NodeTree, FilesAreListedAndRescannedBeyondPathMax) {
    const std::string name(250, 'n');
    const std::string bottomPath =
        MakeDeepTree(tree_.Path(), name, 20, {{"big", 5000}, {"s1", 10}, {"s2", 20}});
    ASSERT_GT(bottomPath.size(), static_cast<std::size_t>(PATH_MAX));
    Scan(1000);
    TDirNode* bottom = &root_;
    for (int i = 0; i < 20 && bottom != nullptr; ++i)
        bottom = dynamic_cast<TDirNode*>(Child(bottom, name));
    ASSERT_NE(bottom, nullptr);
    ASSERT_EQ(GetFullPath(bottom), bottomPath);
    ASSERT_NE(bottom->FileGroup(), nullptr);

    EXPECT_EQ(bottom->ListFiles(ScanForChildrenFiles), 1);
    EXPECT_EQ(bottom->FileGroup()->ListFiles(ScanForChildrenFiles), 2);
    EXPECT_EQ(ChildNames(bottom->FileGroup()), (std::vector<std::string>{"s1", "s2"}));
    ASSERT_NE(Child(bottom, "big"), nullptr);
    EXPECT_EQ(Child(bottom, "big")->GetSize(), 5000);
    EXPECT_EQ(bottom->ErrorCode(), 0);
    RecalculateUpward(bottom);
    EXPECT_EQ(bottom->GetSize(), 5030);
    EXPECT_EQ(root_.GetSize(), 5030);
    EXPECT_EQ(root_.GetFileCount(), 3);

    TDirScanner(bottom).Scan(GetFullPath(bottom), 1000);
    EXPECT_EQ(bottom->ErrorCode(), 0);
    EXPECT_EQ(bottom->GetSize(), 5030);
    EXPECT_EQ(bottom->GetFileCount(), 3);
}

// A directory that became unreadable after the scan (as "nobody": root reads everything): the
// listing fails visibly, leaves the totals and may be tried again once it is readable.
TEST_F(NodeTree, FailedListingKeepsTheTotalsAndShowsTheError) {
    tree_.Dir("d");
    tree_.File("d/big", 5000);
    tree_.File("d/s1", 10);
    tree_.File("d/s2", 20);
    Scan(1000);
    auto* d = dynamic_cast<TDirNode*>(Child(&root_, "d"));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(::chmod((tree_ / "d").c_str(), 0), 0);
    ::setfsuid(65534);
    const std::int32_t listed = d->ListFiles(ScanForChildrenFiles);
    const std::int32_t groupListed = d->FileGroup()->ListFiles(ScanForChildrenFiles);
    ::setfsuid(0);
    EXPECT_EQ(listed, 0);
    EXPECT_EQ(groupListed, 0);
    for (TGroupNode* node : {static_cast<TGroupNode*>(d), static_cast<TGroupNode*>(d->FileGroup())}) {
        EXPECT_EQ(node->ErrorCode(), EACCES) << node->Name();
        EXPECT_FALSE(node->HasFlag(nfFilesListed)) << node->Name();
    }
    RecalculateUpward(d->FileGroup());
    EXPECT_EQ(d->FileGroup()->GetSize(), 30);
    EXPECT_EQ(d->GetSize(), 5030);
    EXPECT_EQ(d->GetFileCount(), 3);
    EXPECT_EQ(root_.GetSize(), 5030);

    ASSERT_EQ(::chmod((tree_ / "d").c_str(), 0755), 0);
    EXPECT_EQ(d->ListFiles(ScanForChildrenFiles), 1);
    RecalculateUpward(d);
    EXPECT_EQ(d->GetSize(), 5030);
}
