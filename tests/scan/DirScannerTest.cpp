#include "scan/DirScanner.h"
#include "model/FileSystemNode.h"
#include "support/PosixDir.h"

#include "common/NodeLookup.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace quorvex;
using quorvex::testing::Child;
using quorvex::testing::TempTree;

namespace {

int CountDirNodes(const TGroupNode* node) {
    int count = 1;
    TChildrenLock guard(node);
    for (const auto& c : guard.Children()) {
        if (auto* g = dynamic_cast<const TDirNode*>(c.get()))
            count += CountDirNodes(g);
    }
    return count;
}

// Passes every call through to the real file system, with hooks to inject failures.
class InjectingFileSystem : public TFileSystemApi {
public:
    std::function<int(const char* name)> openError; // errno to fail an open with, or 0
    std::function<int(const char* name)> statError; // errno to fail a stat with, or 0
    std::function<void(const char* name)> onOpen;
    int open = 0;
    int maxOpen = 0;

    int OpenDirectory(int parentFd, const char* name) override {
        if (onOpen)
            onOpen(name);
        if (openError) {
            if (const int e = openError(name))
                return -e;
        }
        const int fd = TFileSystemApi::OpenDirectory(parentFd, name);
        if (fd >= 0)
            maxOpen = std::max(maxOpen, ++open + 0);
        return fd;
    }
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        if (statError) {
            if (const int e = statError(name))
                return e;
        }
        return TFileSystemApi::StatEntry(dirFd, name, info);
    }
};

int OpenDescriptors() {
    int count = 0;
    TDirStream fds(::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    unsigned char type = 0;
    while (fds.Next(type) != nullptr)
        ++count;
    return count;
}

} // namespace

TEST(DirScanner, CountsHostileNamesLinksAndHiddenEntries) {
    TempTree t;
    const std::string invalidUtf8 = "bad\xff\xfe";
    t.Dir(invalidUtf8);
    t.File(invalidUtf8 + "/line\nbreak", 100);
    t.File(invalidUtf8 + "/\"quoted\",<script>", 200);
    t.Dir(".hidden");
    t.File(".hidden/f", 50);
    t.Link("/usr", "link-to-dir"); // never followed: a file of its own size
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
    EXPECT_EQ(Child(&root, "link-to-dir"), nullptr) << "a link is a file, not a directory node";
    EXPECT_FALSE(root.IsScanning());
    EXPECT_FALSE(root.HasFlag(nfIncomplete));
    EXPECT_FALSE(scanner.IsBusy());
    EXPECT_GE(scanner.ElapsedSeconds(), 0.0);
}

TEST(DirScanner, MissingPathAndEmptyDirectory) {
    TempTree t;
    TRootDirNode missing;
    TDirScanner(&missing).Scan(t / "nope", 0);
    EXPECT_EQ(missing.ErrorCode(), ENOENT);
    EXPECT_TRUE(missing.HasFlag(nfEmpty));
    EXPECT_EQ(missing.GetSize(), 0);
    EXPECT_EQ(missing.GetFileCount(), 0);

    t.Dir("empty");
    TRootDirNode empty;
    TDirScanner(&empty).Scan(t / "empty", 0);
    EXPECT_EQ(empty.ErrorCode(), 0);
    EXPECT_TRUE(empty.HasFlag(nfEmpty));
    EXPECT_EQ(empty.GetSize(), 0);
}

TEST(DirScanner, UnreadableDirectoryIsRecordedAndSiblingsGoOn) {
    TempTree t;
    t.Dir("locked");
    t.File("locked/secret", 10);
    t.Dir("open");
    t.File("open/f", 20);
    InjectingFileSystem fs;
    fs.openError = [](const char* name) { return std::string(name) == "locked" ? EACCES : 0; };
    TRootDirNode root;
    TDirScanner(&root, &fs).Scan(t.Path(), 0);

    auto* locked = dynamic_cast<TDirNode*>(Child(&root, "locked"));
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(locked->ErrorCode(), EACCES);
    EXPECT_TRUE(locked->HasFlag(nfEmpty));
    EXPECT_EQ(locked->GetSize(), 0);
    EXPECT_EQ(Child(&root, "open")->GetSize(), 20);
    EXPECT_EQ(root.GetSize(), 20);
}

// The same through the kernel's own permission check, with the file-system uid of "nobody".
TEST(DirScanner, RealPermissionDenied) {
    TempTree t;
    t.Dir("locked");
    t.File("locked/secret", 10);
    ASSERT_EQ(::chmod((t / "locked").c_str(), 0), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        ::setfsuid(65534); // this thread only; drops the DAC override capabilities
    TRootDirNode node;
    TDirScanner(&node).Scan(t.Path(), 0);
    if (root)
        ::setfsuid(0);
    auto* locked = Child(&node, "locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(locked->ErrorCode(), EACCES);
    EXPECT_EQ(node.GetFileCount(), 0);
}

TEST(DirScanner, EntryVanishingBeforeStatCountsNothing) {
    TempTree t;
    t.File("stays", 5);
    t.File("vanishes", 1000);
    InjectingFileSystem fs;
    fs.statError = [&](const char* name) {
        if (std::string(name) == "vanishes")
            ::unlink((t / "vanishes").c_str());
        return 0;
    };
    TRootDirNode root;
    TDirScanner(&root, &fs).Scan(t.Path(), 0);
    EXPECT_EQ(root.GetFileCount(), 1);
    EXPECT_EQ(root.GetSize(), 5);
}

TEST(DirScanner, StopMarksTheCurrentPathIncompleteAndKeepsFinishedTotals) {
    TempTree t;
    t.Dir("a");
    t.File("a/f", 7);
    t.Dir("b");
    t.Dir("b/c");
    t.Dir("b/c/d");
    t.Dir("b/c/d/e");
    t.File("b/c/f", 1);
    t.Dir("z");
    InjectingFileSystem fs;
    TDirScanner* scanner = nullptr;
    fs.onOpen = [&](const char* name) {
        if (std::string(name) == "d")
            scanner->Stop();
    };
    TRootDirNode root;
    TDirScanner s(&root, &fs);
    scanner = &s;
    s.Scan(t.Path(), 0);

    auto* b = dynamic_cast<TDirNode*>(Child(&root, "b"));
    ASSERT_NE(b, nullptr);
    auto* c = dynamic_cast<TDirNode*>(Child(b, "c"));
    ASSERT_NE(c, nullptr);
    auto* d = dynamic_cast<TDirNode*>(Child(c, "d"));
    ASSERT_NE(d, nullptr);
    for (const TGroupNode* n : {static_cast<const TGroupNode*>(&root), static_cast<const TGroupNode*>(b),
                                static_cast<const TGroupNode*>(c), static_cast<const TGroupNode*>(d)}) {
        EXPECT_TRUE(n->HasFlag(nfIncomplete)) << n->Name();
        EXPECT_FALSE(n->IsScanning()) << n->Name();
    }
    EXPECT_EQ(Child(d, "e"), nullptr) << "no nodes after the stop";
    if (auto* a = dynamic_cast<TDirNode*>(Child(&root, "a"))) {
        EXPECT_FALSE(a->HasFlag(nfIncomplete));
        EXPECT_EQ(a->GetSize(), 7);
    }
}

// Deeper than PATH_MAX and than the descriptor limit allows if each level kept its directory open.
TEST(DirScanner, TenThousandLevelsDeep) {
    TempTree t;
    constexpr int kDepth = 10000;
    int fd = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "level", 0755), 0);
        if (i % 1000 == 0) {
            const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::ftruncate(file, 3), 0);
            ::close(file);
        }
        const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    ::close(fd);

    const int before = OpenDescriptors();
    InjectingFileSystem fs;
    TRootDirNode root;
    TDirScanner scanner(&root, &fs);
    scanner.Scan(t.Path(), 0);
    EXPECT_EQ(root.ErrorCode(), 0);
    EXPECT_EQ(root.GetFileCount(), 10);
    EXPECT_EQ(root.GetSize(), 30);
    EXPECT_EQ(OpenDescriptors(), before) << "every directory descriptor was closed";

    int depth = 0;
    const TGroupNode* node = &root;
    while (auto* next = dynamic_cast<const TGroupNode*>(Child(node, "level"))) {
        EXPECT_EQ(next->ErrorCode(), 0);
        node = next;
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(CountDirNodes(&root), kDepth + 1);
}

TEST(DirScanner, CurrentDirFollowsTheWalk) {
    TempTree t;
    t.Dir("x");
    t.Dir("x/y");
    InjectingFileSystem fs;
    TDirScanner* scanner = nullptr;
    std::vector<std::string> seen;
    fs.onOpen = [&](const char*) { seen.push_back(scanner->GetCurrentDir()); };
    TRootDirNode root;
    TDirScanner s(&root, &fs);
    scanner = &s;
    s.Scan(t.Path(), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{t.Path(), t / "x", t / "x/y"}));
}
