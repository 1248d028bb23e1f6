#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/SizeFormat.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"

#include "common/NodeLookup.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <tuple>
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

class NodeTree : public ::testing::Test {
protected:
    void Scan(std::int64_t threshold) { TDirScanner(&root_, nullptr).Scan(tree_.Path(), threshold); }

    TempTree tree_;
    TRootDirNode root_;
};

// A file exactly at the threshold belongs to its directory; totals above 4 GiB stay exact.
TEST_F(NodeTree, GroupingRulesAndLargeTotals) {
    constexpr std::int64_t huge = 5LL * 1024 * 1024 * 1024 + 7;
    tree_.File("huge", huge);
    tree_.Dir("d");
    tree_.File("d/huge", huge);
    tree_.File("z1", 0);
    tree_.File("z2", 0);
    tree_.Dir("one");
    tree_.Dir("two");
    for (const auto& [file, size] : {std::pair{"one/small", 10},
                                     {"one/big", 5000},
                                     {"two/b-small", 10},
                                     {"two/a-small", 20},
                                     {"two/at-threshold", 1000}})
        tree_.File(file, size);
    Scan(1000);
    auto* one = dynamic_cast<TDirNode*>(Child(&root_, "one"));
    EXPECT_EQ(one->FileGroup(), nullptr) << "a single small file is no group";
    // Before any listing, a recalculation rebuilds the totals from the own files and the group alike.
    RecalculateUpward(Child(&root_, "two"));
    one->Recalculate();
    EXPECT_EQ(one->GetSize(), 5010);
    EXPECT_EQ(Child(&root_, "two")->GetSize(), 1030);
    EXPECT_EQ(root_.GetSize(), 2 * huge + 6040);
    EXPECT_EQ(root_.GetFileCount(), 9);
    EXPECT_EQ(one->ListFiles(), 2);
    EXPECT_EQ(one->ListFiles(), -1) << "listing twice adds nothing";
    EXPECT_EQ(ChildNames(one), (std::vector<std::string>{"big", "small"}));

    TFileGroupNode* group = dynamic_cast<TDirNode*>(Child(&root_, "two"))->FileGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->ListFiles(), 2);
    EXPECT_EQ(ChildNames(group), (std::vector<std::string>{"a-small", "b-small"}));
    EXPECT_EQ(group->GetSize(), 30) << "listing changes no totals";
    EXPECT_EQ(group->Parent()->ListFiles(), 1);
    EXPECT_EQ(GetFullPath(Child(group, "a-small")), tree_ / "two/a-small")
        << "the group adds nothing to paths";
    ASSERT_NE(root_.FileGroup(), nullptr) << "empty files are grouped too";

    TRootDirNode ungrouped;
    TDirScanner(&ungrouped).Scan(tree_.Path(), 0);
    EXPECT_EQ(ungrouped.FileGroup(), nullptr) << "threshold 0 never groups, not even empty files";
    EXPECT_EQ(ungrouped.GetSize(), 2 * huge + 6040);
}

TEST(NodeTreePaths, FullPathsJoinWithoutDoubleDelimitersAndLookUpsFollowExactComponents) {
    TRootDirNode root;
    root.SetName("/");
    TDirNode* usr = AddDirNode(&root, "usr", faDirectory);
    EXPECT_EQ(GetFullPath(&root), "/");
    EXPECT_EQ(GetFullPath(AddDirNode(usr, "lib", faDirectory)), "/usr/lib");

    TFixedDrivesNode drives(std::vector<std::string>{"/", "/home"});
    auto* home = dynamic_cast<TGroupNode*>(ChildAt(&drives, 1));
    EXPECT_EQ(GetFullPath(home), "/home") << "a drive's path is its own name";

    // Names are bytes: only the exact component leads on, whatever comes first.
    root.SetName("/data");
    TDirNode* deep = AddDirNode(AddDirNode(&root, "ab", faDirectory), "x", faDirectory);
    TDirNode* abcX = AddDirNode(AddDirNode(&root, "abc", faDirectory), "x", faDirectory);
    AddDirNode(AddDirNode(&root, "Foo", faDirectory), "bar", faDirectory);
    TDirNode* bar = AddDirNode(AddDirNode(&root, "foo", faDirectory), "bar", faDirectory);
    EXPECT_EQ(FindNodeByPath(&root, "/data/abc/x"), abcX) << "must not descend into /data/ab";
    EXPECT_EQ(FindNodeByPath(&root, "/data/a"), nullptr);
    EXPECT_EQ(FindNodeByPath(&root, "/data/foo/bar"), bar) << "must not descend into /data/Foo";
    EXPECT_EQ(FindNodeByPath(&root, "/data/AB"), nullptr);
    auto small = std::make_unique<TFileNode>();
    small->SetName("small");
    TFileSystemNode* grouped = deep->GetFileGroup()->AddChild(std::move(small));
    EXPECT_EQ(FindNodeByPath(&root, "/data/ab/x/small"), grouped) << "a file group's member";
    EXPECT_EQ(FindNodeByPath(&root, GetFullPath(grouped->Parent())), grouped->Parent()) << "the group";
}

// Deeper than PATH_MAX a directory's files are still listed, recalculated and rescanned.
TEST_F(NodeTree, FilesAreListedAndRescannedBeyondPathMax) {
    constexpr int kDepth = 700;
    tree_.Chain(kDepth, [](int fd, int level) {
        for (const auto& [file, size] : {std::pair{"level/big", 5000}, {"level/s1", 10}, {"level/s2", 20}}) {
            const int f = level == kDepth - 1 ? ::openat(fd, file, O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : -1;
            ASSERT_TRUE(f < 0 || (::ftruncate(f, size) == 0 && ::close(f) == 0));
        }
    });
    Scan(1000);
    TDirNode* bottom = &root_;
    for (int i = 0; i < kDepth && bottom != nullptr; ++i)
        bottom = dynamic_cast<TDirNode*>(Child(bottom, "level"));
    ASSERT_NE(bottom, nullptr);
    ASSERT_GT(GetFullPath(bottom).size(), static_cast<std::size_t>(PATH_MAX));
    ASSERT_NE(bottom->FileGroup(), nullptr);

    EXPECT_EQ(bottom->ListFiles(), 1);
    EXPECT_EQ(bottom->FileGroup()->ListFiles(), 2);
    EXPECT_EQ(ChildNames(bottom->FileGroup()), (std::vector<std::string>{"s1", "s2"}));
    ASSERT_NE(Child(bottom, "big"), nullptr);
    EXPECT_EQ(Child(bottom, "big")->GetSize(), 5000);
    RecalculateUpward(bottom);
    EXPECT_EQ(root_.GetSize(), 5030);
    EXPECT_EQ(root_.GetFileCount(), 3);

    TDirScanner(bottom).Scan(GetFullPath(bottom), 1000);
    EXPECT_EQ(bottom->ErrorCode(), 0);
    EXPECT_EQ(bottom->GetFileCount(), 3);
}

// Listing makes the nodes from what the walk recorded, whatever became of the disk since: unreadable
// (as "nobody") and a file replaced by another with the same name.
TEST_F(NodeTree, ListingMakesTheNodesTheWalkRecordedWhateverTheDiskBecameSince) {
    tree_.Dir("d");
    tree_.File("d/big", 5000);
    tree_.File("d/s1", 10);
    tree_.File("d/s2", 20);
    Scan(1000);
    auto* d = dynamic_cast<TDirNode*>(Child(&root_, "d"));
    EXPECT_EQ(d->RecordedFileCount(), 3U);
    TEntryInfo before;
    ASSERT_EQ(DefaultFileSystem().StatEntry(AT_FDCWD, (tree_ / "d/big").c_str(), before), 0);
    ASSERT_EQ(::unlink((tree_ / "d/big").c_str()), 0);
    tree_.File("d/big", 7);
    ASSERT_EQ(::chmod((tree_ / "d").c_str(), 0), 0);
    ::setfsuid(65534);
    const std::pair listed{d->ListFiles(), d->FileGroup()->ListFiles()};
    ::setfsuid(0);
    ASSERT_EQ(::chmod((tree_ / "d").c_str(), 0755), 0);
    EXPECT_EQ(listed, std::pair(1, 2));
    EXPECT_EQ((std::pair<int, int>(d->ErrorCode(), d->FileGroup()->ErrorCode())), std::pair(0, 0));
    EXPECT_EQ(Child(d, "big")->GetSize(), 5000);
    // The stamp of the file the walk saw, so that deleting the row cannot hit its successor.
    EXPECT_EQ(Child(d, "big")->Identity(), IdentityStamp(before));
    RecalculateUpward(d->FileGroup());
    EXPECT_EQ(root_.GetSize(), 5030);
}

TEST(SizeFormat, BothStylesAcrossUnitBoundariesSeparatorsAndSettings) {
    constexpr std::int64_t KB = 1024, MB = KB * KB, TB = MB * MB;
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {0, "0 Byte", "0 Byte"},
        {1023, "1023 Byte", "1023 Byte"},
        {1536, "1.5 KB", "1.5 KB"},
        {1055, "1.03 KB", "1.03 KB"},
        {1065, "1.04 KB", "1.04 KB"},
        {2047, "1.99 KB", "2 KB"},
        {10 * KB - 1, "9.99 KB", "10 KB"},
        {150 * MB + 99 * MB / 100, "150 MB", "151 MB"},
        {1024 * KB - 300, "1023 KB", "1024 KB"}, // rounding never moves to the next unit
        {2048 * TB, "2048 TB", "2048 TB"},
        {5 * KB * MB + 123, "5.00 GB", "5 GB"}, // cutting keeps the digits it cuts to
    };
    for (const auto& [bytes, truncated, rounded] : cases) {
        EXPECT_EQ(FormatSizeTruncated(bytes, '.'), truncated) << bytes;
        EXPECT_EQ(FormatSizeRounded(bytes, '.'), rounded) << bytes;
    }
    EXPECT_EQ(FormatSizeTruncated(2047, ','), "1,99 KB");
    EXPECT_EQ(FormatSizeRounded(1536, ','), "1,5 KB");
    for (const auto& [rounding, text] : {std::pair{1, "2 KB"}, {0, "1.99 KB"}, {2, "1.99 KB"}})
        EXPECT_EQ(SizeFormatterFor(rounding)(2047, '.'), text) << "FileSizeRounding " << rounding;
}

} // namespace
