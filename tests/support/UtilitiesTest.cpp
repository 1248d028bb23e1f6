#include "support/Utilities.h"
#include "i18n/VersionText.h"
#include "support/MountTable.h"
#include "support/PosixDir.h"
#include "support/PrintableText.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvex;

TEST(Utilities, MakeValidFileName) {
    EXPECT_EQ(MakeValidFileName("  report.  ", '_'), "report");
    EXPECT_EQ(MakeValidFileName("a|b?c", '_'), "a_b_c");
    EXPECT_EQ(MakeValidFileName("a//b", '_'), "a_b");
    EXPECT_EQ(MakeValidFileName("a_/b", '_'), "a_b") << "no second replacement next to an existing one";
    EXPECT_EQ(MakeValidFileName(RemoveChars("D: Data (old)", ":"), '_', " "), "D_Data_(old)");
    EXPECT_EQ(MakeValidFileName("a\tb*c", '\0'), "abc");
    EXPECT_EQ(MakeValidFileName(std::string("x\x01y"), '_'), "x_y");
}

TEST(Utilities, RectanglesRoundTripAndRejectPartialText) {
    EXPECT_EQ(StringToRect("10;20,300;400"), (TRect{10, 20, 300, 400}));
    EXPECT_EQ(StringToRect(RectToString({-5, 0, 695, 500})), (TRect{-5, 0, 695, 500}));
    EXPECT_FALSE(StringToRect("1,2,3").has_value());
    EXPECT_FALSE(StringToRect("1,2,x,4").has_value());
    EXPECT_FALSE(StringToRect("").has_value());
    EXPECT_EQ(CenteredRect(1920, 1080, 700, 500), (TRect{610, 290, 1310, 790}));
    EXPECT_EQ(CenteredRect(601, 401, 700, 500), (TRect{-49, -49, 651, 451}))
        << "division truncates toward zero";
}

TEST(Utilities, VersionStringDropsTheBuildNumberAndAZeroPatch) {
    EXPECT_EQ(GetVersionString("2.0.3.459"), "Version 2.0.3");
    EXPECT_EQ(GetVersionString("2.0.0.12"), "Version 2.0");
    EXPECT_EQ(GetVersionString("3.1.0.7"), "Version 3.1");
    EXPECT_EQ(GetVersionString(""), "");
    EXPECT_EQ(GetVersionString().rfind("Version ", 0), 0u);
}

TEST(Utilities, BooleanWords) {
    EXPECT_EQ(StrToBool("wahr"), true);
    EXPECT_EQ(StrToBool("TRUE"), true);
    EXPECT_EQ(StrToBool("Falsch"), false);
    EXPECT_EQ(StrToBool("0"), false);
    EXPECT_EQ(StrToBool("-1"), true);
    EXPECT_FALSE(StrToBool("yes-ish").has_value());
    EXPECT_EQ(BoolToStr(true), "True");
}

TEST(Utilities, PathJoiningNeverDoublesOrDropsTheRoot) {
    EXPECT_EQ(JoinPath("/", "usr"), "/usr");
    EXPECT_EQ(JoinPath("/usr", "lib"), "/usr/lib");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
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
    EXPECT_EQ(PrintableText("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 ~"),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 ~");
    EXPECT_EQ(PrintableText("a\\b\tc\nd\re"), "a\\\\b\\tc\\nd\\re");
    EXPECT_EQ(PrintableText(std::string("\x1b]0;x\x07\x7f\0z", 9)), "\\x1B]0;x\\x07\\x7F\\x00z");
    EXPECT_EQ(PrintableText("\xc2\x9b"
                            "2J"),
              "\\xC2\\x9B2J")
        << "the one-character CSI of C1";
    EXPECT_EQ(PrintableText("\xe9t\xe9"), "\\xE9t\\xE9") << "Latin-1";
    EXPECT_EQ(PrintableText("\xc0\xaf|\xe0\x80\xaf"), "\\xC0\\xAF|\\xE0\\x80\\xAF") << "overlong";
    EXPECT_EQ(PrintableText("\xed\xa0\x80"), "\\xED\\xA0\\x80") << "surrogate";
    EXPECT_EQ(PrintableText("\xf4\x90\x80\x80|\xf5"), "\\xF4\\x90\\x80\\x80|\\xF5") << "beyond U+10FFFF";
    EXPECT_EQ(PrintableText("\xe2\x82"
                            "\n"),
              "\\xE2\\x82\\n")
        << "cut short, then a line feed";
    EXPECT_EQ(PrintableText("\x80z"), "\\x80z") << "a lone continuation byte";
}

// In a child, so that the test process keeps its own limit: the soft limit rises to the hard one, and
// what is free shrinks with every descriptor opened.
TEST(OpenFileLimit, RaisedToTheHardLimitAndCountedDownByWhatIsOpen) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit low{64, 256};
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
            ::_exit(2);
        RaiseOpenFileLimit();
        rlimit now{};
        ::getrlimit(RLIMIT_NOFILE, &now);
        if (now.rlim_cur != 256)
            ::_exit(3);
        const int free = FreeDescriptorCount();
        for (int i = 0; i < 10; ++i)
            ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::_exit(FreeDescriptorCount() == free - 10 && free > 200 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: limit refused, 3: not raised, 4: free descriptors miscounted";
}
