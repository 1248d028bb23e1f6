#include "desktop/DeleteFiles.h"
#include "desktop/PermanentDelete.h"
#include "desktop/Trash.h"

#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include "support/MountTable.h"
#include "support/PosixDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>

using namespace quorvex;
using quorvex::testing::Exists;
using quorvex::testing::PercentDecoded;
using quorvex::testing::ScopedMount;
using quorvex::testing::TempTree;
using quorvex::testing::TinyTmpfs;
using quorvex::testing::WriteAll;
namespace fs = std::filesystem;

namespace {

std::string Describe(const TDeletionResult& result) {
    std::string text;
    for (const TDeletionFailure& failure : result.Failures)
        text += failure.Path + ": " + std::strerror(failure.Error) + "\n";
    return text;
}

// GIO reads the trash location once per process, so every test shares one private home, set before the
// first trash call; the user's real trash is never touched.
const std::string& TrashDir() {
    struct TPrivateHome {
        TempTree Home;
        std::string Trash = Home / "data/Trash";
        TPrivateHome() {
            Home.Dir("data");
            ::setenv("HOME", Home.Path().c_str(), 1);
            ::setenv("XDG_DATA_HOME", (Home / "data").c_str(), 1);
        }
    };
    static const TPrivateHome home;
    return home.Trash;
}

std::size_t InfoCount() {
    const fs::path info = TrashDir() + "/info";
    return fs::exists(info) ? std::distance(fs::directory_iterator(info), fs::directory_iterator()) : 0;
}

// The trash entry whose recorded original path, decoded, is exactly `original`; also checks that the
// record itself is plain ASCII on one line, as the trash format requires.
std::optional<std::string> FindInTrash(const std::string& original) {
    if (!fs::exists(TrashDir() + "/info"))
        return std::nullopt;
    for (const fs::directory_entry& e : fs::directory_iterator(TrashDir() + "/info")) {
        std::ifstream in(e.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Path=", 0) != 0)
                continue;
            for (const unsigned char c : line)
                EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "raw byte " << int(c) << " in " << e.path();
            if (PercentDecoded(line.substr(5)) == original)
                return TrashDir() + "/files/" + e.path().stem().string();
        }
    }
    return std::nullopt;
}

} // namespace

TEST(Trash, HostileNamesAndDirectoriesGoWholeAndRecordTheirExactPath) {
    TrashDir();
    TempTree t;
    t.File("line\nbreak", 20);
    t.File("bad\xff\xfe name", 30);
    t.Dir("dir\xe9");
    t.Dir("dir\xe9/sub");
    t.File("dir\xe9/sub/inner\n\x80", 40);
    for (const auto& [name, inside, size] : {std::tuple{"line\nbreak", "", 20u},
                                             {"bad\xff\xfe name", "", 30u},
                                             {"dir\xe9", "/sub/inner\n\x80", 40u}}) {
        const TTrashResult result = MoveToTrash(t / name);
        EXPECT_TRUE(result.Ok()) << result.Message;
        EXPECT_FALSE(Exists(t / name));
        const std::optional<std::string> trashed = FindInTrash(t / name);
        ASSERT_TRUE(trashed) << "no trash record for " << name;
        EXPECT_EQ(fs::file_size(*trashed + inside), size);
    }
}

// Each unsafe path would name something else once GIO has tidied it: the working directory, or
// "victim" reached by text instead of through "sub".
TEST(Trash, MissingOrUnsafePathsTouchNothing) {
    TrashDir();
    TempTree t;
    t.Dir("sub");
    t.Dir("sub/deep");
    t.File("victim", 1);
    t.File("sub/victim", 1);
    t.Link(t / "sub/deep", "link");
    const std::size_t before = InfoCount();
    const TTrashResult missing = MoveToTrash(t / "missing");
    EXPECT_EQ(missing.Outcome, TTrashOutcome::Failed);
    EXPECT_EQ(missing.Error, ENOENT);
    for (const std::string& path :
         {std::string(), std::string("victim"), t / "sub/../victim", t / "./victim"}) {
        const TTrashResult refused = MoveToTrash(path);
        EXPECT_EQ(refused.Outcome, TTrashOutcome::Failed) << path;
        EXPECT_EQ(refused.Error, EINVAL) << path;
    }
    EXPECT_TRUE(Exists(t / "victim"));
    EXPECT_TRUE(Exists(t / "sub/victim"));
    EXPECT_EQ(InfoCount(), before);
}

// GIO makes no trash on a tmpfs and cannot rename out of a bind mount: the item stays, and the caller
// learns that only permanent deletion is left.
TEST(Trash, MountsWithoutTrashKeepTheItem) {
    TrashDir();
    const TinyTmpfs tmpfs;
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    TempTree t;
    t.Dir("source");
    t.File("source/bound", 1);
    t.Dir("bind");
    const ScopedMount bind(t / "bind", t / "source");
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();
    WriteAll(tmpfs / "kept", "");
    const std::size_t before = InfoCount();

    for (const std::string& path : {tmpfs / "kept", t / "bind/bound"}) {
        const TTrashResult result = MoveToTrash(path);
        EXPECT_EQ(result.Outcome, TTrashOutcome::NoTrash) << path << ": " << result.Message;
        EXPECT_EQ(result.Error, ENOTSUP);
        EXPECT_TRUE(Exists(path));
    }
    EXPECT_FALSE(Exists(tmpfs / (".Trash-" + std::to_string(::geteuid()))));
    EXPECT_EQ(InfoCount(), before);

    // Read-only, deleting for good cannot work either, so it is not offered.
    ASSERT_EQ(::mount(nullptr, tmpfs.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const TTrashResult readOnly = MoveToTrash(tmpfs / "kept");
    EXPECT_EQ(readOnly.Outcome, TTrashOutcome::Failed) << readOnly.Message;
    EXPECT_EQ(readOnly.Error, EROFS);
    EXPECT_TRUE(Exists(tmpfs / "kept"));
}

TEST(DeleteFiles, RefusesTheRootTheHomeAndItsAncestorsAndMountPointsButNotLinksToThem) {
    TempTree tree;
    for (const char* dir : {"users", "users/me", "users/me/work", "users/other"})
        tree.Dir(dir);
    tree.Link(tree / "users/me", "to-home");
    const quorvex::testing::ScopedEnv home("HOME", (tree / "users/me").c_str());
    // A trailing slash, an ancestor or another name through a link still mean home.
    for (const std::string& refused :
         {std::string("/"), tree / "users/me", tree / "users/me/", tree / "users", tree.Path(),
          tree / "to-home/.", std::string("relative/path")})
        EXPECT_NE(DeletionRefusal(refused), "") << refused;
    // The link itself may go (its target stays); a missing path has nothing to protect.
    for (const std::string& allowed : {tree / "to-home", tree / "users/me/work", tree / "missing"})
        EXPECT_EQ(DeletionRefusal(allowed), "") << allowed;

    const TDeleteFilesResult result =
        DeleteFiles({tree / "users", tree / "users/other"}, TDeleteMode::Permanent);
    EXPECT_TRUE(Exists(tree / "users/me/work")) << "a refused path is never handed on";
    EXPECT_EQ(result.Items[0].Failures.at(0).Error, EPERM);
    EXPECT_FALSE(result.Items[0].Tried);
    EXPECT_TRUE(result.Items[1].Gone);
    EXPECT_FALSE(result.Succeeded());

    const TinyTmpfs mount;
    if (!mount.Mounted())
        GTEST_SKIP() << mount.Refusal();
    EXPECT_NE(DeletionRefusal(mount.Path()), "") << "a mount point";
}

TEST(DeleteFiles, ReportsWhatTheDiskSaysGoesOnPastFailuresAndStopsBetweenItems) {
    TempTree tree;
    for (const char* name : {"a", "b", "c", "d"})
        tree.File(name, 10);
    // A trash that has no room for "b", fails on "c" and moves the rest out of the way.
    std::stop_source stop;
    std::vector<std::size_t> progress;
    TDeleteFilesControl control;
    control.Stop = stop.get_token();
    control.Progress = [&](std::size_t items, std::uint64_t) {
        progress.push_back(items);
        if (items == 3)
            stop.request_stop();
    };
    control.Trash = [&](const std::string& path) {
        if (path == tree / "b")
            return TTrashResult{TTrashOutcome::NoTrash, ENOTSUP, "no trash for b"};
        if (path == tree / "c")
            return TTrashResult{TTrashOutcome::Failed, EIO, "c failed"};
        ::unlink(path.c_str());
        return TTrashResult{TTrashOutcome::Trashed, 0, ""};
    };
    const TDeleteFilesResult result =
        DeleteFiles({tree / "a", tree / "b", tree / "c", tree / "d"}, TDeleteMode::Trash, control);
    ASSERT_EQ(result.Items.size(), 4U);
    EXPECT_TRUE(result.Items[0].Gone);
    EXPECT_TRUE(result.Items[1].NoTrash);
    EXPECT_TRUE(Exists(tree / "b")) << "no silent fall-back to deleting for good";
    EXPECT_EQ(result.Items[2].Message, "c failed");
    EXPECT_FALSE(result.Items[3].Tried) << "the stop came before the last item";
    EXPECT_TRUE(Exists(tree / "d"));
    EXPECT_TRUE(result.Cancelled);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3}));

    // A call that reports failure but removed the item anyway counts as gone: the disk decides.
    TDeleteFilesControl liar;
    liar.Trash = [](const std::string& path) {
        ::unlink(path.c_str());
        return TTrashResult{TTrashOutcome::Failed, EIO, "?"};
    };
    const TDeleteFilesResult lied = DeleteFiles({tree / "c"}, TDeleteMode::Trash, liar);
    EXPECT_TRUE(lied.Items[0].Gone);
    EXPECT_TRUE(lied.Succeeded());
}

// Mounts are found by their real paths, through a link above them, but not through a link that goes.
TEST(DeleteFiles, MountsBelowAnItemAreFoundByTheirRealPathsAndKeepItOutOfTheTrash) {
    TempTree tree;
    for (const char* dir : {"t", "t/dir", "t/dir/m", "t/dir/deep", "t/dir/deep/b", "elsewhere", "free"})
        tree.Dir(dir);
    tree.Link(tree / "t", "alias");
    tree.Link(tree / "t/dir", "t/dir-link");
    const ScopedMount tmpfs(tree / "t/dir/m");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    const ScopedMount bind(tree / "t/dir/deep/b", tree / "elsewhere");
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();

    EXPECT_EQ(MountPointsBelow(tree / "t"),
              (std::vector<std::string>{tree / "t/dir/m", tree / "t/dir/deep/b"}));
    EXPECT_EQ(MountPointsBelow(tree / "alias/dir").size(), 2U);
    EXPECT_TRUE(MountPointsBelow(tree / "t/dir-link").empty());
    EXPECT_TRUE(MountPointsBelow(tree / "t/dir/m").empty()) << "the mount itself holds none";
    const std::string refusal = TrashRefusal(tree / "t/dir");
    EXPECT_NE(refusal.find(tree / "t/dir/deep/b"), std::string::npos) << refusal;
    EXPECT_EQ(TrashRefusal(tree / "free"), "");

    // The deletion itself checks again: a mount may have come since the window asked.
    std::vector<std::string> trashed;
    TDeleteFilesControl control;
    control.Trash = [&](const std::string& path) {
        trashed.push_back(path);
        return TTrashResult{TTrashOutcome::Trashed, 0, ""};
    };
    const TDeleteFilesResult result =
        DeleteFiles({tree / "t/dir", tree / "free"}, TDeleteMode::Trash, control);
    EXPECT_EQ(trashed, std::vector<std::string>{tree / "free"}) << "the others go ahead";
    EXPECT_EQ(result.Items[0].Failures.at(0).Error, EPERM);
}

// "reborn" stands for a file removed and made again that got the old inode number back, as ext4 and
// tmpfs do at once: only its birth time tells it from the one the scan saw. The window's own test
// replaces files and folders; here the cases it cannot make: another kind, a birth, no identity.
TEST(DeleteFiles, AnItemReplacedSinceItWasSeenIsLeftAloneAndTheOthersGo) {
    TempTree tree;
    for (const char* name : {"a", "kind", "reborn", "unknown"})
        tree.File(name, 10);
    const auto seen = [&](const std::string& name, TItemKind kind, std::uint64_t bornEarlier = 0) {
        TEntryInfo info;
        TFileSystemApi().StatEntry(AT_FDCWD, (tree / name).c_str(), info);
        return TItemIdentity{info.Device, IdentityStamp(info.Inode, info.Birth - bornEarlier), kind};
    };
    TDeleteFilesControl control;
    control.Expected = {seen("a", TItemKind::File), seen("kind", TItemKind::Link),
                        seen("reborn", TItemKind::File, 1), TItemIdentity{}};
    const TDeleteFilesResult result = DeleteFiles(
        {tree / "a", tree / "kind", tree / "reborn", tree / "unknown"}, TDeleteMode::Permanent, control);
    EXPECT_TRUE(result.Items[0].Gone);
    for (std::size_t i : {1U, 2U}) {
        EXPECT_TRUE(Exists(result.Items[i].Path)) << result.Items[i].Path;
        EXPECT_EQ(result.Items[i].Failures.at(0).Error, ESTALE);
        EXPECT_NE(result.Items[i].Message.find("changed since the scan: rescan it first"), std::string::npos);
    }
    EXPECT_TRUE(result.Items[3].Gone) << "nothing known, nothing compared";
}

TEST(PermanentDelete, RemovesLinksNeverTheirTargets) {
    TempTree t;
    for (const char* dir : {"outside", "outside/sub", "victim", "victim/ro"})
        t.Dir(dir);
    t.File("outside/a", 10);
    t.File("outside/sub/b", 20);
    t.File("victim/ro/f", 5);
    ::chmod((t / "victim/ro/f").c_str(), 0444);
    ::chmod((t / "victim/ro").c_str(), 0555);
    t.Link(t / "outside", "victim/dirlink");
    t.Link(t / "outside/a", "victim/filelink");
    t.Link(t / "outside", "toplink");

    const TDeletionResult viaLink = DeletePermanently(t / "toplink");
    EXPECT_EQ(viaLink.EntriesRemoved, 1u);
    EXPECT_FALSE(Exists(t / "toplink"));

    std::uint64_t reported = 0;
    TDeletionControl control;
    control.Progress = [&](std::uint64_t n) { reported = n; };
    const TDeletionResult result = DeletePermanently(t / "victim/", control);
    EXPECT_TRUE(result.TopRemoved) << Describe(result);
    EXPECT_TRUE(result.Failures.empty()) << Describe(result);
    EXPECT_EQ(result.EntriesRemoved, 5u);
    EXPECT_EQ(reported, 5u);
    EXPECT_FALSE(Exists(t / "victim"));
    EXPECT_TRUE(Exists(t / "outside/a"));
    EXPECT_TRUE(Exists(t / "outside/sub/b"));
}

TEST(PermanentDelete, NeverEntersAnotherMountAndReportsIt) {
    TempTree t;
    for (const char* dir : {"victim", "victim/tmp", "victim/bind", "elsewhere"})
        t.Dir(dir);
    t.File("elsewhere/kept", 3);
    t.File("victim/plain", 3);
    const ScopedMount tmpfs(t / "victim/tmp");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    t.File("victim/tmp/inside", 3);
    const ScopedMount bind(t / "victim/bind", t / "elsewhere");
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();

    const TDeletionResult result = DeletePermanently(t / "victim");
    ASSERT_EQ(result.Failures.size(), 2u) << Describe(result);
    std::vector<std::string> paths{result.Failures[0].Path, result.Failures[1].Path};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{t / "victim/bind", t / "victim/tmp"}));
    EXPECT_EQ(result.Failures[0].Error, EXDEV);
    EXPECT_FALSE(result.TopRemoved);
    EXPECT_FALSE(Exists(t / "victim/plain"));
    EXPECT_TRUE(Exists(t / "victim/tmp/inside"));
    EXPECT_TRUE(Exists(t / "elsewhere/kept"));
}

TEST(PermanentDelete, RemovesATreeDeeperThanPathMaxWithFewDescriptors) {
    // On a tmpfs when allowed: the disk's journal, not the walk, would set the pace otherwise.
    const TinyTmpfs t("32m");
    constexpr int kLevels = 5000;
    t.Chain(kLevels + 1,
            [](int fd, int) { ::close(::openat(fd, "level/f", O_WRONLY | O_CREAT | O_CLOEXEC, 0444)); });
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 48;
    ::setrlimit(RLIMIT_NOFILE, &tight);
    const TDeletionResult result = DeletePermanently(t / "level");
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(result.Failures.empty()) << Describe(result).substr(0, 2000);
    EXPECT_EQ(result.EntriesRemoved, 2u * (kLevels + 1));
    EXPECT_FALSE(Exists(t / "level"));
}

// Run as nobody, in a child: everything of the user's goes, read-only or unreadable, and only the
// file in root's folder stays, reported.
TEST(PermanentDelete, AnUnprivilegedUserRemovesAllButWhatIsNotTheirs) {
    TempTree t;
    ::chown(t.Path().c_str(), 65534, 65534);
    for (const char* dir : {"victim", "victim/a", "victim/a/b", "victim/ro", "victim/ro/sub"})
        t.Dir(dir);
    t.File("victim/a/b/c", 1);
    t.File("victim/ro/f", 1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(t / "victim"))
        ::lchown(entry.path().c_str(), 65534, 65534);
    ::lchown((t / "victim").c_str(), 65534, 65534);
    ::chmod((t / "victim/ro/f").c_str(), 0444);
    ::chmod((t / "victim/ro/sub").c_str(), 0);
    ::chmod((t / "victim/ro").c_str(), 0555);
    t.Dir("victim/theirs"); // root's, in a directory of the user's
    t.File("victim/theirs/file", 1);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const TDeletionResult result = DeletePermanently(t / "victim");
        std::fputs(Describe(result).c_str(), stderr);
        const bool expected = !result.TopRemoved && result.Failures.size() == 1 &&
                              result.Failures[0].Path == t / "victim/theirs/file" &&
                              result.Failures[0].Error == EACCES;
        ::_exit(expected ? 0 : 3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_TRUE(Exists(t / "victim/theirs/file"));
    EXPECT_FALSE(Exists(t / "victim/a"));
    EXPECT_FALSE(Exists(t / "victim/ro"));
}
