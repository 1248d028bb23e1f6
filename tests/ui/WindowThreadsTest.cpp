// The window's scan threads queued, stopped, replaced and shut down; the model checked while they
// append; message boxes asked for from a worker.

#include "FormMainFixture.h"

#include "ui/FindBar.h"
#include "ui/MessageDialogs.h"
#include "ui/TreemapPane.h"

#include <QDeadlineTimer>
#include <QLineEdit>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

namespace quorvex {
namespace {

using namespace testing;

TEST_F(FormMainTest, ScanControlWaitsForRunningScansAndStopsRefreshesAndClosesCleanly) {
    TempTree data;
    MakeWideTree(data, 80, 40);
    TempTree second;
    MakeWideTree(second, 2, 1);
    TFormMain form(settings_);
    ASSERT_TRUE(Await(
        form,
        [&] {
            form.StartDirScan(data.Path());
            form.StartDirScan(second.Path());
            EXPECT_EQ(form.PendingScanPath(), second.Path());
        },
        2));
    EXPECT_EQ(form.RootNode()->Name(), second.Path());
    EXPECT_TRUE(form.PendingScanPath().empty());

    const auto stopAfter = [&](const std::function<void()>& start) {
        return Await(form, [&] {
            start();
            form.StopScan();
        });
    };
    ASSERT_TRUE(stopAfter([&] { form.StartDirScan(data.Path()); }));
    EXPECT_FALSE(form.RootNode()->IsScanning());
    // F5 scans the same path again, to the end this time.
    ASSERT_TRUE(Await(form, [&] { Trigger(form, "ActRefresh"); }));
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

TEST_F(FormMainTest, AnOuterRescanReplacingARunningInnerOneLeavesConsistentRowsAndTotals) {
    TempTree data;
    MakeWideTree(data, 4, 3);
    for (int i = 0; i < 400; ++i)
        data.Dir("d0/s0/x" + std::to_string(i));
    TFormMain form(settings_);
    TNodeTreeView& view = *form.TreeView();
    ASSERT_TRUE(Scan(form, data.Path()));
    // Only now: its fetches list every directory's files, which changes what a flat list holds.
    QAbstractItemModelTester tester(form.TreeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QPersistentModelIndex d3 = form.TreeModel()->IndexOf(Dir(form, data / "d3"));
    const QPersistentModelIndex d1 = form.TreeModel()->IndexOf(Dir(form, data / "d1"));
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
    Settle(form);
    EXPECT_EQ(d0->GetFileCount(), 1 + 3) << "nothing left behind by the stopped inner rescan";
    EXPECT_EQ(form.RootNode()->GetFileCount(), 3 + 4 * 4) << "ancestors recalculated after the rescan";
    EXPECT_TRUE(view.isExpanded(d3));
    EXPECT_EQ(view.FocusedNode()->Name(), "d3");
    const auto selected = view.SelectedNodes();
    EXPECT_EQ(std::set<TFileSystemNode*>(selected.begin(), selected.end()),
              (std::set<TFileSystemNode*>{Dir(form, data / "d1"), Dir(form, data / "d3")}));
}

// Inside a running rescan nothing can be deleted; the rescanned directory itself can, once its scan
// has been stopped, and no thread writes into its freed nodes afterwards.
TEST_F(FormMainTest, DeletingTheDirectoryARescanIsReadingStopsTheRescanFirst) {
    TempTree data;
    data.Dir("busy");
    for (int i = 0; i < 3000; ++i)
        data.Dir("busy/x" + std::to_string(i));
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(Scan(form, data.Path()));
    BoxAnswers yes;
    TDirNode* busy = Dir(form, data / "busy");
    form.RescanNode(busy);
    std::string inside;
    while (inside.empty() && form.IsScanRunning()) {
        TChildrenLock guard(busy);
        if (guard.Children().Count() > 0)
            inside = GetFullPath(guard.Children().Items(0));
    }
    ASSERT_TRUE(form.IsScanRunning() && !inside.empty()) << "the rescan ended too soon to test";
    QAction* deleteAction = form.findChild<QAction*>("ActDelete");
    SelectOnly(form, FindNodeByPath(form.RootNode(), inside));
    EXPECT_FALSE(deleteAction->isEnabled());
    EXPECT_TRUE(deleteAction->toolTip().contains("still being scanned")) << "greyed, and says why";
    SelectOnly(form, busy);
    EXPECT_TRUE(deleteAction->isEnabled());
    form.DeleteSelection(true);
    ASSERT_EQ(yes.texts.size(), 1U);
    EXPECT_NE(yes.texts[0].find("a scan is still counting it"), std::string::npos)
        << "the size asked is not all of it yet: " << yes.texts[0];
    EXPECT_FALSE(Exists(data / "busy"));
    EXPECT_EQ(FindNodeByPath(form.RootNode(), data / "busy"), nullptr);
    Settle(form);
    EXPECT_EQ(form.RootNode()->GetSize(), 0);
}

TEST_F(FormMainTest, WhileAScanRunsTheTitleFollowsItAndTheStatusBarShowsNoSizeNorAGoneRoot) {
    TempTree data;
    Populate(data, {{"a", -1}, {"a/gate", -1}, {"a/x.bin", 5000}});
    const auto gate = std::make_shared<Gate>();
    HookedFileSystem fs([gate](const char* name) {
        if (std::strcmp(name, "gate") == 0)
            gate->Pass();
        return 0;
    });
    TFormMain form(settings_);
    form.SetScanFileSystem(&fs);
    form.ShowFlatView(); // whose rows are made anew at the end of the scan
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    ASSERT_TRUE(gate->Reached());
    QTest::qWait(300);
    SelectOnly(form, form.RootNode());
    QTest::qWait(150);
    EXPECT_EQ(form.StatusText(1).toStdString(), "") << "a size taken now would be stale before the scan ends";
    EXPECT_TRUE(form.windowTitle().startsWith(QString::fromStdString("Quorvex - " + data / "a")))
        << form.windowTitle().toStdString();
    gate->Open();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(30000));
    EXPECT_EQ(form.StatusText(0).toStdString(), "");
    EXPECT_TRUE(form.StatusText(1).endsWith(" sec.")) << "the scan's duration, not the focused row's size";

    form.ShowTreeView();
    SelectOnly(form, Dir(form, data / "a"));
    EXPECT_EQ(form.StatusText(0).toStdString(), data / "a");
    SelectOnly(form, form.RootNode());
    const BoxAnswers yes;
    form.DeleteSelection(true);
    ASSERT_EQ(form.RootNode(), nullptr);
    EXPECT_EQ(form.StatusText(0).toStdString(), "");
    EXPECT_EQ(form.StatusText(1).toStdString(), "");
}

// The view must only ever see counts it was told about while a scan thread appends children.
// The searches and the flat list read the records while the walk writes them, on the window's thread.
TEST_F(FormMainTest, FindAndTheFlatListRacingARunningScanSeeEveryFileOnceItEnds) {
    TempTree data;
    MakeWideTree(data, 60, 30);
    TFormMain form(settings_);
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    form.StartDirScan(data.Path());
    Trigger(form, "ActFind");
    Trigger(form, "ActShowFlatView");
    TFindBar& bar = *form.FindBar();
    for (int searches = 0; finished.count() == 0; ++searches) {
        bar.NameField()->setText(searches % 2 == 0 ? "g.bin" : "*.bin");
        bar.Refresh();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    bar.NameField()->setText("G.b?n");
    bar.Refresh();
    EXPECT_EQ(bar.Model()->Result().Total, 60U * 30U);
    EXPECT_EQ(bar.Model()->rowCount(), static_cast<int>(TFindBar::kShownHits));
}

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
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](auto* a, auto* b) { return a->GetSize() > b->GetSize(); }));
    for (const TFileSystemNode* node : rows) {
        // Every fetched directory's rows match its finished child list.
        const auto* group = dynamic_cast<const TGroupNode*>(node);
        if (group != nullptr && !model.canFetchMore(model.IndexOf(group))) {
            EXPECT_EQ(model.rowCount(model.IndexOf(group)), ChildCount(group)) << group->Name();
        }
    }
}

TEST(MessageDialogs, CallsFromAWorkerThreadShowTheBoxOnTheGuiThread) {
    const BoxAnswers yes(QMessageBox::Yes, [](const QMessageBox& shown) {
        EXPECT_EQ(shown.thread(), QApplication::instance()->thread());
    });
    struct Shared {
        std::atomic<bool> done{false};
        std::atomic<bool> answer{false};
    };
    // The worker may outlive a failed test.
    const auto shared = std::make_shared<Shared>();
    std::thread worker([shared] {
        shared->answer = ShowConfirmationDialog("From a worker");
        shared->done = true;
    });
    // processEvents returns at once when nothing is pending, so wait by the clock, not by count.
    const QDeadlineTimer deadline(20000);
    while (!shared->done && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!shared->done) {
        worker.detach(); // still blocked on the user-interface thread; joining would hang the run
        FAIL() << "the box was not shown on the user-interface thread";
    }
    worker.join();
    EXPECT_TRUE(shared->answer);
    EXPECT_EQ(yes.texts, std::vector<std::string>{"From a worker"});
}

// The treemap is laid out over and over while the scan threads fill the tree, and while a rescan
// clears and fills one of its folders again.
TEST_F(FormMainTest, TheTreemapIsLaidOutWhileScansFillAndClearTheTree) {
    TempTree data;
    MakeWideTree(data, 60, 30);
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Trigger(form, "ActShowTreemap");
    TTreemapPane& pane = *form.TreemapPane();
    const auto layOutUntilDone = [&](const std::function<void()>& start) {
        return Await(form, [&] {
            start();
            while (form.IsScanRunning()) {
                pane.Refill();
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        });
    };
    const auto laidOut = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return pane.IsUpToDate(); }));
        return pane.Tiles().size();
    };
    ASSERT_TRUE(layOutUntilDone([&] { form.StartDirScan(data.Path()); }));
    const std::size_t tiles = laidOut();
    EXPECT_GT(tiles, 60U * 30U) << "every folder's frame and file";
    ASSERT_TRUE(layOutUntilDone([&] { form.RescanNode(Dir(form, data / "d59")); }));
    EXPECT_EQ(laidOut(), tiles);
}

} // namespace
} // namespace quorvex
