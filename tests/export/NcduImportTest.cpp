// Reading scan files in the JSON interchange format: the tree they give, and hostile files.

#include "export/NcduImport.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "export/ExportFixtures.h"
#include "export/NcduExport.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DiskListing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace quorvex;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;
using ::testing::HasSubstr;

TFileSystemNode* Child(const TGroupNode* group, const std::string& name) {
    const TChildrenLock guard(group);
    for (const auto& child : guard.Children()) {
        if (child->Name() == name)
            return child.get();
    }
    return nullptr;
}

// A file, after its directory listed its files as the window's expand does.
TFileSystemNode* ListedChild(TGroupNode* group, const std::string& name) {
    group->ListFiles(ScanForChildrenFiles);
    return Child(group, name);
}

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
// counted, a hard link counts at every name. Listing a directory makes its files from the file,
// never from the local disk, even where a directory of that path exists here.
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
 [{"name":".empty"}]]])";
    const auto root = Import(text, 1000);
    ASSERT_TRUE(IsImportedTree(*root));
    EXPECT_EQ(root->Name(), local.Path());
    EXPECT_EQ(root->GetSize(), 5 + 100000 + 5 + 3);
    EXPECT_EQ(root->GetFileCount(), 4);
    // Where the file gives some allocated sizes, an entry without one has none.
    EXPECT_FALSE(root->HasFlag(nfAllocatedUnknown));
    EXPECT_EQ(root->GetSize(TSizeKind::Allocated), 4096);

    auto* sub = dynamic_cast<TDirNode*>(Child(root.get(), "sub"));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetSize(), 8);
    EXPECT_EQ(sub->GetFileCount(), 2);
    // Two small files make a group, as a scan with this threshold would.
    ASSERT_NE(sub->FileGroup(), nullptr);
    EXPECT_EQ(sub->FileGroup()->GetSize(), 8);
    EXPECT_EQ(sub->FileGroup()->GetFileCount(), 2);
    EXPECT_EQ(sub->ListFiles(ScanForChildrenFiles), 0);
    EXPECT_EQ(sub->FileGroup()->ListFiles(ScanForChildrenFiles), 2);
    ASSERT_NE(Child(sub->FileGroup(), "lnk"), nullptr);
    EXPECT_TRUE(Child(sub->FileGroup(), "lnk")->IsSystem());
    EXPECT_EQ(sub->ListFiles(ScanForChildrenFiles), -1);
    EXPECT_EQ(sub->FileGroup()->ListFiles(ScanForChildrenFiles), -1);
    EXPECT_EQ(sub->GetSize(), 8);

    // One small file is listed by its directory, like a dissolved group.
    EXPECT_EQ(root->FileGroup(), nullptr);
    EXPECT_TRUE(root->HasFlag(nfNoFileGroup));
    EXPECT_EQ(root->ListFiles(ScanForChildrenFiles), 2);
    EXPECT_EQ(root->ListFiles(ScanForChildrenFiles), -1);
    EXPECT_EQ(Child(root.get(), "not-in-the-file"), nullptr);
    EXPECT_EQ(Child(root.get(), "big")->GetSize(), 100000);
    EXPECT_EQ(Child(root.get(), "a")->GetSize(), 5);

    auto* locked = dynamic_cast<TDirNode*>(Child(root.get(), "locked"));
    ASSERT_NE(locked, nullptr);
    EXPECT_NE(locked->ErrorCode(), 0);
    EXPECT_TRUE(locked->HasFlag(nfEmpty));
    auto* proc = dynamic_cast<TDirNode*>(Child(root.get(), "proc"));
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->Attributes() & faReparsePoint, faReparsePoint);
    EXPECT_EQ(proc->GetSize(), 0);
    EXPECT_EQ(proc->ListFiles(ScanForChildrenFiles), -1);
    EXPECT_TRUE(Child(root.get(), ".empty")->IsHidden());
    EXPECT_EQ(GetFullPath(Child(sub->FileGroup(), "hl")), local / "sub/hl");
}

// Names are bytes: invalid UTF-8 stays as written, escapes are decoded, and our own export writes
// them back so that reading it again gives the same names and totals.
TEST_F(NcduImport, NamesStayBytesAndTheOwnExportReadsBackTheSame) {
    const std::string text = "[1,0,{},[{\"name\":\"/r\"},{\"name\":\"bad\xff\xfe\",\"asize\":1},"
                             "{\"name\":\"q\\\"uote\\\\ \\n\\u00e9\",\"asize\":2},"
                             "[{\"name\":\"d\\u0001\"},{\"name\":\"x\",\"asize\":3}]]]";
    const auto root = Import(text);
    const std::string exported = quorvex::testing::ExportText(quorvex::testing::Format("ncdu"), root.get());
    ASSERT_NE(ListedChild(root.get(), "bad\xff\xfe"), nullptr);
    ASSERT_NE(ListedChild(root.get(), "q\"uote\\ \n\xc3\xa9"), nullptr);
    ASSERT_NE(dynamic_cast<TGroupNode*>(Child(root.get(), "d\x01")), nullptr);

    const std::string again = dir_ / "again.json";
    WriteAll(again, exported);
    const auto reread = ImportNcduFile(again, 0);
    EXPECT_EQ(reread->GetSize(), 6);
    EXPECT_EQ(reread->GetFileCount(), 3);
    EXPECT_NE(ListedChild(reread.get(), "bad\xff\xfe"), nullptr);
    EXPECT_NE(ListedChild(reread.get(), "q\"uote\\ \n\xc3\xa9"), nullptr);
    auto* d2 = dynamic_cast<TGroupNode*>(Child(reread.get(), "d\x01"));
    ASSERT_NE(d2, nullptr);
    EXPECT_NE(ListedChild(d2, "x"), nullptr);
    // No allocated size is known, so none is made up.
    EXPECT_EQ(exported.find("dsize"), std::string::npos);
}

struct HostileCase {
    const char* what;
    std::string text;
    std::string message;
    // Bytes read before the fault: a bracket's own position, the end of a name or number.
    std::uint64_t offset;
};

// A long run of the same byte, for names and values that must be cut off.
std::string Repeat(std::size_t n, char c) {
    return std::string(n, c);
}

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
        {"deep metadata", "[1,0," + Repeat(100000, '[') + Repeat(100000, ']') + "]", "unexpected array", 5},
        {"deep unknown value", head + "{\"name\":\"a\",\"x\":" + Repeat(100000, '['), "nested too deeply",
         head.size() + 16 + 64},
        {"trailing value", "[1,0,{},[{\"name\":\"/r\"}],7]", "after the root directory", 25},
        {"trailing text", "[1,0,{},[{\"name\":\"/r\"}]] x", "", 25},
        {"empty", "", "", 0},
        {"name of 2 MiB", head + "{\"name\":\"" + Repeat(2 << 20, 'n') + "\"}]]", "longer than 1 MiB",
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
    text.reserve(kDepth * 20);
    for (int i = 0; i < kDepth; ++i)
        text += ",[{\"name\":\"d\"},{\"name\":\"f\",\"asize\":1}";
    text += std::string(kDepth, ']') + "]]";
    auto root = Import(text);
    EXPECT_EQ(root->GetSize(), kDepth);
    EXPECT_EQ(root->GetFileCount(), kDepth);
    const TGroupNode* node = root.get();
    int depth = 0;
    while (auto* next = dynamic_cast<const TGroupNode*>(Child(node, "d"))) {
        node = next;
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(node->GetSize(), 1);
    root.reset();
}

long MaxResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The file is streamed: 256 MiB of values the tree does not keep (unknown keys of nearly 1 MiB each,
// through a pipe, so nothing maps the file) cost memory for the tree only. A 2 GB file takes the same
// path; the test keeps to 256 MiB to stay fast in a debug build.
TEST_F(NcduImport, ALargeFileIsStreamedInBoundedMemory) {
    const std::string fifo = dir_ / "pipe.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    constexpr int kValues = 256;
    const std::string value = ",\"x\":\"" + Repeat((1 << 20) - 64, 'v') + "\"";
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        auto put = [fd](const std::string& text) {
            for (std::size_t done = 0; done < text.size();) {
                const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
                if (n <= 0)
                    return;
                done += static_cast<std::size_t>(n);
            }
        };
        put("[1,2,{},[{\"name\":\"/r\"},{\"name\":\"f\",\"asize\":7");
        for (int i = 0; i < kValues; ++i)
            put(value);
        put("}]]");
        ::close(fd);
    });
    const long before = MaxResidentKiB();
    const auto root = ImportNcduFile(fifo, 0);
    writer.join();
    EXPECT_EQ(root->GetSize(), 7);
    EXPECT_LT(MaxResidentKiB() - before, 32 * 1024) << "KiB more at the peak";
}

} // namespace
