// A tree that counts a file with several names once: its listed files, a deletion below and a rescan
// of a subtree keep the totals of the walk.

#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "scan/DiskListing.h"
#include "scan/WorkerBudget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::Child;
using testing::TempTree;

// a/f has two more names in b; c/x has its second name beside it. Two hundred directories of their
// own files give the helpers of a parallel walk something to take.
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
        Link("a/f", "b/g");
        Link("a/f", "b/h");
        Link("c/x", "c/y");
        root_.SetHardLinksOnce(true);
    }

    void Link(const std::string& from, const std::string& to) const {
        testing::Check(::link((tree_ / from).c_str(), (tree_ / to).c_str()) == 0, "link " + to);
    }
    void Scan(TGroupNode* node, int workers, std::int64_t threshold) {
        TDirScanner scanner(node, nullptr, std::make_shared<TWorkerBudget>(workers));
        scanner.Scan(GetFullPath(node), threshold);
    }
    TDirNode* Dir(const std::string& name) { return dynamic_cast<TDirNode*>(Child(&root_, name)); }
    // The group that holds `dir`'s listed files: its file group when the files went there.
    static TGroupNode* Listed(TDirNode* dir) {
        if (TFileGroupNode* group = dir->FileGroup()) {
            group->ListFiles(ScanForChildrenFiles);
            return group;
        }
        dir->ListFiles(ScanForChildrenFiles);
        return dir;
    }
    static std::int64_t RowSum(const TGroupNode* group, TSizeKind kind) {
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
            root_.SetName(tree_.Path());
            Scan(&root_, workers, threshold);
            ASSERT_EQ(root_.GetSize(), 5000 + 100 + 300 + 200);
            ASSERT_EQ(root_.GetFileCount(), 3 + 200);
            int counted = 0;
            for (const char* name : {"a", "b", "c"}) {
                TDirNode* dir = Dir(name);
                ASSERT_NE(dir, nullptr) << name;
                const TGroupNode* rows = Listed(dir);
                for (const TSizeKind kind : {TSizeKind::Logical, TSizeKind::Allocated})
                    EXPECT_EQ(RowSum(rows, kind), dir->GetSize(kind)) << name;
                EXPECT_EQ(rows->GetFileCount(), dir->GetFileCount()) << name;
                const TChildrenLock guard(rows);
                for (const auto& row : guard.Children()) {
                    const bool elsewhere = (row->Attributes() & kCountedAtAnotherName) != 0;
                    EXPECT_EQ(elsewhere, row->GetSize() == 0) << row->Name();
                    counted +=
                        row->Name() == "f" || row->Name() == "g" || row->Name() == "h" ? !elsewhere : 0;
                }
            }
            EXPECT_EQ(counted, 1) << "the file of three names is counted at exactly one";
            // Of two names in one directory the first in the listing counts; sorted, the rows still
            // hold one of each.
            const TGroupNode* c = Listed(Dir("c"));
            EXPECT_EQ(RowSum(c, TSizeKind::Logical), 300);
            EXPECT_EQ(c->GetFileCount(), 1);

            // Deleting an unrelated file below sums the listed rows: nothing is counted again.
            TGroupNode* bRows = Listed(Dir("b"));
            const std::int64_t before = root_.GetSize();
            TFileSystemNode* other = Child(bRows, "other");
            ASSERT_NE(other, nullptr);
            RemoveFromParent(other);
            EXPECT_EQ(Dir("b")->GetSize(), Dir("a")->GetSize() == 0 ? 5000 : 0);
            EXPECT_EQ(root_.GetSize(), before - 100);
        }
    }
}

// A rescan of either directory counts the file where it was counted before the rescan, or where the
// rescan finds it when it was counted inside: never once more.
TEST_F(HardLinksOnce, ARescanedSubtreeDoesNotCountAgainWhatWasCountedOutside) {
    root_.SetName(tree_.Path());
    Scan(&root_, 2, 0);
    const std::int64_t total = root_.GetSize();
    TDirNode* counting = Dir("a")->GetSize() == 5000 ? Dir("a") : Dir("b");
    TDirNode* notCounting = counting == Dir("a") ? Dir("b") : Dir("a");
    ASSERT_EQ(counting->GetSize() - (counting == Dir("b") ? 100 : 0), 5000);

    for (TDirNode* dir : {notCounting, counting, notCounting}) {
        SCOPED_TRACE(dir->Name());
        const std::int64_t dirBefore = dir->GetSize();
        // As the window's rescan: the subtree is cleared, then walked again on its own.
        dir->Clear();
        Scan(dir, 2, 0);
        RecalculateUpward(dir->Parent());
        EXPECT_EQ(dir->GetSize(), dirBefore);
        EXPECT_EQ(root_.GetSize(), total);
        const TGroupNode* rows = Listed(dir);
        EXPECT_EQ(RowSum(rows, TSizeKind::Logical), dir->GetSize());
    }

    // The whole tree walked again starts over: the same totals, not fewer.
    Scan(&root_, 1, 0);
    EXPECT_EQ(root_.GetSize(), total);
}

// A directory removed from the tree takes its counted names along; the other names stay uncounted
// (the folders' totals never had them) rather than pointing at a node that is gone.
TEST_F(HardLinksOnce, TheOtherNamesOfAFileCountedInARemovedDirectoryStayUncounted) {
    root_.SetName(tree_.Path());
    Scan(&root_, 1, 0);
    TDirNode* counting = Dir("a")->GetSize() == 5000 ? Dir("a") : Dir("b");
    TDirNode* notCounting = counting == Dir("a") ? Dir("b") : Dir("a");
    const std::int64_t otherBefore = notCounting->GetSize();
    RemoveFromParent(counting);
    const TGroupNode* rows = Listed(notCounting);
    EXPECT_EQ(RowSum(rows, TSizeKind::Logical), otherBefore);
    EXPECT_EQ(notCounting->GetSize(), otherBefore);
}

} // namespace
} // namespace quorvex
