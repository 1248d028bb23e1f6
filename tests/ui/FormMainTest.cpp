// The main window over real scans: start-up, recent folders, the save action, the info panel's rescan and
// the file types and ages docks.

#include "FormMainFixture.h"

#include "shell/MRUDirList.h"
#include "support/FreeSpaceProbe.h"
#include "ui/FileViews.h"

#include <QDockWidget>
#include <QRadioButton>
#include <QTreeWidget>

#include <chrono>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

using namespace testing;

// The prompt row opens the picker, whose cancel says nothing; two windows on one profile keep each other's
// recent folders in the order they were scanned.
TEST_F(FormMainTest, OnlyADirectoryStartsAScanTheRowsCountHardLinksOnceAndTheIniKeepsBothWindowsFolders) {
    TempTree data;
    MakeWideTree(data, 3, 1);
    ASSERT_EQ(::link((data / "big/huge.bin").c_str(), (data / "big/again.bin").c_str()), 0);
    settings_.SetHardLinksOnce(true);
    TSettings otherSettings{ini_};
    const auto scanInAnotherWindow = [&](const std::string& path) {
        TFormMain other(otherSettings);
        return Scan(other, path);
    };
    TFormMain form(settings_);
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
    DoubleClick(view.viewport(), row);
    DoubleClick(view.viewport(), row);
    ASSERT_EQ(asked, std::vector<QString>(2, "Choose the drive or directory to analyse"));
    EXPECT_EQ(form.RootNode(), nullptr);
    EXPECT_EQ(errors_,
              std::vector<std::string>{
                  "Your choice is not a valid folder or the file system path could not be obtained."});
    ASSERT_TRUE(Await(form, [&] { form.ProcessCommandLine({data / "d0"}); }));
    DoubleClick(view.viewport(), row);
    EXPECT_EQ(asked.size(), 2u) << "a tree's row never opens the picker";
    ASSERT_TRUE(scanInAnotherWindow(data / "d1"));
    ASSERT_TRUE(Scan(form, data.Path()));
    EXPECT_EQ(Dir(form, data / "big")->GetFileCount(), 3) << "a hard link counted once";
    ASSERT_TRUE(scanInAnotherWindow(data / "d2"));
    form.close(); // the last to close
    EXPECT_EQ(DecodeCommaText(TSettings(ini_).ReadString("MRUDirList", "")),
              (std::vector<std::string>{data / "d0", data / "d1", data.Path(), data / "d2"}));
}

TEST_F(FormMainTest, SaveActionExportsTheShownSizesRemembersTheChoiceAndShowsAFailure) {
    TempTree data;
    MakeWideTree(data, 2, 1);
    TempTree out;
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, data.Path()));
    TSaveFileRequest seen;
    TSaveFileChoice choice{out / "result.txt", 2};
    form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest& request) {
        seen = request;
        return std::optional(choice);
    });
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_EQ(seen.Suffixes.value(seen.FilterIndex - 1), "csv");
    const TFileSystemNode* big = FindNodeByPath(form.RootNode(), data / "big");
    const std::string shown =
        form.TreeModel()->IndexOf(big, TNodeTreeModel::colSize).data().toString().toStdString();
    EXPECT_NE(ReadAll(out / "result.txt").find("big   (" + shown + ","), std::string::npos) << shown;

    // The next save proposes the remembered format and folder; a failure is shown, not hidden.
    choice = {out / "missing/folder/result.csv", 1};
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Failed);
    EXPECT_EQ(seen.Suffixes.value(seen.FilterIndex - 1), "txt");
    EXPECT_EQ(seen.Directory, out.Path() + "/");
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 1) << "the failed save still remembered it";

    // A folder name with a line break cannot be stored in the INI; the export is still written.
    out.Dir("line\nbreak");
    choice = {out / "line\nbreak/result.csv", 2};
    EXPECT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
    EXPECT_NE(ReadAll(out / "line\nbreak/result.csv").find("big   ("), std::string::npos);
    EXPECT_EQ(settings_.ReadString("LastSaveDir", ""), out / "missing/folder/") << "the one before";
    EXPECT_EQ(errors_.size(), 1u) << "nothing more was shown";
}

// The end of a subdirectory rescan asks the root's free space again on the window's thread: a dead
// server must not freeze it. The flat view's list holds nodes the rescan frees: it must be made again.
TEST_F(FormMainTest, RefreshNowInTheFlatViewRescansOnlyTheNotifiedDirectoryAndNeverWaitsOnADeadServer) {
    settings_.WriteInteger("DirViewStyle", 1);
    TempTree data;
    Populate(data, {{"sub", -1}, {"sub/a", 100}});
    TFormMain form(settings_);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(Scan(form, data.Path()));
    const TNodeTreeModel& model = *form.TreeModel();
    ASSERT_TRUE(model.IsFlat());
    TFrameInfoPanel& panel = *form.InfoPanel();
    Populate(data, {{"sub/b", -1}, {"sub/b/x", 5 << 20}, {"top", -1}});
    panel.ShowNotification(data / "sub", QStringLiteral("sub changed"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.height() == TFrameInfoPanel::kPanelHeight; }, 2000));
    const auto gate = std::make_shared<Gate>();
    const TStatvfsFunction previous =
        SetStatvfsFunction([gate, root = data.Path()](const std::string& path, struct statvfs& out) {
            if (path == root)
                gate->Pass();
            return ::statvfs(path.c_str(), &out);
        });
    const auto start = std::chrono::steady_clock::now();
    const bool done = Await(form, [&] { ClickRefreshNow(form); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    gate->Open();
    SetStatvfsFunction(previous);
    EXPECT_TRUE(done);
    EXPECT_LT(seconds, 2.0) << "the window waited for the file system";
    EXPECT_EQ(FindNodeByPath(form.RootNode(), data / "top"), nullptr) << "only the notified directory";
    EXPECT_EQ(model.match(model.index(0, 0), Qt::DisplayRole, QString::fromStdString(data / "sub/b")).size(),
              1)
        << "the flat list was made again";
}

// Every row's label and figures, its children's after it, in the order shown.
std::string Figures(const TFileStatsModel& model, const QModelIndex& parent = {}) {
    std::string text;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const TStatsRow& shown = *model.RowAt(model.index(row, 0, parent));
        text += shown.Label.toStdString() + " " + std::to_string(shown.Tally.Files) + " " +
                std::to_string(shown.Tally.Size) + "; " + Figures(model, model.index(row, 0, parent));
    }
    return text;
}

// A hard link adds nothing; the listed files of a type are the largest first and reveal themselves.
TEST_F(FormMainTest, FileTypesAndAgesMatchTheFilesSumsAndAListedFileIsRevealedInTheTree) {
    const std::time_t now = std::time(nullptr);
    std::tm when{};
    const int thisYear = ::localtime_r(&now, &when)->tm_year + 1900;
    const std::string year = std::to_string(thisYear);
    TempTree data;
    Populate(data, {{"a", -1}, {"b", -1}, {"b/c", -1}});
    for (const auto& [name, size, y, month] :
         std::vector<std::tuple<std::string, int, int, int>>{{"a/x.h", 100, 2019, 5},
                                                             {"a/y.h", 300, 2021, 0},
                                                             {"b/pic.PNG", 5000, 2021, 11},
                                                             {"b/notes", 50, thisYear, 0},
                                                             {"b/c/arch.tar.gz", 2000, 2019, 0}}) {
        data.File(name, size);
        when.tm_mday = 15;
        when.tm_mon = month;
        when.tm_year = y - 1900;
        when.tm_isdst = -1;
        const timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (data / name).c_str(), times, 0), 0);
    }
    ASSERT_EQ(::link((data / "a/x.h").c_str(), (data / "a/twin.h").c_str()), 0);
    settings_.SetHardLinksOnce(true);
    TFormMain form(settings_);
    form.setAttribute(Qt::WA_DontShowOnScreen);
    form.show();
    TFileViews& views = *form.FileViews();
    const auto fatal = QAbstractItemModelTester::FailureReportingMode::Fatal;
    const QAbstractItemModelTester typesTester(views.TypesModel(), fatal),
        agesTester(views.AgesModel(), fatal);
    Trigger(form, "ActShowFileTypes");
    Trigger(form, "ActShowFileAges");
    ASSERT_TRUE(Scan(form, data.Path()));
    const auto counted = [&] { return QTest::qWaitFor([&] { return !views.IsFilling(); }, 10000); };
    ASSERT_TRUE(counted());
    EXPECT_EQ(Figures(*views.TypesModel()), "Images 1 5000; .png 1 5000; Archives 1 2000; .tar.gz 1 2000; "
                                            "Source code 2 400; .h 2 400; Other 1 50; (none) 1 50; ");
    EXPECT_EQ(Figures(*views.AgesModel()),
              "2019 2 2100; 2021 2 5300; " + year + " 1 50; " + year + "-01 1 50; ");
    views.FolderScopeButton()->click();
    SelectOnly(form, Dir(form, data / "b"));
    ASSERT_TRUE(counted());
    EXPECT_EQ(Figures(*views.AgesModel()),
              "2019 1 2000; 2021 1 5000; " + year + " 1 50; " + year + "-01 1 50; ");

    views.TypesDock()->raise();
    const QModelIndex dotH = views.TypesModel()->index(0, 0, views.TypesModel()->index(2, 0));
    views.TypesView()->expand(dotH.parent());
    DoubleClick(views.TypesView()->viewport(), views.TypesView()->visualRect(dotH).center());
    ASSERT_TRUE(counted());
    QTreeWidget& list = *views.FileList();
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(list.topLevelItem(0)->text(0).toStdString(), data / "a/y.h");
    list.setCurrentItem(list.topLevelItem(0));
    EXPECT_EQ(form.TreeModel()->NodeAt(form.TreeView()->currentIndex()),
              FindNodeByPath(form.RootNode(), data / "a/y.h"));
}

} // namespace
} // namespace quorvex
