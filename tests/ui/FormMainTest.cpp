// The main window over real scans: its rows, views, settings file, toolbar, header, info panel and
// the drives under it.

#include "FormMainFixture.h"

#include "common/TinyTmpfs.h"

#include "model/SizeFormat.h"
#include "shell/MRUDirList.h"
#include "support/FreeSpaceProbe.h"
#include "support/Utilities.h"

#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::FormMainTest;
using testing::MakeWideTree;
using testing::ReadAll;
using testing::ScreenSection;
using testing::TempTree;
using testing::Text;

TEST_F(FormMainTest, ScanThroughTheWindowShowsSortedRowsAndSavesTheIni) {
    TempTree data;
    MakeWideTree(data, 6, 3);
    ASSERT_EQ(::link((data / "big/huge.bin").c_str(), (data / "big/again.bin").c_str()), 0);
    settings_.SetHardLinksOnce(true);
    {
        TFormMain form(settings_);
        ASSERT_TRUE(Scan(form, data.Path()));
        EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex - " + data.Path());
        const TNodeTreeModel& model = *form.TreeModel();
        const QModelIndex root = model.index(0, 0);
        EXPECT_TRUE(form.TreeView()->isExpanded(root));
        QStringList names;
        for (int row = 0; row < model.rowCount(root); ++row)
            names << Text(model, row, 0, root);
        EXPECT_EQ(names, QStringList({"big", "d5", "d4", "d3", "d2", "d1", "d0"})) << "no root files";
        // The settings' default size style is the truncating one.
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colSize, root).toStdString(),
                  FormatSizeTruncated(model.NodeAt(model.index(0, 0, root))->GetSize()));
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colFiles, root), "3") << "a hard link counted once";
        form.TreeView()->setCurrentIndex(model.index(0, 0, root));
        EXPECT_EQ(form.StatusText(0).toStdString(), data / "big");
        EXPECT_TRUE(form.StatusText(1).endsWith("Bytes"));

        form.TreeView()->header()->setSortIndicator(TNodeTreeModel::colName, Qt::AscendingOrder);
        form.close();
    }
    const std::string ini = ReadAll(ini_);
    for (const std::string& entry :
         {"[" + ScreenSection() + "]", std::string("Position="), std::string("ColWidthsTreeView="),
          std::string("DirViewStyle=0"), std::string("GroupFileSize=")})
        EXPECT_NE(ini.find(entry), std::string::npos) << entry << " in\n" << ini;

    TSettings again(ini_);
    TFormMain form(again);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorSection(), TNodeTreeModel::colName);
    EXPECT_EQ(form.TreeView()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{data.Path()});
}

// The view style is remembered from the last window; the focused row survives switches and rescans.
TEST_F(FormMainTest, TheFlatViewIsRememberedAndKeyboardSearchesKeepTheFocusedRowThroughSwitchesAndRescans) {
    settings_.WriteInteger("DirViewStyle", 1);
    TempTree data;
    MakeWideTree(data, 4, 3);
    data.Dir("leaf"); // a row of its own in the flat list
    data.File("leaf/x", 5 << 20);
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.SetFolderDialog([&](QWidget*, const QString&, const QUrl&) {
        return QUrl::fromLocalFile(QString::fromStdString(data.Path()));
    });
    ASSERT_TRUE(Await(form, [&] { QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier); }));
    const TNodeTreeModel& model = *form.TreeModel();
    TNodeTreeView& view = *form.TreeView();
    ASSERT_TRUE(model.IsFlat());
    ASSERT_GT(model.rowCount(), 1);
    EXPECT_EQ(model.index(1, 0).data(TNodeTreeModel::RootSizeRole).toLongLong(), form.RootNode()->GetSize())
        << "the bars are shares of the root";
    QTest::keyClick(&form, Qt::Key_F1, Qt::ControlModifier);
    ASSERT_FALSE(model.IsFlat());
    ASSERT_EQ(model.NodeAt(model.index(0, 0)), form.RootNode()) << "the scanned tree, not the prompt";

    view.setCurrentIndex(model.index(0, 0));
    view.keyboardSearch("D2");
    ASSERT_NE(view.FocusedNode(), nullptr);
    EXPECT_EQ(view.FocusedNode()->Name(), "d2");
    view.keyboardSearch(QString()); // a new search, not a continuation of "D2"
    view.keyboardSearch("lE");
    form.ShowFlatView();
    ASSERT_NE(view.FocusedNode(), nullptr) << "focus kept across the switch";
    EXPECT_EQ(view.FocusedNode()->Name(), "leaf");
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(model.hasChildren(model.index(row, 0)));
        names << Text(model, row, 0);
    }
    EXPECT_TRUE(names.contains(QString::fromStdString(data / "leaf")))
        << "a directory without children, in full";
    // A rescan in the flat view clears nodes the flat list held; the list is made again.
    ASSERT_TRUE(Await(form, [&] { form.RescanNode(Dir(form, data / "d1")); }));
    EXPECT_GT(model.rowCount(), 1);
    form.ShowTreeView();
    EXPECT_TRUE(view.isExpanded(model.index(0, 0)));
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

    // A folder name with a line break cannot be stored in the INI; the export is still written.
    out.Dir("line\nbreak");
    choice = {out / "line\nbreak/result.csv", 2};
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_NE(ReadAll(out / "line\nbreak/result.csv").find("big   ("), std::string::npos);
    EXPECT_EQ(settings_.ReadString("LastSaveDir", ""), out / "missing/folder/") << "the one before";
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 2);
    EXPECT_EQ(errors_.size(), 1u) << "nothing more was shown";

    auto changed = TSettings::CreateCopy(settings_);
    changed->SetFileSizeRounding(1);
    form.OnSettingsApplied(*changed);
    EXPECT_EQ(form.SizeFormatter(), SizeFormatterFor(1));
    EXPECT_EQ(bigSize.data().toString().toStdString(), FormatSizeRounded(big->GetSize()));
}

TEST_F(FormMainTest, StartUpFallsBackOnBadPositionsAndOnlyExistingDirectoriesStartAScan) {
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
    std::vector<QString> asked;
    form.SetFolderDialog([&](QWidget*, const QString& title, const QUrl&) {
        asked.push_back(title);
        return asked.size() == 1 ? QUrl() : QUrl("smb://server/share"); // cancelled, then a remote share
    });
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    TNodeTreeView& view = *form.TreeView();
    const QPoint row = view.visualRect(form.TreeModel()->index(0, 0)).center();
    testing::DoubleClick(view.viewport(), row); // on the prompt row
    testing::DoubleClick(view.viewport(), row);
    ASSERT_EQ(asked, std::vector<QString>(2, "Choose the drive or directory to analyse"));
    EXPECT_EQ(form.RootNode(), nullptr);
    // A regular file is opened as a scan file; this one is none, and says so.
    EXPECT_EQ(errors_,
              (std::vector<std::string>{
                  data / "plain" + ": not a readable scan file: The document is empty. (at byte 0)",
                  "Your choice is not a valid folder or the file system path could not be obtained."}));
    ASSERT_TRUE(Await(form, [&] { form.ProcessCommandLine({data.Path()}); }));
    EXPECT_EQ(form.RootNode()->GetFileCount(), 1);
    testing::DoubleClick(view.viewport(), row);
    EXPECT_EQ(asked.size(), 2u) << "a double click on a tree's row opens the row, never the picker";
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

int ColouredPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count +=
                image.pixelColor(x, y).alpha() > 128 && image.pixelColor(x, y).hsvSaturation() > 100 ? 1 : 0;
    }
    return count;
}

// Sharp on scaled screens; in colour when enabled (the style's grey repeat arrow looked disabled
// either way), grey when disabled.
TEST_F(FormMainTest, ToolbarButtonsAreSharpColouredWhenEnabledAndGreyWhenNot) {
    TFormMain form(settings_);
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    const auto* toolbar = form.findChild<QToolBar*>("MainToolbar");
    const QSize size = toolbar->iconSize();
    for (QAction* action : toolbar->actions()) {
        QWidget* button = toolbar->widgetForAction(action);
        if (button == nullptr || action->icon().isNull()) // separators and the favourites' drop-down
            continue;
        const QPixmap sharp = action->icon().pixmap(size, 2.0);
        EXPECT_EQ(sharp.size(), size * 2) << action->objectName().toStdString();
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
        EXPECT_EQ(ColouredPixels(button->grab().toImage()) > 20, action->isEnabled())
            << action->objectName().toStdString();
    }
    auto* refresh = form.findChild<QAction*>("ActRefresh");
    EXPECT_FALSE(refresh->isEnabled()) << "nothing scanned yet";
    EXPECT_GT(ColouredPixels(refresh->icon().pixmap(size).toImage()), 20) << "the repeat arrow is in colour";
    int opened = 0;
    form.SetSettingsDialogOpener([&](TFormMain&) { ++opened; });
    QTest::mouseClick(toolbar->widgetForAction(form.findChild<QAction*>("ActConfig")), Qt::LeftButton);
    EXPECT_EQ(opened, 1);
}

TEST_F(FormMainTest, AHeaderClickKeepsTheDirectionForANewColumnAndFlipsItForTheSameOne) {
    TempTree data;
    MakeWideTree(data, 6, 2);
    data.File("d0/extra1", 1);
    data.File("d0/extra2", 1);
    TFormMain form(settings_);
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    ASSERT_TRUE(Scan(form, data.Path()));
    QHeaderView& header = *form.TreeView()->header();
    ASSERT_EQ(header.sortIndicatorSection(), TNodeTreeModel::colPercent);
    // Each click, then the direction the header and the root's rows show.
    const std::pair<int, Qt::SortOrder> clicks[] = {
        {TNodeTreeModel::colSize, Qt::DescendingOrder}, // largest first, as before
        {TNodeTreeModel::colSize, Qt::AscendingOrder},    {TNodeTreeModel::colFiles, Qt::AscendingOrder},
        {TNodeTreeModel::colPercent, Qt::AscendingOrder}, {TNodeTreeModel::colPercent, Qt::DescendingOrder},
        {TNodeTreeModel::colFiles, Qt::DescendingOrder}};
    for (const auto& click : clicks) {
        const int section = click.first;
        const Qt::SortOrder expected = click.second;
        QTest::mouseClick(
            header.viewport(), Qt::LeftButton, {},
            {header.sectionViewportPosition(section) + header.sectionSize(section) / 2, header.height() / 2});
        EXPECT_EQ(header.sortIndicatorSection(), section);
        EXPECT_EQ(header.sortIndicatorOrder(), expected);
        const auto key = [&](const TFileSystemNode* n) {
            return section == TNodeTreeModel::colFiles ? n->GetFileCount() : n->GetSize();
        };
        const auto rows = form.TreeModel()->PublishedRows(form.TreeModel()->index(0, 0));
        EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [&](auto* a, auto* b) {
            return expected == Qt::DescendingOrder ? key(a) > key(b) : key(a) < key(b);
        })) << section;
    }
}

TEST_F(FormMainTest, RefreshNowRescansTheRootOrTheSubdirectoryOrNothingForAFile) {
    TempTree data;
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    testing::Populate(data, {{"sub", -1}, {"sub/a", 100}, {"new", 4 << 20}});
    ASSERT_TRUE(Scan(form, data.Path()));
    const auto has = [&](const std::string& path) {
        return FindNodeByPath(form.RootNode(), path) != nullptr;
    };
    TFrameInfoPanel& panel = *form.InfoPanel();
    // Inside the tree: only that directory is scanned again.
    testing::Populate(data, {{"sub/b", -1}, {"top", -1}});
    panel.ShowNotification(data / "sub", QStringLiteral("sub changed"));
    ASSERT_TRUE(Await(form, [&] { ClickRefreshNow(form); }));
    EXPECT_TRUE(has(data / "sub/b"));
    EXPECT_FALSE(has(data / "top"));
    EXPECT_TRUE(panel.PendingPaths().empty());

    // With its trailing delimiter the root is still the root.
    panel.ShowNotification(data.Path() + "/", QStringLiteral("root changed"));
    ASSERT_TRUE(Await(form, [&] { ClickRefreshNow(form); }));
    EXPECT_TRUE(has(data / "top"));

    // A file is nothing to rescan.
    data.Dir("sub/c");
    panel.ShowNotification(data / "new", QStringLiteral("file changed"));
    QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
    ClickRefreshNow(form);
    EXPECT_FALSE(finished.wait(300));
    EXPECT_FALSE(has(data / "sub/c"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.isVisible(); }, 2000));

    // A new scan hides the panel and keeps what it would refresh.
    panel.ShowNotification(data.Path(), QStringLiteral("root changed"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isVisible(); }, 2000));
    ASSERT_TRUE(Scan(form, data.Path()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.isVisible(); }, 2000));
    EXPECT_EQ(panel.PendingPaths(), std::vector<std::string>{data.Path()});
}

// A file system mounted on the scanned directory while the window runs makes it a drive; the
// favourites menus are made again with the new table.
TEST_F(FormMainTest, MountingOnTheScannedDirectoryIsNoticedLive) {
    TempTree data;
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, data.Path()));
    ASSERT_EQ(form.RootNode()->GetNodeType(), ntDirectory);
    QMenu* menu = form.findChild<QToolButton*>(QStringLiteral("FavouritesButton"))->menu();
    ASSERT_FALSE(menu->actions().isEmpty());
    QPointer<QAction> before = menu->actions().front();
    {
        const testing::ScopedMount tmpfs(data.Path());
        if (!tmpfs.Mounted())
            GTEST_SKIP() << tmpfs.Refusal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form.RootNode()->GetNodeType() == ntDrive; }, 1000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return before.isNull(); }, 1000)) << "the menu was not rebuilt";
        before = menu->actions().front();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.RootNode()->GetNodeType() == ntDirectory; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return before.isNull(); }, 1000));
}

// The free space of the scanned root is asked again on the window's thread when a subdirectory
// rescan ends; a server that no longer answers must not freeze the window.
TEST_F(FormMainTest, DeadFileSystemUnderTheScannedRootDoesNotFreezeTheWindow) {
    TempTree data;
    data.Dir("sub");
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, data.Path()));
    const auto gate = std::make_shared<testing::Gate>();
    const TStatvfsFunction previous =
        SetStatvfsFunction([gate, root = data.Path()](const std::string& path, struct statvfs& out) {
            if (path == root)
                gate->Pass();
            return ::statvfs(path.c_str(), &out);
        });
    const auto start = std::chrono::steady_clock::now();
    const bool done = Await(form, [&] { form.RescanNode(Dir(form, data / "sub")); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    gate->Open();
    SetStatvfsFunction(previous);
    EXPECT_TRUE(done);
    EXPECT_LT(seconds, 2.0) << "the window waited for the file system";
}

TEST_F(FormMainTest, AllocatedSizeToggleChangesEverySizeAtOnceAndIsRemembered) {
    TempTree data;
    // Longest by length, smallest on the disk (a hole after the data): the two orders differ.
    const auto write = [&](const std::string& name, std::size_t bytes, std::uintmax_t length) {
        testing::WriteAll(data / name, std::string(bytes, 'q'));
        std::filesystem::resize_file(data / name, length);
        struct stat st {};
        ::lstat((data / name).c_str(), &st);
        return static_cast<std::int64_t>(st.st_blocks) * 512;
    };
    data.Dir("sparse");
    data.Dir("dense");
    const std::int64_t sparse = write("sparse/file", 4096, 64 << 20);
    const std::int64_t dense = write("dense/file", 1 << 20, 1 << 20);
    const std::int64_t loose = write("loose", 8192, 32 << 20); // a file of the root: a row of its own
    ASSERT_LT(sparse, loose) << "the file system here keeps no sparse files";
    TempTree out;
    {
        TFormMain form(settings_);
        ASSERT_TRUE(Scan(form, data.Path()));
        const TNodeTreeModel& model = *form.TreeModel();
        const QModelIndex root = model.index(0, 0);
        ASSERT_EQ(Text(model, 0, 0, root), "sparse");
        QAction* toggle = nullptr;
        for (QAction* menu : form.menuBar()->actions())
            for (QAction* action : menu->menu()->actions())
                toggle = action->objectName() == "ActAllocatedSize" ? action : toggle;
        ASSERT_NE(toggle, nullptr);
        EXPECT_FALSE(toggle->isChecked());
        toggle->trigger();
        EXPECT_EQ(Text(model, 0, 0, root), "dense") << "the sort follows";
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colSize, root).toStdString(), FormatSizeTruncated(dense));
        const QModelIndex bar = model.index(0, TNodeTreeModel::colPercent, root);
        EXPECT_EQ(bar.data(TNodeTreeModel::SizeRole).toLongLong(), dense) << "the bars follow";
        EXPECT_EQ(bar.data(TNodeTreeModel::RootSizeRole).toLongLong(), sparse + dense + loose);
        EXPECT_EQ(Text(model, 1, 0, root), "loose");
        EXPECT_EQ(Text(model, 1, TNodeTreeModel::colSize, root).toStdString(), FormatSizeTruncated(loose));
        form.TreeView()->setCurrentIndex(model.index(0, 0, root));
        EXPECT_TRUE(form.StatusText(1).startsWith(QString::fromStdString(FormatCount(dense))));

        form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest&) {
            return std::optional(TSaveFileChoice{out / "result.xml", 4});
        });
        ASSERT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
        EXPECT_NE(ReadAll(out / "result.xml").find("<size>" + std::to_string(dense) + "</size>"),
                  std::string::npos);
        form.close();
    }
    TSettings again(ini_);
    TFormMain form(again);
    EXPECT_TRUE(form.findChild<QAction*>("ActAllocatedSize")->isChecked());
}

} // namespace
} // namespace quorvex
