// Deleting from the window: the keys, the menu with and without Shift, the questions, the trash on
// disk, and a tree that matches the disk afterwards.

#include "FormMainFixture.h"

#include "common/TinyTmpfs.h"

#include <QLocale>
#include <QMenu>
#include <QProgressDialog>
#include <QRegularExpression>

#include <dirent.h>
#include <fstream>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// The trash entry whose recorded original path, percent-decoded, is `original`.
bool InTrash(const std::string& original) {
    const std::string info = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/info";
    DIR* dir = ::opendir(info.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (dirent* entry = ::readdir(dir)) {
        std::ifstream file(info + "/" + entry->d_name);
        for (std::string line; std::getline(file, line);) {
            if (line.rfind("Path=", 0) != 0)
                continue;
            found = found || PercentDecoded(line.substr(5)) == original;
        }
    }
    ::closedir(dir);
    return found;
}

class DeleteActionTest : public FormMainTest {
protected:
    DeleteActionTest() {
        form_.show();
        form_.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form_));
    }
    TFileSystemNode* Node(const std::string& path) const { return FormMainTest::Node(form_, path); }
    // Selects the rows of `paths`, the first one current, as clicks with Ctrl would.
    void Select(const std::vector<std::string>& paths) {
        TNodeTreeView& view = *form_.TreeView();
        view.clearSelection();
        for (const std::string& path : paths) {
            const TFileSystemNode* node = Node(path);
            ASSERT_NE(node, nullptr) << path;
            const QModelIndex row = form_.TreeModel()->Reveal(node);
            ASSERT_TRUE(row.isValid()) << path;
            view.selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (path == paths.front())
                view.selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
        }
        // The message boxes took the activation; a window manager hands it back, the test platform not.
        form_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
        form_.TreeView()->setFocus();
    }
    QMenu* OptionsMenu() const {
        for (QObject* object : form_.findChild<QAction*>("ActDelete")->associatedObjects()) {
            if (auto* menu = qobject_cast<QMenu*>(object))
                return menu;
        }
        return nullptr;
    }
    void ClickDeleteInMenu(Qt::KeyboardModifiers modifiers) {
        QMenu* menu = OptionsMenu();
        ASSERT_NE(menu, nullptr);
        menu->popup(form_.mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        QAction* action = form_.findChild<QAction*>("ActDelete");
        QTest::mouseClick(menu, Qt::LeftButton, modifiers, menu->actionGeometry(action).center());
    }

    TFormMain form_{settings_};
};

} // namespace

TEST_F(DeleteActionTest, KeysAndMenuTrashOrDeleteForGoodAndTheTreeFollows) {
    TempTree data;
    TempTree outside;
    outside.File("kept.bin", 4000);
    const std::string odd = data / "new\nline \xff\xfe";
    data.Dir("new\nline \xff\xfe");
    data.File("new\nline \xff\xfe/inner.bin", 3000);
    data.Dir("perm");
    data.File("perm/f.bin", 500);
    data.Link(outside.Path(), "perm/out");
    data.Dir("menu-perm");
    data.File("menu-perm/g.bin", 200);
    data.Dir("menu-trash");
    data.File("menu-trash/h.bin", 100);
    data.Dir("stays");
    data.File("stays/big.bin", 2 << 20);
    ASSERT_TRUE(Scan(form_, data.Path()));
    const std::int64_t total = form_.RootNode()->GetSize();

    BoxAnswers yes;
    Select({odd});
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete);
    ASSERT_EQ(yes.texts.size(), 1U);
    EXPECT_NE(yes.texts[0].find("Move this item to the trash?"), std::string::npos) << yes.texts[0];
    EXPECT_NE(yes.texts[0].find("2.92 KB"), std::string::npos) << "the size from the tree: " << yes.texts[0];
    EXPECT_TRUE(yes.defaultIsNo[0]);
    EXPECT_FALSE(Exists(odd));
    EXPECT_TRUE(InTrash(odd)) << "the exact bytes, newline and invalid UTF-8 included";
    EXPECT_EQ(Node(odd), nullptr);
    EXPECT_EQ(form_.RootNode()->GetSize(), total - 3000);
    EXPECT_EQ(form_.TreeView()->FocusedNode(), form_.RootNode()) << "the nearest ancestor takes the focus";
    EXPECT_EQ(form_.TreeView()->SelectedNodes(), std::vector<TFileSystemNode*>{form_.RootNode()});

    Select({data / "perm"});
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(yes.texts.size(), 2U);
    EXPECT_NE(yes.texts[1].find("cannot be undone"), std::string::npos) << yes.texts[1];
    EXPECT_FALSE(Exists(data / "perm"));
    EXPECT_FALSE(InTrash(data / "perm"));
    EXPECT_TRUE(Exists(outside / "kept.bin")) << "the link went, never its target";
    EXPECT_EQ(form_.RootNode()->GetSize(),
              total - 3000 - 500 - static_cast<std::int64_t>(outside.Path().size()));

    Select({data / "menu-perm"});
    ClickDeleteInMenu(Qt::ShiftModifier);
    Select({data / "menu-trash"});
    ClickDeleteInMenu(Qt::NoModifier);
    ASSERT_EQ(yes.texts.size(), 4U);
    EXPECT_FALSE(InTrash(data / "menu-perm")) << "Shift held on the click deletes for good";
    EXPECT_TRUE(InTrash(data / "menu-trash"));
    EXPECT_EQ(Node(data / "menu-perm"), nullptr);
    EXPECT_EQ(form_.RootNode()->GetFileCount(), 1);
    EXPECT_TRUE(errors_.empty()) << errors_.front();

    // No is the answer when in doubt, and it leaves everything as it was.
    yes.answer = QMessageBox::No;
    Select({data / "stays"});
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_TRUE(Exists(data / "stays/big.bin"));
    EXPECT_NE(Node(data / "stays"), nullptr);
}

TEST_F(DeleteActionTest, PartialFailureLeavesTheTreeAsTheDiskIsAndNamesWhatStayed) {
    TempTree data;
    data.Dir("d");
    data.File("d/keep.txt", 700);
    data.File("d/a.txt", 10);
    data.Dir("d/sub");
    data.File("d/sub/b.bin", 2 << 20);
    data.File("other.bin", 5000);
    ASSERT_TRUE(Scan(form_, data.Path()));
    // The user may not remove that one entry, as in a folder of someone else's.
    HookedFileSystem fs({}, {}, FailOn("keep.txt", EACCES));
    form_.SetDeletionSeams({}, &fs);

    BoxAnswers yes;
    Select({data / "d"});
    // The directory that went only in part is read again.
    ASSERT_TRUE(Await(form_, [&] { form_.DeleteSelection(true); }));
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_NE(errors_[0].find(data / "d/keep.txt"), std::string::npos) << errors_[0];
    EXPECT_NE(errors_[0].find(SystemErrorMessage(EACCES)), std::string::npos) << errors_[0];
    EXPECT_TRUE(Exists(data / "d/keep.txt"));
    EXPECT_FALSE(Exists(data / "d/sub"));
    TDirNode* d = Dir(form_, data / "d");
    ASSERT_NE(d, nullptr) << "what is left is still shown";
    EXPECT_EQ(d->GetSize(), 700);
    EXPECT_EQ(d->GetFileCount(), 1);
    EXPECT_EQ(Dir(form_, data / "d/sub"), nullptr);
    EXPECT_EQ(form_.RootNode()->GetSize(), 5700);
    EXPECT_EQ(form_.TreeView()->FocusedNode(), d) << "what could not go stays selected";
}

TEST_F(DeleteActionTest, NestedGroupsRootAndScansInsideAreHandledBeforeAnythingIsTouched) {
    TempTree data;
    data.Dir("n");
    data.File("n/only.bin", 3 << 20);
    data.Dir("smalls");
    data.File("smalls/1.txt", 1);
    data.File("smalls/2.txt", 2);
    data.File("smalls/big.bin", 2 << 20);
    ASSERT_TRUE(Scan(form_, data.Path()));
    std::vector<std::string> trashed;
    form_.SetDeletionSeams(
        [&](const std::string& path) {
            trashed.push_back(path);
            return MoveToTrash(path);
        },
        nullptr);
    BoxAnswers yes;

    // A directory and a file inside it: only the directory is handed on; both rows go.
    Select({data / "n/only.bin", data / "n"});
    form_.DeleteSelection(false);
    EXPECT_EQ(trashed, std::vector<std::string>{data / "n"});
    EXPECT_EQ(Node(data / "n"), nullptr);

    // A file group names nothing on disk: refused before the question, nothing touched.
    const TFileSystemNode* group = FileGroupIn(Dir(form_, data / "smalls"));
    ASSERT_NE(group, nullptr);
    Select({GetFullPath(group)});
    form_.DeleteSelection(false);
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_NE(errors_[0].find("names nothing on"), std::string::npos) << errors_[0];
    EXPECT_EQ(trashed.size(), 1U);
    EXPECT_EQ(yes.texts.size(), 1U) << "no question for what is refused";
    EXPECT_TRUE(Exists(data / "smalls/1.txt"));

    // Where no trash can take an item, deleting it for good is asked again, never done silently.
    form_.SetDeletionSeams(
        [](const std::string&) {
            return TTrashResult{TTrashOutcome::NoTrash, ENOTSUP, ""};
        },
        nullptr);
    for (const auto second : {QMessageBox::No, QMessageBox::Yes}) {
        yes.next = {QMessageBox::Yes, second};
        Select({data / "smalls/big.bin"});
        form_.DeleteSelection(false);
        EXPECT_NE(yes.texts.back().find("cannot be moved to the trash"), std::string::npos)
            << yes.texts.back();
        EXPECT_EQ(Exists(data / "smalls/big.bin"), second == QMessageBox::No);
    }
    EXPECT_EQ(Node(data / "smalls/big.bin"), nullptr);
    EXPECT_EQ(errors_.size(), 1U) << "declining is not a failure";

    // The last files of a group go, and so does its row: an empty group stands for nothing.
    form_.SetDeletionSeams({}, nullptr);
    // Their rows picked directly: a path search does not look inside file groups.
    const auto* group2 = static_cast<const TGroupNode*>(FileGroupIn(Dir(form_, data / "smalls")));
    form_.TreeModel()->fetchMore(form_.TreeModel()->Reveal(group2));
    form_.TreeView()->clearSelection();
    std::vector<const TFileSystemNode*> files;
    {
        TChildrenLock guard(group2);
        for (const auto& file : guard.Children())
            files.push_back(file.get());
    }
    ASSERT_EQ(files.size(), 2U);
    for (const TFileSystemNode* file : files)
        form_.TreeView()->selectionModel()->select(form_.TreeModel()->Reveal(file),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data / "smalls/2.txt"));
    EXPECT_EQ(FileGroupIn(Dir(form_, data / "smalls")), nullptr);
    EXPECT_EQ(form_.TreeModel()->rowCount(form_.TreeModel()->IndexOf(Dir(form_, data / "smalls"))), 0);

    // The scanned folder itself: its row goes and nothing is selected.
    Select({data.Path()});
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data.Path()));
    EXPECT_EQ(form_.TreeModel()->Root(), nullptr);
    EXPECT_TRUE(form_.TreeView()->SelectedNodes().empty());
}

TEST_F(DeleteActionTest, SlowDeletionShowsProgressAndCancelStopsWithTheTreeAsTheDiskIs) {
    TempTree data;
    data.Dir("slow");
    for (int i = 0; i < 2000; ++i)
        data.File("slow/f" + std::to_string(i), 2 << 20);
    ASSERT_TRUE(Scan(form_, data.Path()));
    // Every removal takes a while, as on a slow disk, so that the progress dialog comes up.
    HookedFileSystem fs({}, {}, [](const char*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    form_.SetDeletionSeams({}, &fs);
    BoxAnswers yes;
    const QLocale previousLocale;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    bool windowWasDisabled = false;
    int maximum = 0;
    QString label;
    QTimer canceller;
    canceller.setInterval(20);
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto* progress = form_.findChild<QProgressDialog*>("DeletionProgress");
        // Well into the one folder: the bar follows its files, not the single item.
        if (progress == nullptr || !progress->isVisible() || progress->value() < 1200)
            return;
        maximum = progress->maximum();
        label = progress->labelText();
        windowWasDisabled = !form_.isEnabled() && progress->isEnabled();
        canceller.stop();
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    canceller.start();

    Select({data / "slow"});
    ASSERT_TRUE(Await(form_, [&] { form_.DeleteSelection(true); }));
    QLocale::setDefault(previousLocale);
    EXPECT_EQ(maximum, 2000);
    EXPECT_TRUE(label.contains(QRegularExpression("1,[0-9]{3} entries removed"))) << label.toStdString();
    EXPECT_TRUE(windowWasDisabled) << "the window waits; the dialog answers";
    EXPECT_TRUE(form_.isEnabled());
    EXPECT_TRUE(errors_.empty()) << "cancelling is not a failure";
    int left = 0;
    for (int i = 0; i < 2000; ++i)
        left += Exists(data / ("slow/f" + std::to_string(i))) ? 1 : 0;
    EXPECT_GT(left, 0) << "stopped between entries";
    EXPECT_LT(left, 800);
    EXPECT_EQ(form_.RootNode()->GetFileCount(), left);
    EXPECT_EQ(form_.RootNode()->GetSize(), static_cast<std::int64_t>(left) * (2 << 20));
}

TEST_F(DeleteActionTest, AFolderHoldingMountsStaysOutOfTheTrashAndDeletingForGoodNamesWhatIsKept) {
    TempTree data;
    TempTree outside;
    outside.File("theirs.bin", 5000);
    data.Dir("dir");
    data.Dir("dir/m");
    data.Dir("dir/deep");
    data.Dir("dir/deep/b");
    data.File("dir/mine.bin", 300);
    data.File("plain.bin", 100);
    const ScopedMount tmpfs(data / "dir/m");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    const ScopedMount bind(data / "dir/deep/b", outside.Path());
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();
    data.File("dir/m/keepme", 10);
    ASSERT_TRUE(Scan(form_, data.Path()));

    BoxAnswers yes;
    Select({data / "dir", data / "plain.bin"});
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete);
    EXPECT_TRUE(yes.texts.empty()) << "refused before the question";
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_NE(errors_[0].find(data / "dir/m"), std::string::npos) << errors_[0];
    EXPECT_NE(errors_[0].find(data / "dir/deep/b"), std::string::npos) << errors_[0];
    EXPECT_FALSE(InTrash(data / "dir"));
    EXPECT_TRUE(Exists(data / "plain.bin")) << "nothing moved";
    EXPECT_TRUE(Exists(data / "dir/m/keepme"));

    Select({data / "dir"});
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(yes.texts.size(), 1U);
    const std::string& question = yes.texts[0];
    EXPECT_NE(question.find("mounted file systems are kept"), std::string::npos) << question;
    EXPECT_NE(question.find(data / "dir/m"), std::string::npos) << question;
    EXPECT_NE(question.find(data / "dir/deep/b"), std::string::npos) << question;
    EXPECT_TRUE(Exists(data / "dir/m/keepme"));
    EXPECT_TRUE(Exists(outside / "theirs.bin"));
    EXPECT_FALSE(Exists(data / "dir/mine.bin"));
}

TEST_F(DeleteActionTest, ItemsReplacedSinceTheScanAreRefusedAndTheOthersGo) {
    TempTree data;
    data.File("a.bin", 3 << 20);
    data.File("b.bin", 3 << 20);
    data.Dir("c");
    data.File("c/inner.bin", 3 << 20);
    data.Dir("d");
    data.File("d/inner.bin", 3 << 20);
    ASSERT_TRUE(Scan(form_, data.Path()));
    // New items under the old names, made while the old ones exist so that no inode is reused.
    data.File("b.new", 3 << 20);
    ASSERT_EQ(std::rename((data / "b.new").c_str(), (data / "b.bin").c_str()), 0);
    data.Dir("c.new");
    ASSERT_EQ(std::rename((data / "c").c_str(), (data / "c.old").c_str()), 0);
    ASSERT_EQ(std::rename((data / "c.new").c_str(), (data / "c").c_str()), 0);
    // Removed and made again: most file systems give the new folder the old inode number.
    std::filesystem::remove_all(data / "d");
    data.Dir("d");

    BoxAnswers yes;
    Select({data / "a.bin", data / "b.bin", data / "c", data / "d"});
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data / "a.bin"));
    EXPECT_TRUE(Exists(data / "b.bin"));
    EXPECT_TRUE(Exists(data / "c"));
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_NE(errors_[0].find(data / "b.bin" + " changed since the scan: rescan it first"), std::string::npos)
        << errors_[0];
    EXPECT_NE(errors_[0].find(data / "c" + " changed since the scan"), std::string::npos) << errors_[0];
    EXPECT_NE(errors_[0].find(data / "d" + " changed since the scan"), std::string::npos) << errors_[0];
    EXPECT_TRUE(Exists(data / "d"));
    EXPECT_EQ(Node(data / "a.bin"), nullptr);
    EXPECT_NE(Node(data / "b.bin"), nullptr);
    EXPECT_EQ(Dir(form_, data / "c")->GetSize(), 3 << 20)
        << "what was not deleted is shown as it was scanned";
}
