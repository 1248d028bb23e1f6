// Scans saved to and opened from files through the window: the file dialogs on names that are not
// UTF-8, and an opened scan's tree, its marks and the disk actions it turns off.

#include "FormMainFixture.h"

#include "export/NcduExport.h"
#include "export/NcduImport.h"
#include "export/ScanHistory.h"
#include "shell/DialogPaths.h"
#include "ui/GrowthChart.h"
#include "ui/SaveScanResult.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include <gmock/gmock.h>

#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::BoxAnswers;
using testing::FormMainTest;
using ::testing::HasSubstr;
using testing::TempTree;
using testing::WhileShown;

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

QString AsText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Qt's own dialog works in the process's folder when it has no better one; a stray file lands here.
class DialogBytes : public FormMainTest {
protected:
    DialogBytes() : previous_(QDir::currentPath()) { QDir::setCurrent(QString::fromStdString(out_.Path())); }
    ~DialogBytes() override { QDir::setCurrent(previous_); }

    static QLineEdit* Name(const QFileDialog& dialog) {
        return testing::Control<QLineEdit>(dialog, "fileNameEdit");
    }
    static void Accept(QFileDialog& dialog) { QTest::keyClick(Name(dialog), Qt::Key_Return); }

    TempTree data_;
    TempTree out_;
    const std::string latin1_ = "caf\xe9";
    QString previous_;
};

TEST_F(DialogBytes, SavingIntoTheRememberedFolderWritesThereAndNowhereElse) {
    data_.File("big", 5000);
    out_.Dir(latin1_);
    const std::string folder = out_ / latin1_;
    settings_.WriteString("LastSaveDir", folder + "/");
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, data_.Path()));

    const WhileShown<QFileDialog> driver(Accept);
    Trigger(form, "ActSaveScanResult");
    EXPECT_TRUE(driver.ran);
    EXPECT_EQ(Entries(out_.Path()), std::set<std::string>{latin1_}) << "nothing beside the folder";
    const std::string saved = ProposedExportName(data_.Path()) + ".csv";
    EXPECT_EQ(Entries(folder), std::set<std::string>{saved});
    EXPECT_NE(testing::ReadAll(folder + "/" + saved).find(data_.Path() + ",5000,"), std::string::npos);
    EXPECT_EQ(settings_.ReadString("LastSaveDir", ""), folder + "/");

    // Saving again proposes the same file, which Qt's dialog cannot see: the window asks before it
    // is replaced, and "No" goes back to the dialog.
    testing::WriteAll(folder + "/" + saved, "earlier");
    QString asked;
    std::optional<WhileShown<QFileDialog>> back;
    const WhileShown<QFileDialog> again(Accept);
    const BoxAnswers no(QMessageBox::No, [&](const QMessageBox& box) {
        asked = box.text();
        back.emplace([](QFileDialog& dialog) { dialog.reject(); });
    });
    Trigger(form, "ActSaveScanResult");
    EXPECT_TRUE(back && back->ran) << "the dialog came back";
    EXPECT_EQ(asked, AsText(folder + "/" + saved + " already exists.\nDo you want to replace it?"));
    EXPECT_EQ(testing::ReadAll(folder + "/" + saved), "earlier");
}

TEST_F(DialogBytes, TheNameFollowsTheChosenFormatAndKeepsEveryCharacter) {
    data_.Dir("v1.2 data");
    data_.File("v1.2 data/big", 5000);
    const std::string scanned = data_ / "v1.2 data";
    const std::string stem = ProposedExportName(scanned);
    settings_.WriteString("LastSaveDir", out_.Path() + "/");
    settings_.WriteInteger("LastFilterIndex", 1);
    testing::WriteAll(out_ / (stem + ".csv"), "earlier");
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, scanned));
    const BoxAnswers noQuestion(QMessageBox::No);

    QString shown;
    const WhileShown<QFileDialog> driver([&](QFileDialog& dialog) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Name(dialog)->text() == AsText(stem + ".csv"); }));
        auto* types = testing::Control<QComboBox>(dialog, "fileTypeCombo");
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down); // the text tree, one below CSV
        shown = Name(dialog)->text();
        Accept(dialog);
    });
    Trigger(form, "ActSaveScanResult");
    ASSERT_TRUE(driver.ran);
    EXPECT_EQ(shown.toStdString(), stem + ".txt");
    EXPECT_EQ(Entries(out_.Path()), (std::set<std::string>{stem + ".csv", stem + ".txt"}));
    EXPECT_EQ(testing::ReadAll(out_ / (stem + ".csv")), "earlier");
    EXPECT_NE(testing::ReadAll(out_ / (stem + ".txt")).find(", 1 File)"), std::string::npos);

    // A typed name with a dot of its own still gets the format's suffix.
    ASSERT_EQ(::unlink((out_ / (stem + ".txt")).c_str()), 0);
    const WhileShown<QFileDialog> typed([&](QFileDialog& dialog) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Name(dialog)->text() == AsText(stem + ".txt"); }));
        Name(dialog)->selectAll();
        QTest::keyClicks(Name(dialog), QStringLiteral("v2.0 report"));
        Accept(dialog);
    });
    Trigger(form, "ActSaveScanResult");
    EXPECT_TRUE(typed.ran);
    EXPECT_NE(testing::ReadAll(out_ / "v2.0 report.txt").find(", 1 File)"), std::string::npos);
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(noQuestion.texts.empty()) << noQuestion.texts.front();
}

TEST_F(DialogBytes, OpenScanReadsTheFileAtTheDisksBytes) {
    out_.Dir(latin1_);
    const std::string file = out_ / (latin1_ + "/server.json");
    testing::WriteAll(file, "[1,2,{},[{\"name\":\"/srv\"},{\"name\":\"a\",\"asize\":1234}]]");
    TFormMain form(settings_);

    // The path as the window shows it (its caption, its status bar), typed or pasted into the name.
    const BoxAnswers refusal(QMessageBox::NoButton);
    const WhileShown<QFileDialog> driver([&](QFileDialog& dialog) {
        Name(dialog)->setText(AsText(file));
        Accept(dialog);
    });
    Trigger(form, "ActOpenScan");
    EXPECT_TRUE(driver.ran);
    ASSERT_TRUE(form.IsImportedScan()) << (errors_.empty() ? "" : errors_.front());
    EXPECT_EQ(form.RootNode()->GetSize(), 1234);
    EXPECT_TRUE(refusal.texts.empty()) << "the dialog refused the name: " << refusal.texts.front();
}

TEST(DialogPaths, NamesThatReadAlikeAreLeftAsTheyCame) {
    TempTree tree;
    tree.Dir("caf\xe9");
    tree.Dir("caf\xe8");
    tree.Dir("caf\xe8/inner");
    tree.Dir("na\xefve");
    const std::string lossy = "\xef\xbf\xbd";
    // One candidate: its bytes. Two: no guess, the path stays one that does not exist.
    EXPECT_EQ(MatchNamesOnDisk(tree / ("na" + lossy + "ve/new.csv")), tree / "na\xefve/new.csv");
    EXPECT_EQ(MatchNamesOnDisk(tree / ("caf" + lossy + "/inner")), tree / ("caf" + lossy + "/inner"));
    EXPECT_EQ(MatchNamesOnDisk(tree / "caf\xe8/inner/"), tree / "caf\xe8/inner/");

    EXPECT_EQ(LongestTextualPrefix(tree / "na\xefve/x"), tree.Path() + "/");
    EXPECT_EQ(LocalPathOfUrl(LocalFileUrl(tree / "caf\xe9/a%b#c")), tree / "caf\xe9/a%b#c");
}

// The file names a folder that exists here, holding other files than the file says: what the window
// shows must come from the file alone.
class FormMainImport : public FormMainTest {
protected:
    FormMainImport() {
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

// Every disk action is off, its entries saying why in the menus, until a scan of this disk.
TEST_F(FormMainImport, OpenScanShowsTheFilesTreeMarkedImportedWithTheDiskActionsOff) {
    form_.setAttribute(Qt::WA_DontShowOnScreen);
    form_.show();
    Action("ActOpenScan")->trigger();
    ASSERT_TRUE(form_.IsImportedScan());
    EXPECT_EQ(form_.windowTitle().toStdString(), "Quorvex - " + data_.Path() + " (imported)");
    const auto* mark = form_.findChild<QLabel*>(QStringLiteral("ImportedMark"));
    EXPECT_FALSE(mark->isHidden());
    EXPECT_TRUE(errors_.empty());

    const TRootNode* root = form_.RootNode();
    EXPECT_EQ(root->GetSize(), 5000030);
    EXPECT_EQ(root->GetFileCount(), 4);
    EXPECT_EQ(FindNodeByPath(root, data_ / "on-this-disk-only"), nullptr);
    const TFileSystemNode* inner = Node(form_, data_ / "sub/inner");
    ASSERT_NE(inner, nullptr);

    const std::string why = Action("ActDelete")->toolTip().toStdString();
    ASSERT_THAT(why, HasSubstr("scan opened from a file"));
    const TFileSystemNode* big = FindNodeByPath(root, data_ / "big");
    SelectOnly(form_, big);
    for (const char* name :
         {"ActRefresh", "ActRefreshNode", "ActShellOpenFile", "ActOpenInExplorer", "ActDelete"}) {
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
        EXPECT_EQ(Action(name)->toolTip().toStdString(), why) << name;
    }
    EXPECT_TRUE(Action("ActSaveScanResult")->isEnabled());
    const char* const entries[] = {"ItemMenuOpen", "ItemMenuOpenInFileManager", "ItemMenuRescan",
                                   "ItemMenuMoveToTrash", "ItemMenuDeletePermanently"};
    QMenu* items = RightClick(form_, big);
    ASSERT_NE(items, nullptr);
    EXPECT_TRUE(items->toolTipsVisible());
    for (const char* name : entries) {
        const QAction* entry = items->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_FALSE(entry->isEnabled()) << name;
        EXPECT_EQ(entry->toolTip().toStdString(), why) << name;
    }
    items->hide();
    // Enter on a file row, and the calls behind the actions, reach neither the desktop nor the disk.
    const BoxAnswers asked(QMessageBox::Yes);
    emit form_.TreeView()->activated(form_.TreeModel()->IndexOf(big));
    form_.DeleteSelection(true);
    form_.RescanNode(const_cast<TDirNode*>(dynamic_cast<const TDirNode*>(inner->Parent())));
    EXPECT_TRUE(launched_.opened.empty() && launched_.explored.empty() && asked.texts.empty());
    EXPECT_FALSE(form_.IsScanRunning());
    EXPECT_EQ(FindNodeByPath(form_.RootNode(), data_ / "big"), big);

    // A scan of this disk afterwards is an ordinary one again.
    ASSERT_TRUE(Scan(form_, data_.Path()));
    EXPECT_TRUE(mark->isHidden());
    EXPECT_TRUE(Action("ActRefresh")->isEnabled());
    items = RightClick(form_, FindNodeByPath(form_.RootNode(), data_ / "on-this-disk-only"));
    ASSERT_NE(items, nullptr);
    EXPECT_FALSE(items->toolTipsVisible());
    for (const char* name : {"ItemMenuOpen", "ItemMenuOpenInFileManager"})
        EXPECT_TRUE(items->findChild<QAction*>(QString::fromLatin1(name))->isEnabled()) << name;
}

// Every row's texts below `parent`, each after the path of its parent row, fetching as the view's
// expand does.
QStringList RowTexts(TNodeTreeModel& model, const QModelIndex& parent, const QString& path) {
    if (model.canFetchMore(parent))
        model.fetchMore(parent);
    QStringList rows;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        QString line = path + " >";
        for (int c = 0; c < TNodeTreeModel::kColumnCount; ++c)
            line += " | " + testing::Text(model, r, c, parent);
        rows << line << RowTexts(model, model.index(r, 0, parent), line);
    }
    return rows;
}

// Expanding every row of an opened scan file shows what the scan it was made from shows, files grouped
// alike, all made from the file.
TEST(ImportedTreeModel, ExpandingEveryRowShowsWhatTheScanOfTheTreeShows) {
    TempTree tree;
    tree.Dir("sub");
    tree.Dir("sub/two");
    for (const auto& [name, size] : {std::pair{"big", 50000},
                                     {"a", 10},
                                     {"b\xff", 20},
                                     {"sub/one", 30},
                                     {"sub/large", 60000},
                                     {"sub/two/x", 1},
                                     {"sub/two/y", 2}})
        tree.File(name, size);
    const auto scanned = testing::ScanNow(tree.Path(), 4096);
    TempTree files;
    std::ostringstream text;
    TNcduExport(scanned.get()).ExportToStream(text);
    testing::WriteAll(files / "tree.json", text.str());
    const auto imported = ImportNcduFile(files / "tree.json", 4096);
    testing::CheckedModel fromScan;
    fromScan.SetRoot(scanned.get());
    QStringList shownFromScan = RowTexts(fromScan, {}, {});

    // Changed on the disk: whatever the expand shows must come from the file.
    tree.File("sub/two/x", 999999);
    ASSERT_EQ(::unlink((tree / "a").c_str()), 0);
    testing::CheckedModel fromFile;
    fromFile.SetRoot(imported.get());
    QStringList shownFromFile = RowTexts(fromFile, {}, {});
    shownFromFile.sort();
    shownFromScan.sort();
    EXPECT_EQ(shownFromFile.join('\n').toStdString(), shownFromScan.join('\n').toStdString());
    EXPECT_GE(shownFromFile.size(), 12);
}

// A finished scan lands in the history, off the window's thread, and reads back with the tree's
// totals; the History menu opens it as a scan from a file.
TEST_F(FormMainTest, AFinishedScanIsKeptAndTheHistoryMenuOpensIt) {
    TempTree tree;
    tree.Dir("a");
    tree.File("a/one", 3000000);
    tree.File("two", 20);
    tree.Dir("a/gate");
    std::atomic<bool> holdRescan{false};
    const auto gate = std::make_shared<testing::Gate>();
    testing::HookedFileSystem fs([&holdRescan, gate](const char* name) {
        if (holdRescan && std::strcmp(name, "gate") == 0)
            gate->Pass();
        return 0;
    });
    TFormMain form(settings_);
    form.SetScanFileSystem(&fs);
    ASSERT_TRUE(Scan(form, tree.Path()));
    const std::int64_t size = form.RootNode()->GetSize();
    std::vector<THistoryScan> kept;
    for (int i = 0; i < 1000 && kept.empty(); ++i) {
        QTest::qWait(10);
        kept = ListHistory(HistoryFolder(), tree.Path());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ImportNcduFile(kept[0].File, 0)->GetSize(), size);
    auto* menu = form.findChild<QMenu*>(QStringLiteral("HistoryMenu"));
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 1);
    menu->actions().front()->trigger();
    EXPECT_TRUE(form.IsImportedScan());
    EXPECT_EQ(form.RootNode()->GetSize(), size);
    EXPECT_EQ(form.RootNode()->GetFileCount(), 2);

    // The tree is copied between events; a folder rescanned before the copy is through must not
    // leave that scan kept with the folder emptied while its rescan is held.
    QObject::connect(
        &form, &TFormMain::ScanFinishedSignal, &form,
        [&] {
            holdRescan = true;
            form.RescanNode(Dir(form, tree / "a"));
        },
        Qt::SingleShotConnection);
    ASSERT_TRUE(Scan(form, tree.Path()));
    ASSERT_TRUE(gate->Reached());
    QTest::qWait(200);
    gate->Open();
    ASSERT_TRUE(Await(form, [] {}));
    for (int i = 0; i < 1000 && kept.size() < 3; ++i) {
        QTest::qWait(10);
        kept = ListHistory(HistoryFolder(), tree.Path());
    }
    ASSERT_EQ(kept.size(), 3u);
    for (const THistoryScan& scan : kept)
        EXPECT_EQ(ImportNcduFile(scan.File, 0)->GetSize(), size) << scan.File;
    EXPECT_TRUE(errors_.empty());

    // A file cut short is listed with the others; opening it says why and leaves the tree shown.
    std::string cut = kept.back().File;
    const std::size_t timeAt = cut.find('~', cut.find('~', cut.rfind('/')) + 1) + 1;
    cut.replace(timeAt, std::to_string(kept.back().TimeMs).size(), std::to_string(kept.back().TimeMs - 1));
    const std::string whole = testing::ReadAll(kept.back().File);
    testing::WriteAll(cut, whole.substr(0, whole.size() / 2));
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 4);
    menu->actions().back()->trigger();
    EXPECT_THAT(errors_, ::testing::ElementsAre(::testing::HasSubstr(cut)));
    EXPECT_FALSE(form.IsImportedScan());
    menu->actions().front()->trigger();
    EXPECT_TRUE(form.IsImportedScan());
    errors_.clear();
}

// The chart of the root's kept scans, one point each, with the average growth a day under it; a scan
// kept reaches it from the writer's thread, a scan opened from the history is its root's, and
// another root has a history of its own.
TEST_F(FormMainTest, TheGrowthChartShowsTheKeptScansOfTheRootShown) {
    TempTree tree, other;
    tree.File("f", 4 << 20);
    // Written by the real writer, then dated back through the time in their names: 3, 2 and 1 MiB
    // one, two and three days before the scan of 4 MiB below.
    constexpr std::int64_t kDay = kShortestGrowthSpanMs;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    TRootDirNode empty;
    empty.SetName(tree.Path());
    THistorySnapshot snapshot = TakeHistorySnapshot(empty);
    for (int day = 1; day <= 3; ++day) {
        snapshot.Size = std::int64_t{4 - day} << 20;
        const std::string file = SaveToHistory(HistoryFolder(), snapshot, {});
        const std::string time =
            "~" + std::to_string(ListHistory(HistoryFolder(), tree.Path())[0].TimeMs) + "~";
        std::filesystem::rename(file,
                                std::string(file).replace(file.rfind(time), time.size(),
                                                          "~" + std::to_string(now - day * kDay) + "~"));
    }
    settings_.SetFileSizeRounding(1);
    TFormMain form(settings_);
    form.show();
    Trigger(form, "ActShowGrowth");
    const TGrowthView& growth = *form.GrowthView();
    EXPECT_EQ(growth.Average()->text(), "Not enough scans to show growth");
    ASSERT_TRUE(Scan(form, tree.Path()));
    EXPECT_EQ(growth.Chart()->PointCount(), 3u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return growth.Chart()->PointCount() == 4; }, 20000));
    // Just under 1 MiB a day: the window's scan ends some time after `now`, longer in a slow build.
    const std::optional<double> perDay = GrowthPerDay(ListHistory(HistoryFolder(), tree.Path()));
    ASSERT_TRUE(perDay.has_value());
    EXPECT_NEAR(*perDay, 1 << 20, 1 << 10);
    EXPECT_EQ(
        growth.Average()->text().toStdString(),
        "Average growth: +" +
            form.SizeFormatter()(static_cast<std::int64_t>(std::llround(*perDay)), LocaleDecimalSeparator()) +
            " a day");
    auto* menu = form.findChild<QMenu*>(QStringLiteral("HistoryMenu"));
    emit menu->aboutToShow();
    menu->actions().back()->trigger(); // the oldest
    EXPECT_TRUE(form.IsImportedScan());
    EXPECT_EQ(growth.Chart()->PointCount(), 4u);
    ASSERT_TRUE(Scan(form, other.Path()));
    EXPECT_EQ(growth.Chart()->PointCount(), 0u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return growth.Chart()->PointCount() == 1; }, 20000));
    EXPECT_EQ(growth.Average()->text(), "Not enough scans to show growth");
    EXPECT_THAT(errors_, ::testing::IsEmpty());
}

} // namespace
} // namespace quorvex
