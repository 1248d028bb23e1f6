#include "UiTestSupport.h"

#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace quorvex {
namespace {

using testing::CheckedModel;
using testing::LockedDirFileSystem;
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

bool SortedBySizeDescending(const std::vector<TFileSystemNode*>& rows) {
    return std::is_sorted(rows.begin(), rows.end(),
                          [](auto* a, auto* b) { return a->GetSize() > b->GetSize(); });
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
    EXPECT_TRUE(Text(model, 0, TNodeTreeModel::colSize).isEmpty());
    EXPECT_TRUE(model.index(0, 0).data(TNodeTreeModel::SpansRowRole).toBool());
    EXPECT_FALSE(model.hasChildren(model.index(0, 0)));

    TempTree tree;
    MakeWideTree(tree, 3, 0);
    tree.File("top1.txt", 5);
    tree.File("top2.txt", 7);
    tree.Dir("locked");
    LockedDirFileSystem fs;
    auto root = ScanNow(tree.Path(), 4096, &fs);
    model.SetRoot(root.get());
    const QModelIndex rootIndex = model.index(0, 0);

    // The root's files were listed with its rows; their group holds the two small ones.
    const auto rows = model.PublishedRows(rootIndex);
    ASSERT_EQ(model.rowCount(rootIndex), static_cast<int>(rows.size()));
    EXPECT_TRUE(SortedBySizeDescending(rows));
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
    EXPECT_TRUE(locked.data(TNodeTreeModel::SpansRowRole).toBool());
    EXPECT_FALSE(rootIndex.data(TNodeTreeModel::SpansRowRole).toBool());
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
    EXPECT_FALSE(model.canFetchMore(big));
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

// The view must only ever see counts it was told about while a scan thread appends children.
TEST(NodeTreeModel, ModelTesterPassesDuringALiveScan) {
    TempTree tree;
    MakeWideTree(tree, 12, 8);
    for (int i = 0; i < 6; ++i)
        tree.File("d0/small" + std::to_string(i), i + 1);
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(tree.Path());
    root->SetScanning(true); // as the window does before it starts a scan thread
    CheckedModel model;
    model.SetRoot(root.get());

    std::atomic<bool> done{false};
    std::thread worker([&] {
        TDirScanner(root.get()).Scan(tree.Path(), 64);
        done.store(true);
    });
    for (int rebuilds = 0; !done.load() || rebuilds < 3; ++rebuilds) {
        QCoreApplication::processEvents();
        model.Rebuild();
        // Expand whatever the root shows so far, as a user clicking around would.
        const QModelIndex rootIndex = model.index(0, 0);
        for (int r = 0; r < model.rowCount(rootIndex); ++r) {
            if (model.canFetchMore(model.index(r, 0, rootIndex)))
                model.fetchMore(model.index(r, 0, rootIndex));
        }
    }
    worker.join();
    QCoreApplication::processEvents();
    model.Rebuild();

    const auto rows = model.PublishedRows(model.index(0, 0));
    EXPECT_EQ(static_cast<int>(rows.size()), ChildCount(root.get()));
    EXPECT_TRUE(SortedBySizeDescending(rows));
    for (const TFileSystemNode* node : rows) {
        // Every fetched directory's rows match its finished child list.
        const auto* group = dynamic_cast<const TGroupNode*>(node);
        if (group != nullptr && !model.canFetchMore(model.IndexOf(group))) {
            EXPECT_EQ(model.rowCount(model.IndexOf(group)), ChildCount(group)) << group->Name();
        }
    }
}

} // namespace
} // namespace quorvex
