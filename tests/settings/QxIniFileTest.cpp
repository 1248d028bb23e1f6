#include "settings/QxIniFile.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <array>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace quorvex {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    while (dirent* e = ::readdir(dir)) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

TEST(IniInteger, Grammar) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    };
    const std::array<Case, 16> cases{{
        {"256", 256},
        {"0x100", 256},
        {"0X100", 256},
        {"$100", 256},
        {"  \t-12", -12},
        {"+7", 7},
        {"-$10", -16},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"$FFFFFFFFFFFFFFFF", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"12 ", std::nullopt},
        {"0x", std::nullopt},
        {"", std::nullopt},
    }};
    for (const Case& c : cases)
        EXPECT_EQ(ParseIniInt64(c.text), c.value) << '"' << c.text << '"';
}

TEST(IniFile, MissingFileOrKeyReadsDefaultsAndNamesIgnoreCase) {
    testing::TempTree t;
    TQxIniFile missing(t / "none.ini");
    EXPECT_EQ(missing.ReadString("Settings", "Language", "xx"), "xx");
    EXPECT_EQ(missing.ReadInt64("Settings", "GroupFileSize", 5), 5);
    EXPECT_FALSE(missing.ValueExists("Settings", "Language"));

    WriteAll(t / "a.ini", "[settings]\ngroupfilesize = 0x10\nFlag=2\nZero=0\nWide=4294967296\nWord=yes\n");
    TQxIniFile ini(t / "a.ini");
    EXPECT_EQ(ini.ReadInt64("SETTINGS", "GroupFileSize", 5), 16);
    EXPECT_EQ(ini.ReadString("Settings", "Other", "d"), "d");
    EXPECT_TRUE(ini.ReadBool("Settings", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Settings", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("Settings", "Word", true));
    EXPECT_EQ(ini.ReadInteger("Settings", "Wide", -1), -1); // outside 32 bits
    EXPECT_EQ(ini.ReadInt64("Settings", "Wide", -1), 4294967296);
}

TEST(IniFile, LongValuesComeBackCutAtWholeCharacters) {
    testing::TempTree t;
    TQxIniFile ini(t / "a.ini");
    ini.WriteString("S", "Ascii", std::string(3000, 'a'));
    std::string accented;
    for (int i = 0; i < 3000; ++i)
        accented += "\xC3\xA9"; // e with acute accent
    ini.WriteString("S", "Accented", accented);
    EXPECT_EQ(ini.ReadString("S", "Ascii", {}), std::string(2047, 'a'));
    EXPECT_EQ(ini.ReadString("S", "Accented", {}), accented.substr(0, 2047 * 2));
    EXPECT_EQ(ReadAll(t / "a.ini").find(accented) != std::string::npos, true); // the file keeps it whole
}

TEST(IniFile, WritesReplaceTheFileAndKeepEverythingElse) {
    testing::TempTree t;
    const std::string path = t / "hand.ini";
    WriteAll(path, "\xEF\xBB\xBF; written by hand\n"
                   "\n"
                   "[Settings]\n"
                   "; the threshold\n"
                   "GroupFileSize=77\n"
                   "Dup=first\n"
                   "Dup=second\n"
                   "Odd = value ; not a comment\n"
                   "[Mine]\n"
                   "key=v\n"
                   "; last words\n");
    ::chmod(path.c_str(), 0640);
    const ino_t before = Inode(path);
    const int holdOld = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); // so its inode cannot be reused

    TQxIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Settings", "Dup", {}), "first");
    ini.WriteInt64("settings", "groupfilesize", 1048576);
    ini.WriteString("Settings", "Language", "de");

    const std::string text = ReadAll(path);
    for (const char* kept :
         {"\xEF\xBB\xBF; written by hand\n", "; the threshold\n", "Dup=first\n", "Dup=second\n",
          "Odd=value ; not a comment\n", "[Mine]\n", "key=v\n", "; last words\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from:\n" << text;
    EXPECT_EQ(text.find("77"), std::string::npos);
    EXPECT_EQ(ini.ReadInt64("Settings", "GroupFileSize", 0), 1048576);
    EXPECT_EQ(ini.ReadString("Settings", "Language", {}), "de");
    EXPECT_EQ(text.find("; last words"), text.rfind(";")); // the trailing comment stays last, once

    // Replaced through a rename, with its permissions, and no temporary file left behind.
    EXPECT_NE(Inode(path), before);
    ::close(holdOld);
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(t.Path()), std::vector<std::string>{"hand.ini"});
}

TEST(IniFile, TwoObjectsOnOneFileSeeEachOthersWrites) {
    testing::TempTree t;
    TQxIniFile a(t / "a.ini");
    TQxIniFile b(t / "a.ini");
    a.WriteInteger("S", "K", 1);
    EXPECT_EQ(b.ReadInteger("S", "K", 0), 1);
    b.WriteInteger("S", "K", 2);
    b.WriteString("S", "Other", "x");
    EXPECT_EQ(a.ReadInteger("S", "K", 0), 2);
    a.DeleteKey("S", "K");
    EXPECT_FALSE(b.ValueExists("S", "K"));
    EXPECT_EQ(b.ReadString("S", "Other", {}), "x");
}

TEST(IniFile, SetsAreWrittenByMemberName) {
    testing::TempTree t;
    TQxIniFile ini(t / "a.ini");
    const std::array<std::string_view, 3> names{"poOne", "poTwo", "poThree"};
    ini.WriteSet("S", "Full", names, 0b101);
    ini.WriteSet("S", "Empty", names, 0);
    EXPECT_EQ(ini.ReadString("S", "Full", {}), "[poOne,poThree]");
    EXPECT_EQ(ini.ReadString("S", "Empty", {}), "[]");
}

// A line break would end the value early and let the rest of it pose as keys of its own.
TEST(IniFile, ValueWithLineBreakIsRefusedAndTheFileUntouched) {
    testing::TempTree t;
    TQxIniFile ini(t / "a.ini");
    ini.WriteString("Settings", "MRUDirList", "/home");
    const std::string before = ReadAll(t / "a.ini");
    EXPECT_THROW(ini.WriteString("Settings", "MRUDirList", "/tmp/x\n[Settings]\nGroupFileSize=1"),
                 EIniFileError);
    EXPECT_THROW(ini.WriteString("Settings", "MRUDirList", "a\rb"), EIniFileError);
    EXPECT_THROW(ini.WriteString("Settings", "Bad=Key", "v"), std::invalid_argument);
    EXPECT_EQ(ReadAll(t / "a.ini"), before);
}

TEST(IniFile, ReadOnlyFileOrFolderRaisesAndLosesNothing) {
    testing::TempTree t;
    t.Dir("ro");
    const std::string path = t / "ro/a.ini";
    WriteAll(path, "; mine\n[Settings]\nLanguage=fr\n");
    TQxIniFile ini(path);

    ::chmod(path.c_str(), 0444);
    try {
        ini.WriteString("Settings", "Language", "de");
        ADD_FAILURE() << "a read-only file was written";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(ReadAll(path), "; mine\n[Settings]\nLanguage=fr\n");

    ::chmod(path.c_str(), 0644);
    ::chmod((t / "ro").c_str(), 0555);
    EXPECT_THROW(ini.WriteString("Settings", "Language", "de"), EIniFileError);
    EXPECT_EQ(ReadAll(path), "; mine\n[Settings]\nLanguage=fr\n");
    EXPECT_EQ(ini.ReadString("Settings", "Language", {}), "fr");
    ::chmod((t / "ro").c_str(), 0755);
}

// A file that exists but cannot be read must not be mistaken for a missing one: a write would
// then replace it with a file holding one key.
TEST(IniFile, UnreadableFileIsAnErrorNotAnEmptyFile) {
    testing::TempTree t;
    t.Dir("a.ini");
    TQxIniFile ini(t / "a.ini");
    EXPECT_THROW(ini.ReadString("S", "K", {}), EIniFileError);
    EXPECT_THROW(ini.WriteString("S", "K", "v"), EIniFileError);
    TQxIniFile noFolder(t / "missing/a.ini");
    EXPECT_THROW(noFolder.WriteString("S", "K", "v"), EIniFileError);
}

TEST(IniFile, WriteThroughASymbolicLinkKeepsTheLink) {
    testing::TempTree t;
    t.Dir("real");
    WriteAll(t / "real/a.ini", "[S]\nK=1\n");
    t.Link(t / "real/a.ini", "link.ini");
    TQxIniFile ini(t / "link.ini");
    ini.WriteString("S", "K", "2");
    struct stat st {};
    ASSERT_EQ(::lstat((t / "link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadAll(t / "real/a.ini"), "[S]\nK=2\n");
}

} // namespace
} // namespace quorvex
