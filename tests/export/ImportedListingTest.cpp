// A tree read from a scan file keeps its files packed until a directory is listed: it must look as
// the scan of the same tree does, before and after every directory is expanded, and give the same
// export either way.

#include "common/FileText.h"
#include "common/TempTree.h"
#include "export/ExportFixtures.h"
#include "export/NcduImport.h"
#include "model/RootNodes.h"
#include "scan/DirScanner.h"
#include "scan/DiskListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace {

using namespace quorvex;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// Lists every directory and file group, parents first, as the window's expand does.
void ExpandAll(TGroupNode* top) {
    std::vector<TGroupNode*> todo{top};
    while (!todo.empty()) {
        TGroupNode* group = todo.back();
        todo.pop_back();
        group->ListFiles(ScanForChildrenFiles);
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            if (auto* inner = dynamic_cast<TGroupNode*>(child.get()))
                todo.push_back(inner);
        }
    }
}

// Everything the window and the exports read of a tree, one line per node, children by name.
std::string Describe(const TFileSystemNode* node, const std::string& indent = "") {
    std::ostringstream out;
    out << indent << '[' << node->Name() << "] type " << int{node->GetNodeType()} << " size "
        << node->GetSize() << '/' << node->GetSize(TSizeKind::Allocated) << " files " << node->GetFileCount()
        << " attributes " << node->Attributes() << " error " << (node->ErrorCode() != 0);
    const auto* group = dynamic_cast<const TGroupNode*>(node);
    if (group == nullptr)
        return out.str() + "\n";
    constexpr std::uint8_t kShown = nfFilesListed | nfEmpty | nfNoFileGroup | nfIncomplete | nfScanning;
    out << " flags " << int{static_cast<std::uint8_t>(group->Flags() & kShown)} << " own "
        << group->OwnFilesCount() << '/' << group->OwnFilesSize() << '/'
        << group->OwnFilesSize(TSizeKind::Allocated) << '\n';
    std::vector<std::string> children;
    {
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children())
            children.push_back(Describe(child.get(), indent + "  "));
    }
    std::sort(children.begin(), children.end());
    for (const std::string& child : children)
        out << child;
    return out.str();
}

// The export without its header, which holds the time of writing.
std::string ExportBody(const TFileSystemNode* root) {
    const std::string text = quorvex::testing::ExportText(quorvex::testing::Format("ncdu"), root);
    return text.substr(text.find('\n'));
}

// The tree read back from the scan's file looks as the scan, and writes the same file, before and after
// every folder is expanded.
void ExpectReadsBackAsTheScan(TRootDirNode& scanned, TGroupNode* imported) {
    EXPECT_EQ(Describe(imported), Describe(&scanned));
    const std::string before = ExportBody(imported);
    EXPECT_EQ(before, ExportBody(&scanned));
    ExpandAll(&scanned);
    ExpandAll(imported);
    EXPECT_EQ(Describe(imported), Describe(&scanned));
    EXPECT_EQ(ExportBody(imported), before);
}

TEST(ImportedListing, LooksAsTheScanOfTheSameTreeBeforeAndAfterExpandAcrossTheGroupThreshold) {
    TempTree tree;
    // Written, so that they have blocks: the allocated sizes must match too.
    WriteAll(tree / "big", std::string(5000, 'b'));
    WriteAll(tree / "tiny", std::string(10, 't'));
    tree.File(".hidden", 20);
    tree.File("zero", 0);
    tree.File("bytes\xff\xfe", 30);
    tree.File(std::string(255, 'n'), 40);
    tree.Dir("one-small");
    tree.File("one-small/small", 10);
    tree.File("one-small/large", 9000);
    tree.Dir("empty");
    tree.Dir("only-large");
    tree.File("only-large/a", 5000);
    tree.File("only-large/b", 6000);
    tree.Dir("sub");
    tree.Dir("sub/deeper");
    tree.File("sub/deeper/x", 50);
    tree.File("sub/deeper/y", 60);
    TempTree files;
    // Below every size, between them, and above all: no group, some groups, everything grouped.
    for (const std::int64_t threshold : {std::int64_t{0}, std::int64_t{100}, std::int64_t{1} << 20}) {
        SCOPED_TRACE("threshold " + std::to_string(threshold));
        TRootDirNode scanned;
        TDirScanner(&scanned).Scan(tree.Path(), threshold);
        const std::string file = files / ("scan" + std::to_string(threshold) + ".json");
        WriteAll(file, quorvex::testing::ExportText(quorvex::testing::Format("ncdu"), &scanned));
        const auto imported = ImportNcduFile(file, threshold);

        ExpectReadsBackAsTheScan(scanned, imported.get());
    }
}

// Counting a file of several names once, the file of such a scan reads back as the scan, and writes
// the identities again; counting every name, the same file counts them all.
TEST(ImportedListing, AFileOfSeveralNamesCountedOnceLooksAsTheScan) {
    TempTree tree;
    WriteAll(tree / "big", std::string(20000, 'b'));
    WriteAll(tree / "small", std::string(10, 's'));
    for (const char* dir : {"sub", "sub/deeper", "other"})
        tree.Dir(dir);
    // One name a directory: which of two names in one directory counts follows the order of the disk.
    for (const char* name : {"sub/big2", "sub/deeper/big3", "other/big4"})
        quorvex::testing::Check(::link((tree / "big").c_str(), (tree / name).c_str()) == 0, "link");
    quorvex::testing::Check(::link((tree / "small").c_str(), (tree / "sub/small2").c_str()) == 0, "link");
    TRootDirNode scanned;
    scanned.SetHardLinksOnce(true);
    TDirScanner(&scanned).Scan(tree.Path(), 100);
    ASSERT_EQ(scanned.GetSize(), 20010);
    TempTree files;
    const std::string file = files / "once.json";
    WriteAll(file, quorvex::testing::ExportText(quorvex::testing::Format("ncdu"), &scanned));
    const auto imported = ImportNcduFile(file, 100, true);
    ExpectReadsBackAsTheScan(scanned, imported.get());
    EXPECT_EQ(ImportNcduFile(file, 100)->GetSize(), 4 * 20000 + 2 * 10);
}

// Names of any bytes and sizes at both ends of their range come back from the packed list exactly,
// listed or exported, whichever comes first.
TEST(ImportedListing, NamesAndSizesAtTheirLimitsSurviveThePackedList) {
    const std::string odd = "bad\xff\xfe\x80";
    const std::string longest(255, 'L');
    const std::string text = "[1,2,{},[{\"name\":\"/r\"},"
                             "{\"name\":\"" +
                             odd + "\",\"asize\":0,\"dsize\":" + std::to_string(kMax) +
                             "},"
                             "{\"name\":\"" +
                             longest + "\",\"asize\":" + std::to_string(kMax) +
                             ",\"dsize\":0,\"notreg\":true},"
                             "{\"name\":\".h\",\"asize\":0,\"dsize\":0}]]";
    TempTree dir;
    const std::string file = dir / "limits.json";
    WriteAll(file, text);
    const auto root = ImportNcduFile(file, 0);
    EXPECT_EQ(root->GetSize(), kMax);
    EXPECT_EQ(root->GetSize(TSizeKind::Allocated), kMax);
    const std::string exported = ExportBody(root.get());
    for (const std::string& size : {"\"asize\":0,\"dsize\":" + std::to_string(kMax),
                                    "\"asize\":" + std::to_string(kMax) + ",\"dsize\":0,\"notreg\":true"})
        EXPECT_NE(exported.find(size), std::string::npos) << size;

    ASSERT_EQ(root->ListFiles(ScanForChildrenFiles), 3);
    struct Expected {
        std::string name;
        std::int64_t size;
        std::int64_t allocated;
        std::uint16_t attributes;
    };
    // By name, bytewise: '.' < 'L' < 'b'.
    const Expected expected[] = {{".h", 0, 0, faHidden}, {longest, kMax, 0, faSystem}, {odd, 0, kMax, 0}};
    const TChildrenLock guard(root.get());
    ASSERT_EQ(guard.Children().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TFileSystemNode* node = guard.Children().Items(i);
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(node->GetNodeType(), ntFile);
        EXPECT_EQ(node->Name(), expected[i].name);
        EXPECT_EQ(node->GetSize(), expected[i].size);
        EXPECT_EQ(node->GetSize(TSizeKind::Allocated), expected[i].allocated);
        EXPECT_EQ(node->Attributes(), expected[i].attributes);
    }
    EXPECT_EQ(root->GetSize(), kMax);
    EXPECT_EQ(ExportBody(root.get()), exported);
}

} // namespace
