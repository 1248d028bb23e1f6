// The tree on real scans as the user sees it and acts on it: prompt and error rows, lazily listed files,
// sorting, the names of a file counted once; opening, showing in the file manager, the system-file
// question and the menu of a right click, with the desktop replaced by a recorder.

#include "FormMainFixture.h"

#include "support/PathShortening.h"
#include "support/PathText.h"

#include <QClipboard>
#include <QHeaderView>
#include <QMimeData>

#include <gmock/gmock.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::BoxAnswers;
using testing::Check;
using testing::CheckedModel;
using testing::DoubleClick;
using testing::FileGroupIn;
using testing::FormMainTest;
using testing::LockedDirs;
using testing::MakeWideTree;
using testing::ScanNow;
using testing::TempTree;
using testing::Text;

std::vector<std::string> Names(const std::vector<TFileSystemNode*>& nodes) {
    std::vector<std::string> names;
    for (const TFileSystemNode* n : nodes)
        names.push_back(n->Name());
    return names;
}

TEST(NodeTreeModel, PromptRowThenFinishedTreeWithTextsErrorRowsAndLazyFiles) {
    TNodeTreeModel model;
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_FALSE(Text(model, 0, 0).isEmpty());
    EXPECT_FALSE(model.hasChildren(model.index(0, 0)));

    TempTree tree;
    MakeWideTree(tree, 3, 0);
    tree.File("top1.txt", 5);
    tree.File("top2.txt", 7);
    tree.Dir("locked");
    auto fs = LockedDirs();
    auto root = ScanNow(tree.Path(), 4096, &fs);
    model.SetRoot(root.get());
    const QModelIndex rootIndex = model.index(0, 0);

    // The root's files were listed with its rows; their group holds the two small ones.
    const auto rows = model.PublishedRows(rootIndex);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](auto* a, auto* b) { return a->GetSize() > b->GetSize(); }));
    const auto group =
        std::find_if(rows.begin(), rows.end(), [](auto* n) { return n->GetNodeType() == ntFileGroup; });
    ASSERT_NE(group, rows.end());
    EXPECT_EQ(Text(model, static_cast<int>(group - rows.begin()), TNodeTreeModel::colFiles, rootIndex), "2");

    // An unreadable directory shows its error instead of sizes, and is reported once.
    model.Rebuild();
    const QModelIndex locked = model.IndexOf(FindNodeByPath(root.get(), tree / "locked"));
    ASSERT_TRUE(locked.isValid());
    EXPECT_EQ(locked.data(TNodeTreeModel::StaticTextRole).toString().toStdString(),
              SystemErrorMessage(EACCES));
    EXPECT_TRUE(locked.siblingAtColumn(TNodeTreeModel::colSize).data().toString().isEmpty());
    EXPECT_TRUE(model.TakeNewErrorRows().isEmpty()) << "it had its error when it was inserted";
    // An error that arrives once the row is shown is handed out at the next rebuild, once.
    TFileSystemNode* d1 = FindNodeByPath(root.get(), tree / "d1");
    d1->SetErrorCode(EIO);
    model.Rebuild();
    EXPECT_EQ(model.TakeNewErrorRows(), QModelIndexList{model.IndexOf(d1)});
    model.Rebuild();
    EXPECT_TRUE(model.TakeNewErrorRows().isEmpty());
    d1->SetErrorCode(0);

    // A directory's files appear on first fetch only.
    const QModelIndex big = model.index(0, 0, rootIndex);
    EXPECT_TRUE(model.hasChildren(big));
    EXPECT_EQ(model.rowCount(big), 0);
    model.fetchMore(big);
    EXPECT_EQ(Text(model, 0, 0, big), "huge.bin");
    EXPECT_EQ(model.parent(model.index(0, 0, big)), big);
}

TEST(NodeTreeModel, HeaderRuleSortsEveryLevelKeepingPersistentIndexesAndRemovedRowsGo) {
    TempTree tree;
    for (const char* dir : {"a", "b", "c"})
        tree.Dir(dir);
    for (const auto& [file, size] : {std::pair{"b/x", 300}, {"a/x", 100}, {"c/x", 50}, {"c/y", 150}})
        tree.File(file, size);
    auto root = ScanNow(tree.Path(), 0);
    CheckedModel model;
    model.SetRoot(root.get());
    const QModelIndex rootIndex = model.index(0, 0);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"b", "c", "a"}));
    const QPersistentModelIndex c(model.index(1, 0, rootIndex));
    model.fetchMore(c);
    EXPECT_EQ(Names(model.PublishedRows(c)), (std::vector<std::string>{"y", "x"})) << "sorted at once";

    const QPersistentModelIndex a(model.index(2, 0, rootIndex));
    model.sort(TNodeTreeModel::colName, Qt::AscendingOrder);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Names(model.PublishedRows(c)), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(a.row(), 0);
    model.sort(TNodeTreeModel::colSize, Qt::AscendingOrder);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(model.data(a).toString(), "a");
}

// A model under the tester in its view, the first rows of `root` expanded as a scan's end does.
struct ShownTree {
    explicit ShownTree(TRootNode* root = nullptr) {
        view.resize(700, 300);
        if (root != nullptr) {
            model.SetRoot(root);
            view.ExpandInitialRows();
        }
    }
    CheckedModel model;
    TNodeTreeView view{&model};
};

// The name cell of a spanned row reaches into the files column; the percentage bar has no cell.
bool RunsAcrossTheRow(const TNodeTreeView& view, const QModelIndex& index) {
    return view.visualRect(index).right() > view.header()->sectionViewportPosition(TNodeTreeModel::colFiles);
}

TEST(NodeTreeView, ThePromptAndErrorRowsRunAcrossTheEmptyCellsWheneverTheyAppear) {
    ShownTree shown;
    auto& [model, view] = shown;
    EXPECT_TRUE(RunsAcrossTheRow(view, model.index(0, 0))) << "the prompt";

    TempTree tree;
    for (const char* dir : {"locked", "outer", "outer/locked"})
        tree.Dir(dir);
    tree.File("outer/big", 5000);
    auto fs = LockedDirs();
    auto root = ScanNow(tree.Path(), 0, &fs);
    const auto row = [&](const std::string& relative) {
        return model.IndexOf(FindNodeByPath(root.get(), tree / relative));
    };
    model.SetRoot(root.get());
    view.ExpandInitialRows();
    EXPECT_TRUE(RunsAcrossTheRow(view, row("locked"))) << "published with the root";

    // The scan is over and no rebuild follows: the user opens "outer" with the keyboard.
    view.setCurrentIndex(row("outer"));
    QTest::keyClick(&view, Qt::Key_Right);
    ASSERT_TRUE(row("outer/locked").isValid());
    EXPECT_TRUE(RunsAcrossTheRow(view, row("outer/locked")));
    EXPECT_FALSE(RunsAcrossTheRow(view, row("outer/big")));

    // The span follows its row through a sort.
    view.header()->setSortIndicator(TNodeTreeModel::colName, Qt::AscendingOrder);
    view.RebuildTree();
    EXPECT_TRUE(RunsAcrossTheRow(view, row("outer/locked")));
    EXPECT_FALSE(RunsAcrossTheRow(view, row("outer/big")));
}

TEST(NodeTreeView, FoldersAStopLeftUnreadSaySo) {
    TempTree tree;
    for (const char* dir : {"a", "b", "c"}) {
        tree.Dir(dir);
        tree.File(std::string(dir) + "/f", 100);
    }
    tree.File("big", 5000);
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(tree.Path());
    // Stopped as it opens the first folder below the root: every folder stays unread.
    TDirScanner* scanning = nullptr;
    testing::HookedFileSystem fs([&scanning](const char* name) {
        if (std::strchr(name, '/') == nullptr)
            scanning->Stop();
        return 0;
    });
    TDirScanner scanner(root.get(), &fs);
    scanning = &scanner;
    scanner.Scan(tree.Path(), 0);

    ShownTree shown(root.get());
    for (const char* dir : {"a", "b", "c"}) {
        const QModelIndex row = shown.model.IndexOf(FindNodeByPath(root.get(), tree / dir));
        SCOPED_TRACE(dir);
        EXPECT_EQ(row.siblingAtColumn(TNodeTreeModel::colSize).data().toString(), QString());
        EXPECT_EQ(row.data(TNodeTreeModel::StaticTextRole).toString(), QStringLiteral("not scanned"));
        EXPECT_TRUE(RunsAcrossTheRow(shown.view, row));
    }
}

TEST(HardLinkRows, TheUncountedNameSaysWhereItsSizeWent) {
    TempTree tree;
    tree.Dir("a");
    tree.Dir("b");
    tree.File("a/f", 5000);
    tree.File("b/own", 10);
    Check(::link((tree / "a/f").c_str(), (tree / "b/g").c_str()) == 0, "link");
    TRootDirNode root;
    root.SetName(tree.Path());
    root.SetHardLinksOnce(true);
    TDirScanner(&root).Scan(tree.Path(), 0);

    TNodeTreeModel model;
    model.SetRoot(&root);
    for (const char* dir : {"a", "b"})
        model.fetchMore(model.Reveal(FindNodeByPath(&root, tree / dir)));
    QStringList tips;
    for (const char* name : {"a/f", "b/g", "b/own"}) {
        const QModelIndex row = model.IndexOf(FindNodeByPath(&root, tree / name));
        tips << row.data(Qt::ToolTipRole).toString() + " " +
                    row.siblingAtColumn(TNodeTreeModel::colFiles).data().toString();
    }
    // Which of the two names is counted is the scan's choice.
    EXPECT_THAT(tips,
                ::testing::AnyOf(::testing::ElementsAre("Hard link: counted at another name 0", " 1", " 1"),
                                 ::testing::ElementsAre(" 1", "Hard link: counted at another name 0", " 1")));
}

constexpr long long kBig = 2 << 20; // above the grouping threshold: the file gets its own row

class ItemOpen : public FormMainTest {
protected:
    ItemOpen() {
        // Shown (the platform is offscreen) and active, so that shortcuts reach it.
        form_.show();
        form_.activateWindow();
        form_.SetShellLauncher(recorder_.Launcher());
    }

    QModelIndex Select(const std::string& path) { return SelectOnly(form_, Node(form_, path)); }
    bool Enabled(const char* action) const { return form_.findChild<QAction*>(action)->isEnabled(); }

    TempTree data_;
    TFormMain form_{settings_};
    testing::LaunchRecorder recorder_;
};

TEST_F(ItemOpen, SystemFilesAskFirstAndOnlyYesLaunchesTheExactBytes) {
    data_.File("drv.SYS", kBig);
    data_.File("a.sysx", kBig);
    data_.File("n\xff\xe9.sys", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));

    // Only the last extension counts (a.sysx asks nothing); a name that is not UTF-8 opens by its bytes.
    BoxAnswers answers(QMessageBox::No);
    answers.next = {QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes};
    for (const char* name : {"drv.SYS", "drv.SYS", "a.sysx", "n\xff\xe9.sys"}) {
        Select(data_ / name);
        Trigger(form_, "ActShellOpenFile");
    }
    ASSERT_EQ(answers.texts.size(), 3u);
    EXPECT_EQ(answers.texts[0],
              "You are trying to open a system file (drv.SYS). Are you sure you want to continue?");
    EXPECT_EQ(answers.texts[2].rfind("You are trying to open a system file (n", 0), 0u);
    EXPECT_EQ(recorder_.opened,
              (std::vector<std::string>{data_ / "drv.SYS", data_ / "a.sysx", data_ / "n\xff\xe9.sys"}));

    // Device nodes and pipes carry the system attribute.
    settings_.SetGroupSmallFiles(false);
    ASSERT_EQ(::mkfifo((data_ / "pipe").c_str(), 0644), 0);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    Select(data_ / "pipe");
    Trigger(form_, "ActShellOpenFile");
    EXPECT_EQ(answers.texts.size(), 4u);
    EXPECT_EQ(recorder_.opened.size(), 3u);
}

TEST_F(ItemOpen, AFailedLaunchIsShownWithItsMessageAlone) {
    data_.File("report.odt", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    Select(data_ / "report.odt");
    recorder_.openResult = {false, 2, "No application is registered as handling this file"};
    Trigger(form_, "ActShellOpenFile");
    recorder_.exploreResult = {false, 0,
                               "No application other than Quorvex is registered to open this item."};
    Trigger(form_, "ActOpenInExplorer");
    EXPECT_EQ(errors_,
              (std::vector<std::string>{recorder_.openResult.Message, recorder_.exploreResult.Message}));
}

// Enter and a double click open a file row and nothing else; Ctrl+E shows a file selected, a directory
// opened and a file group's folder.
TEST_F(ItemOpen, EnterDoubleClickAndCtrlEReachTheDesktopForTheRightRows) {
    data_.Dir("sub");
    data_.File("sub/inner.bin", kBig);
    data_.File("sub/small1", 10);
    data_.File("sub/small2", 20);
    data_.File("movie.mkv", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    TNodeTreeView& view = *form_.TreeView();
    view.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));

    Select(data_ / "movie.mkv");
    QTest::keyClick(&view, Qt::Key_Return);
    DoubleClick(view.viewport(), view.visualRect(Select(data_ / "sub/inner.bin")).center());
    Select(data_ / "sub");
    QTest::keyClick(&view, Qt::Key_Return);
    DoubleClick(view.viewport(), view.visualRect(Select(data_ / "sub")).center());
    EXPECT_TRUE(recorder_.explored.empty());

    const TFileSystemNode* group = FileGroupIn(Dir(form_, data_ / "sub"));
    ASSERT_NE(group, nullptr);
    for (const TFileSystemNode* node : std::initializer_list<const TFileSystemNode*>{
             Node(form_, data_ / "sub/inner.bin"), Node(form_, data_ / "sub"), group}) {
        SelectOnly(form_, node);
        QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);
    }
    EXPECT_EQ(recorder_.explored,
              (std::vector<std::pair<std::string, bool>>{
                  {data_ / "sub/inner.bin", false}, {data_ / "sub", true}, {data_ / "sub", true}}));
    EXPECT_EQ(recorder_.opened, (std::vector<std::string>{data_ / "movie.mkv", data_ / "sub/inner.bin"}));
}

TEST_F(ItemOpen, TheActionsFollowTheFirstSelectedRowInTreeOrder) {
    data_.Dir("sub");
    data_.File("sub/x.bin", 4 * kBig);
    data_.File("large.bin", 3 * kBig);
    data_.File("small.bin", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    TNodeTreeView& view = *form_.TreeView();

    Select(data_ / "sub");
    EXPECT_FALSE(Enabled("ActShellOpenFile"));
    view.clearSelection();
    EXPECT_FALSE(Enabled("ActOpenInExplorer"));

    // Largest first: "large.bin" is shown above "small.bin" though it was selected after it, and "sub"
    // above both.
    const QModelIndex small = Select(data_ / "small.bin");
    const QModelIndex large = form_.TreeModel()->IndexOf(Node(form_, data_ / "large.bin"));
    ASSERT_LT(view.visualRect(large).top(), view.visualRect(small).top());
    view.selectionModel()->select(large, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Trigger(form_, "ActShellOpenFile");
    EXPECT_EQ(recorder_.opened, std::vector<std::string>{data_ / "large.bin"});
    // A directory shown above a selected file: there is nothing to open.
    view.selectionModel()->select(form_.TreeModel()->IndexOf(Node(form_, data_ / "sub")),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_FALSE(Enabled("ActShellOpenFile"));
}

TEST(ShortenPathToWidth, CutsLeadingDirectoriesOneAtATimeDownToTheNameAlone) {
    const auto bytes = [](const std::string& text) { return static_cast<int>(text.size()); };
    const std::tuple<std::string, int, std::string> cases[] = {
        {"/home/u/file.txt", 16, "/home/u/file.txt"},
        {"/a/b/c/name", 10, "/.../name"}, // the first cut, "/.../b/c/name", is longer still
        {"/a/b/c/name", 8, ".../name"},
        {"/dir/a-name-wider-than-the-limit", 5, "a-name-wider-than-the-limit"},
        {"/home/user/projects/", 14, "/.../projects/"}, // a file group's directory: no name
        {"/.\xC3\xA9"
         "a/b/x",
         8, "/.../x"}, // a leading "." part loses four characters, not bytes
    };
    for (const auto& [path, width, expected] : cases)
        EXPECT_EQ(ShortenPathToWidth(path, width, bytes), expected) << path << " in " << width;
    // Whatever the path looks like, the loop ends, with the name alone when nothing fits.
    const auto nothingFits = [](const std::string&) { return INT_MAX; };
    for (const std::string path : {"/", "////x", "/.../", "...", "/./././y", "/\xFF/\x80\x80/n"})
        EXPECT_EQ(ShortenPathToWidth(path, 0, nothingFits), path.substr(path.rfind('/') + 1)) << path;
}

// A shown window over a real scan: docs/ with one large file, and a directory too deep for the
// file-group caption, holding a large file and a group of small ones.
class ItemMenu : public FormMainTest {
protected:
    static constexpr const char* kDeep = "a fairly long directory name, the first/a second one \xC3\xA9/r&d";

    void SetUp() override {
        data_.Dir("docs");
        data_.File("docs/report.bin", 3 << 20);
        data_.Dir("caf\xe9"); // Latin-1, not UTF-8
        for (const std::string_view dir(kDeep); const auto end : {dir.find('/'), dir.rfind('/'), dir.npos})
            data_.Dir(std::string(dir.substr(0, end)));
        for (const auto& [name, size] : {std::pair{"/big.bin", 2 << 20}, {"/s1", 100}, {"/s2", 100}})
            data_.File(kDeep + std::string(name), size);
        form_.setAttribute(Qt::WA_DontShowOnScreen);
        form_.show();
        ASSERT_TRUE(Scan(form_, data_.Path()));
    }

    TFileSystemNode* Node(const std::string& relative) const {
        return FormMainTest::Node(form_, data_ / relative);
    }
    QMenu* RightClick(const TFileSystemNode* node) const { return FormMainTest::RightClick(form_, node); }
    static QAction* Entry(const QMenu& menu, const char* name) {
        return menu.findChild<QAction*>(QString::fromLatin1(name));
    }

    TempTree data_;
    TFormMain form_{settings_};
};

TEST_F(ItemMenu, DirectoriesAndFilesGetTheItemActionsAndCopyPathCopiesTheClickedOne) {
    QMenu* menu = RightClick(Node("docs"));
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(Entry(*menu, "ItemMenuOpen")->isEnabled()) << "a directory is not opened";
    EXPECT_TRUE(Entry(*menu, "ItemMenuRescan")->isEnabled());
    const bool deletable = form_.findChild<QAction*>("ActDelete")->isEnabled();
    EXPECT_EQ(Entry(*menu, "ItemMenuMoveToTrash")->isEnabled(), deletable);
    EXPECT_EQ(Entry(*menu, "ItemMenuDeletePermanently")->isEnabled(), deletable);
    QTest::keyClick(menu, Qt::Key_Escape);
    const QWidget& rows = *form_.TreeView()->viewport();
    QTest::mouseClick(form_.TreeView()->viewport(), Qt::RightButton, {},
                      {rows.width() / 2, rows.height() - 2});
    EXPECT_EQ(form_.ItemMenu(), nullptr) << "below the last row, no menu for the row focused before";

    const std::string file = kDeep + std::string("/big.bin");
    menu = RightClick(Node(file));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(Entry(*menu, "ItemMenuOpen")->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(Entry(*menu, "ItemMenuCopyPath")).center());
    EXPECT_EQ(form_.ItemMenu(), nullptr) << "choosing closes the menu";
    const QClipboard& clipboard = *QGuiApplication::clipboard();
    EXPECT_EQ(clipboard.text().toStdString(), data_ / file) << "the clicked row's path, '&' and all";

    // From the keyboard: Shift+F10 opens the menu of the current row.
    TNodeTreeView& view = *form_.TreeView();
    ASSERT_TRUE(view.SelectNode(Node("caf\xe9")));
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    menu = form_.ItemMenu();
    ASSERT_NE(menu, nullptr);
    // The text cannot hold the name's bytes; the file URL beside it does.
    Entry(*menu, "ItemMenuCopyPath")->trigger();
    const QMimeData* copied = clipboard.mimeData();
    ASSERT_TRUE(copied->hasFormat("text/uri-list"));
    const QByteArray uri = copied->data("text/uri-list");
    EXPECT_EQ(QByteArray::fromPercentEncoding(uri.mid(7).chopped(2)).toStdString(), data_ / "caf\xe9");
    QTest::keyClick(menu, Qt::Key_Escape);
}

TEST_F(ItemMenu, AFileGroupGetsTheShortMenuNamingItsDirectoryShortenedAndLocalDrivesNone) {
    const TFileSystemNode* group = FileGroupIn(static_cast<TGroupNode*>(Node(kDeep)));
    ASSERT_NE(group, nullptr);
    QMenu* menu = RightClick(group);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "PopupTree");
    // The directory, not the group's name, cut to fit; its "&" is shown rather than taken for a mnemonic.
    const QString caption = menu->actions().front()->text();
    EXPECT_TRUE(caption.startsWith("/.../") && caption.endsWith("/r&&d/")) << caption.toStdString();
    const QFontMetrics metrics(form_.font());
    ASSERT_GT(metrics.horizontalAdvance(DecodePath(data_ / kDeep)), 300) << "the fixture must need cutting";
    EXPECT_LE(metrics.horizontalAdvance(QString(caption).replace("&&", "&")), 300);
    QTest::keyClick(menu, Qt::Key_Escape);

    ASSERT_TRUE(Await(form_, [&] {
        form_.StartFixedDrivesScan();
        form_.StopScan();
    }));
    ASSERT_EQ(form_.RootNode()->GetNodeType(), ntFixedDrives);
    EXPECT_EQ(RightClick(form_.RootNode()), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

} // namespace
} // namespace quorvex
