// The tree's model and view on real scans: prompt and error rows, lazily listed files, sorting,
// spanned rows and the names of a file counted once.

#include "FormMainFixture.h"

#include <QHeaderView>

#include <cstring>

namespace quorvex {
namespace {

using testing::Check;
using testing::CheckedModel;
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

bool Italic(const QModelIndex& index) {
    return index.data(Qt::FontRole).value<QFont>().italic();
}

TEST(NodeTreeModel, PromptRowThenFinishedTreeWithTextsErrorRowsAndLazyFiles) {
    TNodeTreeModel model;
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_FALSE(Text(model, 0, 0).isEmpty());
    EXPECT_TRUE(Italic(model.index(0, 0)));
    EXPECT_EQ(model.index(0, 0).data(Qt::ForegroundRole).value<QBrush>(),
              QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text));
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
    const int groupRow = static_cast<int>(group - rows.begin());
    EXPECT_TRUE(Italic(model.index(groupRow, 0, rootIndex)));
    EXPECT_EQ(Text(model, groupRow, TNodeTreeModel::colFiles, rootIndex), "2");

    // An unreadable directory shows its error in red italics instead of sizes, and is reported once.
    model.Rebuild();
    const QModelIndex locked = model.IndexOf(FindNodeByPath(root.get(), tree / "locked"));
    ASSERT_TRUE(locked.isValid());
    EXPECT_EQ(locked.data(TNodeTreeModel::StaticTextRole).toString().toStdString(),
              SystemErrorMessage(EACCES));
    EXPECT_TRUE(locked.data(TNodeTreeModel::StaticItalicRole).toBool());
    EXPECT_EQ(locked.data(TNodeTreeModel::StaticColorRole).value<QColor>(), QColor(Qt::red));
    EXPECT_TRUE(locked.siblingAtColumn(TNodeTreeModel::colSize).data().toString().isEmpty());
    EXPECT_TRUE(locked.siblingAtColumn(TNodeTreeModel::colFiles).data().toString().isEmpty());
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
    ASSERT_TRUE(model.canFetchMore(big));
    model.fetchMore(big);
    EXPECT_EQ(Text(model, 0, 0, big), "huge.bin");
    EXPECT_EQ(model.parent(model.index(0, 0, big)), big);
    EXPECT_TRUE(model.flags(model.index(0, 0, big)).testFlag(Qt::ItemNeverHasChildren));
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
    model.sort(TNodeTreeModel::colFiles, Qt::AscendingOrder); // a and b tie: their order stays
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "b", "c"}));
    model.sort(TNodeTreeModel::colSize, Qt::AscendingOrder);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(model.data(a).toString(), "a");

    model.RemoveNode(FindNodeByPath(root.get(), tree / "b"));
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(root->GetSize(), 300) << "the totals are recalculated";
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

bool Spanned(const TNodeTreeView& view, const QModelIndex& index) {
    return index.isValid() && view.isFirstColumnSpanned(index.row(), index.parent());
}

// The name cell of a spanned row reaches into the files column; the percentage bar has no cell.
bool RunsAcrossTheRow(const TNodeTreeView& view, const QModelIndex& index) {
    return view.visualRect(index).right() > view.header()->sectionViewportPosition(TNodeTreeModel::colFiles);
}

TEST(NodeTreeView, ThePromptAndErrorRowsRunAcrossTheEmptyCellsWheneverTheyAppear) {
    ShownTree shown;
    auto& [model, view] = shown;
    const QModelIndex prompt = model.index(0, 0);
    EXPECT_TRUE(Spanned(view, prompt));
    EXPECT_TRUE(RunsAcrossTheRow(view, prompt));

    TempTree tree;
    for (const char* dir : {"locked", "outer", "outer/locked", "plain"})
        tree.Dir(dir);
    tree.File("outer/big", 5000);
    tree.File("plain/x", 100);
    auto fs = LockedDirs();
    auto root = ScanNow(tree.Path(), 0, &fs);
    const auto row = [&](const std::string& relative) {
        return model.IndexOf(FindNodeByPath(root.get(), tree / relative));
    };
    model.SetRoot(root.get());
    view.ExpandInitialRows();
    EXPECT_TRUE(Spanned(view, row("locked"))) << "published with the root";
    EXPECT_FALSE(Spanned(view, row("plain")));

    // The scan is over and no rebuild follows: the user opens "outer" with the keyboard.
    view.setCurrentIndex(row("outer"));
    QTest::keyClick(&view, Qt::Key_Right);
    ASSERT_TRUE(view.isExpanded(row("outer")));
    ASSERT_TRUE(row("outer/locked").isValid());
    EXPECT_TRUE(Spanned(view, row("outer/locked")));
    EXPECT_TRUE(RunsAcrossTheRow(view, row("outer/locked")));
    EXPECT_FALSE(Spanned(view, row("outer/big")));
    EXPECT_FALSE(RunsAcrossTheRow(view, row("outer/big")));

    // The span follows its row through a sort, and into the flat list and back.
    view.header()->setSortIndicator(TNodeTreeModel::colName, Qt::AscendingOrder);
    view.RebuildTree();
    EXPECT_TRUE(Spanned(view, row("outer/locked")));
    EXPECT_FALSE(Spanned(view, row("outer/big")));
    TFileSystemNode* inner = FindNodeByPath(root.get(), tree / "outer/locked");
    view.ShowFlatList({root.get(), FindNodeByPath(root.get(), tree / "plain/x"), inner});
    EXPECT_TRUE(Spanned(view, model.IndexOf(inner)));
    EXPECT_FALSE(Spanned(view, model.IndexOf(root.get())));
    view.ShowFlatList({});
    EXPECT_TRUE(Spanned(view, row("locked")));
}

TEST(NodeTreeView, FoldersAStopLeftUnreadAndFoldersGoneSinceTheScanSayWhatTheyAre) {
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
        EXPECT_TRUE(Spanned(shown.view, row));
    }

    // A folder removed since the scan shows its error as soon as the view opens it.
    TRootDirNode scanned;
    scanned.SetName(tree.Path());
    TDirNode* gone = AddDirNode(&scanned, "gone", faDirectory);
    gone->SetFlag(nfEmpty, false);
    gone->SetFileCount(1);
    gone->SetSize(100);
    ShownTree later(&scanned);
    const QModelIndex d = later.model.IndexOf(gone);
    later.view.setCurrentIndex(d);
    QTest::keyClick(&later.view, Qt::Key_Right);
    EXPECT_NE(d.data(TNodeTreeModel::StaticTextRole).toString(), QString());
    EXPECT_TRUE(RunsAcrossTheRow(later.view, d));
}

TEST(NodeTreeView, ASizeIsShownWholeBesideTheScanningFrameOrWithoutIt) {
    TempTree tree;
    tree.File("big", 5000);
    auto root = ScanNow(tree.Path(), 0);
    ShownTree shown(root.get());
    auto& [model, view] = shown;
    const QModelIndex size = model.index(0, TNodeTreeModel::colSize);
    const auto cell = [&] {
        view.viewport()->repaint();
        return view.viewport()->grab(view.visualRect(size)).toImage();
    };
    const int textWidth = view.fontMetrics().horizontalAdvance(size.data().toString());
    view.header()->resizeSection(TNodeTreeModel::colSize, std::max(50, textWidth + 10));
    const QImage plain = cell();
    QPixmap red(16, 16);
    red.fill(Qt::red);
    model.SetIconSource(
        [&](const TFileSystemNode*, int column) { return column == 1 ? QIcon(red) : QIcon(); });
    EXPECT_EQ(cell(), plain) << "no room for both: the size alone, as it was";

    view.header()->resizeSection(TNodeTreeModel::colSize, textWidth + 60);
    EXPECT_TRUE(cell().pixelColor(10, view.visualRect(size).height() / 2) == QColor(Qt::red))
        << "room for both: the frame turns";

    // The flat list shows full paths, cut in the middle so that the names stay in view.
    view.ShowFlatList({root.get()});
    EXPECT_EQ(view.textElideMode(), Qt::ElideMiddle);
    view.ShowFlatList({});
    EXPECT_EQ(view.textElideMode(), Qt::ElideRight);
}

// The strip left of a row's name: tree lines and, when the view knows of children, the expand arrow.
QImage Branch(TNodeTreeView& view, const QModelIndex& index) {
    const QRect cell = view.visualRect(index);
    return view.viewport()->grab(QRect(0, cell.top(), cell.left(), cell.height())).toImage();
}

TEST(NodeTreeView, ARowShownBeforeItsNodeHadChildrenGetsItsArrowAtTheNextRebuild) {
    TempTree tree;
    tree.Dir("sub");
    tree.File("sub/f", 10);
    // "Local Drives" with a single drive: a one-row list, which no sort ever moves.
    TFixedDrivesNode drives({tree.Path()});
    TGroupNode* drive = nullptr;
    {
        TChildrenLock guard(&drives);
        drive = static_cast<TGroupNode*>(guard.Children().Items(0));
    }
    drive->SetScanning(true);
    ShownTree shown(&drives);
    auto& [model, view] = shown;
    const QModelIndex driveRow = model.index(0, 0, model.index(0, 0));
    ASSERT_EQ(model.NodeAt(driveRow), drive);
    const QImage childless = Branch(view, driveRow);

    TDirScanner(drive).Scan(tree.Path(), 0);
    drive->SetScanning(false);
    view.RebuildTree();
    const QImage rebuilt = Branch(view, driveRow);
    view.doItemsLayout(); // what a view laid out from scratch shows
    EXPECT_EQ(rebuilt, Branch(view, driveRow));
    EXPECT_NE(rebuilt, childless) << "the arrow is drawn";
}

TEST(HardLinkRows, TheUncountedNameIsGreyedAndSaysWhereItsSizeWent) {
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
    const QModelIndex top = model.index(0, 0);
    int uncounted = 0;
    for (int row = 0; row < model.rowCount(top); ++row) {
        const QModelIndex dir = model.index(row, 0, top);
        model.fetchMore(dir);
        for (int file = 0; file < model.rowCount(dir); ++file) {
            const QModelIndex name = model.index(file, 0, dir);
            const bool zero = name.data(TNodeTreeModel::SizeRole).toLongLong() == 0;
            SCOPED_TRACE(name.data().toString().toStdString());
            EXPECT_EQ(!name.data(Qt::ToolTipRole).toString().isEmpty(), zero);
            if (!zero)
                continue;
            ++uncounted;
            EXPECT_EQ(name.data(Qt::ToolTipRole).toString(), "Hard link: counted at another name");
            EXPECT_EQ(name.data(Qt::ForegroundRole).value<QBrush>(),
                      QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text));
            EXPECT_EQ(Text(model, file, TNodeTreeModel::colFiles, dir), "0");
        }
    }
    EXPECT_EQ(uncounted, 1);
}

} // namespace
} // namespace quorvex
