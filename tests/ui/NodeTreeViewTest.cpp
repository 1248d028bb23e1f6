#include "UiTestSupport.h"

#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "ui/NodeTreeView.h"

#include <QHeaderView>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace quorvex {
namespace {

using testing::CheckedModel;
using testing::LockedDirFileSystem;
using testing::ScanNow;
using testing::TempTree;

bool Spanned(const TNodeTreeView& view, const QModelIndex& index) {
    return index.isValid() && view.isFirstColumnSpanned(index.row(), index.parent());
}

// The name cell of a spanned row reaches into the files column; the percentage bar has no cell.
bool RunsAcrossTheRow(const TNodeTreeView& view, const QModelIndex& index) {
    return view.visualRect(index).right() > view.header()->sectionViewportPosition(TNodeTreeModel::colFiles);
}

TEST(NodeTreeView, ThePromptAndErrorRowsRunAcrossTheEmptyCellsWheneverTheyAppear) {
    CheckedModel model;
    TNodeTreeView view(&model);
    view.resize(700, 300);
    const QModelIndex prompt = model.index(0, 0);
    EXPECT_TRUE(Spanned(view, prompt));
    EXPECT_TRUE(RunsAcrossTheRow(view, prompt));

    TempTree tree;
    tree.Dir("locked");
    tree.Dir("outer");
    tree.Dir("outer/locked");
    tree.File("outer/big", 5000);
    tree.Dir("plain");
    tree.File("plain/x", 100);
    LockedDirFileSystem fs;
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

// Stops the walk as it opens the first folder below the root: every folder stays unread.
class StopAtFirstFolder : public TFileSystemApi {
public:
    int OpenDirectory(int parentFd, const char* name) override {
        if (scanner != nullptr && std::strchr(name, '/') == nullptr)
            scanner->Stop();
        return TFileSystemApi::OpenDirectory(parentFd, name);
    }
    TDirScanner* scanner = nullptr;
};

TEST(NodeTreeView, FoldersAStopLeftUnreadAndFoldersGoneSinceTheScanSayWhatTheyAre) {
    TempTree tree;
    for (const char* dir : {"a", "b", "c"}) {
        tree.Dir(dir);
        tree.File(std::string(dir) + "/f", 100);
    }
    tree.File("big", 5000);
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(tree.Path());
    StopAtFirstFolder fs;
    TDirScanner scanner(root.get(), &fs);
    fs.scanner = &scanner;
    scanner.Scan(tree.Path(), 0);

    CheckedModel model;
    TNodeTreeView view(&model);
    view.resize(700, 300);
    model.SetRoot(root.get());
    view.ExpandInitialRows();
    for (const char* dir : {"a", "b", "c"}) {
        const QModelIndex row = model.IndexOf(FindNodeByPath(root.get(), tree / dir));
        SCOPED_TRACE(dir);
        EXPECT_EQ(row.siblingAtColumn(TNodeTreeModel::colSize).data().toString(), QString());
        EXPECT_EQ(row.siblingAtColumn(TNodeTreeModel::colFiles).data().toString(), QString());
        EXPECT_EQ(row.data(TNodeTreeModel::StaticTextRole).toString(), QStringLiteral("not scanned"));
        EXPECT_TRUE(Spanned(view, row));
    }

    // A folder removed since the scan shows its error as soon as the view opens it.
    TRootDirNode scanned;
    scanned.SetName(tree.Path());
    TDirNode* gone = AddDirNode(&scanned, "gone", faDirectory);
    gone->SetFlag(nfEmpty, false);
    gone->SetFileCount(1);
    gone->SetSize(100);
    CheckedModel model2;
    TNodeTreeView view2(&model2);
    view2.resize(700, 300);
    model2.SetRoot(&scanned);
    view2.ExpandInitialRows();
    const QModelIndex d = model2.IndexOf(gone);
    view2.setCurrentIndex(d);
    QTest::keyClick(&view2, Qt::Key_Right);
    EXPECT_NE(d.data(TNodeTreeModel::StaticTextRole).toString(), QString());
    EXPECT_TRUE(Spanned(view2, d));
    EXPECT_TRUE(RunsAcrossTheRow(view2, d));
}

TEST(NodeTreeView, ASizeIsShownWholeBesideTheScanningFrameOrWithoutIt) {
    TempTree tree;
    tree.File("big", 5000);
    auto root = ScanNow(tree.Path(), 0);
    CheckedModel model;
    TNodeTreeView view(&model);
    view.resize(700, 300);
    model.SetRoot(root.get());
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
    CheckedModel model;
    TNodeTreeView view(&model);
    view.resize(500, 200);
    model.SetRoot(&drives);
    view.ExpandInitialRows();
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

} // namespace
} // namespace quorvex
