#include "FormMainFixture.h"

#include "model/FileSystemNode.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/ToolbarImages.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

namespace quorvex {
namespace {

using testing::FormMainTest;
using testing::MakeWideTree;
using testing::ReadAll;
using testing::ScreenSection;
using testing::TempTree;
using testing::Text;

// Holds every walk that reaches a directory named "gate" until the gate is opened.
class GateFileSystem : public TFileSystemApi {
public:
    int OpenDirectory(int parentFd, const char* name) override {
        if (std::strcmp(name, "gate") == 0) {
            std::unique_lock lock(mutex_);
            reached_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        }
        return TFileSystemApi::OpenDirectory(parentFd, name);
    }
    bool AwaitReached() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return reached_; });
    }
    void Open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool open_ = false;
};

TEST_F(FormMainTest, ScanThroughTheWindowShowsSortedRowsAndSavesTheIni) {
    TempTree data;
    MakeWideTree(data, 6, 3);
    {
        TFormMain form(settings_);
        ASSERT_TRUE(Scan(form, data.Path()));
        EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + data.Path());
        const TNodeTreeModel& model = *form.TreeModel();
        const QModelIndex root = model.index(0, 0);
        EXPECT_EQ(Text(model, 0, 0).toStdString(), data.Path());
        EXPECT_TRUE(form.TreeView()->isExpanded(root));
        QStringList names;
        for (int row = 0; row < model.rowCount(root); ++row)
            names << Text(model, row, 0, root);
        EXPECT_EQ(names, QStringList({"big", "d5", "d4", "d3", "d2", "d1", "d0"})) << "no root files";
        // The list uses the size style the settings chose (2: truncating).
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colSize, root).toStdString(),
                  FormatSizeTruncated(model.NodeAt(model.index(0, 0, root))->GetSize()));
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colFiles, root), "3");
        EXPECT_TRUE(form.findChild<QAction*>("ActSaveScanResult")->isEnabled());
        EXPECT_FALSE(form.findChild<QAction*>("ActStopScan")->isEnabled());
        form.TreeView()->setCurrentIndex(model.index(0, 0, root));
        EXPECT_EQ(form.StatusText(0).toStdString(), data / "big");
        EXPECT_TRUE(form.StatusText(1).endsWith("Bytes"));

        form.TreeView()->header()->setSortIndicator(TNodeTreeModel::colName, Qt::AscendingOrder);
        form.close();
    }
    const std::string ini = ReadAll(ini_);
    // The sort and the favourites are read back below.
    for (const std::string& entry :
         {std::string("[").append(ScreenSection()).append("]"), std::string("Position="),
          std::string("ColWidthsTreeView="), std::string("DirViewStyle=0"), std::string("GroupFileSize=")})
        EXPECT_NE(ini.find(entry), std::string::npos) << entry << " in\n" << ini;

    TSettings again(ini_);
    TFormMain form(again);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorSection(), TNodeTreeModel::colName);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{data.Path()});
}

TEST_F(FormMainTest, ScanControlWaitsForRunningScansAndStopsRefreshesAndClosesCleanly) {
    TempTree data;
    MakeWideTree(data, 80, 40);
    TempTree second;
    MakeWideTree(second, 2, 1);
    TFormMain form(settings_);
    const auto started = [&] {
        form.StartDirScan(data.Path());
        form.StartDirScan(second.Path());
        EXPECT_EQ(form.PendingScanPath(), second.Path());
        EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + data.Path()) << "changes only later";
    };
    ASSERT_TRUE(Await(form, started, 2));
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + second.Path());
    EXPECT_EQ(form.RootNode()->Name(), second.Path());
    EXPECT_TRUE(form.PendingScanPath().empty());
    EXPECT_FALSE(form.IsScanRunning());

    const auto stopAfter = [&](const std::function<void()>& start) {
        return Await(form, [&] {
            start();
            form.StopScan();
        });
    };
    ASSERT_TRUE(stopAfter([&] { form.StartDirScan(data.Path()); }));
    EXPECT_TRUE(form.StatusText(1).contains("sec."));
    EXPECT_FALSE(form.RootNode()->IsScanning());
    // F5 scans the same path again, to the end this time.
    ASSERT_TRUE(Await(form, [&] { Trigger(form, "ActRefresh"); }));
    EXPECT_EQ(form.RootNode()->Name(), data.Path());
    EXPECT_FALSE(form.RootNode()->HasFlag(nfIncomplete));
    EXPECT_EQ(form.RootNode()->GetFileCount(), 3 + 80 + 80 * 40);

    // After "Local Drives", F5 scans the local drives again rather than a directory of that name.
    ASSERT_TRUE(stopAfter([&] { form.StartFixedDrivesScan(); }));
    ASSERT_TRUE(stopAfter([&] { Trigger(form, "ActRefresh"); }));
    EXPECT_EQ(form.RootNode()->GetNodeType(), ntFixedDrives);

    form.StartDirScan(data.Path());
    form.close();
    EXPECT_FALSE(form.IsScanRunning()) << "closing waits for the scan threads";
    EXPECT_NE(ReadAll(ini_).find("MRUDirList="), std::string::npos);
}

TEST_F(FormMainTest, SearchFlatViewAndViewStateThroughRebuildsAndRescans) {
    TempTree data;
    MakeWideTree(data, 4, 3);
    for (int i = 0; i < 400; ++i)
        data.Dir("d0/s0/x" + std::to_string(i));
    data.Dir("leaf"); // large enough for the flat list
    data.File("leaf/x", 5 << 20);
    TFormMain form(settings_);
    const TNodeTreeModel& model = *form.TreeModel();
    TNodeTreeView& view = *form.TreeView();
    ASSERT_TRUE(Scan(form, data.Path()));
    view.setCurrentIndex(model.index(0, 0));
    view.keyboardSearch("D2");
    ASSERT_NE(view.FocusedNode(), nullptr);
    EXPECT_EQ(view.FocusedNode()->Name(), "d2");
    view.keyboardSearch(QString()); // a new search, not a continuation of "D2"
    view.keyboardSearch("lE");

    form.ShowFlatView();
    ASSERT_TRUE(model.IsFlat());
    ASSERT_NE(view.FocusedNode(), nullptr) << "focus kept across the switch";
    EXPECT_EQ(view.FocusedNode()->Name(), "leaf");
    bool foundLeaf = false;
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(model.hasChildren(model.index(row, 0)));
        foundLeaf = foundLeaf || Text(model, row, 0).toStdString() == data / "leaf";
    }
    EXPECT_TRUE(foundLeaf) << "a directory without children is listed with its full path";
    // A rescan in the flat view clears nodes the flat list held; the list is made again.
    ASSERT_TRUE(Await(form, [&] { form.RescanNode(Dir(form, data / "d1")); }));
    EXPECT_GT(model.rowCount(), 1);
    form.ShowTreeView();
    EXPECT_TRUE(view.isExpanded(model.index(0, 0)));

    // Only now: its fetches list every directory's files, which changes what the flat list holds.
    QAbstractItemModelTester tester(form.TreeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QPersistentModelIndex d3 = model.IndexOf(Dir(form, data / "d3"));
    const QPersistentModelIndex d1 = model.IndexOf(Dir(form, data / "d1"));
    view.expand(d3);
    view.setCurrentIndex(d3);
    view.selectionModel()->select(d1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (int i = 0; i < 3; ++i)
        form.RebuildTree();
    TDirNode* d0 = Dir(form, data / "d0");
    TDirNode* s0 = Dir(form, data / "d0/s0");
    ASSERT_NE(s0, nullptr);
    ASSERT_TRUE(Await(form, [&] {
        form.RescanNode(s0);
        form.RescanNode(d0); // destroys s0 while its thread may still be finishing
    }));
    while (form.IsScanRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(d0->GetFileCount(), 1 + 3) << "nothing left behind by the stopped inner rescan";
    EXPECT_EQ(form.RootNode()->GetFileCount(), 3 + 4 * 4 + 1) << "ancestors recalculated after the rescan";
    EXPECT_TRUE(view.isExpanded(d3));
    EXPECT_EQ(view.FocusedNode()->Name(), "d3");
    std::multiset<std::string> selected;
    for (const TFileSystemNode* node : view.SelectedNodes())
        selected.insert(node->Name());
    EXPECT_EQ(selected, (std::multiset<std::string>{"d1", "d3"}));
}

TEST_F(FormMainTest, SaveActionExportsTheListsSizesAndAppliedSettingsRestyleThem) {
    TempTree data;
    MakeWideTree(data, 2, 1);
    TempTree out;
    TFormMain form(settings_);
    EXPECT_EQ(form.SizeFormatter(), SizeFormatterFor(2));
    ASSERT_TRUE(Scan(form, data.Path()));
    TSaveFileRequest seen;
    TSaveFileChoice choice{out / "result.txt", 2};
    form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest& request) {
        seen = request;
        return std::optional(choice);
    });
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_EQ(seen.FilterIndex, 1);
    EXPECT_EQ(seen.Filters.size(), 6);
    EXPECT_EQ(seen.Suffixes.value(seen.FilterIndex - 1), "csv");
    EXPECT_FALSE(seen.ProposedName.contains('/') || seen.ProposedName.contains(' '));
    const TFileSystemNode* big = FindNodeByPath(form.RootNode(), data / "big");
    const QModelIndex bigSize = form.TreeModel()->IndexOf(big, TNodeTreeModel::colSize);
    const std::string shown = bigSize.data().toString().toStdString();
    EXPECT_NE(ReadAll(out / "result.txt").find("big   (" + shown + ","), std::string::npos) << shown;
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 2);
    EXPECT_EQ(settings_.ReadString("LastSaveDir", ""), out.Path() + "/");

    // The next save proposes the remembered format and folder; a failure is shown, not hidden.
    choice = {out / "missing/folder/result.csv", 1};
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Failed);
    EXPECT_EQ(seen.FilterIndex, 2);
    EXPECT_EQ(seen.Suffixes.value(seen.FilterIndex - 1), "txt");
    EXPECT_EQ(seen.Directory, out.Path() + "/");
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 1)
        << "the failed save still remembered its choice";

    // A folder name with a line break cannot be stored in the INI: the export is still written,
    // only the folder is not remembered.
    out.Dir("line\nbreak");
    choice = {out / "line\nbreak/result.csv", 2};
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_NE(ReadAll(out / "line\nbreak/result.csv").find("big   ("), std::string::npos);
    EXPECT_EQ(settings_.ReadString("LastSaveDir", ""), out / "missing/folder/") << "the one before";
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 2);
    EXPECT_EQ(errors_.size(), 1u) << "nothing more was shown";

    auto changed = TSettings::CreateCopy(settings_);
    changed->SetFileSizeRounding(1);
    changed->SetGroupFileSize(4096);
    form.OnSettingsApplied(*changed);
    EXPECT_EQ(form.SizeFormatter(), SizeFormatterFor(1));
    EXPECT_EQ(bigSize.data().toString().toStdString(), FormatSizeRounded(big->GetSize()));
    EXPECT_EQ(form.InfoPanel()->PendingPaths(), std::vector<std::string>{data.Path()})
        << "a grouping change asks for a rescan";
}

TEST_F(FormMainTest, StartUpFallsBackOnBadPositionsAndStartsOnlyExistingDirectories) {
    SetScreenSectionNameSource([] { return ScreenSection(); });
    settings_.WriteScreenString("Position", "10,20,x,40");
    SetScreenSectionNameSource({});
    TFormMain form(settings_);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const TRect centred = CenteredRect(screen.width(), screen.height(), 700, 500);
    EXPECT_EQ(form.geometry(), QRect(centred.Left, centred.Top, 700, 500));

    TempTree data;
    data.File("plain", 10);
    form.ProcessCommandLine({data / "plain"});
    form.ProcessCommandLine({data / "nowhere"});
    form.SetFolderDialog([](QWidget*, const QString&, const QUrl&) { return QUrl("smb://server/share"); });
    Trigger(form, "ActDirSelect");
    EXPECT_EQ(form.RootNode(), nullptr);
    // A regular file is opened as a scan file; this one is none, and says so.
    EXPECT_EQ(errors_,
              (std::vector<std::string>{
                  data / "plain" + ": not a readable scan file: The document is empty. (at byte 0)",
                  "Your choice is not a valid folder or the file system path could not be obtained."}));
    ASSERT_TRUE(Await(form, [&] { form.ProcessCommandLine({data.Path()}); }));
    EXPECT_EQ(form.RootNode()->GetFileCount(), 1);
}

TEST_F(FormMainTest, AWindowClosedInTheFlatViewStartsItsNextScanFlatAndCanGoBackToTheTree) {
    settings_.WriteInteger("DirViewStyle", 1);
    TempTree data;
    MakeWideTree(data, 2, 1);
    data.Dir("leaf"); // a row of its own in the flat list
    data.File("leaf/x", 5 << 20);
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const TNodeTreeModel& model = *form.TreeModel();
    for (const bool chosen : {false, true}) {
        if (chosen) { // the same through the folder picker
            form.SetFolderDialog([&](QWidget*, const QString&, const QUrl&) {
                return QUrl::fromLocalFile(QString::fromStdString(data.Path()));
            });
            ASSERT_TRUE(Await(form, [&] { QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier); }));
        } else {
            ASSERT_TRUE(Await(form, [&] { form.ProcessCommandLine({data.Path()}); }));
        }
        ASSERT_TRUE(model.IsFlat());
        ASSERT_GT(model.rowCount(), 1) << chosen;
        EXPECT_EQ(model.index(1, 0).data(TNodeTreeModel::RootSizeRole).toLongLong(),
                  form.RootNode()->GetSize())
            << "the bars are shares of the root";
        QTest::keyClick(&form, Qt::Key_F1, Qt::ControlModifier);
        ASSERT_FALSE(model.IsFlat());
        EXPECT_EQ(model.NodeAt(model.index(0, 0)), form.RootNode()) << "the scanned tree, not the prompt";
        EXPECT_GT(model.rowCount(model.index(0, 0)), 0);
        form.ShowFlatView();
    }
}

TEST_F(FormMainTest, WhileAScanRunsTheTitleFollowsItAndTheStatusBarShowsNoSizeNorAGoneRoot) {
    TempTree data;
    data.Dir("a");
    data.Dir("a/gate");
    data.File("a/x.bin", 5000);
    GateFileSystem gate;
    TFormMain form(settings_);
    form.SetScanFileSystem(&gate);
    struct Opener {
        GateFileSystem& gate;
        ~Opener() { gate.Open(); }
    } opener{gate};
    form.ShowFlatView(); // whose rows are made anew at the end of the scan
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(gate.AwaitReached());
    QTest::qWait(300);
    SelectOnly(form, form.RootNode());
    QTest::qWait(150);
    EXPECT_EQ(form.StatusText(1).toStdString(), "") << "a size taken now would be stale before the scan ends";
    EXPECT_TRUE(form.windowTitle().startsWith(QString::fromStdString("Quorvex - " + data / "a")))
        << form.windowTitle().toStdString();
    gate.Open();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(30000));
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + data.Path());
    EXPECT_EQ(form.StatusText(0).toStdString(), "");
    EXPECT_TRUE(form.StatusText(1).endsWith(" sec.")) << "the scan's duration, not the focused row's size";

    form.ShowTreeView();
    SelectOnly(form, Dir(form, data / "a"));
    EXPECT_EQ(form.StatusText(0).toStdString(), data / "a");
    SelectOnly(form, form.RootNode());
    const testing::BoxAnswerer yes(QMessageBox::Yes, [](const QMessageBox&) {});
    form.DeleteSelection(true);
    ASSERT_EQ(form.RootNode(), nullptr);
    EXPECT_EQ(form.StatusText(0).toStdString(), "");
    EXPECT_EQ(form.StatusText(1).toStdString(), "");
}

TEST_F(FormMainTest, TwoWindowsOnOneProfileKeepEachOthersRecentFoldersInTheOrderTheyWereScanned) {
    TempTree data;
    for (const char* dir : {"old", "w", "x", "y", "z"})
        data.Dir(dir);
    settings_.WriteString("MRUDirList", data / "old");
    TSettings otherSettings{ini_};
    const auto scanInAnotherWindow = [&](const std::string& path) {
        TFormMain other(otherSettings);
        return Scan(other, path);
    };
    auto first = std::make_unique<TFormMain>(settings_);
    ASSERT_TRUE(Scan(*first, data / "y"));
    ASSERT_TRUE(scanInAnotherWindow(data / "x"));
    ASSERT_TRUE(Scan(*first, data / "z"));
    ASSERT_TRUE(scanInAnotherWindow(data / "w"));
    first.reset(); // the last to close
    EXPECT_EQ(DecodeCommaText(settings_.ReadString("MRUDirList", "")),
              (std::vector<std::string>{data / "old", data / "y", data / "x", data / "z", data / "w"}));
}

} // namespace
TEST_F(FormMainTest, ToolbarIconsStaySharpOnScaledScreensAndRepeatScanShowsColourWhenEnabled) {
    const TFormMain form(settings_);
    QSize size;
    for (const char* name : {"ActDirSelect", "ActRefresh", "ActStopScan", "ActOpenInExplorer",
                             "ActSaveScanResult", "ActConfig"}) {
        const QIcon icon = form.findChild<QAction*>(name)->icon();
        size = icon.availableSizes().value(0);
        ASSERT_FALSE(size.isEmpty()) << name;
        const QPixmap sharp = icon.pixmap(size, 2.0);
        EXPECT_EQ(sharp.size(), size * 2) << name;
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0) << name;
    }
    // An enabled button shows colour; the style's grey repeat arrow looked disabled either way.
    const QImage refresh = form.findChild<QAction*>("ActRefresh")->icon().pixmap(size).toImage();
    int saturation = 0;
    for (int y = 0; y < refresh.height(); ++y)
        for (int x = 0; x < refresh.width(); ++x)
            if (refresh.pixelColor(x, y).alpha() > 128)
                saturation = std::max(saturation, refresh.pixelColor(x, y).hsvSaturation());
    EXPECT_GT(saturation, 100);
    const QImage gear = form.findChild<QAction*>("ActConfig")->icon().pixmap(size, 2.0).toImage();
    EXPECT_EQ(gear.convertToFormat(QImage::Format_ARGB32), SettingsImage(size, 2.0))
        << "drawn at twice the size, not enlarged";
}

} // namespace quorvex
