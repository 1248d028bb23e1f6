#include "common/FileText.h"
#include "common/TempTree.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "shell/IconRegistry.h"
#include "shell/IconRequests.h"
#include "shell/ShellIcons.h"
#include "support/FileAttributes.h"
#include "support/MountTable.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <set>

namespace quorvex {
namespace {

TSHGetFileInfoProperties Request(const std::string& path, double created = 1000.0) {
    TSHGetFileInfoProperties request = TSHGetFileInfoProperties::Make(path, 0x80, 0x4011);
    request.Created = created;
    return request;
}

// The mailbox between the icon thread and the rows: an answer for the exact path and request only; of
// two entries of one path the first decides, and a late answer for a purged one is dropped.
TEST(IconResults, TakeAnswersOnlyTheExactPathAndRequestAndDropsLateAnswers) {
    TSHGetFileInfoPropertiesList results;
    const TSHGetFileInfoProperties request = Request("/a/x.txt", 300.0);
    results.Add(request);
    EXPECT_EQ(results.Take("/A/X.TXT"), -2) << "paths are compared exactly";
    results.SetResult(request.RequestId + 1, 7); // someone else's number
    EXPECT_EQ(results.Take("/a/x.txt"), -1) << "asked, not answered";
    results.SetResult(request.RequestId, 7);
    EXPECT_EQ(results.Take("/a/x.txt"), 7);

    const TSHGetFileInfoProperties old = Request("/same", 100.0);
    const TSHGetFileInfoProperties young = Request("/same", 300.0);
    results.Add(old);
    results.Add(young);
    results.SetResult(young.RequestId, 9);
    EXPECT_EQ(results.Take("/same"), -1);
    results.PurgeOlderThan(200.0);
    results.SetResult(old.RequestId, 4); // too late: changes nothing
    EXPECT_EQ(results.Take("/same"), 9);
}

TEST(FileIconNames, ComeFromTheNameAloneWhateverTheBytes) {
    const testing::TempTree tree;
    testing::WriteAll(tree / "report.txt", "%PDF-1.4\n"); // the name decides, the content is never read
    EXPECT_EQ(FileIconNames(tree / "report.txt").value(0), QStringLiteral("text-plain"));
    EXPECT_EQ(FileIconNames(std::string("/x/\xff\xfe name.txt")).value(0), QStringLiteral("text-plain"));
    EXPECT_FALSE(FileIconNames("/x/noextension").value(0).isEmpty());
}

// A tree in memory; the file system is a seam that counts its questions.
class RowIcons : public ::testing::Test {
protected:
    RowIcons() {
        root_.SetName("/data");
        for (const char* name : {"notes.txt", "paper.pdf"}) {
            auto file = std::make_unique<TFileNode>();
            file->SetName(name);
            (name[0] == 'n' ? file_ : pdf_) = dir_->AddChild(std::move(file));
        }
        system_.IsDirectory = [this](const std::string& path) {
            ++directoryTests_;
            return existing_.count(path) != 0;
        };
        system_.MountTable = [] { return std::vector<TMountEntry>{}; };
        system_.FileIconNames = [this](const std::string& path) {
            ++asked_;
            return FileIconNames(path);
        };
        system_.ResolveSpecialFolders = false;
    }
    // Lets the icon thread's answer arrive.
    static bool AwaitAnswer(TShellIcons& icons) {
        QSignalSpy arrived(&icons, &TShellIcons::FileIconArrived);
        return arrived.wait(5000);
    }

    TRootDirNode root_;
    TDirNode* dir_ = AddDirNode(&root_, "photos", faDirectory);
    TFileSystemNode* file_ = nullptr;
    TFileSystemNode* pdf_ = nullptr;
    std::set<std::string> existing_{"/data", "/data/photos"};
    std::atomic<int> directoryTests_{0};
    std::atomic<int> asked_{0};
    TShellIconsSystem system_;
};

TEST_F(RowIcons, FoldersFollowExpansionAreTestedOnDiskOnceAndMarkIncompleteTotals) {
    TShellIcons icons(system_);
    dir_->SetFlag(nfExpanded, true);
    EXPECT_EQ(icons.NameImage(dir_).Index, icons.TreeFolders().OpenFolderIndex());
    dir_->SetFlag(nfExpanded, false);
    EXPECT_EQ(icons.NameImage(dir_).Index, icons.TreeFolders().ClosedFolderIndex());
    EXPECT_EQ(directoryTests_.load(), 1) << "the icon is cached in the node after one test";
    TDirNode* gone = AddDirNode(&root_, "gone", faDirectory);
    EXPECT_EQ(icons.NameImage(gone).Index, icons.TreeFolders().ClosedFolderIndex())
        << "a folder all the same";
    EXPECT_EQ(gone->ImageIndex(), -1) << "a missing directory stores nothing";

    dir_->SetFlag(nfIncomplete, true);
    EXPECT_EQ(icons.NameImage(dir_).Overlay, icons.Images().IncompleteOverlay) << "its totals are not final";
    const int tests = directoryTests_.load();
    TFixedDrivesNode drives(std::vector<std::string>{});
    EXPECT_EQ(icons.NameImage(&drives).Index, icons.Images().LocalDrives);
    EXPECT_EQ(directoryTests_.load(), tests) << "\"Local Drives\" is no directory to look at";
}

// The generic icon until the thread answers, then the type's; purged or cleared answers asked again.
TEST_F(RowIcons, FileShowsTheGenericIconUntilTheAnswerThenItsType) {
    TShellIcons icons(system_);
    icons.NameImage(file_);
    EXPECT_EQ(icons.NameImage(file_).Index, icons.DefaultFileIcon());
    EXPECT_LE(icons.Results().Count(), 1) << "one request per path at a time";
    ASSERT_TRUE(AwaitAnswer(icons));
    EXPECT_EQ(asked_.load(), 1);
    const int text = IconRegistry().IndexOf({FileIconNames("/data/photos/notes.txt"), QStyle::SP_FileIcon});
    EXPECT_EQ(icons.NameImage(file_).Index, text);
    EXPECT_EQ(icons.Results().Count(), 0) << "the answer was taken";

    file_->SetImageIndex(-1);
    icons.NameImage(file_);
    ASSERT_TRUE(AwaitAnswer(icons));
    icons.PurgeOlderThan(NowDays() + kSecondInDays);
    EXPECT_EQ(icons.NameImage(file_).Index, icons.DefaultFileIcon());
    ASSERT_TRUE(AwaitAnswer(icons));
    EXPECT_EQ(asked_.load(), 3);
    icons.NameImage(pdf_);
    icons.ClearResults();
    ASSERT_TRUE(AwaitAnswer(icons)); // its entry is gone: nothing but a repaint
    EXPECT_EQ(icons.Results().Count(), 0);
    EXPECT_EQ(pdf_->ImageIndex(), -1);
}

} // namespace
} // namespace quorvex
