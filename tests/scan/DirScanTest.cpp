// One walker on hostile trees (odd names, failing entries, few descriptors, mounts); linked files once.

#include "common/HookedFileSystem.h"
#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::Child;
using testing::FailOn;
using testing::HookedFileSystem;
using testing::TempTree;

TDirNode* SubDir(const TGroupNode* parent, const std::string& name) {
    return dynamic_cast<TDirNode*>(Child(parent, name));
}

// Hostile names, links, a file of three names counted at one, a sparse file, a fifo, a folder the walk
// may not read: every directory's records are what lstat says (name bytes, sizes, blocks, time, the
// identity of a file of several names), the totals are the counted records.
TEST(DirScanner, CountsHostileEntriesAndRecordsWhatTheDiskSays) {
    TempTree t;
    const std::string bad = "bad\xff\xfe";
    for (const std::string& dir : {bad, std::string(".hidden"), std::string("empty"), std::string("locked")})
        t.Dir(dir);
    t.File(bad + "/line\nbreak", 100);
    t.File(bad + "/\"quoted\",<script>", 200);
    t.File(".hidden/" + std::string(255, '\xe9'), 3);
    t.File(std::string(255, 'L'), 10);
    t.File("sparse", std::int64_t{1} << 30);
    t.File("locked/inside", 7);
    std::ofstream(t / "full") << std::string(5000, 'x');
    for (const std::string& name : {std::string(".hidden/two"), bad + "/three"})
        testing::Check(::link((t / "full").c_str(), (t / name).c_str()) == 0, name);
    t.Link("/usr", "link-to-dir"); // never followed: a file of its own size
    testing::Check(::mkfifo((t / "fifo").c_str(), 0644) == 0 && ::chmod((t / "locked").c_str(), 0) == 0,
                   "fifo");
    TRootDirNode root;
    root.SetHardLinksOnce(true);
    TDirScanner scanner(&root, nullptr, std::make_shared<TWorkerBudget>(1));
    // As nobody, so that the locked folder is shut to a superuser too; one worker, since the identity
    // the file system checks belongs to the calling thread.
    const int previous = ::setfsuid(65534);
    scanner.Scan(t.Path() + "/", 0);
    ::setfsuid(previous);
    EXPECT_EQ(root.Name(), t.Path()) << "trailing delimiter removed";
    std::set<std::string> onDisk;
    for (auto it = std::filesystem::recursive_directory_iterator(t.Path()); it != decltype(it)(); ++it) {
        if (it->path().filename() == "locked")
            it.disable_recursion_pending();
        if (!std::filesystem::is_directory(it->symlink_status()))
            onDisk.insert(it->path().native());
    }
    using TNumbers = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
    using TIdentity = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;
    std::set<std::string> recorded;
    std::map<ino_t, int> countedNames;
    std::pair<std::int64_t, std::int32_t> counted;
    ForEachRecordedFile(&root, [&](const TDirNode& dir, const TPackedFile& f) {
        const std::string path = GetFullPath(&dir) + "/" + std::string(f.Name);
        recorded.insert(path);
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(TNumbers(f.Size, f.AllocatedSize, f.ModifyTime),
                  TNumbers(st.st_size, st.st_blocks * 512, st.st_mtime))
            << path;
        EXPECT_EQ(TIdentity(f.Device, f.Inode, f.Links),
                  st.st_nlink > 1 ? TIdentity(st.st_dev, st.st_ino, st.st_nlink) : TIdentity())
            << path;
        const bool counts = (f.Attributes & kCountedAtAnotherName) == 0;
        countedNames[st.st_ino] += counts ? 1 : 0;
        counted = {counted.first + (counts ? f.Size : 0), counted.second + (counts ? 1 : 0)};
    });
    EXPECT_EQ(recorded, onDisk);
    EXPECT_EQ(countedNames.size(), onDisk.size() - 2) << "three names of one file";
    for (const auto& [inode, names] : countedNames)
        EXPECT_EQ(names, 1) << "names counted of inode " << inode;
    EXPECT_EQ(counted, std::pair(root.GetSize(), root.GetFileCount()));
    EXPECT_EQ(SubDir(&root, "locked")->ErrorCode(), EACCES);
    EXPECT_EQ(SubDir(&root, "locked")->RecordedFileCount(), 0U);
    EXPECT_TRUE(Child(&root, ".hidden")->IsHidden());
    EXPECT_TRUE(SubDir(&root, "empty")->HasFlag(nfEmpty));
    EXPECT_FALSE(SubDir(&root, ".hidden")->HasFlag(nfEmpty));
    EXPECT_EQ(Child(&root, "link-to-dir"), nullptr) << "a link is a file, not a directory node";
    EXPECT_FALSE(root.IsScanning() || root.HasFlag(nfIncomplete) || scanner.IsBusy());
}

// Denied, vanished between readdir and stat, a missing root (the kernel's refusals: see the command).
TEST(DirScanner, EntryErrorsAreRecordedAndSiblingsGoOn) {
    TempTree t;
    for (const char* dir : {"injected", "open"}) {
        t.Dir(dir);
        t.File(std::string(dir) + "/f", 10);
    }
    t.File("vanishes", 1000);
    HookedFileSystem fs(FailOn("injected", EACCES), FailOn("vanishes", ENOENT));
    TRootDirNode node;
    TDirScanner(&node, &fs).Scan(t.Path(), 0);
    EXPECT_EQ(SubDir(&node, "injected")->ErrorCode(), EACCES);
    EXPECT_EQ(node.GetSize(), 10);
    EXPECT_EQ(node.GetFileCount(), 1);
    EXPECT_EQ(node.ErrorCode(), 0);

    TRootDirNode missing;
    TDirScanner(&missing).Scan(t / "missing", 0);
    EXPECT_EQ(missing.ErrorCode(), ENOENT);
    EXPECT_TRUE(missing.HasFlag(nfEmpty));
}

// Out of descriptors now and then: the walk retries rather than skip a directory, down and back up.
TEST(DirScanner, RunningOutOfDescriptorsSkipsNoDirectory) {
    TempTree t;
    constexpr int kDepth = 400;
    t.Chain(kDepth, [](int fd, int) {
        ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
        const int file = ::openat(fd, "side/f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(::ftruncate(file, 1), 0);
        ::close(file);
    });
    int opens = 0;
    HookedFileSystem fs([&](const char*) { return ++opens % 3 == 0 ? EMFILE : 0; });
    TRootDirNode root;
    TDirScanner(&root, &fs).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetFileCount(), kDepth);
    int sides = 0;
    for (const TGroupNode* node = &root; node != nullptr; node = SubDir(node, "level")) {
        ASSERT_EQ(node->ErrorCode(), 0) << sides;
        const TDirNode* side = SubDir(node, "side");
        sides += side != nullptr && side->ErrorCode() == 0 ? 1 : 0;
    }
    EXPECT_EQ(sides, kDepth);
}

// a/f has two more names in b; c/x a second one beside it; "many" gives a parallel walk's helpers work.
class HardLinksOnce : public ::testing::Test {
protected:
    HardLinksOnce() {
        for (const char* dir : {"a", "b", "c", "many"})
            tree_.Dir(dir);
        tree_.File("a/f", 5000);
        tree_.File("b/other", 100);
        tree_.File("c/x", 300);
        for (int i = 0; i < 200; ++i) {
            tree_.Dir("many/d" + std::to_string(i));
            tree_.File("many/d" + std::to_string(i) + "/own", 1);
        }
        for (const auto& [from, to] : {std::pair{"a/f", "b/g"}, {"a/f", "b/h"}, {"c/x", "c/y"}})
            testing::Check(::link((tree_ / from).c_str(), (tree_ / to).c_str()) == 0, to);
        root_.SetHardLinksOnce(true);
        root_.SetName(tree_.Path());
    }
    void Scan(TGroupNode* node, int workers, std::int64_t threshold = 0) {
        TDirScanner(node, nullptr, std::make_shared<TWorkerBudget>(workers))
            .Scan(GetFullPath(node), threshold);
    }
    TDirNode* Dir(const std::string& name) { return SubDir(&root_, name); }
    // The directory that counted the file of three names first.
    std::pair<TDirNode*, TDirNode*> CountingAndNot() {
        return Dir("a")->GetSize() == 5000 ? std::pair{Dir("a"), Dir("b")} : std::pair{Dir("b"), Dir("a")};
    }
    // Listed, in the file group when the files went there.
    static TGroupNode* Listed(TDirNode* dir) {
        TGroupNode* rows = dir->FileGroup() != nullptr ? static_cast<TGroupNode*>(dir->FileGroup()) : dir;
        rows->ListFiles();
        return rows;
    }
    static std::int64_t RowSum(const TGroupNode* group, TSizeKind kind = TSizeKind::Logical) {
        const TChildrenLock guard(group);
        std::int64_t sum = 0;
        for (const auto& child : guard.Children())
            sum += child->GetNodeType() == ntFile ? child->GetSize(kind) : 0;
        return sum;
    }

    TempTree tree_;
    TRootDirNode root_;
};

TEST_F(HardLinksOnce, ListedNamesAddUpToTheFolderAndOnlyTheCountedOneHasASize) {
    // Without grouping and with every file in a file group; one worker and several.
    for (const std::int64_t threshold : {std::int64_t{0}, std::int64_t{1} << 20}) {
        for (const int workers : {1, 4}) {
            SCOPED_TRACE("threshold " + std::to_string(threshold) + ", workers " + std::to_string(workers));
            Scan(&root_, workers, threshold);
            ASSERT_EQ(root_.GetSize(), 5000 + 100 + 300 + 200);
            ASSERT_EQ(root_.GetFileCount(), 3 + 200);
            int counted = 0;
            for (const char* name : {"a", "b", "c"}) {
                TDirNode* dir = Dir(name);
                const TGroupNode* rows = Listed(dir);
                for (const TSizeKind kind : {TSizeKind::Logical, TSizeKind::Allocated})
                    EXPECT_EQ(RowSum(rows, kind), dir->GetSize(kind)) << name;
                EXPECT_EQ(rows->GetFileCount(), dir->GetFileCount()) << name;
                const TChildrenLock guard(rows);
                for (const auto& row : guard.Children()) {
                    const bool elsewhere = (row->Attributes() & kCountedAtAnotherName) != 0;
                    EXPECT_EQ(elsewhere, row->GetSize() == 0) << row->Name();
                    counted += name[0] != 'c' && row->Name() != "other" && !elsewhere ? 1 : 0;
                }
            }
            EXPECT_EQ(counted, 1) << "the file of three names is counted at exactly one";
            EXPECT_EQ(Dir("c")->GetFileCount(), 1) << "of two names in one directory one counts";

            // Deleting an unrelated file below sums the listed rows: nothing is counted again.
            RemoveFromParent(Child(Listed(Dir("b")), "other"));
            EXPECT_EQ(Dir("b")->GetSize(), Dir("a")->GetSize() == 0 ? 5000 : 0);
            EXPECT_EQ(root_.GetSize(), 5000 + 300 + 200);
        }
    }
}

// A rescan of either directory counts the file where it was counted before, never once more; a
// directory removed from the tree takes its counted names along and the other names stay uncounted.
TEST_F(HardLinksOnce, RescansAndRemovalsCountNothingAgain) {
    Scan(&root_, 2);
    const std::int64_t total = root_.GetSize();
    const auto [counting, notCounting] = CountingAndNot();
    for (TDirNode* dir : {notCounting, counting, notCounting}) {
        SCOPED_TRACE(dir->Name());
        const std::int64_t dirBefore = dir->GetSize();
        dir->Clear(); // as the window's rescan: the subtree cleared, then walked again on its own
        Scan(dir, 2);
        RecalculateUpward(dir->Parent());
        EXPECT_EQ(dir->GetSize(), dirBefore);
        EXPECT_EQ(root_.GetSize(), total);
        EXPECT_EQ(RowSum(Listed(dir)), dir->GetSize());
    }
    Scan(&root_, 1);
    EXPECT_EQ(root_.GetSize(), total) << "the whole tree walked again starts over";

    const auto [gone, kept] = CountingAndNot();
    const std::int64_t keptBefore = kept->GetSize();
    RemoveFromParent(gone);
    EXPECT_EQ(RowSum(Listed(kept)), keptBefore);
    EXPECT_EQ(kept->GetSize(), keptBefore);
}

} // namespace
} // namespace quorvex
