// The window's file dialogs on folders whose names are not UTF-8: what is written or read is the
// file at the disk's own bytes, not at their re-encoded text.

#include "FormMainFixture.h"

#include "common/DialogDriver.h"
#include "common/FileText.h"
#include "shell/DialogPaths.h"
#include "ui/SaveScanResult.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

#include <dirent.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <set>

namespace quorvex {
namespace {

using testing::FormMainTest;
using testing::TempTree;
using testing::WhileShown;

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
            names.insert(entry->d_name);
    }
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

    static void Accept(QFileDialog& dialog) {
        auto* name = testing::Control<QLineEdit>(dialog, "fileNameEdit");
        QTest::keyClick(name, Qt::Key_Return);
    }

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

    const WhileShown<QFileDialog> driver([](QFileDialog& dialog) { Accept(dialog); });
    Trigger(form, "ActSaveScanResult");
    EXPECT_TRUE(driver.ran);
    EXPECT_TRUE(errors_.empty()) << errors_.front();

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
    const WhileShown<QFileDialog> again([](QFileDialog& dialog) { Accept(dialog); });
    testing::BoxAnswerer no(QMessageBox::No, [&](const QMessageBox& box) {
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
    testing::BoxAnswerer noQuestion(QMessageBox::No, [](const QMessageBox& box) {
        ADD_FAILURE() << "asked: " << box.text().toStdString();
    });

    QString shown;
    const WhileShown<QFileDialog> driver([&](QFileDialog& dialog) {
        auto* name = testing::Control<QLineEdit>(dialog, "fileNameEdit");
        EXPECT_TRUE(QTest::qWaitFor([&] { return name->text() == AsText(stem + ".csv"); }));
        auto* types = testing::Control<QComboBox>(dialog, "fileTypeCombo");
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down); // the text tree, one below CSV
        shown = name->text();
        Accept(dialog);
    });
    Trigger(form, "ActSaveScanResult");
    ASSERT_TRUE(driver.ran);
    EXPECT_EQ(shown.toStdString(), stem + ".txt");
    EXPECT_EQ(Entries(out_.Path()), (std::set<std::string>{stem + ".csv", stem + ".txt"}));
    EXPECT_EQ(testing::ReadAll(out_ / (stem + ".csv")), "earlier");
    EXPECT_NE(testing::ReadAll(out_ / (stem + ".txt")).find(", 1 File)"), std::string::npos);
    EXPECT_EQ(settings_.ReadInteger("LastFilterIndex", 0), 2);

    // A typed name with a dot of its own still gets the format's suffix.
    ASSERT_EQ(::unlink((out_ / (stem + ".txt")).c_str()), 0);
    const WhileShown<QFileDialog> typed([&](QFileDialog& dialog) {
        auto* name = testing::Control<QLineEdit>(dialog, "fileNameEdit");
        EXPECT_TRUE(QTest::qWaitFor([&] { return name->text() == AsText(stem + ".txt"); }));
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("v2.0 report"));
        Accept(dialog);
    });
    Trigger(form, "ActSaveScanResult");
    EXPECT_TRUE(typed.ran);
    EXPECT_NE(testing::ReadAll(out_ / "v2.0 report.txt").find(", 1 File)"), std::string::npos);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(DialogBytes, OpenScanReadsTheFileAtTheDisksBytes) {
    out_.Dir(latin1_);
    const std::string file = out_ / (latin1_ + "/server.json");
    testing::WriteAll(file, "[1,2,{},[{\"name\":\"/srv\"},{\"name\":\"a\",\"asize\":1234}]]");
    TFormMain form(settings_);

    // The path as the window shows it (its caption, its status bar), typed or pasted into the name.
    testing::BoxAnswerer refusal(QMessageBox::NoButton, [](const QMessageBox& box) {
        ADD_FAILURE() << "the dialog refused the name: " << box.text().toStdString();
    });
    const WhileShown<QFileDialog> driver([&](QFileDialog& dialog) {
        testing::Control<QLineEdit>(dialog, "fileNameEdit")->setText(AsText(file));
        Accept(dialog);
    });
    Trigger(form, "ActOpenScan");
    EXPECT_TRUE(driver.ran);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    ASSERT_TRUE(form.IsImportedScan());
    EXPECT_EQ(form.RootNode()->GetSize(), 1234);
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

} // namespace
} // namespace quorvex
