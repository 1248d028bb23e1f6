#include "UiTestSupport.h"

#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QFont>
#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace quorvex {
namespace {

using testing::MakeWideTree;
using testing::ModelTesterWarnings;
using testing::TempTree;
using testing::Text;

std::unique_ptr<TRootDirNode> ScanNow(const std::string& path, std::int64_t threshold,
                                      TFileSystemApi* fs = nullptr) {
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(path);
    TDirScanner scanner(root.get(), fs);
    scanner.Scan(path, threshold);
    return root;
}

std::vector<std::string> Names(const std::vector<TFileSystemNode*>& nodes) {
    std::vector<std::string> names;
    for (const TFileSystemNode* n : nodes)
        names.push_back(n->Name());
    return names;
}

TEST(NodeTreeModel, PromptRowBeforeAnyScan) {
    TNodeTreeModel model;
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex prompt = model.index(0, 0);
    EXPECT_FALSE(model.data(prompt).toString().isEmpty());
    EXPECT_TRUE(model.data(prompt, Qt::FontRole).value<QFont>().italic());
    EXPECT_TRUE(Text(model, 0, TNodeTreeModel::colSize).isEmpty());
    EXPECT_TRUE(Text(model, 0, TNodeTreeModel::colFiles).isEmpty());
    EXPECT_FALSE(model.data(prompt, TNodeTreeModel::SizeRole).isValid());
    EXPECT_FALSE(model.hasChildren(prompt));
}

TEST(NodeTreeModel, FinishedTreeSortedBySizeWithTextsAndLazyFiles) {
    TempTree tree;
    MakeWideTree(tree, 3, 0);
    tree.File("top1.txt", 5);
    tree.File("top2.txt", 7);
    auto root = ScanNow(tree.Path(), 4096);
    TNodeTreeModel model;
    model.SetRoot(root.get());

    const QModelIndex rootIndex = model.index(0, 0);
    EXPECT_EQ(model.data(rootIndex).toString().toStdString(), tree.Path());
    EXPECT_EQ(Text(model, 0, TNodeTreeModel::colSize).toStdString(),
              FormatSizeTruncated(root->GetSize(), LocaleDecimalSeparator()));
    EXPECT_EQ(model.parent(rootIndex), QModelIndex());

    // Root files were listed when the root's rows were published; the group holds the two small ones.
    const auto rows = model.PublishedRows(rootIndex);
    ASSERT_EQ(model.rowCount(rootIndex), static_cast<int>(rows.size()));
    EXPECT_EQ(rows.front()->Name(), "big");
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i - 1]->GetSize(), rows[i]->GetSize()) << "row " << i;

    int groupRow = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QModelIndex child = model.index(static_cast<int>(i), 0, rootIndex);
        EXPECT_EQ(model.parent(child), rootIndex);
        if (rows[i]->GetNodeType() == ntFileGroup)
            groupRow = static_cast<int>(i);
    }
    ASSERT_GE(groupRow, 0);
    const QModelIndex group = model.index(groupRow, 0, rootIndex);
    EXPECT_TRUE(model.data(group, Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(Text(model, groupRow, TNodeTreeModel::colFiles, rootIndex), "2");

    // A directory's files appear on first fetch only.
    const QModelIndex big = model.index(0, 0, rootIndex);
    EXPECT_TRUE(model.hasChildren(big));
    EXPECT_EQ(model.rowCount(big), 0);
    ASSERT_TRUE(model.canFetchMore(big));
    model.fetchMore(big);
    EXPECT_FALSE(model.canFetchMore(big));
    const auto bigRows = model.PublishedRows(big);
    ASSERT_FALSE(bigRows.empty());
    EXPECT_EQ(bigRows.front()->Name(), "huge.bin");
    const QModelIndex huge = model.index(0, 0, big);
    EXPECT_EQ(model.parent(huge), big);
    EXPECT_FALSE(model.hasChildren(huge));
    EXPECT_TRUE(model.flags(huge).testFlag(Qt::ItemNeverHasChildren));
}

TEST(NodeTreeModel, HeaderRuleSortsByNameAndSizeKeepingPersistentIndexes) {
    TempTree tree;
    tree.Dir("b");
    tree.File("b/x", 300);
    tree.Dir("a");
    tree.File("a/x", 100);
    tree.Dir("c");
    tree.File("c/x", 200);
    auto root = ScanNow(tree.Path(), 0);
    TNodeTreeModel model;
    model.SetRoot(root.get());
    const QModelIndex rootIndex = model.index(0, 0);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"b", "c", "a"}));

    const QPersistentModelIndex a(model.index(2, 0, rootIndex));
    model.sort(TNodeTreeModel::colName, Qt::AscendingOrder);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(a.row(), 0);
    EXPECT_EQ(model.data(a).toString(), "a");

    model.sort(TNodeTreeModel::colFiles, Qt::AscendingOrder); // one file each: the order stays
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "b", "c"}));
    model.sort(TNodeTreeModel::colSize, Qt::AscendingOrder);
    EXPECT_EQ(Names(model.PublishedRows(rootIndex)), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(model.data(a).toString(), "a");
}

TEST(NodeTreeModel, ExpandingARowShowsItsChildrenSortedAtOnce) {
    TempTree tree;
    tree.Dir("p");
    tree.File("p/x", 100);
    tree.File("p/y", 300);
    tree.File("p/z", 200);
    auto root = ScanNow(tree.Path(), 0);
    TNodeTreeModel model;
    model.SetRoot(root.get());
    const QModelIndex p = model.index(0, 0, model.index(0, 0));
    model.fetchMore(p);
    EXPECT_EQ(Names(model.PublishedRows(p)), (std::vector<std::string>{"y", "z", "x"}));
}

// Fails to open one directory, as an unreadable one would for an ordinary user.
class LockedDirFileSystem : public TFileSystemApi {
public:
    int OpenDirectory(int parentFd, const char* name) override {
        if (std::strcmp(name, "locked") == 0)
            return -EACCES;
        return TFileSystemApi::OpenDirectory(parentFd, name);
    }
};

TEST(NodeTreeModel, UnreadableDirectoryShowsErrorTextAndEmptyColumns) {
    TempTree tree;
    tree.Dir("locked");
    tree.Dir("fine");
    tree.File("fine/x", 10);
    LockedDirFileSystem fs;
    auto root = ScanNow(tree.Path(), 0, &fs);
    TNodeTreeModel model;
    model.SetRoot(root.get());
    model.Rebuild();
    const QModelIndex rootIndex = model.index(0, 0);
    const auto rows = model.PublishedRows(rootIndex);
    const auto it = std::find_if(rows.begin(), rows.end(), [](auto* n) { return n->Name() == "locked"; });
    ASSERT_NE(it, rows.end());
    const int row = static_cast<int>(it - rows.begin());
    const QModelIndex locked = model.index(row, 0, rootIndex);
    EXPECT_EQ(model.data(locked, TNodeTreeModel::StaticTextRole).toString().toStdString(),
              SystemErrorMessage(EACCES));
    EXPECT_TRUE(model.data(locked, TNodeTreeModel::StaticItalicRole).toBool());
    EXPECT_EQ(model.data(locked, TNodeTreeModel::StaticColorRole).value<QColor>(), QColor(Qt::red));
    EXPECT_TRUE(Text(model, row, TNodeTreeModel::colSize, rootIndex).isEmpty());
    EXPECT_TRUE(Text(model, row, TNodeTreeModel::colFiles, rootIndex).isEmpty());

    const QModelIndexList errors = model.TakeNewErrorRows();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.front(), locked);
    model.Rebuild();
    EXPECT_TRUE(model.TakeNewErrorRows().isEmpty()) << "an error row is handed out once";
}

TEST(NodeTreeModel, ForgetChildrenBeforeARescanDropsTheRows) {
    TempTree tree;
    MakeWideTree(tree, 2, 3);
    auto root = ScanNow(tree.Path(), 0);
    TNodeTreeModel model;
    ModelTesterWarnings warnings;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetRoot(root.get());
    auto* d0 = static_cast<TDirNode*>(FindNodeByPath(root.get(), tree / "d0"));
    ASSERT_NE(d0, nullptr);
    const QModelIndex d0Index = model.IndexOf(d0);
    ASSERT_TRUE(d0Index.isValid());
    model.fetchMore(d0Index);
    ASSERT_GT(model.rowCount(d0Index), 0);

    model.ForgetChildren(d0);
    EXPECT_EQ(model.rowCount(d0Index), 0);
    d0->Clear();
    TDirScanner scanner(d0);
    scanner.Scan(tree / "d0", 0);
    model.Rebuild();
    EXPECT_EQ(model.rowCount(d0Index), ChildCount(d0));
    EXPECT_EQ(model.parent(model.index(0, 0, d0Index)), d0Index);
    EXPECT_EQ(model.IndexOf(d0), d0Index);
    EXPECT_EQ(warnings.Value(), 0);
}

TEST(NodeTreeModel, RemoveNodeTakesItsRowAndRecalculates) {
    TempTree tree;
    MakeWideTree(tree, 2, 0);
    auto root = ScanNow(tree.Path(), 0);
    TNodeTreeModel model;
    ModelTesterWarnings warnings;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetRoot(root.get());
    const QModelIndex rootIndex = model.index(0, 0);
    const int before = model.rowCount(rootIndex);
    TFileSystemNode* big = FindNodeByPath(root.get(), tree / "big");
    const std::int64_t bigSize = big->GetSize();
    const std::int64_t rootSize = root->GetSize();
    model.RemoveNode(big);
    EXPECT_EQ(model.rowCount(rootIndex), before - 1);
    EXPECT_EQ(root->GetSize(), rootSize - bigSize);
    EXPECT_EQ(warnings.Value(), 0);
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
    TNodeTreeModel model;
    ModelTesterWarnings warnings;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetRoot(root.get());

    std::atomic<bool> done{false};
    std::thread worker([&] {
        TDirScanner scanner(root.get());
        scanner.Scan(tree.Path(), 64);
        done.store(true);
    });
    int rebuilds = 0;
    while (!done.load() || rebuilds < 3) {
        QCoreApplication::processEvents();
        model.Rebuild();
        ++rebuilds;
        // Expand whatever the root shows so far, as a user clicking around would.
        const QModelIndex rootIndex = model.index(0, 0);
        for (int r = 0; r < model.rowCount(rootIndex); ++r) {
            const QModelIndex child = model.index(r, 0, rootIndex);
            if (model.canFetchMore(child))
                model.fetchMore(child);
        }
    }
    worker.join();
    QCoreApplication::processEvents();
    model.Rebuild();

    EXPECT_EQ(warnings.Value(), 0);
    const QModelIndex rootIndex = model.index(0, 0);
    const auto rows = model.PublishedRows(rootIndex);
    EXPECT_EQ(static_cast<int>(rows.size()), ChildCount(root.get()));
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_GE(rows[i - 1]->GetSize(), rows[i]->GetSize());
    // Every directory's published rows match its finished child list.
    for (const TFileSystemNode* node : rows) {
        const auto* group = dynamic_cast<const TGroupNode*>(node);
        const QModelIndex at = model.IndexOf(node);
        if (group != nullptr && !model.canFetchMore(at)) {
            EXPECT_EQ(model.rowCount(at), ChildCount(group)) << node->Name();
        }
    }
}

} // namespace
} // namespace quorvex
