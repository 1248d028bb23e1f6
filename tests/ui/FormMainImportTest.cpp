// A scan opened from a file: the File menu's "Open scan...", its tree, its marks, and the disk actions
// it turns off.

#include "FormMainFixture.h"

#include "common/FileText.h"
#include "shell/InfoPanel.h"
#include "support/ShellLaunch.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QLabel>
#include <QMenuBar>

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
        form_.SetShellLauncher(launched_.Launcher());
    }

    QAction* Action(const char* name) const { return form_.findChild<QAction*>(name); }

    TempTree data_;
    TempTree files_;
    std::string file_ = files_ / "server.json";
    TFormMain form_{settings_};
    testing::LaunchRecorder launched_;
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
    SelectOnly(form_, inner);
    EXPECT_EQ(form_.TreeModel()->IndexOf(inner, TNodeTreeModel::colSize).data().toString().toStdString(),
              form_.SizeFormatter()(2000000, LocaleDecimalSeparator()));
    EXPECT_NE(dynamic_cast<const TDirNode*>(root)->FileGroup(), nullptr);

    const TFileSystemNode* big = FindNodeByPath(root, data_ / "big");
    ASSERT_NE(big, nullptr);
    SelectOnly(form_, big);
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
    EXPECT_TRUE(launched_.opened.empty() && launched_.explored.empty());
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

} // namespace
} // namespace quorvex
