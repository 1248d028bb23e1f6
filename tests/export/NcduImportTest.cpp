// Reading scan files in the JSON interchange format: the tree they give, hostile files, and a tree
// read back that keeps its files packed until a directory is listed.

#include "export/NcduImport.h"
#include "common/FileText.h"
#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "export/ExportFixtures.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace quorvex;
using namespace quorvex::testing;
using ::testing::HasSubstr;

class NcduImport : public ::testing::Test {
protected:
    std::unique_ptr<TRootDirNode> Import(const std::string& text, std::int64_t threshold = 0) {
        WriteAll(file_, text);
        return ImportNcduFile(file_, threshold);
    }

    TempTree dir_;
    std::string file_ = dir_ / "scan.json";
};

// Totals come from the files alone: the directories' own sizes and the allocated sizes are not
// counted, a hard link counts at every name; escapes in names are decoded. Listing a directory makes its
// files from the file, never from the local disk, even where a directory of that path exists here.
TEST_F(NcduImport, BuildsTheTreeFromTheEntriesWithoutTouchingTheDisk) {
    TempTree local;
    local.File("not-in-the-file", 999);
    const std::string text = R"([1,2,{"progname":"ncdu","progver":"1.18","extra":{"nested":[1,{"a":2}]}},
[{"name":")" + local.Path() + R"(","asize":4096,"dsize":4096,"dev":2049},
 {"name":"a","asize":5,"dsize":4096,"ino":7,"hlnkc":true,"nlink":2},
 {"name":"big","asize":100000,"unknown":[1,2,3]},
 [{"name":"sub","asize":4096},
  {"name":"hl","asize":5,"ino":7,"hlnkc":true,"nlink":2},
  {"name":"lnk","asize":3,"notreg":true}],
 [{"name":"locked","read_error":true}],
 {"name":"proc","excluded":"otherfs"},
 [{"name":".empty"}],
 [{"name":"q\"uote\\ \n\u00e9\u0001"}]]])";
    const auto root = Import(text, 1000);
    ASSERT_TRUE(IsImportedTree(*root));
    EXPECT_EQ(root->Name(), local.Path());
    EXPECT_EQ(root->GetSize(), 5 + 100000 + 5 + 3);
    EXPECT_EQ(root->GetFileCount(), 4);
    // Where the file gives some allocated sizes, an entry without one has none.
    EXPECT_FALSE(root->HasFlag(nfAllocatedUnknown));
    EXPECT_EQ(root->GetSize(TSizeKind::Allocated), 4096);

    // Two small files make a group, as a scan with this threshold would.
    auto* sub = dynamic_cast<TDirNode*>(Child(root.get(), "sub"));
    ASSERT_EQ(sub->FileGroup()->ListFiles(), 2);
    EXPECT_TRUE(Child(sub->FileGroup(), "lnk")->IsSystem());
    EXPECT_EQ(root->ListFiles(), 2);
    EXPECT_NE(Child(root.get(), "q\"uote\\ \n\xc3\xa9\x01"), nullptr);
    EXPECT_EQ(Child(root.get(), "not-in-the-file"), nullptr);

    auto* locked = dynamic_cast<TDirNode*>(Child(root.get(), "locked"));
    EXPECT_NE(locked->ErrorCode(), 0);
    EXPECT_TRUE(locked->HasFlag(nfEmpty));
    auto* proc = dynamic_cast<TDirNode*>(Child(root.get(), "proc"));
    EXPECT_EQ(proc->Attributes() & faReparsePoint, faReparsePoint);
    EXPECT_EQ(proc->ListFiles(), -1);
    EXPECT_TRUE(Child(root.get(), ".empty")->IsHidden());
    EXPECT_EQ(GetFullPath(Child(sub->FileGroup(), "hl")), local / "sub/hl");
}

struct HostileCase {
    const char* what;
    std::string text;
    std::string message;
    // Bytes read before the fault: a bracket's own position, the end of a name or number.
    std::uint64_t offset;
};

TEST_F(NcduImport, HostileFilesFailNamingTheFileAndTheOffset) {
    const std::string head = "[1,2,{},[{\"name\":\"/r\"},";
    const HostileCase cases[] = {
        {"truncated", head + "{\"name\":\"a\",\"asi", "", head.size() + 16},
        {"negative", head + "{\"name\":\"a\",\"asize\":-1}]]", "\"asize\" is negative", head.size() + 22},
        {"beyond 64 bits", head + "{\"name\":\"a\",\"asize\":18446744073709551616}]]",
         "not a whole number of at most 64 bits", head.size() + 40},
        {"beyond 63 bits", head + "{\"name\":\"a\",\"asize\":9223372036854775808}]]", "beyond 63 bits",
         head.size() + 39},
        {"fraction", head + "{\"name\":\"a\",\"dsize\":1.5}]]", "not a whole number", head.size() + 23},
        {"sum overflow",
         head + "{\"name\":\"a\",\"asize\":9223372036854775807},{\"name\":\"b\",\"asize\":1}]]",
         "more than 63 bits", head.size() + 62},
        {"slash", head + "{\"name\":\"a/b\"}]]", "holds a \"/\"", head.size() + 13},
        {"NUL", head + "{\"name\":\"a\\u0000b\"}]]", "NUL", head.size() + 18},
        {"dot", head + "[{\"name\":\".\"}]]]", "\".\" is not allowed", head.size() + 12},
        {"dot dot", head + "{\"name\":\"..\"}]]", "\"..\" is not allowed", head.size() + 12},
        {"no name", head + "{\"asize\":1}]]", "without a name", head.size() + 10},
        {"version", "[2,0,{},[{\"name\":\"/r\"}]]", "format version 1", 2},
        {"no info", "[1,0,{},[[{\"name\":\"/r\"}]]]", "does not begin with its own object", 9},
        {"deep metadata", "[1,0," + std::string(100000, '[') + std::string(100000, ']') + "]",
         "unexpected array", 5},
        {"deep unknown value", head + "{\"name\":\"a\",\"x\":" + std::string(100000, '['),
         "nested too deeply", head.size() + 16 + 64},
        {"trailing value", "[1,0,{},[{\"name\":\"/r\"}],7]", "after the root directory", 25},
        {"trailing text", "[1,0,{},[{\"name\":\"/r\"}]] x", "", 25},
        {"empty", "", "", 0},
        {"name of 2 MiB", head + "{\"name\":\"" + std::string(2 << 20, 'n') + "\"}]]", "longer than 1 MiB",
         std::uint64_t{1} << 20},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(file_, c.text);
        try {
            ImportNcduFile(file_, 0);
            ADD_FAILURE() << "read without an error";
        } catch (const EImportError& error) {
            EXPECT_THAT(error.what(), HasSubstr(file_ + ": not a readable scan file: "));
            EXPECT_THAT(error.what(), HasSubstr(c.message));
            EXPECT_THAT(error.what(), HasSubstr("(at byte " + std::to_string(error.Offset()) + ")"));
            // A value too long is noticed a read block after its start, not exactly at the limit.
            if (std::string(c.what) == "name of 2 MiB")
                EXPECT_NEAR(static_cast<double>(error.Offset()), static_cast<double>(c.offset), 300 * 1024.0);
            else
                EXPECT_EQ(error.Offset(), c.offset);
        }
    }
    EXPECT_THAT([&] { ImportNcduFile(dir_ / "missing.json", 0); },
                ::testing::ThrowsMessage<EImportError>(dir_ / "missing.json: No such file or directory"));
}

// 100,000 nested directories: read, summed and freed without recursion on the depth.
TEST_F(NcduImport, HundredThousandLevelsAreReadAndFreed) {
    constexpr int kDepth = 100000;
    std::string text = "[1,2,{},[{\"name\":\"/r\"}";
    text.reserve(std::size_t{kDepth} * 20);
    for (int i = 0; i < kDepth; ++i)
        text += ",[{\"name\":\"d\"},{\"name\":\"f\",\"asize\":1}";
    text += std::string(kDepth, ']') + "]]";
    const auto root = Import(text);
    EXPECT_EQ(root->GetSize(), kDepth);
}

// 256 MiB of values the tree does not keep, through a pipe so nothing maps the file, cost memory for
// the tree only. A file without allocated sizes written again gets none made up.
TEST_F(NcduImport, ALargeFileIsStreamedInBoundedMemory) {
    const std::string fifo = dir_ / "pipe.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    constexpr int kValues = 256;
    const std::string value = ",\"x\":\"" + std::string((1 << 20) - 64, 'v') + "\"";
    std::thread writer([&] {
        std::ofstream out(fifo, std::ios::binary);
        out << "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"f\",\"asize\":7";
        for (int i = 0; i < kValues; ++i)
            out << value;
        out << "}]]";
    });
    const auto maxResidentKiB = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = maxResidentKiB();
    const auto root = ImportNcduFile(fifo, 0);
    writer.join();
    EXPECT_EQ(root->GetSize(), 7);
    EXPECT_EQ(ExportText(Format("ncdu"), root.get()).find("dsize"), std::string::npos) << "none is made up";
    EXPECT_LT(maxResidentKiB() - before, 32 * 1024) << "KiB more at the peak";
}

// Everything the window and the exports read of a tree, one line per node and per file record,
// children by name; with `expand`, every directory and file group is listed first, parents first, as
// the window's expand does. The identities of files with several names only with `identities`.
std::string Describe(TFileSystemNode* node, bool expand, bool identities, const std::string& indent = "") {
    std::ostringstream out;
    out << indent << '[' << node->Name() << "] type " << int{node->GetNodeType()} << " size "
        << node->GetSize() << '/' << node->GetSize(TSizeKind::Allocated) << " files " << node->GetFileCount()
        << " attributes " << node->Attributes() << " error " << (node->ErrorCode() != 0);
    auto* group = dynamic_cast<TGroupNode*>(node);
    if (group == nullptr)
        return out.str() + "\n";
    if (expand)
        group->ListFiles();
    constexpr std::uint8_t kShown = nfFilesListed | nfEmpty | nfNoFileGroup | nfIncomplete | nfScanning;
    out << " flags " << int{static_cast<std::uint8_t>(group->Flags() & kShown)} << " own "
        << group->OwnFilesCount() << '/' << group->OwnFilesSize() << '/'
        << group->OwnFilesSize(TSizeKind::Allocated) << '\n';
    std::vector<std::string> children;
    {
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children())
            children.push_back(Describe(child.get(), expand, identities, indent + "  "));
    }
    if (const auto* dir = dynamic_cast<const TDirNode*>(group)) {
        dir->ForEachFile([&](const TPackedFile& f) {
            std::ostringstream line;
            // The format has no time before 1970: such a time reads back as an unknown one.
            line << indent << "  record " << f.Name << ' ' << f.Size << '/' << f.AllocatedSize << " mtime "
                 << std::max<std::int64_t>(f.ModifyTime, 0) << " attributes " << f.Attributes;
            if (identities && f.Links > 1)
                line << " identity " << f.Device << ':' << f.Inode << " links " << f.Links;
            children.push_back(line.str() + "\n");
        });
    }
    std::sort(children.begin(), children.end());
    for (const std::string& child : children)
        out << child;
    return out.str();
}

// The tree of a file read back looks as the scan of the same tree, records and nodes, before and after
// expand: across the group threshold, and with a file of several names counted at each name or once
// (the file then carries the identities, and read counting every name it counts them all).
TEST(ImportedListing, LooksAsTheScanOfTheSameTreeBeforeAndAfterExpand) {
    TempTree tree;
    // Written, so that they have blocks: the allocated sizes must match too.
    WriteAll(tree / "big", std::string(5000, 'b'));
    WriteAll(tree / "tiny", std::string(10, 't'));
    tree.File(".hidden", 20);
    tree.File("zero", 0);
    tree.File("bytes\xff\xfe", 30);
    tree.File(std::string(255, 'n'), 40);
    tree.File("old", 1);
    const timespec before1970[2] = {{0, UTIME_OMIT}, {-86400, 0}};
    Check(::utimensat(AT_FDCWD, (tree / "old").c_str(), before1970, 0) == 0, "utimensat");
    for (const char* dir : {"one-small", "empty", "only-large", "sub", "sub/deeper", "other"})
        tree.Dir(dir);
    tree.File("one-small/small", 10);
    tree.File("one-small/large", 9000);
    tree.File("only-large/a", 5000);
    tree.File("only-large/b", 6000);
    tree.File("sub/deeper/x", 50);
    tree.File("sub/deeper/y", 60);
    // One name a directory: which of two names in one directory counts follows the order of the disk.
    for (const auto& [file, name] : {std::pair{"big", "sub/big2"},
                                     {"big", "sub/deeper/big3"},
                                     {"big", "other/big4"},
                                     {"tiny", "sub/tiny2"}})
        Check(::link((tree / file).c_str(), (tree / name).c_str()) == 0, "link");
    TempTree files;
    // Below every size, between them, and above all: no group, some groups, everything grouped.
    for (const std::int64_t threshold : {std::int64_t{0}, std::int64_t{100}, std::int64_t{1} << 20}) {
        std::int64_t everyName = 0;
        for (const bool once : {false, true}) {
            SCOPED_TRACE("threshold " + std::to_string(threshold) + (once ? ", once" : ""));
            TRootDirNode scanned;
            scanned.SetHardLinksOnce(once);
            TDirScanner(&scanned).Scan(tree.Path(), threshold);
            const std::string file = files / "scan.json";
            WriteAll(file, ExportText(Format("ncdu"), &scanned));
            const auto imported = ImportNcduFile(file, threshold, once);
            const std::string body = NcduBody(imported.get());
            EXPECT_EQ(body, NcduBody(&scanned));
            for (const bool expand : {false, true})
                EXPECT_EQ(Describe(imported.get(), expand, once), Describe(&scanned, expand, once)) << expand;
            EXPECT_EQ(NcduBody(imported.get()), body);
            if (!once)
                everyName = scanned.GetSize();
            else
                EXPECT_EQ(ImportNcduFile(file, threshold)->GetSize(), everyName);
        }
    }
}

} // namespace
