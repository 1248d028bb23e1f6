#include "common/FileText.h"
#include "common/TempTree.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/IsoUtils.h"
#include "i18n/LangUtils.h"
#include "i18n/Translation.h"
#include "settings/QxIniFile.h"
#include "settings/QxSettings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace quorvex {
namespace {

using namespace std::string_literals;
using testing::ReadAll;
using testing::WriteAll;

// Every test gets its own config folder, never the user's, and no seams left installed.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", (tree_ / "config").c_str(), 1);
        previousHandler_ =
            SetErrorDialogHandler([this](const std::string& text) { errors_.push_back(text); });
    }
    void TearDown() override {
        FreeGlobalSettings();
        SetScreenSectionNameSource({});
        SetErrorDialogHandler(previousHandler_);
    }

    // Settings loaded from a file holding `settingsLines` in its Settings section.
    std::unique_ptr<TSettings> LoadedFrom(const std::string& settingsLines) {
        WriteAll(tree_ / "given.ini", "[Settings]\n" + settingsLines);
        auto s = std::make_unique<TSettings>(tree_ / "given.ini");
        s->Load();
        return s;
    }

    testing::TempTree tree_;
    std::vector<std::string> errors_;

    ErrorDialogHandler previousHandler_;
};

TEST(IniInteger, Grammar) {
    const std::pair<std::string, std::int64_t> valid[] = {{"256", 256},  {"0x100", 256},
                                                          {"$100", 256}, {"  \t-12", -12},
                                                          {"-$10", -16}, {"-9223372036854775808", INT64_MIN}};
    for (const auto& [text, value] : valid)
        EXPECT_EQ(ParseIniInt64(text), value) << '"' << text << '"';
    for (const char* text : {"abc", "12abc", "0x", "", "9223372036854775808", "$FFFFFFFFFFFFFFFF"})
        EXPECT_EQ(ParseIniInt64(text), std::nullopt) << '"' << text << '"';
}

// Names ignore case, bad values read as defaults, and long values come back cut at whole characters
// while the file keeps them whole.
TEST_F(SettingsTest, IniReadsIgnoreCaseTakeDefaultsForBadValuesAndCutLongOnes) {
    WriteAll(tree_ / "a.ini", "[settings]\ngroupfilesize = 0x10\nFlag=2\nWide=4294967296\nWord=yes\n");
    TQxIniFile ini(tree_ / "a.ini");
    EXPECT_EQ(ini.ReadInt64("SETTINGS", "GroupFileSize", 5), 16);
    EXPECT_TRUE(ini.ReadBool("Settings", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Settings", "Word", false));
    EXPECT_EQ(ini.ReadInteger("Settings", "Wide", -1), -1); // outside 32 bits
    std::string accented;
    for (int i = 0; i < 3000; ++i)
        accented += "\xC3\xA9"; // two bytes each
    ini.WriteString("S", "Accented", accented);
    EXPECT_EQ(ini.ReadString("S", "Accented", {}), accented.substr(0, std::size_t{2047} * 2));
    EXPECT_NE(ReadAll(tree_ / "a.ini").find(accented), std::string::npos);
}

// A hand-edited file keeps every comment, duplicate, unknown key, NUL and binary blob through a write.
TEST_F(SettingsTest, IniWritesKeepEverythingElseOfAHandEditedFile) {
    const std::string path = tree_ / "hand.ini";
    WriteAll(path, "\xEF\xBB\xBF; written by hand\n\n[Settings]\n; the threshold\nGroupSmallFiles=1\n\0"
                   "GroupFileSize=77\nDup=first\nDup=second\n\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\n"
                   "Odd=value ; not a comment\n[Mine]\nkey=v\n; last words\n"s);
    TSettings settings(path);
    settings.Load();
    EXPECT_EQ(settings.GroupFileSize(), 77);
    TQxIniFile& ini = settings.IniFile();
    EXPECT_EQ(ini.ReadString("Settings", "Dup", {}), "first");
    EXPECT_EQ(ini.ReadString("Mine", "key", {}), "v");
    ini.WriteInt64("settings", "groupfilesize", 1048576);
    ini.WriteString("Settings", "Language", "de");
    const std::string text = ReadAll(path);
    for (const char* kept : {"\xEF\xBB\xBF; written by hand\n", "; the threshold\nGroupSmallFiles=1\n",
                             "=1048576\n", "Dup=first\nDup=second\n", "Odd=value ; not a comment\n",
                             "Language=de\n", "[Mine]\nkey=v\n; last words\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from:\n" << text;
    EXPECT_TRUE(errors_.empty());

    WriteAll(tree_ / "comments.ini", "; first\n\n; second\n");
    TQxIniFile(tree_ / "comments.ini").WriteString("S", "K", "v");
    const std::string comments = ReadAll(tree_ / "comments.ini");
    EXPECT_EQ(comments.find("; first"), comments.rfind("; first")) << comments;
    EXPECT_NE(comments.find("; second"), std::string::npos) << comments;
}

// A line break would end the value early and let the rest of it pose as keys of its own.
TEST_F(SettingsTest, IniValueWithLineBreakIsRefusedAndTheFileUntouched) {
    TQxIniFile ini(tree_ / "a.ini");
    ini.WriteString("Settings", "MRUDirList", "/home");
    EXPECT_THROW(ini.WriteString("Settings", "MRUDirList", "/tmp/x\n[Settings]\nGroupFileSize=1"),
                 EIniFileError);
    EXPECT_THROW(ini.WriteString("Settings", "Bad=Key", "v"), std::invalid_argument);
    EXPECT_EQ(ReadAll(tree_ / "a.ini"), "[Settings]\nMRUDirList=/home\n");
}

TEST_F(SettingsTest, FolderIsMadeWithItsParentsOrRaises) {
    ::setenv("XDG_CONFIG_HOME", (tree_ / "a/b").c_str(), 1);
    EXPECT_EQ(SettingsIniFileName(), tree_ / "a/b/Quorvex/Quorvex.ini");
    EXPECT_TRUE(std::filesystem::is_directory(tree_ / "a/b/Quorvex"));
    EXPECT_FALSE(testing::Exists(tree_ / "a/b/Quorvex/Quorvex.ini")) << "no file until a write";

    tree_.File("plain", 0);
    ::setenv("XDG_CONFIG_HOME", (tree_ / "plain").c_str(), 1);
    EXPECT_THAT([] { TSettings settings; }, ::testing::ThrowsMessage<ESettingsError>(
                                                "The application data directory '" +
                                                (tree_ / "plain/Quorvex/") + "' could not be created."));
    // What the window goes on with then: the defaults, and no error box for each change it cannot keep.
    TSettings unsaved{std::string()};
    unsaved.SetFileSizeRounding(1);
    unsaved.Save();
    unsaved.WriteString("MRUDirList", "/x");
    unsaved.Load();
    EXPECT_EQ(unsaved.FileSizeRounding(), 1);
    EXPECT_EQ(unsaved.ReadString("MRUDirList", "none"), "none");
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(SettingsTest, SaveWritesTheTwelveKeysAndPatternsComeBackWhole) {
    TSettings& settings = GlobalSettings();
    settings.Load();
    settings.Save();
    const std::string iniPath = tree_ / "config/Quorvex/Quorvex.ini";
    EXPECT_EQ(ReadAll(iniPath), // what a first run writes
              "[Settings]\nGroupSmallFiles=1\nGroupFileSize=1048576\nLanguage=" + CurrentLanguage() +
                  "\nTreeViewRefreshRate=250\nPaintOptions=[poDrawChildPercentBars]\n"
                  "FileSizeRounding=2\nBarChartPainterClass=TDefaultBarChartPainter\nAllocatedSize=0\n"
                  "CountHardLinksOnce=0\nExcludePatterns=\nHistoryScansPerRoot=10\nHistoryBudgetMB=256\n");
    settings.SetPaintOption(poDrawChildPercentBars, false);
    settings.SetHardLinksOnce(true);
    settings.SetExcludePatterns({"*.{iso,img}", " \"x\" ", "b"});
    settings.Save();
    for (const char* line : {"\nPaintOptions=[]\n", "\nCountHardLinksOnce=1\n"})
        EXPECT_NE(ReadAll(iniPath).find(line), std::string::npos) << line;
    TSettings reread(iniPath);
    reread.Load();
    EXPECT_EQ(reread.ExcludePatterns(), settings.ExcludePatterns());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SettingsTest, LoadReadsEveryKeyAndKeepsDefaultsForBadOnes) {
    EXPECT_EQ(LoadedFrom("GroupFileSize=abc\n")->GroupFileSize(), 1048576);
    const auto history = LoadedFrom("HistoryScansPerRoot=3\nHistoryBudgetMB=0\n");
    EXPECT_EQ(std::pair(history->HistoryScansPerRoot(), history->HistoryBudgetMB()),
              std::pair(3, std::int64_t{1}));
    const TQxPaintOptions standard{poDrawChildPercentBars};
    EXPECT_EQ(LoadedFrom("PaintOptions=\n")->PaintOptions(), standard);
    EXPECT_TRUE(LoadedFrom("PaintOptions=[poDrawChildPercentBars,poBogus]\n")->PaintOptions().Empty());
    EXPECT_EQ(LoadedFrom("PaintOptions= [ PODRAWCHILDPERCENTBARS ] \n")->PaintOptions(), standard);

    // Not read at all: 250 stays, and the next save puts it back.
    auto refresh = LoadedFrom("TreeViewRefreshRate=1000\n");
    EXPECT_EQ(refresh->TreeViewRefreshRate(), 250);
    refresh->Save();
    EXPECT_EQ(refresh->ReadInteger("TreeViewRefreshRate", 0), 250);
    EXPECT_FALSE(refresh->GroupingChanged());

    // Put in by hand: read, kept through a save, and never below 0 (automatic).
    EXPECT_EQ(LoadedFrom("ScanJobs=-3\n")->ScanJobs(), 0);
    auto jobs = LoadedFrom("ScanJobs=6\n");
    jobs->Save();
    EXPECT_EQ(jobs->ReadInteger("ScanJobs", 0), 6);
    EXPECT_EQ(TSettings::CreateCopy(*jobs)->ScanJobs(), 6);
    EXPECT_TRUE(errors_.empty());

    // Without the painter registry (the command line has none) the class is kept by name.
    EXPECT_EQ(LoadedFrom("BarChartPainterClass=TSomePainter\n")->BarChartPainterClass(), "TSomePainter");
}

// Save replaces the file by a rename, as the safe writer does, so a read-only folder fails it even
// though the file itself may be written: the failure is shown with its reason and the file keeps every
// byte. A file that cannot be read: Load and Save report it, and the values stay as they were.
TEST_F(SettingsTest, SaveGoesThroughTheSafeWriterAndReportsAFailedWrite) {
    tree_.Dir("ro");
    const std::string path = tree_ / "ro/a.ini";
    const std::string text =
        "; keep me\n[Settings]\nGroupFileSize=4096\nLanguage=fr\n[1280x1024]\nPosition=1,2,3,4\n";
    WriteAll(path, text);
    tree_.Link(path, "link.ini");
    TSettings settings(tree_ / "link.ini");
    settings.Load();
    settings.SetGroupFileSize(8192);
    ::chmod((tree_ / "ro").c_str(), 0555);
    settings.Save();
    ::chmod((tree_ / "ro").c_str(), 0755);
    EXPECT_EQ(errors_,
              std::vector<std::string>{"Unable to write to " + tree_ / "link.ini" + ": Permission denied"});
    EXPECT_EQ(ReadAll(path), text);
    settings.Save();
    for (const char* kept : {"; keep me\n", "GroupFileSize=8192\n", "[1280x1024]\nPosition=1,2,3,4\n"})
        EXPECT_NE(ReadAll(path).find(kept), std::string::npos) << kept;
    EXPECT_TRUE(std::filesystem::is_symlink(tree_ / "link.ini"));

    tree_.Dir("dir.ini"); // it exists, so it is not to be taken for a missing, empty file
    TSettings unreadable(tree_ / "dir.ini");
    unreadable.SetGroupFileSize(999);
    unreadable.Load();
    unreadable.Save();
    ASSERT_EQ(errors_.size(), 3u);
    EXPECT_NE(errors_[1].find(tree_ / "dir.ini"), std::string::npos);
    EXPECT_EQ(unreadable.GroupFileSize(), 999);
    EXPECT_TRUE(std::filesystem::is_directory(tree_ / "dir.ini"));
}

// Regional rows match exactly, others by their first two letters (one letter is its own two); every
// row comes back from its display name.
TEST(LanguageNames, RegionalRowsExactlyOthersByTwoLettersAndBackFromTheDisplayName) {
    const std::pair<const char*, const char*> names[] = {
        {"de_AT", "German"}, {"en_US", "American English"}, {"en_us", "English"}, {"d", ""}};
    for (const auto& [code, name] : names)
        EXPECT_EQ(LanguageName(code), name) << '"' << code << '"';
    for (const TIsoLanguage& row : IsoLanguages())
        EXPECT_EQ(LanguageCodeFromDisplayName(LanguageDisplayName(std::string(row.Code))), row.Code);
    EXPECT_EQ(LanguageCodeFromDisplayName("Ndebele, North [nd] [xx]"), "nd");
    EXPECT_EQ(LanguageCodeFromDisplayName(LanguageDisplayName("xx")), "xx") << "a code without a name";
    for (const char* broken : {"German", "German [de", "German []"})
        EXPECT_EQ(LanguageCodeFromDisplayName(broken), "") << broken;
}

} // namespace
} // namespace quorvex
