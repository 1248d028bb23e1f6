// Drives coming and going: mount events, the refresh panel, the recent list and the favourites menus.

#include "common/BoxAnswers.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "ui/FormMainFixture.h"

#include "shell/ChangeNotify.h"
#include "shell/ChangeNotifyMonitor.h"
#include "shell/DriveNames.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"

#include <QMenu>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::TempTree;
using TSeen = std::pair<std::uint32_t, std::string>;
constexpr std::uint32_t kAdd = kShellEventDriveAdd;
constexpr std::uint32_t kRemoved = kShellEventDriveRemoved;

std::vector<TMountEntry> Table(const std::string& mountinfo) {
    std::istringstream in(mountinfo);
    return ParseMountInfo(in);
}

TMountEntry Drive(std::string mountPoint, std::string fileSystem, std::string source) {
    return {std::move(mountPoint), std::move(fileSystem), std::move(source), TDriveKind::Fixed};
}

// A component with both drive events assigned, recording what they were called with.
class ChangeNotifyTest : public ::testing::Test {
protected:
    ChangeNotifyTest() {
        notify_.SetOnDriveAdd([this](TSHChangeNotify& sender, std::uint32_t code, const std::string& path) {
            EXPECT_EQ(&sender, &notify_);
            Record(code, path);
        });
        notify_.SetOnDriveRemoved(
            [this](TSHChangeNotify&, std::uint32_t code, const std::string& path) { Record(code, path); });
    }
    // Other test programs mount their own file systems meanwhile: only paths below `only_` count.
    void Record(std::uint32_t code, const std::string& path) {
        if (path.starts_with(only_))
            seen_.emplace_back(code, path);
    }

    QObject owner_;
    TSHChangeNotify notify_{&owner_};
    std::string only_;
    std::vector<TSeen> seen_;
};

TEST_F(ChangeNotifyTest, RegisteringToleratesAMissingMountTable) {
    notify_.SetMountTablePath("/nonexistent/mountinfo");
    EXPECT_NO_THROW(notify_.Register());
    EXPECT_FALSE(notify_.IsRegistered());
}

TEST(MountTableMonitorTest, ComparingTablesReportsRemovalsFirstThenAdditionsByMountPoint) {
    const auto before = Table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                              "22 21 8:2 / /data rw - ext4 /dev/sda2 rw\n"
                              "23 21 0:5 / /mnt/old\\040disk rw - ext4 /dev/sdb1 rw\n");
    const auto after = Table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                             "24 21 8:2 / /data rw - xfs /dev/sdc1 rw\n"
                             "25 21 0:6 / /mnt/new\\011tab rw - nfs4 server:/x rw\n"
                             "26 21 0:7 / /proc2 rw - proc proc rw\n");
    using TChange = TMountTableMonitor::TChange;
    const std::vector<std::pair<TChange, std::string>> expected{{TChange::Removed, "/mnt/old disk"},
                                                                {TChange::Added, "/mnt/new\ttab"}};
    EXPECT_EQ(TMountTableMonitor::Compare(before, after), expected)
        << "a remount of the same point is no drive change; virtual file systems are none";
}

// The real kernel table while the event loop runs; bytes in a mount point's name arrive as they are.
TEST_F(ChangeNotifyTest, MountingAndUnmountingIsNoticedWithinASecondUntilDeregistered) {
    notify_.Register();
    ASSERT_TRUE(notify_.IsRegistered());
    const TempTree t;
    t.Dir("odd name \xff");
    const std::string point = t / "odd name \xff";
    only_ = t.Path();
    {
        const testing::ScopedMount disk(point);
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Refusal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !seen_.empty(); }, 1000));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen_.size() >= 2; }, 1000));
    EXPECT_EQ(seen_, (std::vector<TSeen>{{kAdd, point}, {kRemoved, point}}));
    notify_.Deregister();
    const testing::ScopedMount again(point);
    QTest::qWait(200);
    EXPECT_EQ(seen_.size(), 2u) << "nothing after Deregister";
}

// The panel in a shown window, as under the main window's toolbar.
class InfoPanelTest : public ::testing::Test {
protected:
    InfoPanelTest() {
        layout_.addWidget(panel_);
        layout_.addStretch(1);
        window_.resize(500, 200);
        window_.show();
        panel_->SetOnRefresh([this](const std::string& path) { refreshed_.push_back(path); });
    }
    void Click(const char* button) {
        auto* b = panel_->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_TRUE(b != nullptr && b->isVisible());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    bool AwaitHeight(int height) {
        return QTest::qWaitFor([&] { return panel_->height() == height; }, 2000);
    }

    QWidget window_;
    QVBoxLayout layout_{&window_};
    TFrameInfoPanel* panel_ = new TFrameInfoPanel(&window_);
    std::vector<std::string> refreshed_;
};

// Pending paths are unique by their bytes; "Refresh now" refreshes each outermost one once, in order.
TEST_F(InfoPanelTest, RefreshNowRefreshesTheOutermostPendingPathsOnceInOrder) {
    for (const char* path : {"/data/b", "/data", "/data/b/c", "/data/b", "/data/Scan", "/data/scan", "/other",
                             "/database", "/data/\xff"})
        panel_->ShowNotification(path, QString::fromLatin1(path));
    EXPECT_EQ(panel_->PendingPaths(),
              (std::vector<std::string>{"/data/b", "/data", "/data/b/c", "/data/Scan", "/data/scan", "/other",
                                        "/database", "/data/\xff"}));
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    Click("ButtonInfoPanelRefresh");
    EXPECT_EQ(refreshed_, (std::vector<std::string>{"/data", "/other", "/database"}));
    EXPECT_TRUE(panel_->PendingPaths().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel_->isVisible(); }, 2000));
}

TEST(MRUDirList, NewestLastWithoutDuplicatesAndTrimmed) {
    TMRUDirList list;
    for (const char* dir : {"/srv/Data/", "/srv/data", "/srv/Data", "/srv/Data"})
        list.AddDir(dir);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"/srv/data", "/srv/Data"}))
        << "one entry per directory, without its trailing slash, newest last; names differ by case";
    list.AddDir("/");
    EXPECT_EQ(list.Items().back(), "/") << "the root keeps its only slash";

    list.SetCommaText("/a,/b,/c,/d,/e,/f,/g,/h,/i,/j,/k,/l");
    EXPECT_EQ(list.Items().size(), 12u) << "loading does not trim";
    list.AddDir("/z");
    EXPECT_EQ(list.Items().size(), 9u) << "the next add trims a long stored list";
}

TEST(CommaText, ReadsAndWritesTheStoredForm) {
    const std::pair<std::string, std::vector<std::string>> reads[] = {
        {"\"/data/My Files\",\"/srv/a b\"", {"/data/My Files", "/srv/a b"}},
        {"/data/My Files", {"/data/My", "Files"}},
        {" \t/a , /b\n", {"/a", "/b"}},
        {"/a,,/b", {"/a", "", "/b"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"\"\"", {""}},
        {"", {}},
        {"   ", {}},
        {std::string("/a,/b\0,/c", 9), {"/a", "/b"}},
    };
    for (const auto& [text, items] : reads)
        EXPECT_EQ(DecodeCommaText(text), items) << text;
    EXPECT_EQ(EncodeCommaText({"/a", "/b c", "/d,e", "/q\"x", "/t\tab"}),
              "/a,\"/b c\",\"/d,e\",\"/q\"\"x\",\"/t\tab\"");
    const std::vector<std::string> hostile{"/caf\xc3\xa9", "/bad\xff\xfe", "/new\nline", "/<script>,\"x\"",
                                           "/\x01"};
    EXPECT_EQ(DecodeCommaText(EncodeCommaText(hostile)), hostile);
}

TEST(DriveNames, LabelOrLastNameWithTheMountPointAndLabelsFromDeviceLinksOrTheSource) {
    EXPECT_EQ(DriveDisplayName(Drive("/", "ext4", "/dev/sda1"), "System"), "/");
    EXPECT_EQ(DriveDisplayName(Drive("/media/u/caf\xc3\xa9 1", "vfat", "/dev/sdc1"), ""),
              "caf\xc3\xa9 1 (/media/u/caf\xc3\xa9 1)");

    TempTree t;
    t.Dir("by-label");
    t.File("sdb1", 0);
    t.Link("../sdb1", "by-label/My\\x20Disk\\x2fA");
    const std::tuple<std::string, std::string, std::string, std::string> labels[] = {
        {"ext4", t / "sdb1", t / "by-label", "My Disk/A"},
        {"ext4", t / "nothing", t / "by-label", ""},
        {"ext4", t / "sdb1", t / "absent", ""},
        {"nfs4", "srv:/export", t / "by-label", "srv:/export"},
        {"tmpfs", "tmpfs", t / "by-label", ""}};
    for (const auto& [fileSystem, source, dir, label] : labels)
        EXPECT_EQ(FileSystemLabel(Drive("/mnt/a", fileSystem, source), dir), label) << source;
    EXPECT_EQ(DecodeUdevName("a\\x2g\\x41\\x"), "a\\x2gA\\x") << "only complete escapes are undone";
}

// Look-ups of the paths in `hang` wait for `released`, as on a dead network mount, and are counted.
struct HangingProbe final : TMountProbe {
    HangingProbe(std::vector<std::string> paths, std::shared_future<void> release)
        : hang(std::move(paths)), released(std::move(release)) {}
    void Wait(const std::string& path) const {
        if (std::ranges::count(hang, path) != 0) {
            ++hangingCalls;
            released.wait();
        }
    }
    bool IsDirectory(const std::string& path) const override {
        Wait(path);
        return SystemMountProbe()->IsDirectory(path);
    }
    std::string Label(const TMountEntry& drive) const override {
        Wait(drive.MountPoint);
        return SystemMountProbe()->Label(drive);
    }
    const std::vector<std::string> hang;
    const std::shared_future<void> released;
    mutable std::atomic<int> hangingCalls{0};
};

// A RAM disk whose source names it, as the label of a device-less mount.
struct NamedTmpfs {
    explicit NamedTmpfs(const TempTree& tree) : point(tree / "ram") {
        tree.Dir("ram");
        mounted = ::mount("Scratch", point.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
    }
    ~NamedTmpfs() { Unmount(); }
    void Unmount() { mounted = mounted && ::umount2(point.c_str(), MNT_DETACH) != 0; }
    std::string point;
    bool mounted;
};

class FavouritesWindow : public testing::FormMainTest {
protected:
    ~FavouritesWindow() override { EXPECT_EQ(errors_, std::vector<std::string>{}); }

    static std::vector<std::string> Captions(const TFormMain& form, const char* menu = "PopupMRUDirList") {
        std::vector<std::string> captions;
        for (const QAction* action : form.findChild<QMenu*>(menu)->actions())
            captions.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        return captions;
    }
    static bool Lists(const TFormMain& form, const std::string& caption) {
        return std::ranges::count(Captions(form), caption) == 1 &&
               std::ranges::count(Captions(form, "MenuItemMRUDirList"), caption) == 1;
    }
    static QAction* Item(const TFormMain& form, const std::string& caption) {
        for (QAction* action : form.findChild<QMenu*>("PopupMRUDirList")->actions())
            if (action->text().toStdString() == caption)
                return action;
        return nullptr;
    }
    TempTree t_;
};

// A drive is listed by its label, scans, and never enters the recent list. The window waits for a
// hanging look-up once, at most its limit, and never starts it again; a directory that cannot be
// tested is not offered for removal.
TEST_F(FavouritesWindow, AMountedDriveIsListedByNameScansAndAHangingMountNeverHoldsTheWindow) {
    NamedTmpfs ram(t_);
    if (!ram.mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    t_.Dir("recent");
    std::ofstream(ini_) << "[Settings]\nMRUDirList=\"" << ram.point << "\"," << t_ / "recent"
                        << "\n";
    TFormMain form(settings_);
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{t_ / "recent"})
        << "a stored drive root is dropped at start";
    const std::string caption = "Scratch (" + ram.point + ")";
    EXPECT_TRUE(Lists(form, caption)) << "both menus list the drive by its name";
    EXPECT_EQ(Captions(form).back(), "1 " + t_ / "recent") << "no remove item while every entry exists";
    ASSERT_TRUE(Await(form, [&] { Item(form, caption)->trigger(); }));
    EXPECT_EQ(form.LastScanDir(), ram.point);
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{t_ / "recent"});

    const std::string deadDir = ram.point + "/deep";
    ASSERT_EQ(::mkdir(deadDir.c_str(), 0755), 0);
    form.Favourites()->AddDir(deadDir);
    ASSERT_EQ(::rmdir(deadDir.c_str()), 0);
    std::promise<void> release; // kept or broken, it ends the hanging look-ups
    auto probe = std::make_shared<HangingProbe>(std::vector<std::string>{ram.point, deadDir},
                                                release.get_future().share());
    const auto started = std::chrono::steady_clock::now();
    form.SetMountProbe(probe);
    EXPECT_TRUE(Lists(form, "ram (" + ram.point + ")")) << "unlabelled until the look-up answers";
    EXPECT_EQ(Captions(form).back(), "2 " + t_ / "recent");
    for (int i = 0; i < 20; ++i)
        form.RebuildFavouritesMenus();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << "the hanging look-ups are waited for again";
    EXPECT_EQ(probe->hangingCalls.load(), 2) << "the hanging look-ups were started again";

    release.set_value();
    bool answered = false;
    for (int i = 0; i < 100 && !answered; ++i) {
        std::this_thread::sleep_for(10ms);
        form.RebuildFavouritesMenus();
        answered = Lists(form, caption) && Captions(form).back() == "Remove invalid entries...";
    }
    EXPECT_TRUE(answered) << "once the mount answers, its label and the missing entry show";
    ram.Unmount();
    form.RebuildFavouritesMenus();
    EXPECT_FALSE(Lists(form, caption));
}

// Only the entries missing on disk are offered for removal, and only a Yes removes them.
TEST_F(FavouritesWindow, OnlyConfirmedMissingEntriesAreRemoved) {
    TFormMain form(settings_);
    for (const char* dir : {"kept", "gone", "also gone"}) {
        t_.Dir(dir);
        form.Favourites()->AddDir(t_ / dir);
    }
    ASSERT_EQ(::rmdir((t_ / "gone").c_str()), 0);
    ASSERT_EQ(::rmdir((t_ / "also gone").c_str()), 0);
    form.RebuildFavouritesMenus();
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        testing::BoxAnswers box(answer);
        Item(form, "Remove invalid entries...")->trigger();
        EXPECT_EQ(box.texts, std::vector<std::string>{"Do you really want to remove the following invalid "
                                                      "entries?\n" +
                                                      t_ / "gone" + "\n" + t_ / "also gone"});
        EXPECT_EQ(form.Favourites()->Items().size(), answer == QMessageBox::No ? 3u : 1u);
    }
    EXPECT_EQ(Captions(form).back(), "1 " + t_ / "kept");
}

} // namespace
} // namespace quorvex
