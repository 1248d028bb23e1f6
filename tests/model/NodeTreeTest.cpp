#include "model/FileSystemNode.h"
#include "scan/DirScanner.h"

#include "common/NodeLookup.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

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

void Scan(TRootDirNode& root, const std::string& path, std::int64_t threshold) {
    TDirScanner scanner(&root);
    scanner.Scan(path, threshold);
}

} // namespace

TEST(NodeTree, OneSmallFileLeavesNoGroupAndIsListedByItsDirectory) {
    TempTree t;
    t.File("small", 10);
    t.File("big", 5000);
    TRootDirNode root;
    Scan(root, t.Path(), 1000);

    EXPECT_EQ(root.FileGroup(), nullptr);
    EXPECT_TRUE(root.HasFlag(nfNoFileGroup));
    EXPECT_EQ(root.GetFileCount(), 2);
    EXPECT_EQ(root.GetSize(), 5010);
    EXPECT_EQ(root.ListFiles(), 2);
    EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"big", "small"}));
    EXPECT_EQ(root.ListFiles(), -1) << "listing twice adds nothing";
    EXPECT_EQ(ChildCount(&root), 2);
}

TEST(NodeTree, TwoSmallFilesFormAGroupThatListsThemSorted) {
    TempTree t;
    t.File("b-small", 10);
    t.File("a-small", 20);
    t.File("at-threshold", 1000);
    TRootDirNode root;
    Scan(root, t.Path(), 1000);

    TFileGroupNode* group = root.FileGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetFileCount(), 2);
    EXPECT_EQ(group->GetSize(), 30);
    EXPECT_EQ(root.GetSize(), 1030);
    EXPECT_EQ(group->ListFiles(), 2);
    EXPECT_EQ(ChildNames(group), (std::vector<std::string>{"a-small", "b-small"}));
    EXPECT_EQ(group->GetSize(), 30);

    EXPECT_EQ(root.ListFiles(), 1) << "a file exactly at the threshold belongs to the directory";
    EXPECT_NE(Child(&root, "at-threshold"), nullptr);

    auto* inGroup = Child(group, "a-small");
    ASSERT_NE(inGroup, nullptr);
    EXPECT_EQ(GetFullPath(inGroup), t.Path() + "/a-small") << "the group adds nothing to paths";
}

TEST(NodeTree, ThresholdZeroNeverGroups) {
    TempTree t;
    t.File("a", 0);
    t.File("b", 1);
    t.Dir("sub");
    t.File("sub/c", 2);
    t.File("sub/d", 3);
    TRootDirNode root;
    Scan(root, t.Path(), 0);
    EXPECT_EQ(root.FileGroup(), nullptr);
    auto* sub = dynamic_cast<TDirNode*>(Child(&root, "sub"));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->FileGroup(), nullptr);
    EXPECT_EQ(root.GetFileCount(), 4);
    EXPECT_EQ(root.GetSize(), 6);
}

TEST(NodeTree, TotalsAboveFourGibibytesAreExact) {
    TempTree t;
    constexpr std::int64_t big = 5LL * 1024 * 1024 * 1024 + 7; // sparse: no real disk use
    t.File("huge1", big);
    t.Dir("d");
    t.File("d/huge2", big);
    TRootDirNode root;
    Scan(root, t.Path(), 1 << 20);
    EXPECT_EQ(root.GetSize(), 2 * big);
    EXPECT_EQ(Child(&root, "d")->GetSize(), big);
}

TEST(NodeTree, FullPathsJoinWithoutDoubleDelimiters) {
    TRootDirNode root;
    root.SetName("/");
    TDirNode* usr = AddDirNode(&root, "usr", faDirectory);
    TDirNode* lib = AddDirNode(usr, "lib", faDirectory);
    EXPECT_EQ(GetFullPath(&root), "/");
    EXPECT_EQ(GetFullPath(usr), "/usr");
    EXPECT_EQ(GetFullPath(lib), "/usr/lib");

    TFixedDrivesNode drives(std::vector<std::string>{"/", "/home"});
    ASSERT_EQ(ChildCount(&drives), 2);
    auto* home = dynamic_cast<TGroupNode*>(ChildAt(&drives, 1));
    EXPECT_EQ(GetFullPath(home), "/home") << "a drive's path is its own name";
    EXPECT_EQ(GetFullPath(AddDirNode(home, "me", faDirectory)), "/home/me");
    EXPECT_EQ(drives.ListFiles(), -1);
}

TEST(NodeTree, SetPathKeepsTheRootSlash) {
    TDirNode dir;
    dir.SetPath("/");
    EXPECT_EQ(dir.Name(), "/");
    dir.SetPath("/a/b/");
    EXPECT_EQ(dir.Name(), "b");
}

TEST(NodeTree, FindNodeByPathStopsAtComponentBoundaries) {
    TRootDirNode root;
    root.SetName("/data");
    TDirNode* abc = AddDirNode(&root, "abc", faDirectory);
    TDirNode* ab = AddDirNode(&root, "ab", faDirectory);
    TDirNode* deep = AddDirNode(ab, "x", faDirectory);
    AddDirNode(abc, "x", faDirectory);

    EXPECT_EQ(FindNodeByPath(&root, "/data/ab"), ab);
    EXPECT_EQ(FindNodeByPath(&root, "/data/ab/x"), deep) << "must not descend into /data/abc";
    EXPECT_EQ(FindNodeByPath(&root, "/data/a"), nullptr);
    EXPECT_EQ(FindNodeByPath(&root, "/data/abc/y"), nullptr);
}

TEST(NodeTree, ErrorCodesOutsideSixteenBitsAreStoredAsOne) {
    TDirNode dir;
    dir.SetErrorCode(13);
    EXPECT_EQ(dir.ErrorCode(), 13);
    dir.SetErrorCode(70000);
    EXPECT_EQ(dir.ErrorCode(), 1);
    dir.SetErrorCode(-32768);
    EXPECT_EQ(dir.ErrorCode(), -32768);
}

TEST(NodeTree, GetRootRejectsATreeWithoutARoot) {
    TDirNode top;
    TDirNode* child = AddDirNode(&top, "c", faDirectory);
    EXPECT_THROW(GetRoot(child), std::logic_error);
    TRootDirNode root;
    EXPECT_EQ(GetRoot(AddDirNode(&root, "c", faDirectory)), &root);
}

TEST(NodeTree, RemoveFromParentRecalculatesAncestors) {
    TRootDirNode root;
    TDirNode* a = AddDirNode(&root, "a", faDirectory);
    for (const char* name : {"x", "y"}) {
        auto file = std::make_unique<TFileNode>();
        file->SetName(name);
        file->SetSize(100);
        AddChild(a, std::move(file));
    }
    a->SetFlag(nfFilesListed, true);
    root.SetFlag(nfFilesListed, true);
    RecalculateUpward(a);
    EXPECT_EQ(root.GetSize(), 200);
    RemoveFromParent(Child(a, "x"));
    EXPECT_EQ(a->GetSize(), 100);
    EXPECT_EQ(root.GetSize(), 100);
    EXPECT_EQ(root.GetFileCount(), 1);
}

// A scan thread may hold a directory's lock for a while; the window's reads must not wait for it.
TEST(NodeTreeThreads, LiveTotalsNeverBlockOnAHeldLock) {
    TRootDirNode root;
    root.SetScanning(true);
    root.AddOwnFilesSize(40);
    TDirNode* sub = AddDirNode(&root, "sub", faDirectory);
    sub->AddSize(2);

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
        for (int i = 0; i < 2000; ++i) {
            TDirNode* d = AddDirNode(&root, "d" + std::to_string(i), faDirectory);
            d->AddSize(1);
        }
        done = true;
    });
    std::int64_t last = 0;
    while (!done) {
        const std::int64_t now = root.GetSize();
        EXPECT_LE(now, 2000);
        last = now;
    }
    writer.join();
    EXPECT_GE(last, 0);
    EXPECT_EQ(root.GetSize(), 2000);
    EXPECT_EQ(ChildCount(&root), 2000);
}
