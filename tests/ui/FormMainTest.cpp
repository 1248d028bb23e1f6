#include "UiTestSupport.h"

#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "settings/QxSettings.h"
#include "shell/Favourites.h"
#include "shell/InfoPanel.h"
#include "support/ErrorDialogs.h"
#include "support/Utilities.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvex {
namespace {

using testing::MakeWideTree;
using testing::TempTree;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ScreenSection() {
    const QSize size = QGuiApplication::primaryScreen()->size();
    return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHandler_ =
            SetErrorDialogHandler([this](const std::string& text) { errors_.push_back(text); });
    }
    void TearDown() override { SetErrorDialogHandler(previousHandler_); }

    std::string IniPath() const { return config_ / "Quorvex.ini"; }

    // The window is never shown: the view lays out and paints on demand all the same.

    // Waits until `count` scans have ended in `form` (counted from the spy's creation).
    static bool WaitForScans(QSignalSpy& spy, int count) {
        while (spy.count() < count) {
            if (!spy.wait(30000))
                return false;
        }
        return true;
    }

    QModelIndex RootRow(const TFormMain& form) const { return form.TreeModel()->index(0, 0); }

    QModelIndex RowNamed(const TFormMain& form, const QModelIndex& parent, const QString& name) const {
        const TNodeTreeModel* model = form.TreeModel();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            if (model->data(model->index(row, 0, parent)).toString() == name)
                return model->index(row, 0, parent);
        }
        return {};
    }

    TempTree config_;
    std::vector<std::string> errors_;
    ErrorDialogHandler previousHandler_;
};

TEST_F(FormMainTest, ScanThroughTheWindowShowsSortedRowsAndSavesTheIni) {
    TempTree data;
    MakeWideTree(data, 6, 3);
    {
        TSettings settings(IniPath());
        TFormMain form(settings);
        EXPECT_EQ(form.TreeModel()->rowCount(), 1) << "the prompt row";
        QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
        form.StartDirScan(data.Path());
        EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + data.Path());
        ASSERT_TRUE(WaitForScans(finished, 1));

        const TNodeTreeModel& model = *form.TreeModel();
        const QModelIndex root = RootRow(form);
        EXPECT_EQ(model.data(root).toString().toStdString(), data.Path());
        EXPECT_TRUE(form.TreeView()->isExpanded(root));
        ASSERT_EQ(model.rowCount(root), 7) << "big and d0..d5; the root has no files of its own";
        EXPECT_EQ(model.data(model.index(0, 0, root)).toString(), "big");
        for (int row = 1; row < model.rowCount(root); ++row) {
            const auto* a = model.NodeAt(model.index(row - 1, 0, root));
            const auto* b = model.NodeAt(model.index(row, 0, root));
            EXPECT_GE(a->GetSize(), b->GetSize());
        }
        // The list uses the size style the settings chose (2: truncating).
        const TFileSystemNode* big = model.NodeAt(model.index(0, 0, root));
        EXPECT_EQ(model.data(model.index(0, TNodeTreeModel::colSize, root)).toString().toStdString(),
                  FormatSizeTruncated(big->GetSize()));
        EXPECT_EQ(model.data(model.index(0, TNodeTreeModel::colFiles, root)).toString(), "3");
        EXPECT_TRUE(form.StatusText(1).contains("sec.")) << form.StatusText(1).toStdString();
        EXPECT_TRUE(form.findChild<QAction*>("ActSaveScanResult")->isEnabled());
        EXPECT_FALSE(form.findChild<QAction*>("ActStopScan")->isEnabled());

        // Selecting a row shows its path and exact size.
        form.TreeView()->setCurrentIndex(model.index(0, 0, root));
        EXPECT_EQ(form.StatusText(0).toStdString(), data / "big");
        EXPECT_TRUE(form.StatusText(1).endsWith("Bytes"));

        // The percentage column is drawn by the bar painters: the root row's cell is not blank. Painted
        // into an image of our own; showing or grabbing the window would convert large images on Qt's
        // worker pool, which the thread sanitizer cannot see into.
        QImage cell(200, 20, QImage::Format_ARGB32_Premultiplied);
        cell.fill(Qt::white);
        {
            QPainter painter(&cell);
            QStyleOptionViewItem option;
            option.rect = cell.rect();
            option.widget = form.TreeView();
            form.TreeView()->itemDelegate()->paint(&painter, option,
                                                   model.index(0, TNodeTreeModel::colPercent));
        }
        int coloured = 0;
        for (int x = 0; x < cell.width(); ++x)
            coloured += cell.pixelColor(x, 10) != QColor(Qt::white) ? 1 : 0;
        EXPECT_GT(coloured, cell.width() / 2);

        form.TreeView()->header()->setSortIndicator(TNodeTreeModel::colName, Qt::AscendingOrder);
        form.close();
    }
    const std::string ini = ReadFile(IniPath());
    EXPECT_NE(ini.find("[" + ScreenSection() + "]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Position="), std::string::npos);
    EXPECT_NE(ini.find("ColWidthsTreeView="), std::string::npos);
    EXPECT_NE(ini.find("SortColumn=0"), std::string::npos);
    EXPECT_NE(ini.find("SortDirection=0"), std::string::npos);
    EXPECT_NE(ini.find("DirViewStyle=0"), std::string::npos);
    EXPECT_NE(ini.find("MRUDirList=" + data.Path()), std::string::npos);
    EXPECT_NE(ini.find("GroupFileSize="), std::string::npos) << "the settings are saved too";

    // The next window starts with the stored sort.
    TSettings again(IniPath());
    TFormMain form(again);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorSection(), TNodeTreeModel::colName);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ASSERT_FALSE(form.Favourites()->Items().empty());
    EXPECT_EQ(form.Favourites()->Items().front(), data.Path());
}

TEST_F(FormMainTest, ANewDirectoryDuringAScanStartsOnlyAfterTheRunningOneEnded) {
    TempTree first;
    MakeWideTree(first, 60, 30);
    TempTree second;
    MakeWideTree(second, 2, 1);
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(first.Path());
    form.StartDirScan(second.Path());
    EXPECT_EQ(form.PendingScanPath(), second.Path());
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + first.Path()) << "caption changes only later";
    ASSERT_TRUE(WaitForScans(finished, 2));
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + second.Path());
    ASSERT_NE(form.RootNode(), nullptr);
    EXPECT_EQ(form.RootNode()->Name(), second.Path());
    EXPECT_TRUE(form.PendingScanPath().empty());
    EXPECT_FALSE(form.IsScanRunning());
}

TEST_F(FormMainTest, StopKeepsPartialTotalsAndShowsTheElapsedTime) {
    TempTree data;
    MakeWideTree(data, 80, 40);
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    form.StopScan();
    ASSERT_TRUE(WaitForScans(finished, 1));
    EXPECT_TRUE(form.StatusText(1).contains("sec."));
    ASSERT_NE(form.RootNode(), nullptr);
    EXPECT_FALSE(form.RootNode()->IsScanning());
    EXPECT_GE(form.RootNode()->GetSize(), 0);
    // Repeating the scan (F5) scans the same path to the end.
    QSignalSpy again(&form, &TFormMain::ScanFinishedSignal);
    form.findChild<QAction*>("ActRefresh")->trigger();
    ASSERT_TRUE(WaitForScans(again, 1));
    EXPECT_EQ(form.RootNode()->Name(), data.Path());
    EXPECT_FALSE(form.RootNode()->HasFlag(nfIncomplete));
    EXPECT_EQ(form.RootNode()->GetFileCount(), 3 + 80 + 80 * 40);
}

TEST_F(FormMainTest, ExpansionSelectionAndFocusSurviveRebuildsAndRescans) {
    TempTree data;
    MakeWideTree(data, 4, 3);
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(WaitForScans(finished, 1));

    TNodeTreeView& view = *form.TreeView();
    const QPersistentModelIndex d3 = RowNamed(form, RootRow(form), "d3");
    const QPersistentModelIndex d1 = RowNamed(form, RootRow(form), "d1");
    ASSERT_TRUE(d3.isValid());
    view.expand(d3);
    view.setCurrentIndex(d3);
    view.selectionModel()->select(d1, QItemSelectionModel::Select | QItemSelectionModel::Rows);

    for (int i = 0; i < 3; ++i)
        form.RebuildTree();
    QSignalSpy rescanned(&form, &TFormMain::ScanFinishedSignal);
    auto* d0 = dynamic_cast<TDirNode*>(FindNodeByPath(form.RootNode(), data / "d0"));
    ASSERT_NE(d0, nullptr);
    form.RescanNode(d0);
    ASSERT_TRUE(WaitForScans(rescanned, 1));

    EXPECT_TRUE(view.isExpanded(d3));
    EXPECT_EQ(view.FocusedNode()->Name(), "d3");
    std::vector<std::string> selected;
    for (const TFileSystemNode* node : view.SelectedNodes())
        selected.push_back(node->Name());
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"d1", "d3"}));
    EXPECT_EQ(d0->GetFileCount(), 1 + 3);
    EXPECT_EQ(form.RootNode()->GetFileCount(), 3 + 4 * 4) << "ancestors recalculated after the rescan";
}

TEST_F(FormMainTest, RescanningAnAncestorStopsTheInnerRescanFirst) {
    TempTree data;
    MakeWideTree(data, 2, 1);
    for (int i = 0; i < 400; ++i)
        data.Dir("d0/s0/x" + std::to_string(i));
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(WaitForScans(finished, 1));
    auto* d0 = dynamic_cast<TDirNode*>(FindNodeByPath(form.RootNode(), data / "d0"));
    auto* s0 = dynamic_cast<TDirNode*>(FindNodeByPath(form.RootNode(), data / "d0/s0"));
    ASSERT_NE(s0, nullptr);
    QSignalSpy rescans(&form, &TFormMain::ScanFinishedSignal);
    form.RescanNode(s0);
    form.RescanNode(d0); // destroys s0 while its thread may still be finishing
    ASSERT_TRUE(WaitForScans(rescans, 1));
    while (form.IsScanRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(d0->GetFileCount(), 1 + 1);
    EXPECT_EQ(ChildCount(d0), 1);
}

TEST_F(FormMainTest, SaveActionExportsThroughTheBypassedDialogAndRemembersItsChoice) {
    TempTree data;
    MakeWideTree(data, 2, 1);
    TempTree out;
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(WaitForScans(finished, 1));

    TSaveFileRequest seen;
    form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest& request) -> std::optional<TSaveFileChoice> {
        seen = request;
        return TSaveFileChoice{out / "result.txt", 2};
    });
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_EQ(seen.FilterIndex, 1);
    EXPECT_EQ(seen.Filters.size(), 5);
    EXPECT_EQ(seen.DefaultSuffix, "csv");
    EXPECT_FALSE(seen.ProposedName.contains('/'));
    EXPECT_FALSE(seen.ProposedName.contains(' '));
    const std::string text = ReadFile(out / "result.txt");
    EXPECT_NE(text.find("big"), std::string::npos);
    // The text tree writes sizes in the list's own style.
    const TFileSystemNode* big = FindNodeByPath(form.RootNode(), data / "big");
    EXPECT_NE(text.find(FormatSizeTruncated(big->GetSize())), std::string::npos) << text;
    EXPECT_EQ(settings.ReadInteger("LastFilterIndex", 0), 2);
    EXPECT_EQ(settings.ReadString("LastSaveDir", ""), out.Path() + "/");

    // The next save proposes the remembered format and folder; a failure is shown, not hidden.
    form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest& request) -> std::optional<TSaveFileChoice> {
        seen = request;
        return TSaveFileChoice{out / "missing/folder/result.csv", 1};
    });
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Failed);
    EXPECT_EQ(seen.FilterIndex, 2);
    EXPECT_EQ(seen.DefaultSuffix, "txt");
    EXPECT_EQ(seen.Directory.toStdString(), out.Path() + "/");
    EXPECT_EQ(errors_.size(), 1u);

    form.SetSaveFileDialog(
        [](QWidget*, const TSaveFileRequest&) { return std::optional<TSaveFileChoice>(); });
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Cancelled);
    EXPECT_EQ(settings.ReadInteger("LastFilterIndex", 0), 1) << "the failed save still remembered its choice";
}

TEST_F(FormMainTest, CommandLineStartsAScanOnlyForAnExistingDirectory) {
    TempTree data;
    data.File("plain", 10);
    TSettings settings(IniPath());
    TFormMain form(settings);
    form.ProcessCommandLine({data / "plain"});
    EXPECT_EQ(form.RootNode(), nullptr);
    form.ProcessCommandLine({data / "nowhere"});
    EXPECT_EQ(form.RootNode(), nullptr);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.ProcessCommandLine({data.Path()});
    ASSERT_NE(form.RootNode(), nullptr);
    ASSERT_TRUE(WaitForScans(finished, 1));
    EXPECT_EQ(form.RootNode()->GetFileCount(), 1);
}

TEST_F(FormMainTest, UnparsableStoredPositionGivesTheCentredDefault) {
    {
        TSettings settings(IniPath());
        SetScreenSectionNameSource([] { return ScreenSection(); });
        settings.WriteScreenString("Position", "10,20,x,40");
        SetScreenSectionNameSource({});
    }
    TSettings settings(IniPath());
    TFormMain form(settings);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const TRect expected = CenteredRect(screen.width(), screen.height(), 700, 500);
    EXPECT_EQ(form.geometry(), QRect(expected.Left, expected.Top, 700, 500));
}

TEST_F(FormMainTest, AppliedSettingsChooseTheSizeStyleAndAnnounceGroupingChanges) {
    TempTree data;
    MakeWideTree(data, 1, 0);
    TSettings settings(IniPath());
    TFormMain form(settings);
    EXPECT_EQ(form.SizeFormatter(), SizeFormatterFor(2));
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(WaitForScans(finished, 1));

    auto changed = TSettings::CreateCopy(settings);
    changed->SetFileSizeRounding(1);
    changed->SetGroupFileSize(4096);
    ASSERT_TRUE(changed->GroupingChanged());
    form.OnSettingsApplied(*changed);
    EXPECT_EQ(form.SizeFormatter(), SizeFormatterFor(1));
    const TFileSystemNode* big = FindNodeByPath(form.RootNode(), data / "big");
    const QModelIndex bigRow = form.TreeModel()->IndexOf(big, TNodeTreeModel::colSize);
    EXPECT_EQ(form.TreeModel()->data(bigRow).toString().toStdString(), FormatSizeRounded(big->GetSize()));
    EXPECT_FALSE(form.InfoPanel()->isHidden());
    EXPECT_TRUE(form.InfoPanel()->Message().contains(QString::fromStdString(data.Path())));
}

TEST_F(FormMainTest, FolderPickerErrorsAreShownAndStartNothing) {
    TSettings settings(IniPath());
    TFormMain form(settings);
    form.SetFolderDialog([](QWidget*, const QString&, const QUrl&) { return QUrl("smb://server/share"); });
    form.findChild<QAction*>("ActDirSelect")->trigger();
    EXPECT_EQ(form.RootNode(), nullptr);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_.front(),
              "Your choice is not a valid folder or the file system path could not be obtained.");

    form.SetFolderDialog([](QWidget*, const QString&, const QUrl&) { return QUrl(); });
    form.findChild<QAction*>("ActDirSelect")->trigger();
    EXPECT_EQ(form.RootNode(), nullptr);
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(FormMainTest, IncrementalSearchAndFlatViewFindRowsByTheirShownText) {
    TempTree data;
    MakeWideTree(data, 3, 1);
    data.Dir("leaf");
    data.File("leaf/x", 5 << 20);
    TSettings settings(IniPath());
    TFormMain form(settings);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(WaitForScans(finished, 1));
    form.TreeView()->setCurrentIndex(RootRow(form));
    form.TreeView()->keyboardSearch("D2");
    ASSERT_NE(form.TreeView()->FocusedNode(), nullptr);
    EXPECT_EQ(form.TreeView()->FocusedNode()->Name(), "d2");

    form.TreeView()->keyboardSearch(QString()); // a new search, not a continuation of "D2"
    form.TreeView()->keyboardSearch("lE");
    ASSERT_NE(form.TreeView()->FocusedNode(), nullptr);
    EXPECT_EQ(form.TreeView()->FocusedNode()->Name(), "leaf");

    form.ShowFlatView();
    const TNodeTreeModel& model = *form.TreeModel();
    ASSERT_TRUE(model.IsFlat());
    ASSERT_NE(form.TreeView()->FocusedNode(), nullptr) << "focus kept across the switch";
    EXPECT_EQ(form.TreeView()->FocusedNode()->Name(), "leaf");
    bool foundLeaf = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(model.hasChildren(model.index(row, 0)));
        foundLeaf = foundLeaf || model.data(model.index(row, 0)).toString().toStdString() == data / "leaf";
    }
    EXPECT_TRUE(foundLeaf) << "a directory without children is listed with its full path";
    // A rescan in the flat view clears nodes the flat list held; the list is made again.
    auto* d1 = dynamic_cast<TDirNode*>(FindNodeByPath(form.RootNode(), data / "d1"));
    ASSERT_NE(d1, nullptr);
    QSignalSpy rescanned(&form, &TFormMain::ScanFinishedSignal);
    form.RescanNode(d1);
    ASSERT_TRUE(WaitForScans(rescanned, 1));
    EXPECT_TRUE(model.IsFlat());
    EXPECT_GT(model.rowCount(), 1);

    form.ShowTreeView();
    EXPECT_FALSE(model.IsFlat());
    EXPECT_TRUE(form.TreeView()->isExpanded(RootRow(form)));
}

} // namespace
} // namespace quorvex
