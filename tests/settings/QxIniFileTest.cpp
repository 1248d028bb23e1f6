#include "settings/QxIniFile.h"
#include "common/TempTree.h"
#include "settings/FileText.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::ReadAll;
using testing::WriteAll;

TEST(IniInteger, Grammar) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases{
        {"256", 256},
        {"0x100", 256},
        {"$100", 256},
        {"  \t-12", -12},
        {"-$10", -16},
        {"-9223372036854775808", INT64_MIN},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"0x", std::nullopt},
        {"", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"$FFFFFFFFFFFFFFFF", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseIniInt64(text), value) << '"' << text << '"';
}

TEST(IniFile, NamesIgnoreCaseAndBadValuesReadAsDefaults) {
    testing::TempTree t;
    EXPECT_EQ(TQxIniFile(t / "none.ini").ReadString("Settings", "Language", "xx"), "xx");
    WriteAll(t / "a.ini", "[settings]\ngroupfilesize = 0x10\nFlag=2\nWide=4294967296\nWord=yes\n");
    const TQxIniFile ini(t / "a.ini");
    EXPECT_EQ(ini.ReadInt64("SETTINGS", "GroupFileSize", 5), 16);
    EXPECT_TRUE(ini.ReadBool("Settings", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Settings", "Word", false));
    EXPECT_EQ(ini.ReadInteger("Settings", "Wide", -1), -1); // outside 32 bits
    EXPECT_EQ(ini.ReadInt64("Settings", "Wide", -1), 4294967296);
}

TEST(IniFile, LongValuesComeBackCutAtWholeCharacters) {
    testing::TempTree t;
    TQxIniFile ini(t / "a.ini");
    std::string accented;
    for (int i = 0; i < 3000; ++i)
        accented += "\xC3\xA9"; // two bytes each
    ini.WriteString("S", "Ascii", std::string(3000, 'a'));
    ini.WriteString("S", "Accented", accented);
    EXPECT_EQ(ini.ReadString("S", "Ascii", {}), std::string(2047, 'a'));
    EXPECT_EQ(ini.ReadString("S", "Accented", {}), accented.substr(0, 2047 * 2));
    EXPECT_NE(ReadAll(t / "a.ini").find(accented), std::string::npos); // the file keeps it whole
}

TEST(IniFile, WritesReplaceTheFileAndKeepEverythingElse) {
    testing::TempTree t;
    const std::string path = t / "hand.ini";
    WriteAll(path, "\xEF\xBB\xBF; written by hand\n\n[Settings]\n; the threshold\nGroupFileSize=77\n"
                   "Dup=first\nDup=second\nOdd=value ; not a comment\n[Mine]\nkey=v\n; last words\n");
    ::chmod(path.c_str(), 0640);
    struct stat before {};
    ::stat(path.c_str(), &before);
    const int holdOld = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); // so its inode cannot be reused

    TQxIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Settings", "Dup", {}), "first");
    ini.WriteInt64("settings", "groupfilesize", 1048576);
    ini.WriteString("Settings", "Language", "de");

    const std::string text = ReadAll(path);
    for (const char* kept : {"\xEF\xBB\xBF; written by hand\n", "; the threshold\n",
                             "Dup=first\nDup=second\n", "Odd=value ; not a comment\n", "[Mine]\nkey=v\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from:\n" << text;
    EXPECT_EQ(text.substr(text.size() - 13), "; last words\n");
    EXPECT_EQ(ini.ReadInt64("Settings", "GroupFileSize", 0), 1048576);
    EXPECT_EQ(ini.ReadString("Settings", "Language", {}), "de");

    // Replaced through a rename, with its permissions, and no temporary file left behind.
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    ::close(holdOld);
    int entries = 0;
    DIR* dir = ::opendir(t.Path().c_str());
    while (dirent* e = ::readdir(dir))
        entries += e->d_name[0] != '.' ? 1 : 0;
    ::closedir(dir);
    EXPECT_EQ(entries, 1);
}

TEST(IniFile, FileOfCommentsOnlyKeepsThemOnce) {
    testing::TempTree t;
    WriteAll(t / "a.ini", "; first\n\n; second\n");
    TQxIniFile(t / "a.ini").WriteString("S", "K", "v");
    const std::string text = ReadAll(t / "a.ini");
    EXPECT_EQ(text.find("; first"), text.rfind("; first")) << text;
    EXPECT_NE(text.find("; second"), std::string::npos) << text;
}

// A line break would end the value early and let the rest of it pose as keys of its own.
TEST(IniFile, ValueWithLineBreakIsRefusedAndTheFileUntouched) {
    testing::TempTree t;
    TQxIniFile ini(t / "a.ini");
    ini.WriteString("Settings", "MRUDirList", "/home");
    EXPECT_THROW(ini.WriteString("Settings", "MRUDirList", "/tmp/x\n[Settings]\nGroupFileSize=1"),
                 EIniFileError);
    EXPECT_THROW(ini.WriteString("Settings", "MRUDirList", "a\rb"), EIniFileError);
    EXPECT_THROW(ini.WriteString("Settings", "Bad=Key", "v"), std::invalid_argument);
    EXPECT_EQ(ReadAll(t / "a.ini"), "[Settings]\nMRUDirList=/home\n");
}

TEST(IniFile, ReadOnlyFileOrFolderRaisesAndLosesNothing) {
    testing::TempTree t;
    t.Dir("ro");
    const std::string path = t / "ro/a.ini";
    const std::string text = "; mine\n[Settings]\nLanguage=fr\n";
    WriteAll(path, text);
    TQxIniFile ini(path);

    ::chmod(path.c_str(), 0444);
    try {
        ini.WriteString("Settings", "Language", "de");
        ADD_FAILURE() << "a read-only file was written";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    ::chmod(path.c_str(), 0644);
    ::chmod((t / "ro").c_str(), 0555);
    EXPECT_THROW(ini.WriteString("Settings", "Language", "de"), EIniFileError);
    ::chmod((t / "ro").c_str(), 0755);
    EXPECT_EQ(ReadAll(path), text);
}

// A file that exists but cannot be read is not a missing one: a write would replace it with a
// file holding one key.
TEST(IniFile, UnreadableFileIsAnErrorNotAnEmptyFile) {
    testing::TempTree t;
    t.Dir("a.ini");
    TQxIniFile ini(t / "a.ini");
    EXPECT_THROW(ini.ReadString("S", "K", {}), EIniFileError);
    EXPECT_THROW(ini.WriteString("S", "K", "v"), EIniFileError);
    EXPECT_THROW(TQxIniFile(t / "missing/a.ini").WriteString("S", "K", "v"), EIniFileError);
}

TEST(IniFile, WriteThroughASymbolicLinkKeepsTheLink) {
    testing::TempTree t;
    t.Dir("real");
    WriteAll(t / "real/a.ini", "[S]\nK=1\n");
    t.Link(t / "real/a.ini", "link.ini");
    TQxIniFile(t / "link.ini").WriteString("S", "K", "2");
    struct stat st {};
    ASSERT_EQ(::lstat((t / "link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadAll(t / "real/a.ini"), "[S]\nK=2\n");
}

} // namespace
} // namespace quorvex
