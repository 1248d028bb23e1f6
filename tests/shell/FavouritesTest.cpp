// The recent-directory list, its stored comma text, drive names and labels, the time-limited mount
// probes, and the favourites menu they fill.

#include "HangingProbe.h"

#include "common/TempTree.h"

#include "shell/DriveNames.h"
#include "shell/Favourites.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"

#include <QMenu>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::testing;
using namespace std::chrono_literals;

namespace {

std::vector<TMountEntry> Table(const std::string& mountinfo) {
    std::istringstream in(mountinfo);
    return ParseMountInfo(in);
}

TMountEntry Drive(std::string mountPoint, std::string fileSystem, std::string source,
                  TDriveKind kind = TDriveKind::Fixed) {
    return {std::move(mountPoint), std::move(fileSystem), std::move(source), kind};
}

std::vector<std::string> Captions(const QMenu& menu) {
    std::vector<std::string> captions;
    for (const QAction* action : menu.actions())
        captions.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return captions;
}

} // namespace

TEST(MRUDirList, AddsNewestLastWithoutDuplicatesTrimsAndSignalsOncePerChange) {
    TMRUDirList list;
    QSignalSpy changed(&list, &TMRUDirList::Changed);
    list.AddDir("/srv/Data/");
    list.AddDir("/srv/data");
    list.AddDir("/srv/Data");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"/srv/data", "/srv/Data"}))
        << "one entry per directory, without its trailing slash, newest last; names differ by case";
    EXPECT_EQ(changed.count(), 3);
    list.AddDir("/srv/Data");
    EXPECT_EQ(changed.count(), 3) << "adding the newest entry again changes nothing";
    EXPECT_EQ(list.Items().back(), "/srv/Data");

    for (int i = 1; i <= 9; ++i)
        list.AddDir("/d" + std::to_string(i));
    ASSERT_EQ(list.Items().size(), 9u);
    EXPECT_EQ(list.Items().front(), "/d1") << "the tenth directory drops the oldest ones";
    EXPECT_EQ(changed.count(), 12) << "an add that also trims is one change";

    list.SetMaxCount(3);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"/d7", "/d8", "/d9"}));
    list.AddDir("/");
    EXPECT_EQ(list.Items().back(), "/") << "the root keeps its only slash";
}

TEST(MRUDirList, StoredListLoadsLongDropsDriveRootsAndInvalidEntries) {
    TMRUDirList list;
    list.SetCommaText("/a,/b,/c,/d,/e,/f,/g,/h,/i,/j,/k,/mnt/usb,/home/u,/run/x");
    EXPECT_EQ(list.Items().size(), 14u) << "loading does not trim";
    QSignalSpy changed(&list, &TMRUDirList::Changed);
    list.RemoveDriveRoots(Table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                "22 21 8:17 / /mnt/usb rw - vfat /dev/sdb1 rw\n"
                                "23 21 0:5 / /home/u rw - nfs4 srv:/u rw\n"
                                "24 21 0:6 / /run/x rw - weirdfs none rw\n"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(list.Items().size(), 12u) << "both roots go; a mount of unknown kind is no drive";
    EXPECT_EQ(list.Items().back(), "/run/x");

    list.RemoveInvalid([](const std::string& dir) { return dir != "/b" && dir != "/k"; });
    EXPECT_EQ(list.Items(),
              (std::vector<std::string>{"/a", "/c", "/d", "/e", "/f", "/g", "/h", "/i", "/j", "/run/x"}));
    EXPECT_EQ(changed.count(), 2);
    list.AddDir("/z");
    EXPECT_EQ(list.Items().size(), 9u) << "the next add trims a long stored list";
}

TEST(CommaText, ReadsAndWritesTheStoredForm) {
    struct Case {
        std::string text;
        std::vector<std::string> items;
    };
    const std::vector<Case> reads{
        {"\"/data/My Files\",\"/srv/a b\"", {"/data/My Files", "/srv/a b"}},
        {"/data/My Files", {"/data/My", "Files"}},
        {" \t/a , /b\n", {"/a", "/b"}},
        {"/a,,/b", {"/a", "", "/b"}},
        {"/a,", {"/a", ""}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"\"\"", {""}},
        {"", {}},
        {"   ", {}},
        {std::string("/a,/b\0,/c", 9), {"/a", "/b"}},
    };
    for (const Case& c : reads)
        EXPECT_EQ(DecodeCommaText(c.text), c.items) << c.text;

    EXPECT_EQ(EncodeCommaText({"/a", "/b c", "/d,e", "/q\"x", "/t\tab"}),
              "/a,\"/b c\",\"/d,e\",\"/q\"\"x\",\"/t\tab\"");
    EXPECT_EQ(EncodeCommaText({""}), "\"\"");
    const std::vector<std::string> hostile{"/caf\xc3\xa9", "/bad\xff\xfe", "/new\nline", "/<script>,\"x\"",
                                           "/\x01"};
    EXPECT_EQ(DecodeCommaText(EncodeCommaText(hostile)), hostile);
}

TEST(DriveNames, LabelOrLastNameWithTheMountPointAndRootAlone) {
    EXPECT_EQ(DriveDisplayName(Drive("/mnt/data", "ext4", "/dev/sdb1"), "Data"), "Data (/mnt/data)");
    EXPECT_EQ(DriveDisplayName(Drive("/mnt/data", "ext4", "/dev/sdb1"), ""), "data (/mnt/data)");
    EXPECT_EQ(DriveDisplayName(Drive("/", "ext4", "/dev/sda1"), "System"), "/");
    EXPECT_EQ(DriveDisplayName(Drive("/media/u/caf\xc3\xa9 1", "vfat", "/dev/sdc1"), ""),
              "caf\xc3\xa9 1 (/media/u/caf\xc3\xa9 1)");

    const auto drives = FavouriteDrives(Table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                              "22 21 0:2 / /run rw - tmpfs tmpfs rw\n"
                                              "23 21 0:3 / /dev/shm rw - tmpfs tmpfs rw\n"
                                              "24 21 0:4 / /run/media/u/STICK rw - vfat /dev/sdb1 rw\n"
                                              "25 21 0:5 / /mnt/ram rw - tmpfs Scratch rw\n"
                                              "26 21 0:6 / /runner rw - ext4 /dev/sda2 rw\n"));
    std::vector<std::string> points;
    for (const TMountEntry& d : drives)
        points.push_back(d.MountPoint);
    EXPECT_EQ(points, (std::vector<std::string>{"/", "/run/media/u/STICK", "/mnt/ram", "/runner"}));
}

TEST(DriveNames, LabelsFromDeviceLinksOrFromTheSourceOfADevicelessMount) {
    TempTree t;
    t.Dir("by-label");
    t.File("sdb1", 0);
    t.File("sdc1", 0);
    t.Link("../sdb1", "by-label/My\\x20Disk\\x2fA");
    t.Link("../sdc1", "by-label/Other");
    const std::string dir = t / "by-label";
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/a", "ext4", t / "sdb1"), dir), "My Disk/A");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/c", "ext4", t / "sdc1"), dir), "Other");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/x", "ext4", t / "nothing"), dir), "");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/a", "ext4", t / "sdb1"), t / "absent"), "");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/n", "nfs4", "srv:/export"), dir), "srv:/export");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/r", "tmpfs", "Scratch"), dir), "Scratch");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/r", "tmpfs", "tmpfs"), dir), "");
    EXPECT_EQ(FileSystemLabel(Drive("/mnt/r", "tmpfs", "none"), dir), "");
    EXPECT_EQ(DecodeUdevName("a\\x2g\\x41\\x"), "a\\x2gA\\x") << "only complete escapes are undone";
}

TEST(TimedProber, AHangingMountCostsTheLimitOnceAndIsNotAskedAgainUntilItAnswers) {
    TempTree t;
    t.Dir("here");
    const std::string dead = t / "dead";
    auto probe = std::make_shared<HangingProbe>(std::vector<std::string>{dead, "/net/dead"});
    TTimedProber prober(probe, 200ms);
    const std::vector<std::string> paths{t / "here", dead, t / "gone"};

    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(prober.Directories(paths),
              (std::vector<TPathState>{TPathState::Directory, TPathState::Unknown, TPathState::Missing}));
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 190ms);
    EXPECT_LT(took, 2s);
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(prober.Directories(paths)[1], TPathState::Unknown);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 150ms)
        << "the hanging probe is not waited for again";
    EXPECT_EQ(probe->directoryCalls.load(), 5) << "nor started a second time";

    const std::vector<TMountEntry> drives{Drive("/mnt/r", "tmpfs", "Scratch", TDriveKind::RamDisk),
                                          Drive("/net/dead", "nfs4", "srv:/x", TDriveKind::Remote)};
    EXPECT_EQ(prober.Labels(drives), (std::vector<std::string>{"Scratch", ""}));
    EXPECT_EQ(prober.Labels(drives), (std::vector<std::string>{"Scratch", ""}));
    EXPECT_EQ(probe->labelCalls.load(), 2) << "a known label is kept; the hanging one runs once";

    t.Dir("dead");
    probe->Release();
    // The two hanging calls end on their own threads, in either order.
    for (int i = 0; i < 100 && (prober.Labels(drives)[1].empty() ||
                                prober.Directories(paths)[1] != TPathState::Directory);
         ++i)
        ::usleep(10000);
    EXPECT_EQ(prober.Labels(drives)[1], "srv:/x") << "the late answer is used once it arrives";
    EXPECT_EQ(prober.Directories(paths)[1], TPathState::Directory);
}

TEST(FavouritesMenu, DrivesSeparatorNumberedNewestFirstAndRemoveOnlyForMissing) {
    TempTree t;
    t.Dir("old");
    t.Dir("new");
    TMRUDirList recent;
    for (const char* dir : {"old", "missing", "dead", "new"})
        recent.AddDir(t / dir);
    auto probe = std::make_shared<HangingProbe>(std::vector<std::string>{t / "dead"});
    TTimedProber prober(probe, 100ms);
    const TFavouritesContent content = CollectFavourites(
        recent, Table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n22 21 0:5 / /mnt/ram rw - tmpfs Ram rw\n"),
        prober);

    std::vector<std::string> chosen;
    bool removeAsked = false;
    QMenu menu;
    menu.addAction("stale");
    BuildFavouritesMenu(&menu, content, QIcon(),
                        {[&](const std::string& p) { chosen.push_back(p); }, [&] { removeAsked = true; }});
    EXPECT_EQ(Captions(menu),
              (std::vector<std::string>{"Local Drives", "/", "Ram (/mnt/ram)", "-", "1 " + t / "new",
                                        "2 " + t / "dead", "3 " + t / "missing", "4 " + t / "old", "-",
                                        "Remove invalid entries..."}));
    EXPECT_FALSE(menu.actions().at(2)->icon().isNull()) << "a drive shows its icon";
    menu.actions().at(2)->trigger();
    menu.actions().at(6)->trigger();
    menu.actions().at(0)->trigger();
    EXPECT_EQ(chosen, (std::vector<std::string>{"/mnt/ram", t / "missing", ""}));
    menu.actions().back()->trigger();
    EXPECT_TRUE(removeAsked);

    TMRUDirList onlyHanging;
    onlyHanging.AddDir(t / "dead");
    BuildFavouritesMenu(&menu, CollectFavourites(onlyHanging, {}, prober), QIcon(), {});
    EXPECT_EQ(Captions(menu), (std::vector<std::string>{"Local Drives", "-", "1 " + t / "dead"}))
        << "a directory that cannot be tested is not offered for removal";
    probe->Release();
}
