// Deleting from the window: keys, menu, Shift, the questions, the trash on disk and the tree afterwards.

#include "FormMainFixture.h"

#include "common/TinyTmpfs.h"

#include "export/ScanHistory.h"
#include "i18n/Translation.h"
#include "model/TreeComparison.h"
#include "model/TreemapLayout.h"
#include "ui/FindBar.h"
#include "ui/TreemapPane.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// Whether a trash entry records `original`, byte for byte once percent-decoded.
bool InTrash(const std::string& original) {
    std::error_code absent;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/info", absent)) {
        std::ifstream file(entry.path());
        for (std::string line; std::getline(file, line);) {
            if (line.rfind("Path=", 0) == 0 && PercentDecoded(line.substr(5)) == original)
                return true;
        }
    }
    return false;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
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
            const QModelIndex row = form_.TreeModel()->Reveal(Node(path));
            ASSERT_TRUE(row.isValid()) << path;
            view.selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (path == paths.front())
                view.selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
        }
        // The message boxes took the activation; a window manager hands it back, the test platform not.
        form_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
        view.setFocus();
    }
    void PressDelete(const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers = {}) {
        Select(paths);
        QTest::keyClick(form_.TreeView(), Qt::Key_Delete, modifiers);
    }
    void ClickDeleteInMenu(const std::string& path, Qt::KeyboardModifiers modifiers) {
        Select({path});
        QAction* action = form_.findChild<QAction*>("ActDelete");
        QMenu* menu = nullptr;
        for (QObject* object : action->associatedObjects())
            menu = menu != nullptr ? menu : qobject_cast<QMenu*>(object);
        ASSERT_NE(menu, nullptr);
        menu->popup(form_.mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        QTest::mouseClick(menu, Qt::LeftButton, modifiers, menu->actionGeometry(action).center());
    }

    // Each a directory holding one file "f" of that many bytes.
    void Dirs(std::initializer_list<std::pair<std::string, long long>> dirs) const {
        for (const auto& [dir, size] : dirs) {
            data_.Dir(dir);
            data_.File(dir + "/f", size);
        }
    }

    TempTree data_;
    TFormMain form_{settings_};
};

TEST_F(DeleteActionTest, KeysAndMenuTrashOrDeleteForGoodAndTheTreeFollows) {
    TempTree outside;
    outside.File("kept.bin", 4000);
    const std::string oddName = "new\nline \xff\xfe";
    const std::string odd = data_ / oddName;
    Dirs({{oddName, 3000}, {"perm", 500}, {"menu-perm", 200}, {"menu-trash", 100}, {"stays", 2 << 20}});
    data_.Link(outside.Path(), "perm/out");
    ASSERT_TRUE(Scan(form_, data_.Path()));
    const std::int64_t total = form_.RootNode()->GetSize();

    BoxAnswers yes;
    PressDelete({odd});
    ASSERT_EQ(yes.texts.size(), 1U);
    EXPECT_TRUE(Has(yes.texts[0], "Move this item to the trash?")) << yes.texts[0];
    EXPECT_TRUE(Has(yes.texts[0], "2.92 KB")) << "the size from the tree: " << yes.texts[0];
    EXPECT_TRUE(yes.defaultIsNo[0]);
    EXPECT_FALSE(Exists(odd));
    EXPECT_TRUE(InTrash(odd)) << "the exact bytes, newline and invalid UTF-8 included";
    EXPECT_EQ(Node(odd), nullptr);
    EXPECT_EQ(form_.TreeView()->FocusedNode(), form_.RootNode()) << "the nearest ancestor takes the focus";
    EXPECT_EQ(form_.TreeView()->SelectedNodes(), std::vector<TFileSystemNode*>{form_.RootNode()});

    PressDelete({data_ / "perm"}, Qt::ShiftModifier);
    ASSERT_EQ(yes.texts.size(), 2U);
    EXPECT_TRUE(Has(yes.texts[1], "cannot be undone")) << yes.texts[1];
    EXPECT_FALSE(Exists(data_ / "perm"));
    EXPECT_FALSE(InTrash(data_ / "perm"));
    EXPECT_TRUE(Exists(outside / "kept.bin")) << "the link went, never its target";
    EXPECT_EQ(form_.RootNode()->GetSize(),
              total - 3000 - 500 - static_cast<std::int64_t>(outside.Path().size()));

    ClickDeleteInMenu(data_ / "menu-perm", Qt::ShiftModifier);
    ClickDeleteInMenu(data_ / "menu-trash", Qt::NoModifier);
    ASSERT_EQ(yes.texts.size(), 4U);
    EXPECT_FALSE(InTrash(data_ / "menu-perm")) << "Shift held on the click deletes for good";
    EXPECT_TRUE(InTrash(data_ / "menu-trash"));
    EXPECT_EQ(form_.RootNode()->GetFileCount(), 1);
    EXPECT_TRUE(errors_.empty()) << errors_.front();

    // A file's row goes with its record, so that nothing listing the folder's files later shows it.
    data_.File("stays/g", 10);
    ASSERT_TRUE(Await(form_, [&] { form_.RescanNode(Dir(form_, data_ / "stays")); }));
    PressDelete({data_ / "stays/g"}, Qt::ShiftModifier);
    EXPECT_FALSE(Exists(data_ / "stays/g"));
    std::vector<std::string> recorded;
    Dir(form_, data_ / "stays")->ForEachFile([&](const TPackedFile& file) {
        recorded.emplace_back(file.Name);
    });
    EXPECT_EQ(recorded, std::vector<std::string>{"f"});

    // No is the answer when in doubt, and it leaves everything as it was.
    yes.answer = QMessageBox::No;
    PressDelete({data_ / "stays"}, Qt::ShiftModifier);
    EXPECT_TRUE(Exists(data_ / "stays/f"));
    EXPECT_NE(Node(data_ / "stays"), nullptr);
}

TEST_F(DeleteActionTest, PartialFailureLeavesTheTreeAsTheDiskIsAndNamesWhatStayed) {
    Populate(data_,
             {{"d", -1}, {"d/keep", 700}, {"d/a", 10}, {"d/sub", -1}, {"d/sub/b", 2 << 20}, {"o", 5000}});
    ASSERT_TRUE(Scan(form_, data_.Path()));
    // The user may not remove that one entry, as in a folder of someone else's.
    HookedFileSystem fs({}, {}, FailOn("keep", EACCES));
    form_.SetDeletionSeams({}, &fs);
    BoxAnswers yes;
    Select({data_ / "d"});
    ASSERT_TRUE(Await(form_, [&] { form_.DeleteSelection(true); }));
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_TRUE(Has(errors_[0], data_ / "d/keep: " + SystemErrorMessage(EACCES))) << errors_[0];
    EXPECT_TRUE(Exists(data_ / "d/keep"));
    EXPECT_FALSE(Exists(data_ / "d/sub"));
    // The directory that went only in part was read again.
    TDirNode* d = Dir(form_, data_ / "d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetFileCount(), 1);
    EXPECT_EQ(form_.RootNode()->GetSize(), 5700);
    EXPECT_EQ(form_.TreeView()->FocusedNode(), d) << "what could not go stays selected";
}

TEST_F(DeleteActionTest, NestedGroupsRootAndScansInsideAreHandledBeforeAnythingIsTouched) {
    Dirs({{"n", 3 << 20}, {"smalls", 2 << 20}});
    Populate(data_, {{"smalls/1.txt", 1}, {"smalls/2.txt", 2}});
    ASSERT_TRUE(Scan(form_, data_.Path()));
    std::vector<std::string> trashed;
    form_.SetDeletionSeams(
        [&](const std::string& path) {
            trashed.push_back(path);
            return MoveToTrash(path);
        },
        nullptr);
    BoxAnswers yes;

    // A directory and a file inside it: only the directory is handed on; both rows go.
    Select({data_ / "n/f", data_ / "n"});
    form_.DeleteSelection(false);
    EXPECT_EQ(trashed, std::vector<std::string>{data_ / "n"});
    EXPECT_EQ(Node(data_ / "n"), nullptr);

    // A file group names nothing on disk: refused before the question, nothing touched.
    const TFileSystemNode* group = FileGroupIn(Dir(form_, data_ / "smalls"));
    ASSERT_NE(group, nullptr);
    Select({GetFullPath(group)});
    form_.DeleteSelection(false);
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_TRUE(Has(errors_[0], "names nothing on")) << errors_[0];
    EXPECT_EQ(yes.texts.size(), 1U) << "no question for what is refused";
    EXPECT_TRUE(Exists(data_ / "smalls/1.txt"));

    // Where no trash can take an item, deleting it for good is asked again, never done silently.
    form_.SetDeletionSeams(
        [](const std::string&) {
            return TTrashResult{TTrashOutcome::NoTrash, ENOTSUP, ""};
        },
        nullptr);
    for (const auto second : {QMessageBox::No, QMessageBox::Yes}) {
        yes.next = {QMessageBox::Yes, second};
        Select({data_ / "smalls/f"});
        form_.DeleteSelection(false);
        EXPECT_TRUE(Has(yes.texts.back(), "cannot be moved to the trash")) << yes.texts.back();
        EXPECT_EQ(Exists(data_ / "smalls/f"), second == QMessageBox::No);
    }
    EXPECT_EQ(Node(data_ / "smalls/f"), nullptr);
    EXPECT_EQ(errors_.size(), 1U) << "declining is not a failure";

    // An emptied group stands for nothing; its rows are picked directly as paths do not reach into groups.
    form_.SetDeletionSeams({}, nullptr);
    TNodeTreeModel& model = *form_.TreeModel();
    const QModelIndex files = model.Reveal(FileGroupIn(Dir(form_, data_ / "smalls")));
    model.fetchMore(files);
    ASSERT_EQ(model.rowCount(files), 2);
    form_.TreeView()->selectionModel()->select(
        QItemSelection(model.index(0, 0, files), model.index(1, 0, files)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data_ / "smalls/2.txt"));
    EXPECT_EQ(FileGroupIn(Dir(form_, data_ / "smalls")), nullptr);
    EXPECT_EQ(model.rowCount(model.IndexOf(Dir(form_, data_ / "smalls"))), 0);

    // The scanned folder itself: its row goes and nothing is selected.
    Select({data_.Path()});
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data_.Path()));
    EXPECT_EQ(form_.TreeModel()->Root(), nullptr);
    EXPECT_TRUE(form_.TreeView()->SelectedNodes().empty());
}

TEST_F(DeleteActionTest, SlowDeletionShowsProgressAndCancelStopsWithTheTreeAsTheDiskIs) {
    data_.Dir("slow");
    for (int i = 0; i < 2000; ++i)
        data_.File("slow/f" + std::to_string(i), 2 << 20);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    // Every removal takes a while, as on a slow disk, so that the progress dialog comes up.
    HookedFileSystem fs({}, {}, [](const char*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    form_.SetDeletionSeams({}, &fs);
    BoxAnswers yes;
    bool windowWasDisabled = false;
    int maximum = 0;
    QTimer canceller;
    canceller.setInterval(20);
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto* progress = form_.findChild<QProgressDialog*>("DeletionProgress");
        // Well into the one folder: the bar follows its files, not the single item.
        if (progress == nullptr || !progress->isVisible() || progress->value() < 1200)
            return;
        maximum = progress->maximum();
        windowWasDisabled = !form_.isEnabled() && progress->isEnabled();
        canceller.stop();
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    canceller.start();

    Select({data_ / "slow"});
    ASSERT_TRUE(Await(form_, [&] { form_.DeleteSelection(true); }));
    EXPECT_EQ(maximum, 2000);
    EXPECT_TRUE(windowWasDisabled) << "the window waits; the dialog answers";
    EXPECT_TRUE(form_.isEnabled());
    EXPECT_TRUE(errors_.empty()) << "cancelling is not a failure";
    const auto left = std::distance(std::filesystem::directory_iterator(data_ / "slow"), {});
    EXPECT_GT(left, 0) << "stopped between entries";
    EXPECT_LT(left, 800);
    EXPECT_EQ(form_.RootNode()->GetFileCount(), left);
    EXPECT_EQ(form_.RootNode()->GetSize(), static_cast<std::int64_t>(left) * (2 << 20));
}

TEST_F(DeleteActionTest, AFolderHoldingMountsStaysOutOfTheTrashAndDeletingForGoodNamesWhatIsKept) {
    TempTree outside;
    outside.File("theirs.bin", 5000);
    Populate(data_, {{"dir", -1}, {"dir/m", -1}, {"dir/deep", -1}, {"dir/deep/b", -1}, {"dir/mine", 300}});
    data_.File("plain.bin", 100);
    const ScopedMount tmpfs(data_ / "dir/m");
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    const ScopedMount bind(data_ / "dir/deep/b", outside.Path());
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();
    data_.File("dir/m/keepme", 10);
    ASSERT_TRUE(Scan(form_, data_.Path()));

    BoxAnswers yes;
    PressDelete({data_ / "dir", data_ / "plain.bin"});
    EXPECT_TRUE(yes.texts.empty()) << "refused before the question";
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_TRUE(Has(errors_[0], data_ / "dir/m") && Has(errors_[0], data_ / "dir/deep/b")) << errors_[0];
    EXPECT_FALSE(InTrash(data_ / "dir"));
    EXPECT_TRUE(Exists(data_ / "plain.bin")) << "nothing moved";

    PressDelete({data_ / "dir"}, Qt::ShiftModifier);
    ASSERT_EQ(yes.texts.size(), 1U);
    for (const std::string& part :
         {std::string("mounted file systems are kept"), data_ / "dir/m", data_ / "dir/deep/b"})
        EXPECT_TRUE(Has(yes.texts[0], part)) << part << " in " << yes.texts[0];
    EXPECT_TRUE(Exists(data_ / "dir/m/keepme"));
    EXPECT_TRUE(Exists(outside / "theirs.bin"));
    EXPECT_FALSE(Exists(data_ / "dir/mine"));
}

TEST_F(DeleteActionTest, ItemsReplacedSinceTheScanAreRefusedAndTheOthersGo) {
    Populate(data_, {{"a.bin", 3 << 20}, {"b.bin", 3 << 20}});
    Dirs({{"c", 3 << 20}, {"d", 3 << 20}});
    ASSERT_TRUE(Scan(form_, data_.Path()));
    // New items under the old names, made while the old ones exist so that no inode is reused.
    data_.File("b.new", 3 << 20);
    std::filesystem::rename(data_ / "b.new", data_ / "b.bin");
    data_.Dir("c.new");
    std::filesystem::rename(data_ / "c", data_ / "c.old");
    std::filesystem::rename(data_ / "c.new", data_ / "c");
    // Removed and made again: most file systems give the new folder the old inode number.
    std::filesystem::remove_all(data_ / "d");
    data_.Dir("d");

    BoxAnswers yes;
    Select({data_ / "a.bin", data_ / "b.bin", data_ / "c", data_ / "d"});
    form_.DeleteSelection(true);
    EXPECT_FALSE(Exists(data_ / "a.bin"));
    ASSERT_EQ(errors_.size(), 1U);
    EXPECT_TRUE(Has(errors_[0], data_ / "b.bin" + " changed since the scan: rescan it first")) << errors_[0];
    for (const char* kept : {"b.bin", "c", "d"}) {
        EXPECT_TRUE(Exists(data_ / kept)) << kept;
        EXPECT_TRUE(Has(errors_[0], data_ / kept + " changed since the scan")) << kept;
    }
    EXPECT_EQ(Node(data_ / "a.bin"), nullptr);
    EXPECT_NE(Node(data_ / "b.bin"), nullptr);
    EXPECT_EQ(Dir(form_, data_ / "c")->GetSize(), 3 << 20)
        << "what was not deleted is shown as it was scanned";
}

// Ctrl+F reaches files of folders never opened, by part of a name and by a glob, and leads back to the
// tree's row, its deletion and its focus; the flat list holds such files too.
TEST_F(DeleteActionTest, FindBarReachesUnopenedFilesRevealsThemDeletesJustTheHitAndEscapes) {
    for (const char* dir : {"a", "a/b", "a/b/c", "reports", "z", "z/y"})
        data_.Dir(dir);
    Populate(data_, {{"a/b/c/Report-2019.ISO", 2 << 20},
                     {"a/b/c/report.txt", 50},
                     {"a/b/c/old.iso", 3000},
                     {"reports/f", 10},
                     {"z/y/big.bin", 1 << 20}});
    const std::string iso = data_ / "a/b/c/Report-2019.ISO";
    const std::string old = data_ / "a/b/c/old.iso";
    std::filesystem::last_write_time(old, std::filesystem::file_time_type::clock::now() -
                                              std::chrono::hours(24 * 800));
    ASSERT_TRUE(Scan(form_, data_.Path()));
    QTest::keyClick(&form_, Qt::Key_F, Qt::ControlModifier);
    TFindBar& bar = *form_.FindBar();
    ASSERT_TRUE(bar.isVisible() && bar.NameField()->hasFocus());
    QAbstractItemModelTester tester(bar.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    // What the list shows once the typing (if any) has been taken in.
    const auto found = [&](const char* typed = nullptr) {
        if (typed != nullptr) {
            bar.NameField()->clear();
            QTest::keyClicks(bar.NameField(), typed);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !bar.findChild<QTimer*>("FindDebounce")->isActive(); }));
        std::vector<std::string> paths;
        for (const TFindHit& hit : bar.Model()->Result().Hits)
            paths.push_back(hit.FullPath());
        return paths;
    };
    EXPECT_EQ(found("report"),
              (std::vector<std::string>{iso, data_ / "a/b/c/report.txt", data_ / "reports"}));
    EXPECT_EQ(found("*.iso"), (std::vector<std::string>{iso, old}));
    bar.findChild<QSpinBox*>("FindMinSize")->setValue(1);
    EXPECT_EQ(found(), std::vector<std::string>{iso}) << "at least 1 MiB";
    bar.findChild<QSpinBox*>("FindMinSize")->setValue(0);
    bar.findChild<QCheckBox*>("FindOlderOn")->setChecked(true); // a year ago
    EXPECT_EQ(found(), std::vector<std::string>{old});
    bar.findChild<QCheckBox*>("FindOlderOn")->setChecked(false);
    ASSERT_EQ(found("*.[i]so"), (std::vector<std::string>{iso, old}));

    bar.Results()->setCurrentIndex(bar.Model()->index(0, 0));
    EXPECT_EQ(form_.TreeView()->SelectedNodes(), std::vector<TFileSystemNode*>{Node(iso)});
    // The tree's selection moves elsewhere: Delete on the hit still deletes the hit alone.
    SelectOnly(form_, Node(data_ / "reports"));
    BoxAnswers yes;
    bar.Results()->setFocus();
    QTest::keyClick(bar.Results(), Qt::Key_Delete);
    ASSERT_EQ(yes.texts.size(), 1U);
    EXPECT_FALSE(Exists(iso));
    EXPECT_TRUE(InTrash(iso));
    EXPECT_TRUE(Exists(old) && Exists(data_ / "reports/f"));
    EXPECT_EQ(Node(iso), nullptr);
    EXPECT_EQ(found(), std::vector<std::string>{old});

    form_.activateWindow(); // the message box took the activation, which a window manager hands back
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    QTest::keyClick(bar.NameField(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_TRUE(form_.TreeView()->hasFocus());

    Trigger(form_, "ActShowFlatView");
    std::set<std::string> rows;
    for (int row = 0; row < form_.TreeModel()->rowCount(); ++row)
        rows.insert(Text(*form_.TreeModel(), row, 0).toStdString());
    EXPECT_EQ(rows.count(data_ / "z/y/big.bin") + rows.count(old), 2U) << "files of folders never opened";
    EXPECT_EQ(rows.count(data_ / "a/b/c/report.txt"), 0U) << "under a thousandth";
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

// The treemap and the tree share one selection: real clicks on tiles reach rows never opened, a row
// selected outlines its tile, a double click zooms, Backspace zooms out, Delete asks and takes the tile.
TEST_F(DeleteActionTest, TreemapTilesSelectRowsZoomAndDeleteJustTheirItem) {
    Dirs({{"a", 3 << 20}, {"b", 2 << 20}});
    data_.Dir("a/deep");
    data_.File("a/deep/x.bin", 4 << 20);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    QTest::keyClick(&form_, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    TTreemapPane& pane = *form_.TreemapPane();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pane.Tiles().empty(); }));
    const auto tile = [&](const std::string& path) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return pane.IsUpToDate(); }));
        for (std::size_t i = 0; i < pane.Tiles().size(); ++i) {
            if (TreemapTileItem(pane.Tiles()[i], TSizeKind::Logical).Path == path)
                return i;
        }
        ADD_FAILURE() << "no tile for " << path;
        return std::size_t{0};
    };
    const auto centre = [&](const std::string& path) {
        const TTreemapTile& at = pane.Tiles()[tile(path)];
        return QRectF(at.X, at.Y, at.Width, at.Height).center().toPoint();
    };
    const std::string x = data_ / "a/deep/x.bin";
    ASSERT_EQ(FindNodeByPath(form_.RootNode(), x), nullptr) << "no row yet";
    QTest::mouseClick(&pane, Qt::LeftButton, {}, centre(x));
    EXPECT_EQ(form_.TreeView()->SelectedNodes(), std::vector<TFileSystemNode*>{Node(x)});

    SelectOnly(form_, Dir(form_, data_ / "b"));
    EXPECT_EQ(pane.Outlined(), std::vector<std::size_t>{tile(data_ / "b")});

    DoubleClick(&pane, centre(data_ / "a/f"));
    EXPECT_EQ(pane.ZoomPath(), data_ / "a");
    EXPECT_EQ(form_.TreeView()->SelectedNodes(), std::vector<TFileSystemNode*>{Dir(form_, data_ / "a")});
    tile(x);
    EXPECT_EQ(pane.Tiles().front().Node, Dir(form_, data_ / "a"));
    QTest::keyClick(&pane, Qt::Key_Backspace);
    EXPECT_EQ(pane.ZoomPath(), "");

    QTest::mouseClick(&pane, Qt::LeftButton, {}, centre(data_ / "b/f"));
    BoxAnswers yes;
    QTest::keyClick(&pane, Qt::Key_Delete);
    ASSERT_EQ(yes.texts.size(), 1U);
    EXPECT_TRUE(InTrash(data_ / "b/f"));
    EXPECT_TRUE(!Exists(data_ / "b/f") && Exists(data_ / "a/f") && Exists(x));
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

// A kept scan compared with the changed tree: the change columns and marks of a folder that grew, a
// new one, a gone one, a renamed one (moved) and one replaced under its name; gone items as rows that
// add up with the others to their folder's change, sorting by change from the header, "Only changes",
// a ghost that Delete never touches, and the comparison following a real deletion.
TEST_F(DeleteActionTest, ComparingWithAKeptScanShowsChangesAndGhostsThatNothingActsOn) {
    Populate(data_, {{"big.bin", 2 << 20}, {"keep.txt", 10}, {"top.bin", 2000}});
    Dirs({{"grow", 1000}, {"same", 100}, {"gone", 300}, {"old", 700}, {"x", 400}});
    ASSERT_TRUE(Scan(form_, data_.Path()));
    std::vector<THistoryScan> kept;
    for (int i = 0; i < 1000 && kept.empty(); ++i) {
        QTest::qWait(10);
        kept = ListHistory(HistoryFolder(), data_.Path());
    }
    ASSERT_EQ(kept.size(), 1U);
    // What is new is made before anything goes, so that no folder takes over a gone one's inode.
    Populate(data_,
             {{"grow/f2", 5000}, {"new.bin", 50}, {"big.bin", 3 << 20}, {"x.new", -1}, {"x.new/f", 900}});
    std::filesystem::remove_all(data_ / "x");
    std::filesystem::rename(data_ / "x.new", data_ / "x");
    std::filesystem::rename(data_ / "old", data_ / "renamed");
    std::filesystem::remove_all(data_ / "gone");
    std::filesystem::remove(data_ / "top.bin");
    ASSERT_TRUE(Scan(form_, data_.Path()));

    TNodeTreeModel& model = *form_.TreeModel();
    const QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto* compareMenu = form_.findChild<QMenu*>(QStringLiteral("CompareMenu"));
    for (int i = 0; i < 1000 && kept.size() < 2; ++i) {
        QTest::qWait(10);
        kept = ListHistory(HistoryFolder(), data_.Path());
    }
    emit compareMenu->aboutToShow();
    EXPECT_EQ(compareMenu->actions().size(), 3) << "the earlier scan, not the one shown; then a file";
    form_.SetOpenScanDialog([file = kept.back().File](QWidget*) { return file; });
    compareMenu->actions().back()->trigger();
    ASSERT_TRUE(form_.IsComparing());
    ASSERT_EQ(model.columnCount(), TNodeTreeModel::kComparedColumnCount);
    const QModelIndex top = model.IndexOf(form_.RootNode());
    const auto row = [&](const std::string& name, bool ghost) -> TFileSystemNode* {
        for (TFileSystemNode* node : model.PublishedRows(top))
            if (node->Name() == name && model.IsGhost(node) == ghost)
                return node;
        return nullptr;
    };
    const auto cell = [&](const TFileSystemNode* node, int column, int role = Qt::DisplayRole) {
        return model.data(model.IndexOf(node, column), role).toString().toStdString();
    };
    const std::string plus5000 = "+" + form_.SizeFormatter()(5000, LocaleDecimalSeparator());
    EXPECT_EQ(cell(row("grow", false), TNodeTreeModel::colSizeChange), plus5000);
    EXPECT_EQ(cell(row("grow", false), TNodeTreeModel::colFilesChange), "+1");
    EXPECT_EQ(cell(row("same", false), TNodeTreeModel::colSizeChange), "");
    EXPECT_EQ(cell(row("x", false), TNodeTreeModel::colName, TNodeTreeModel::StaticTextRole), "new");
    EXPECT_EQ(cell(row("x", true), TNodeTreeModel::colName, TNodeTreeModel::StaticTextRole), "gone");
    EXPECT_EQ(cell(row("gone", true), TNodeTreeModel::colFilesChange), "-1");
    EXPECT_EQ(cell(row("top.bin", true), TNodeTreeModel::colFilesChange), "-1");
    EXPECT_EQ(cell(row("renamed", false), TNodeTreeModel::colName, TNodeTreeModel::StaticTextRole),
              "moved from " + data_ / "old");
    EXPECT_EQ(row("old", true), nullptr) << "a moved folder is not gone as well";
    // With the small files grouped, the rows still add up to their folder's change.
    const TTreeComparison& comparison = *model.Comparison();
    std::int64_t sum = 0;
    for (const TFileSystemNode* node : model.PublishedRows(top))
        sum += comparison.ChangeOf(node).DeltaSize;
    EXPECT_EQ(sum, comparison.ChangeOf(form_.RootNode()).DeltaSize);
    EXPECT_EQ(cell(row(TranslateText(kFileGroupName), false), TNodeTreeModel::colFilesChange), "+1");

    form_.resize(1600, 600);
    QHeaderView* header = form_.TreeView()->header();
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                 header->height() / 2));
    };
    const auto deltas = [&] {
        std::vector<std::int64_t> shown;
        for (const TFileSystemNode* node : model.PublishedRows(top))
            shown.push_back(comparison.ChangeOf(node).DeltaSize);
        return shown;
    };
    clickHeader(TNodeTreeModel::colSizeChange);
    const std::vector<std::int64_t> descending = deltas();
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend())) << "largest growth first";
    EXPECT_EQ(model.PublishedRows(top).front(), row("big.bin", false));
    clickHeader(TNodeTreeModel::colSizeChange);
    const std::vector<std::int64_t> ascending = deltas();
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end())) << "largest shrink first";
    EXPECT_LT(ascending.front(), 0);
    Trigger(form_, "ActOnlyChanges");
    EXPECT_EQ(row("same", false), nullptr);
    EXPECT_NE(row("gone", true), nullptr);

    BoxAnswers yes;
    const QModelIndex ghostRow = model.IndexOf(row("x", true));
    form_.TreeView()->selectionModel()->setCurrentIndex(ghostRow, QItemSelectionModel::ClearAndSelect |
                                                                      QItemSelectionModel::Rows);
    QTest::keyClick(form_.TreeView(), Qt::Key_Delete);
    EXPECT_TRUE(yes.texts.empty()) << "a ghost row asks nothing";
    EXPECT_FALSE(form_.findChild<QAction*>("ActDelete")->isEnabled());
    EXPECT_TRUE(Exists(data_ / "x/f"));
    // A real deletion: the comparison is made again over the tree that is left.
    PressDelete({data_ / "grow/f2"});
    ASSERT_EQ(yes.texts.size(), 1U);
    ASSERT_NE(model.Comparison(), nullptr);
    EXPECT_EQ(model.Comparison()->ChangeOf(Dir(form_, data_ / "grow")).State, TRowChange::Unchanged);
    // A folder read again: compared again once its scan has ended.
    Select({data_ / "x"});
    ASSERT_TRUE(Await(form_, [&] { form_.RescanSelection(); }));
    ASSERT_NE(model.Comparison(), nullptr);
    EXPECT_EQ(model.Comparison()->ChangeOf(Dir(form_, data_ / "x")).State, TRowChange::New);
    Trigger(form_, "ActEndComparison");
    EXPECT_EQ(model.columnCount(), TNodeTreeModel::kColumnCount);
    EXPECT_TRUE(errors_.empty());
}

} // namespace
