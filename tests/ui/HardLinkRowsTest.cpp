// The listed names of a file counted once, as the tree view shows them.

#include "UiTestSupport.h"

#include "model/FileSystemNode.h"
#include "scan/DirScanner.h"
#include "ui/NodeTreeModel.h"

#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <unistd.h>

namespace quorvex {
namespace {

using testing::TempTree;
using testing::Text;

TEST(HardLinkRows, TheUncountedNameIsGreyedAndSaysWhereItsSizeWent) {
    TempTree tree;
    tree.Dir("a");
    tree.Dir("b");
    tree.File("a/f", 5000);
    tree.File("b/own", 10);
    testing::Check(::link((tree / "a/f").c_str(), (tree / "b/g").c_str()) == 0, "link");
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
