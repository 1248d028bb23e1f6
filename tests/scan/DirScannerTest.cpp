#include "scan/DirScanner.h"
#include "model/FileSystemNode.h"
#include "support/PosixDir.h"

#include "common/NodeLookup.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/fsuid.h>
#include <unistd.h>

using namespace quorvex;
using quorvex::testing::Child;
using quorvex::testing::TempTree;

namespace {

// The real file system, with hooks that may fail a call by returning an errno value.
class InjectingFileSystem : public TFileSystemApi {
public:
    std::function<int(const char* name)> onOpen = [](const char*) { return 0; };
    std::function<int(const char* name)> onStat = [](const char*) { return 0; };

    int OpenDirectory(int parentFd, const char* name) override {
        const int e = onOpen(name);
        return e != 0 ? -e : TFileSystemApi::OpenDirectory(parentFd, name);
    }
    int StatEntry(int dirFd, const char* name, TEntryInfo& info) override {
        const int e = onStat(name);
        return e != 0 ? e : TFileSystemApi::StatEntry(dirFd, name, info);
    }
};

int OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<int>(std::distance(begin(fds), end(fds)));
}

TDirNode* SubDir(const TGroupNode* parent, const std::string& name) {
    return dynamic_cast<TDirNode*>(Child(parent, name));
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

// A missing root, and directories denied once through the seam and once by the kernel itself, with the
// file-system uid of "nobody" (this thread only; it drops the DAC override capabilities that root would
// have).
TEST(DirScanner, MissingOrUnreadableDirectoriesAreRecordedAndSiblingsGoOn) {
    TempTree t;
    for (const char* dir : {"injected", "denied", "open"}) {
        t.Dir(dir);
        t.File(std::string(dir) + "/f", 10);
    }
    ASSERT_EQ(::chmod((t / "denied").c_str(), 0), 0);
    InjectingFileSystem fs;
    fs.onOpen = [](const char* name) { return std::string(name) == "injected" ? EACCES : 0; };
    const bool root = ::geteuid() == 0;
    if (root)
        ::setfsuid(65534);
    TRootDirNode node;
    TDirScanner(&node, &fs).Scan(t.Path(), 0);
    if (root)
        ::setfsuid(0);

    for (const char* name : {"injected", "denied"}) {
        TDirNode* dir = SubDir(&node, name);
        ASSERT_NE(dir, nullptr) << name;
        EXPECT_EQ(dir->ErrorCode(), EACCES) << name;
        EXPECT_TRUE(dir->HasFlag(nfEmpty)) << name;
    }
    EXPECT_EQ(Child(&node, "open")->GetSize(), 10);
    EXPECT_EQ(node.GetSize(), 10);

    TRootDirNode missing;
    TDirScanner(&missing).Scan(t / "missing", 0);
    EXPECT_EQ(missing.ErrorCode(), ENOENT);
    EXPECT_TRUE(missing.HasFlag(nfEmpty));
}

TEST(DirScanner, EntryVanishingBeforeStatCountsNothing) {
    TempTree t;
    t.File("stays", 5);
    t.File("vanishes", 1000);
    InjectingFileSystem fs;
    fs.onStat = [&](const char* name) {
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
    if (TDirNode* a = SubDir(&root, "a")) { // only when the walk got to it first
        EXPECT_FALSE(a->HasFlag(nfIncomplete));
        EXPECT_EQ(a->GetSize(), 7);
    }
}

// Deeper than PATH_MAX, and than the descriptor limit allows if each level kept its directory open.
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
    EXPECT_EQ(root.ErrorCode(), 0);
    EXPECT_EQ(root.GetFileCount(), 10);
    EXPECT_EQ(root.GetSize(), 30);
    EXPECT_LE(mostOpen, TDirScanner::kMaxOpenDirs + 1);
    EXPECT_EQ(OpenDescriptors(), before) << "every directory descriptor was closed";

    int depth = 0;
    for (const TGroupNode* node = &root; (node = SubDir(node, "level")) != nullptr; ++depth)
        EXPECT_EQ(node->ErrorCode(), 0);
    EXPECT_EQ(depth, kDepth);
}
