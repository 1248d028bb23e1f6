#include "support/DataLocations.h"
#include "support/MountTable.h"
#include "support/NestedPaths.h"
#include "support/PrintableText.h"
#include "support/Utilities.h"

#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace quorvex;

TEST(Utilities, FileNamesRectanglesVersionsWordsAndPaths) {
    EXPECT_EQ(MakeValidFileName("  report.  ", '_'), "report");
    EXPECT_EQ(MakeValidFileName("a|b?c", '_'), "a_b_c");
    EXPECT_EQ(MakeValidFileName("a//b", '_'), "a_b");
    EXPECT_EQ(MakeValidFileName("a_/b", '_'), "a_b") << "no second replacement next to an existing one";
    EXPECT_EQ(MakeValidFileName(RemoveChars("D: Data (old)", ":"), '_', " "), "D_Data_(old)");
    EXPECT_EQ(MakeValidFileName("a\tb*c", '\0'), "abc");
    EXPECT_EQ(MakeValidFileName(std::string("x\x01y"), '_'), "x_y");

    EXPECT_EQ(StringToRect("10;20,300;400"), (TRect{10, 20, 300, 400}));
    EXPECT_EQ(StringToRect(RectToString({-5, 0, 695, 500})), (TRect{-5, 0, 695, 500}));
    for (const char* partial : {"1,2,3", "1,2,x,4", ""})
        EXPECT_FALSE(StringToRect(partial).has_value()) << partial;
    EXPECT_EQ(CenteredRect(1920, 1080, 700, 500), (TRect{610, 290, 1310, 790}));
    EXPECT_EQ(CenteredRect(601, 401, 700, 500), (TRect{-49, -49, 651, 451})) << "truncated toward zero";

    EXPECT_EQ(GetVersionString("2.0.3.459"), "Version 2.0.3");
    EXPECT_EQ(GetVersionString("2.0.0.12"), "Version 2.0");
    EXPECT_EQ(GetVersionString("3.1.0.7"), "Version 3.1");
    EXPECT_EQ(GetVersionString(""), "");

    EXPECT_EQ(StrToBool("wahr"), true);
    EXPECT_EQ(StrToBool("TRUE"), true);
    EXPECT_EQ(StrToBool("Falsch"), false);
    EXPECT_EQ(StrToBool("0"), false);
    EXPECT_EQ(StrToBool("-1"), true);
    EXPECT_FALSE(StrToBool("yes-ish").has_value());

    EXPECT_EQ(JoinPath("/", "usr"), "/usr");
    EXPECT_EQ(JoinPath("/usr", "lib"), "/usr/lib");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
}

TEST(NestedPaths, KeepsOutermostAndFirstComparingBytesAtComponentBoundaries) {
    struct Case {
        std::vector<std::string> In, Out;
        std::size_t Removed;
    };
    const Case cases[] = {
        {{"/a/b/c", "/a/b", "/a/bc"}, {"/a/b", "/a/bc"}, 1},
        {{"/a/b", "/a/b/", "/a/b"}, {"/a/b"}, 2},
        {{"/x", "/", "/y/z"}, {"/"}, 2},
        {{"/a/B", "/a/b"}, {"/a/B", "/a/b"}, 0},
        {{"/d/\xff\xfe", "/d/\xff\xfe/x", "/d/\xff"}, {"/d/\xff\xfe", "/d/\xff"}, 1},
        {{"/a-b", "/a/c", "/a", "/a.b", "/a/c/d"}, {"/a-b", "/a", "/a.b"}, 2},
        {{"", "/e", "/f/g/", "/f/g/h"}, {"/e", "/f/g/"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> paths = c.In;
        EXPECT_EQ(RemoveNestedPaths(paths), c.Removed) << ::testing::PrintToString(c.In);
        EXPECT_EQ(paths, c.Out) << ::testing::PrintToString(c.In);
    }
}

TEST(MountTable, ParsesUnescapesAndFiltersMountInfo) {
    std::istringstream text("22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                            "23 22 0:5 / /proc rw - proc proc rw\n"
                            "24 22 8:2 / /mnt/with\\040space\\011tab\\012nl\\134bs rw - xfs /dev/sda2 rw\n"
                            "25 22 0:30 / /run rw - tmpfs tmpfs rw\n"
                            "26 22 0:31 / /net rw - nfs4 server:/export rw\n"
                            "27 22 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                            "28 22 8:1 /sub / rw - ext4 /dev/sda1 rw\n"
                            "garbage line\n");
    const auto table = ParseMountInfo(text);
    ASSERT_EQ(table.size(), 5u) << "proc left out, the second mount of / once only, garbage skipped";
    EXPECT_EQ(table[0].MountPoint, "/");
    EXPECT_EQ(table[0].Kind, TDriveKind::Fixed);
    EXPECT_EQ(table[1].MountPoint, "/mnt/with space\ttab\nnl\\bs");
    EXPECT_EQ(table[2].Kind, TDriveKind::RamDisk);
    EXPECT_EQ(table[3].Kind, TDriveKind::Remote);
    EXPECT_EQ(table[4].Kind, TDriveKind::Removable);
    const auto fixed = FixedDrives(table);
    ASSERT_EQ(fixed.size(), 2u);
    EXPECT_EQ(fixed[1].MountPoint, "/mnt/with space\ttab\nnl\\bs");
    EXPECT_TRUE(IsDriveRoot("/", table));
    EXPECT_FALSE(IsDriveRoot("/usr", table));
}

// Printed names: every escape stands for exactly the bytes it replaces, and nothing that could end a
// line or start a terminal command gets through, however the UTF-8 around it is broken.
TEST(PrintableText, EscapesControlsBackslashAndBrokenUtf8AndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 ~", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 ~"},
        {"a\\b\tc\nd\re", "a\\\\b\\tc\\nd\\re"},
        {std::string("\x1b]0;x\x07\x7f\0z", 9), "\\x1B]0;x\\x07\\x7F\\x00z"},
        {"\xc2\x9b"
         "2J",
         "\\xC2\\x9B2J"},                                        // the one-character CSI of C1
        {"\xe9t\xe9", "\\xE9t\\xE9"},                            // Latin-1
        {"\xc0\xaf|\xe0\x80\xaf", "\\xC0\\xAF|\\xE0\\x80\\xAF"}, // overlong
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                     // surrogate
        {"\xf4\x90\x80\x80|\xf5", "\\xF4\\x90\\x80\\x80|\\xF5"}, // beyond U+10FFFF
        {"\xe2\x82\n", "\\xE2\\x82\\n"},                         // cut short, then a line feed
        {"\x80z", "\\x80z"},                                     // a lone continuation byte
    };
    for (const auto& [raw, printed] : cases)
        EXPECT_EQ(PrintableText(raw), printed);
}

// Installed into /usr, the program shares bin/ with the C library's "locale" program: only what is of
// the kind asked for counts, beside the executable first (a build tree keeps its own files), then in
// the installed folder, and where neither has it, beside the executable.
TEST(DataLocations, BesideTheExecutableFirstThenInstalledAndOnlyOfTheKindAskedFor) {
    const quorvex::testing::TempTree prefix;
    for (const char* dir : {"bin", "share", "share/quorvex", "share/quorvex/locale"})
        prefix.Dir(dir);
    const std::filesystem::path bin = prefix / "bin";
    const std::filesystem::path data = prefix / "share/quorvex";
    const auto at = [&](const char* name, TDataKind kind) { return DataLocation(name, kind, bin, data); };
    prefix.File("share/quorvex/log.cfg.example", 10);
    EXPECT_EQ(at("log.cfg", TDataKind::RegularFile), bin / "log.cfg") << "a name is matched whole";
    prefix.File("share/quorvex/log.cfg", 10);
    prefix.File("bin/locale", 100);
    prefix.Dir("bin/log.cfg");
    EXPECT_EQ(at("locale", TDataKind::Folder), data / "locale");
    EXPECT_EQ(at("log.cfg", TDataKind::RegularFile), data / "log.cfg");
    ::unlink((bin / "locale").c_str());
    prefix.Link("/nonexistent/quorvex-locale", "bin/locale");
    EXPECT_EQ(at("locale", TDataKind::Folder), data / "locale") << "a dangling link is nothing";
    ::unlink((bin / "locale").c_str());
    ::rmdir((bin / "log.cfg").c_str());
    prefix.File("bin/log.cfg", 0);
    prefix.Dir("bin/locale");
    EXPECT_EQ(at("locale", TDataKind::Folder), bin / "locale");
    EXPECT_EQ(at("log.cfg", TDataKind::RegularFile), bin / "log.cfg");

    // The test program runs from the build tree: its installed counterpart sits beside bin/.
    const auto folder = InstalledDataFolder();
    EXPECT_EQ(folder.filename(), "quorvex");
    EXPECT_EQ(folder.parent_path().parent_path(), ProgramFolder().parent_path());
    EXPECT_EQ(folder, folder.lexically_normal()) << "no \"..\" left in the path";
}
