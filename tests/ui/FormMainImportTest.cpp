// A scan opened from a file: the File menu's "Open scan...", its tree, its marks, and the disk actions
// it turns off.

#include "FormMainFixture.h"

#include "common/FileText.h"
#include "shell/InfoPanel.h"
#include "support/ShellLaunch.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolTip>

#include <gmock/gmock.h>

namespace quorvex {
namespace {

using testing::FormMainTest;
using ::testing::HasSubstr;
using testing::TempTree;

class FormMainImport : public FormMainTest {
protected:
    FormMainImport() {
        // The file names a folder that exists here, holding other files than the file says: what the
        // window shows must come from the file alone.
        data_.File("on-this-disk-only", 999999);
        data_.Dir("sub");
        testing::WriteAll(file_, "[1,2,{\"progname\":\"ncdu\"},[{\"name\":\"" + data_.Path() +
                                     "\",\"asize\":4096},"
                                     "{\"name\":\"big\",\"asize\":3000000,\"dsize\":3002368},"
                                     "{\"name\":\"s1\",\"asize\":10},{\"name\":\"s2\",\"asize\":20},"
                                     "[{\"name\":\"sub\"},{\"name\":\"inner\",\"asize\":2000000}]]]");
        form_.SetOpenScanDialog([this](QWidget*) { return std::optional(file_); });
        form_.SetShellLauncher({[this](const std::string& path) {
                                    launched_.push_back(path);
                                    return TLaunchResult{true, 0, {}};
                                },
                                [this](const std::string& path, bool) {
                                    launched_.push_back(path);
                                    return TLaunchResult{true, 0, {}};
                                }});
    }

    void Select(const TFileSystemNode* node) {
        form_.TreeView()->RefreshNode(node);
        const QModelIndex at = form_.TreeModel()->IndexOf(node);
        ASSERT_TRUE(at.isValid());
        form_.TreeView()->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                                    QItemSelectionModel::Rows);
    }
    QAction* Action(const char* name) const { return form_.findChild<QAction*>(name); }
    QMenu* Menu(int index) const { return form_.menuBar()->actions().at(index)->menu(); }

    // The tip the user sees resting the mouse on `at` in `widget`; empty when none shows.
    static std::string TipAt(QWidget* widget, QPoint at) {
        QToolTip::hideText();
        QHelpEvent hover(QEvent::ToolTip, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &hover);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    }
    static std::string TipAt(QMenu* menu, QAction* entry) {
        menu->popup(QPoint(0, 0));
        const std::string tip = TipAt(menu, menu->actionGeometry(entry).center());
        menu->hide();
        return tip;
    }
    QMenu* RightClick(const TFileSystemNode* node) {
        Select(node);
        const QRect row = form_.TreeView()->visualRect(form_.TreeModel()->IndexOf(node));
        QTest::mouseClick(form_.TreeView()->viewport(), Qt::RightButton, {}, row.center());
        return form_.ItemMenu();
    }

    TempTree data_;
    TempTree files_;
    std::string file_ = files_ / "server.json";
    TFormMain form_{settings_};
    std::vector<std::string> launched_;
};

TEST_F(FormMainImport, OpenScanShowsTheFilesTreeMarkedImportedWithTheDiskActionsOff) {
    QAction* open = Action("ActOpenScan");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    EXPECT_TRUE(form_.menuBar()->actions().at(0)->menu()->actions().contains(open));
    open->trigger();

    ASSERT_TRUE(form_.IsImportedScan());
    EXPECT_EQ(form_.windowTitle().toStdString(), "Quorvex - " + data_.Path() + " (imported)");
    const auto* mark = form_.findChild<QLabel*>(QStringLiteral("ImportedMark"));
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->isHidden());
    EXPECT_EQ(mark->text().toStdString(), "Imported from " + file_);
    EXPECT_TRUE(errors_.empty());

    const TRootNode* root = form_.RootNode();
    EXPECT_EQ(root->GetSize(), 5000030);
    EXPECT_EQ(root->GetFileCount(), 4);
    EXPECT_EQ(FindNodeByPath(root, data_ / "on-this-disk-only"), nullptr);
    // Sizes in the view are those of the file, in the user's size style; small files are grouped.
    const TFileSystemNode* inner = FindNodeByPath(root, data_ / "sub/inner");
    ASSERT_NE(inner, nullptr);
    Select(inner);
    EXPECT_EQ(form_.TreeModel()->IndexOf(inner, TNodeTreeModel::colSize).data().toString().toStdString(),
              form_.SizeFormatter()(2000000, LocaleDecimalSeparator()));
    EXPECT_NE(dynamic_cast<const TDirNode*>(root)->FileGroup(), nullptr);

    const TFileSystemNode* big = FindNodeByPath(root, data_ / "big");
    ASSERT_NE(big, nullptr);
    Select(big);
    for (const char* name :
         {"ActRefresh", "ActRefreshNode", "ActDelete", "ActShellOpenFile", "ActOpenInExplorer"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Action(name)->isEnabled());
        EXPECT_THAT(Action(name)->toolTip().toStdString(), HasSubstr("scan opened from a file"));
    }
    EXPECT_TRUE(Action("ActSaveScanResult")->isEnabled());
    // Enter on a file row, and the calls behind the actions, reach neither the desktop nor the disk.
    emit form_.TreeView()->activated(form_.TreeModel()->IndexOf(big));
    form_.DeleteSelection(true);
    form_.RescanNode(const_cast<TDirNode*>(dynamic_cast<const TDirNode*>(inner->Parent())));
    EXPECT_TRUE(launched_.empty());
    EXPECT_FALSE(form_.IsScanRunning());
    EXPECT_EQ(FindNodeByPath(form_.RootNode(), data_ / "big"), big);

    // A scan of this disk afterwards is an ordinary one again.
    ASSERT_TRUE(Scan(form_, data_.Path()));
    EXPECT_FALSE(form_.IsImportedScan());
    EXPECT_TRUE(mark->isHidden());
    EXPECT_TRUE(Action("ActRefresh")->isEnabled());
    EXPECT_THAT(Action("ActRefresh")->toolTip().toStdString(),
                ::testing::Not(HasSubstr("opened from a file")));
    EXPECT_EQ(Action("ActDelete")->toolTip().toStdString(),
              "Move the selected files and directories to the trash (Shift: delete them for good)");
}

TEST_F(FormMainImport, AFileOnTheCommandLineOpensAndABadOneIsReportedKeepingTheTree) {
    form_.ProcessCommandLine({file_});
    ASSERT_TRUE(form_.IsImportedScan());
    const TRootNode* shown = form_.RootNode();

    testing::WriteAll(file_, "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"x\",\"asize\":-5}]]");
    Action("ActOpenScan")->trigger();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_THAT(errors_[0],
                HasSubstr(file_ + ": not a readable scan file: \"asize\" is negative (at byte 45)"));
    EXPECT_EQ(form_.RootNode(), shown);
}

TEST_F(FormMainImport, TheDisabledEntriesSayWhyWhereverTheyAppearUntilARealScan) {
    form_.setAttribute(Qt::WA_DontShowOnScreen);
    form_.show();
    Action("ActOpenScan")->trigger();
    ASSERT_TRUE(form_.IsImportedScan());
    const std::string why = Action("ActDelete")->toolTip().toStdString();
    ASSERT_THAT(why, HasSubstr("scan opened from a file"));

    const std::pair<int, const char*> inMenus[] = {{0, "ActRefresh"},
                                                   {0, "ActRefreshNode"},
                                                   {1, "ActShellOpenFile"},
                                                   {1, "ActOpenInExplorer"},
                                                   {1, "ActDelete"}};
    for (const auto& [menu, name] : inMenus)
        EXPECT_EQ(TipAt(Menu(menu), Action(name)), why) << name;
    auto* toolbar = form_.findChild<QToolBar*>(QStringLiteral("MainToolbar"));
    for (const char* name : {"ActRefresh", "ActOpenInExplorer"}) {
        QWidget* button = toolbar->widgetForAction(Action(name));
        EXPECT_EQ(TipAt(button, button->rect().center()), why) << name;
    }
    const TFileSystemNode* big = FindNodeByPath(form_.RootNode(), data_ / "big");
    QMenu* items = RightClick(big);
    ASSERT_NE(items, nullptr);
    const char* const entries[] = {"ItemMenuOpen", "ItemMenuOpenInFileManager", "ItemMenuRescan",
                                   "ItemMenuMoveToTrash", "ItemMenuDeletePermanently"};
    for (const char* name : entries) {
        QAction* entry = items->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_FALSE(entry->isEnabled()) << name;
        EXPECT_EQ(TipAt(items, entry), why) << name;
    }

    // After a scan of this disk the entries are enabled and the menus show their captions alone.
    ASSERT_TRUE(Scan(form_, data_.Path()));
    for (const auto& [menu, name] : inMenus) {
        EXPECT_FALSE(Menu(menu)->toolTipsVisible()) << name;
        EXPECT_EQ(TipAt(Menu(menu), Action(name)), "") << name;
    }
    items = RightClick(FindNodeByPath(form_.RootNode(), data_ / "on-this-disk-only"));
    ASSERT_NE(items, nullptr);
    EXPECT_FALSE(items->toolTipsVisible());
    for (const char* name : entries) {
        QAction* entry = items->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_EQ(entry->toolTip(), QString(entry->text()).remove(QLatin1Char('&'))) << name;
    }
}

} // namespace
} // namespace quorvex
