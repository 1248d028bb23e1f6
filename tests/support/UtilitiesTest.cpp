#include "support/Utilities.h"
#include "support/MountTable.h"
#include "support/PosixDir.h"

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
