#include "settings/QxSettings.h"
#include "common/TempTree.h"
#include "i18n/Translation.h"
#include "settings/FileText.h"
#include "support/ErrorDialogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::ReadAll;
using testing::WriteAll;

// Every test gets its own config folder, never the user's, and no seams left installed.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            oldConfigHome_ = old;
        ::setenv("XDG_CONFIG_HOME", (tree_ / "config").c_str(), 1);
        previousHandler_ =
            SetErrorDialogHandler([this](const std::string& text) { errors_.push_back(text); });
    }
    void TearDown() override {
        FreeGlobalSettings();
        SetPainterClassResolver({});
        SetScreenSectionNameSource({});
        SetErrorDialogHandler(previousHandler_);
        if (oldConfigHome_)
            ::setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    std::string IniPath() const { return tree_ / "config/Quorvex/Quorvex.ini"; }
    // Settings on a file holding `settingsLines` in its Settings section.
    std::unique_ptr<TSettings> LoadedFrom(const std::string& settingsLines) {
        WriteAll(tree_ / "given.ini", "[Settings]\n" + settingsLines);
        auto s = std::make_unique<TSettings>(tree_ / "given.ini");
        s->Load();
        return s;
    }

    testing::TempTree tree_;
    std::vector<std::string> errors_;

private:
    std::optional<std::string> oldConfigHome_;
    ErrorDialogHandler previousHandler_;
};

TEST_F(SettingsTest, FolderIsMadeWithItsParentsOrRaises) {
    ::setenv("XDG_CONFIG_HOME", (tree_ / "a/b").c_str(), 1);
    EXPECT_EQ(SettingsIniFileName(), tree_ / "a/b/Quorvex/Quorvex.ini");
    struct stat st {};
    EXPECT_EQ(::stat((tree_ / "a/b/Quorvex").c_str(), &st), 0);
    EXPECT_NE(::stat((tree_ / "a/b/Quorvex/Quorvex.ini").c_str(), &st), 0); // no file until a write

    tree_.File("plain", 0);
    ::setenv("XDG_CONFIG_HOME", (tree_ / "plain").c_str(), 1);
    try {
        TSettings settings;
        ADD_FAILURE() << "no error for a folder below a file";
    } catch (const ESettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "The application data directory '" + (tree_ / "plain/Quorvex/") +
                                             "' could not be created.");
    }
}

// The closing note of the settings work quotes these two files.
TEST_F(SettingsTest, SaveWritesTheSevenKeys) {
    TSettings& settings = GlobalSettings();
    settings.Load();
    EXPECT_TRUE(errors_.empty());
    settings.Save();
    EXPECT_EQ(ReadAll(IniPath()), "[Settings]\n"
                                  "GroupSmallFiles=1\n"
                                  "GroupFileSize=1048576\n"
                                  "Language=" +
                                      CurrentLanguage() +
                                      "\n"
                                      "TreeViewRefreshRate=250\n"
                                      "PaintOptions=[poDrawChildPercentBars]\n"
                                      "FileSizeRounding=2\n"
                                      "BarChartPainterClass=TDefaultBarChartPainter\n");

    settings.SetGroupSmallFiles(false);
    settings.SetGroupFileSize(4096);
    settings.SetLanguage("de");
    settings.SetTreeViewRefreshRate(500);
    settings.SetPaintOption(poDrawChildPercentBars, false);
    settings.SetFileSizeRounding(1);
    settings.SetBarChartPainterClass("TXpBarChartPainter");
    settings.Save();
    EXPECT_EQ(ReadAll(IniPath()), "[Settings]\n"
                                  "GroupSmallFiles=0\n"
                                  "GroupFileSize=4096\n"
                                  "Language=de\n"
                                  "TreeViewRefreshRate=500\n"
                                  "PaintOptions=[]\n"
                                  "FileSizeRounding=1\n"
                                  "BarChartPainterClass=TXpBarChartPainter\n");
    EXPECT_TRUE(errors_.empty());

    FreeGlobalSettings(); // a new shared object reads back what the old one wrote
    GlobalSettings().Load();
    EXPECT_EQ(GlobalSettings().GroupThreshold(), 0);
    EXPECT_EQ(GlobalSettings().BarChartPainterClass(), "TXpBarChartPainter");
}

TEST_F(SettingsTest, LoadParsesValuesAndKeepsDefaultsForBadOnes) {
    EXPECT_EQ(LoadedFrom("GroupFileSize=abc\n")->GroupFileSize(), 1048576);
    EXPECT_EQ(LoadedFrom("GroupFileSize=0x100\n")->GroupFileSize(), 256);
    EXPECT_EQ(LoadedFrom("GroupFileSize=$100\n")->GroupFileSize(), 256);
    EXPECT_EQ(LoadedFrom("GroupFileSize=-5\n")->GroupFileSize(), -5); // taken as it is
    EXPECT_FALSE(LoadedFrom("GroupSmallFiles=0\n")->GroupSmallFiles());
    EXPECT_TRUE(LoadedFrom("GroupSmallFiles=7\n")->GroupSmallFiles());
    EXPECT_EQ(LoadedFrom("FileSizeRounding=300\n")->FileSizeRounding(), 300 % 256);

    const TQxPaintOptions standard{poDrawChildPercentBars};
    EXPECT_EQ(LoadedFrom("PaintOptions=\n")->PaintOptions(), standard);
    EXPECT_TRUE(LoadedFrom("PaintOptions=[]\n")->PaintOptions().Empty());
    EXPECT_TRUE(LoadedFrom("PaintOptions=[poDrawChildPercentBars,poBogus]\n")->PaintOptions().Empty());
    EXPECT_EQ(LoadedFrom("PaintOptions= [ PODRAWCHILDPERCENTBARS ] \n")->PaintOptions(), standard);
    EXPECT_EQ(LoadedFrom("PaintOptions=poDrawChildPercentBars\n")->PaintOptions(), standard);

    // Not read at all: 250 stays, and the next save puts it back.
    auto refresh = LoadedFrom("TreeViewRefreshRate=1000\n");
    EXPECT_EQ(refresh->TreeViewRefreshRate(), 250);
    refresh->Save();
    EXPECT_EQ(refresh->ReadInteger("TreeViewRefreshRate", 0), 250);
    EXPECT_FALSE(refresh->GroupingChanged());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SettingsTest, PainterClassGoesThroughTheResolver) {
    EXPECT_EQ(LoadedFrom("BarChartPainterClass=TSomePainter\n")->BarChartPainterClass(), "TSomePainter");
    EXPECT_EQ(LoadedFrom("BarChartPainterClass=\n")->BarChartPainterClass(), "TDefaultBarChartPainter");

    std::vector<std::string> asked;
    SetPainterClassResolver([&](const std::string& name) {
        asked.push_back(name);
        return name == "tsomepainter" ? std::string("TSomePainter") : std::string("TDefaultBarChartPainter");
    });
    EXPECT_EQ(LoadedFrom("BarChartPainterClass=tsomepainter\n")->BarChartPainterClass(), "TSomePainter");
    EXPECT_EQ(LoadedFrom("BarChartPainterClass=TGone\n")->BarChartPainterClass(), "TDefaultBarChartPainter");
    EXPECT_EQ(asked, (std::vector<std::string>{"tsomepainter", "TGone"}));
}

TEST_F(SettingsTest, OnlyRealGroupingChangesRaiseTheFlag) {
    TSettings settings(tree_ / "a.ini");
    settings.SetGroupSmallFiles(true);
    settings.SetGroupFileSize(1048576);
    settings.SetLanguage("fr");
    settings.SetFileSizeRounding(0);
    settings.SetPaintOption(poDrawChildPercentBars, false);
    settings.SetPaintOption(9, true); // ignored
    settings.SetBarChartPainterClass("TOther");
    EXPECT_FALSE(settings.GroupingChanged());
    EXPECT_TRUE(settings.PaintOptions().Empty());

    settings.SetGroupFileSize(2048);
    EXPECT_TRUE(settings.GroupingChanged());
    settings.SetGroupingChanged(false);
    settings.SetGroupSmallFiles(false);
    EXPECT_TRUE(settings.GroupingChanged());
}

TEST_F(SettingsTest, DialogCopySharesTheFileButNotTheValues) {
    TSettings& shared = GlobalSettings();
    auto copy = TSettings::CreateCopy(shared);
    copy->SetGroupFileSize(123);
    copy->SetTreeViewRefreshRate(100);
    EXPECT_EQ(shared.GroupFileSize(), 1048576);
    copy->WriteString("SettingsDlgSomething", "1");
    EXPECT_EQ(shared.ReadString("SettingsDlgSomething", {}), "1"); // the file is seen at once

    shared.Assign(*copy);
    EXPECT_EQ(shared.GroupFileSize(), 123);
    EXPECT_EQ(shared.TreeViewRefreshRate(), 100);
    EXPECT_TRUE(shared.GroupingChanged());
}

TEST_F(SettingsTest, ScreenSectionFollowsTheScreenAndIsAbsentWithoutOne) {
    TSettings settings(tree_ / "a.ini");
    settings.WriteScreenString("Position", "1,2,3,4");
    EXPECT_EQ(settings.ReadScreenString("Position", "none"), "none");
    struct stat st {};
    EXPECT_NE(::stat((tree_ / "a.ini").c_str(), &st), 0); // nothing was written

    std::string screen = "1280x1024";
    SetScreenSectionNameSource([&] { return screen; });
    settings.WriteScreenString("Position", "10,20,710,520");
    EXPECT_EQ(settings.IniFile().ReadString("1280x1024", "Position", {}), "10,20,710,520");
    screen = "1920x1080";
    EXPECT_EQ(settings.ReadScreenString("Position", "centred"), "centred");
    screen = "1280x1024";
    EXPECT_EQ(settings.ReadScreenString("Position", "centred"), "10,20,710,520");
}

TEST_F(SettingsTest, FileErrorsAreReportedAndNothingIsLost) {
    const std::string path = tree_ / "ro.ini";
    const std::string text =
        "; keep me\n[Settings]\nGroupFileSize=4096\nLanguage=fr\n[1280x1024]\nPosition=1,2,3,4\n";
    WriteAll(path, text);
    ::chmod(path.c_str(), 0444);
    TSettings settings(path);
    settings.Load();
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(settings.GroupFileSize(), 4096);
    settings.Save();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Unable to write to " + path);
    EXPECT_EQ(ReadAll(path), text);

    tree_.Dir("dir.ini"); // cannot be read: Load reports it and keeps what it had
    TSettings unreadable(tree_ / "dir.ini");
    unreadable.SetGroupFileSize(999);
    unreadable.Load();
    ASSERT_EQ(errors_.size(), 2u);
    EXPECT_NE(errors_[1].find(tree_ / "dir.ini"), std::string::npos);
    EXPECT_EQ(unreadable.GroupFileSize(), 999);
}

TEST_F(SettingsTest, RoundingNames) {
    EXPECT_EQ(FileSizeRoundingName(0), "");
    EXPECT_EQ(GetFileSizeRoundingNames(),
              (std::vector<std::string>{FileSizeRoundingName(1), FileSizeRoundingName(2)}));
    EXPECT_EQ(FileSizeRoundingFromName(FileSizeRoundingName(2)), 2);
    EXPECT_EQ(FileSizeRoundingFromName("no such rounding"), 0);
}

} // namespace
} // namespace quorvex
