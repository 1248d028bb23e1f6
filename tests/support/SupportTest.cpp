#include "support/DataLocations.h"
#include "support/FreeSpaceProbe.h"
#include "support/MountTable.h"
#include "support/NestedPaths.h"
#include "support/PosixDir.h"
#include "support/PrintableText.h"
#include "support/Utilities.h"

#include "common/TempTree.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

namespace quorvex {
namespace {

TEST(Utilities, FileNamesRectanglesWordsAndPaths) {
    EXPECT_EQ(MakeValidFileName("  report.  ", '_'), "report");
    EXPECT_EQ(MakeValidFileName("a_/b|c", '_'), "a_b_c") << "no second replacement next to an existing one";
    EXPECT_EQ(MakeValidFileName(RemoveChars("D: Data (old)", ":"), '_', " "), "D_Data_(old)");
    EXPECT_EQ(MakeValidFileName("a\tb*c\x01", '\0'), "abc");

    EXPECT_FALSE(StringToRect("1,2,x,4").has_value());
    for (const auto& [word, value] :
         {std::pair{"wahr", true}, {"TRUE", true}, {"Falsch", false}, {"-1", true}})
        EXPECT_EQ(StrToBool(word), value) << word;
    EXPECT_FALSE(StrToBool("yes-ish").has_value());
    EXPECT_EQ(JoinPath("/", "usr"), "/usr");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
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
    ASSERT_EQ(FixedDrives(table).size(), 2u);
    EXPECT_TRUE(IsDriveRoot("/", table));
    EXPECT_FALSE(IsDriveRoot("/usr", table));
}

// Each escape stands for exactly its bytes; nothing that ends a line or drives a terminal gets through.
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

// Installed into /usr, the program shares bin/ with the C library's "locale" program: only a folder
// counts as the catalogue folder beside the executable.
TEST(DataLocations, BesideTheExecutableOnlyWhatIsOfTheKindAskedFor) {
    const testing::TempTree prefix;
    for (const char* dir : {"bin", "share", "share/quorvex", "share/quorvex/locale"})
        prefix.Dir(dir);
    prefix.File("bin/locale", 100);
    EXPECT_EQ(DataLocation("locale", TDataKind::Folder, prefix / "bin", prefix / "share/quorvex"),
              prefix / "share/quorvex/locale");
    const auto folder = InstalledDataFolder();
    EXPECT_EQ(folder.parent_path().parent_path(), ProgramFolder().parent_path()) << "no \"..\" left";
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A file system that stops answering for one path, as a dead network server does, until released
// (or the stand-in goes).
class DeadMount {
public:
    explicit DeadMount(const std::string& path) {
        previous_ = SetStatvfsFunction(
            [released = release_.get_future().share(), path](const std::string& asked, struct statvfs& out) {
                if (asked != path)
                    return ::statvfs(asked.c_str(), &out);
                released.wait_for(10s);
                out = {};
                out.f_bavail = 7;
                out.f_frsize = 1000;
                return 0;
            });
    }
    ~DeadMount() { SetStatvfsFunction(previous_); }
    DeadMount(const DeadMount&) = delete;
    DeadMount& operator=(const DeadMount&) = delete;

    void Release() { release_.set_value(); }

private:
    std::promise<void> release_;
    TStatvfsFunction previous_;
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(FreeSpaceProbe, ADeadFileSystemHoldsTheCallerOnlyForTheLimitAndOnlyOnce) {
    const std::string path = "/mnt/dead-server";
    DeadMount dead(path);
    TRootDirNode root;
    root.SetName(path);

    Clock::time_point start = Clock::now();
    root.UpdateFreeSpace();
    EXPECT_GE(SecondsSince(start), 0.2);
    EXPECT_LT(SecondsSince(start), 1.0) << "held for the limit, not for the server";
    EXPECT_EQ(root.FreeSpace(), 0) << "no answer, nothing learnt";

    start = Clock::now();
    root.UpdateFreeSpace();
    EXPECT_LT(SecondsSince(start), 0.05) << "a path still stuck is not asked again";
    EXPECT_TRUE(TimedStatvfs("/", 1s).has_value()) << "other file systems still answer";

    dead.Release();
    std::optional<struct statvfs> answer;
    for (int i = 0; i < 200 && !answer; ++i)
        if (!(answer = TimedStatvfs(path, 100ms)))
            std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(answer.has_value()) << "asked again once the stuck call has returned";
    root.UpdateFreeSpace();
    EXPECT_EQ(root.FreeSpace(), 7000);
}

} // namespace
} // namespace quorvex
