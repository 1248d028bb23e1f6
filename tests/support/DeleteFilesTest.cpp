#include "desktop/DeleteFiles.h"

#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include "support/MountTable.h"
#include "support/PosixDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stop_token>
#include <sys/stat.h>

using namespace quorvex;
using quorvex::testing::Exists;
using quorvex::testing::ScopedMount;
using quorvex::testing::TempTree;
using quorvex::testing::TinyTmpfs;

TEST(DeleteFiles, RefusesTheRootTheHomeAndItsAncestorsAndMountPointsButNotLinksToThem) {
    TempTree tree;
    tree.Dir("users");
    tree.Dir("users/me");
    tree.Dir("users/me/work");
    tree.Dir("users/other");
    tree.Link(tree / "users/me", "to-home");
    const quorvex::testing::ScopedEnv home("HOME", (tree / "users/me").c_str());

    EXPECT_NE(DeletionRefusal("/"), "");
    EXPECT_NE(DeletionRefusal(tree / "users/me"), "");
    EXPECT_NE(DeletionRefusal(tree / "users/me/"), "") << "a trailing slash names the same directory";
    EXPECT_NE(DeletionRefusal(tree / "users"), "") << "an ancestor of home holds it";
    EXPECT_NE(DeletionRefusal(tree.Path()), "");
    EXPECT_NE(DeletionRefusal(tree / "to-home/."), "") << "another name of home is home";
    EXPECT_NE(DeletionRefusal("relative/path"), "");
    EXPECT_EQ(DeletionRefusal(tree / "to-home"), "") << "the link itself may go; its target stays";
    EXPECT_EQ(DeletionRefusal(tree / "users/me/work"), "");
    EXPECT_EQ(DeletionRefusal(tree / "users/other"), "");
    EXPECT_EQ(DeletionRefusal(tree / "missing"), "") << "nothing there to protect";

    const TDeleteFilesResult result =
        DeleteFiles({tree / "users", tree / "users/other"}, TDeleteMode::Permanent);
    EXPECT_TRUE(Exists(tree / "users/me/work")) << "a refused path is never handed on";
    EXPECT_EQ(result.Items[0].Failures.at(0).Error, EPERM);
    EXPECT_FALSE(result.Items[0].Tried);
    EXPECT_TRUE(result.Items[1].Gone);
    EXPECT_FALSE(result.Succeeded());

    TinyTmpfs mount;
    if (!mount.Mounted())
        GTEST_SKIP() << mount.Refusal();
    EXPECT_NE(DeletionRefusal(mount.Path()), "") << "a mount point";
}

TEST(DeleteFiles, ReportsWhatTheDiskSaysGoesOnPastFailuresAndStopsBetweenItems) {
    TempTree tree;
    for (const char* name : {"a", "b", "c", "d"})
        tree.File(name, 10);
    // A trash that has no room for "b", fails on "c" and moves the rest out of the way.
    const TTrashFunction trash = [&](const std::string& path) {
        if (path == tree / "b")
            return TTrashResult{TTrashOutcome::NoTrash, ENOTSUP, "no trash for b"};
        if (path == tree / "c")
            return TTrashResult{TTrashOutcome::Failed, EIO, "c failed"};
        ::unlink(path.c_str());
        return TTrashResult{TTrashOutcome::Trashed, 0, ""};
    };
    std::stop_source stop;
    std::vector<std::size_t> progress;
    TDeleteFilesControl control{stop.get_token(),
                                [&](std::size_t items, std::uint64_t) {
                                    progress.push_back(items);
                                    if (items == 3)
                                        stop.request_stop();
                                },
                                trash,
                                nullptr,
                                {}};
    const TDeleteFilesResult result =
        DeleteFiles({tree / "a", tree / "b", tree / "c", tree / "d"}, TDeleteMode::Trash, control);

    ASSERT_EQ(result.Items.size(), 4U);
    EXPECT_TRUE(result.Items[0].Gone);
    EXPECT_TRUE(result.Items[1].NoTrash);
    EXPECT_FALSE(result.Items[1].Gone);
    EXPECT_TRUE(Exists(tree / "b")) << "no silent fall-back to deleting for good";
    EXPECT_EQ(result.Items[2].Message, "c failed");
    EXPECT_FALSE(result.Items[3].Tried) << "the stop came before the last item";
    EXPECT_TRUE(Exists(tree / "d"));
    EXPECT_TRUE(result.Cancelled);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3}));

    // A call that reports failure but removed the item anyway counts as gone: the disk decides.
    const TDeleteFilesResult liar = DeleteFiles({tree / "c"}, TDeleteMode::Trash,
                                                {{},
                                                 {},
                                                 [](const std::string& path) {
                                                     ::unlink(path.c_str());
                                                     return TTrashResult{TTrashOutcome::Failed, EIO, "?"};
                                                 },
                                                 nullptr,
                                                 {}});
    EXPECT_TRUE(liar.Items[0].Gone);
    EXPECT_TRUE(liar.Succeeded());
}

TEST(DeleteFiles, AnItemHoldingAMountNeverGoesToTheTrashAndMountsAreFoundByTheirRealPaths) {
    TempTree tree;
    tree.Dir("t");
    tree.Dir("t/dir");
    tree.Dir("t/dir/m");
    tree.Dir("t/dir/deep");
    tree.Dir("t/dir/deep/b");
    tree.Dir("elsewhere");
    tree.File("elsewhere/data.bin", 100);
    tree.Dir("free");
    tree.Link(tree / "t", "alias");
    tree.Link(tree / "t/dir", "t/dir-link");
    const ScopedMount tmpfs(tree / "t/dir/m");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    const ScopedMount bind(tree / "t/dir/deep/b", tree / "elsewhere");
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();
    tree.File("t/dir/m/keepme", 10);

    EXPECT_EQ(MountPointsBelow(tree / "t"),
              (std::vector<std::string>{tree / "t/dir/m", tree / "t/dir/deep/b"}));
    EXPECT_EQ(MountPointsBelow(tree / "alias/dir").size(), 2U) << "named through a link above it";
    EXPECT_TRUE(MountPointsBelow(tree / "t/dir-link").empty()) << "the link goes, not what it points to";
    EXPECT_TRUE(MountPointsBelow(tree / "t/dir/m").empty()) << "the mount itself holds none";
    EXPECT_TRUE(MountPointsBelow(tree / "free").empty());

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
    EXPECT_NE(result.Items[0].Message.find(tree / "t/dir/m"), std::string::npos) << result.Items[0].Message;
    EXPECT_NE(result.Items[0].Message.find(tree / "t/dir/deep/b"), std::string::npos);
    EXPECT_TRUE(Exists(tree / "t/dir/m/keepme"));
    EXPECT_EQ(TrashRefusal(tree / "free"), "");
}

TEST(DeleteFiles, AnItemReplacedSinceItWasSeenIsLeftAloneAndTheOthersGo) {
    TempTree tree;
    for (const char* name : {"a", "b", "kind", "reborn"})
        tree.File(name, 10);
    tree.Dir("c");
    const auto seen = [&](const std::string& name, TItemKind kind, std::uint64_t bornEarlier = 0) {
        TEntryInfo info;
        TFileSystemApi().StatEntry(AT_FDCWD, (tree / name).c_str(), info);
        return TItemIdentity{info.Device, IdentityStamp(info.Inode, info.Birth - bornEarlier), kind};
    };
    TDeleteFilesControl control;
    // "reborn" stands for a file removed and made again that got the old inode number back, as ext4
    // and tmpfs do at once: only its birth time tells it from the one the scan saw.
    control.Expected = {seen("a", TItemKind::File),         seen("b", TItemKind::File),
                        seen("c", TItemKind::Directory),    seen("kind", TItemKind::Link),
                        seen("reborn", TItemKind::File, 1), TItemIdentity{}};
    // Made while the old ones still exist, so they cannot take over their inodes.
    tree.File("b.new", 10);
    ASSERT_EQ(::rename((tree / "b.new").c_str(), (tree / "b").c_str()), 0);
    tree.Dir("c.new");
    ASSERT_EQ(::rename((tree / "c").c_str(), (tree / "c.old").c_str()), 0);
    ASSERT_EQ(::rename((tree / "c.new").c_str(), (tree / "c").c_str()), 0);
    tree.File("unknown", 1);

    const TDeleteFilesResult result =
        DeleteFiles({tree / "a", tree / "b", tree / "c", tree / "kind", tree / "reborn", tree / "unknown"},
                    TDeleteMode::Permanent, control);
    EXPECT_TRUE(result.Items[0].Gone);
    for (std::size_t i : {1U, 2U, 3U, 4U}) {
        EXPECT_FALSE(result.Items[i].Gone) << result.Items[i].Path;
        EXPECT_EQ(result.Items[i].Failures.at(0).Error, ESTALE);
        EXPECT_NE(result.Items[i].Message.find("changed since the scan: rescan it first"), std::string::npos);
    }
    EXPECT_TRUE(Exists(tree / "b"));
    EXPECT_TRUE(Exists(tree / "c"));
    EXPECT_TRUE(Exists(tree / "reborn"));
    EXPECT_TRUE(result.Items[5].Gone) << "nothing known, nothing compared";
}
