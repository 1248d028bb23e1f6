#include "FormMainFixture.h"

#include "common/TempTree.h"
#include "shell/InfoPanel.h"
#include "support/FreeSpaceProbe.h"

#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/mount.h>

namespace quorvex::testing {
namespace {

using namespace std::chrono_literals;

class FormMainDrivesTest : public FormMainTest {
protected:
    void ShowForm() {
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    // As the settings dialog would: a grouping change offers a rescan of the scanned root.
    void ChangeGrouping() {
        auto changed = TSettings::CreateCopy(settings_);
        changed->SetGroupFileSize(settings_.GroupFileSize() + 4096);
        form_.OnSettingsApplied(*changed);
    }
    bool Has(const std::string& path) const { return FindNodeByPath(form_.RootNode(), path) != nullptr; }

    TempTree data_;
    TFormMain form_{settings_};
};

TEST_F(FormMainDrivesTest, RefreshNowRescansTheRootOrTheSubdirectoryOrOnlyLogsForAFile) {
    ShowForm();
    data_.Dir("sub");
    data_.File("sub/a", 100);
    ASSERT_TRUE(Scan(form_, data_.Path()));

    ChangeGrouping();
    EXPECT_TRUE(form_.InfoPanel()->SlidingVisible());
    EXPECT_EQ(form_.InfoPanel()->PendingPaths(), std::vector<std::string>{data_.Path()});
    data_.File("new", 4 << 20);
    ASSERT_TRUE(Await(form_, [&] { ClickRefreshNow(form_); }));
    EXPECT_TRUE(Has(data_ / "new")) << "the root was scanned again";
    EXPECT_TRUE(form_.InfoPanel()->PendingPaths().empty());

    // Inside the tree: only that directory is scanned again.
    data_.Dir("sub/b");
    data_.Dir("top");
    form_.InfoPanel()->ShowNotification(data_ / "sub", QStringLiteral("sub changed"));
    ASSERT_TRUE(Await(form_, [&] { ClickRefreshNow(form_); }));
    EXPECT_TRUE(Has(data_ / "sub/b"));
    EXPECT_FALSE(Has(data_ / "top"));

    // With its trailing delimiter the root is still the root.
    form_.InfoPanel()->ShowNotification(data_.Path() + "/", QStringLiteral("root changed"));
    ASSERT_TRUE(Await(form_, [&] { ClickRefreshNow(form_); }));
    EXPECT_TRUE(Has(data_ / "top"));

    // A file is nothing to rescan.
    data_.Dir("sub/c");
    ASSERT_TRUE(Has(data_ / "new"));
    form_.InfoPanel()->ShowNotification(data_ / "new", QStringLiteral("file changed"));
    QSignalSpy finished(&form_, &TFormMain::ScanFinishedSignal);
    ClickRefreshNow(form_);
    EXPECT_FALSE(form_.IsScanRunning());
    EXPECT_FALSE(finished.wait(300));
    EXPECT_FALSE(Has(data_ / "sub/c"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.InfoPanel()->isVisible(); }, 2000));
}

TEST_F(FormMainDrivesTest, StartingAScanHidesThePanelAndKeepsWhatItWouldRefresh) {
    ShowForm();
    ASSERT_TRUE(Scan(form_, data_.Path()));
    ChangeGrouping();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.InfoPanel()->isVisible(); }, 2000));
    ASSERT_TRUE(Scan(form_, data_.Path()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.InfoPanel()->isVisible(); }, 2000));
    EXPECT_EQ(form_.InfoPanel()->PendingPaths(), std::vector<std::string>{data_.Path()});
}

// A file system mounted on the scanned directory while the window runs makes it a drive; the
// favourites menus are made again with the new table.
TEST_F(FormMainDrivesTest, MountingOnTheScannedDirectoryIsNoticedLive) {
    ASSERT_TRUE(Scan(form_, data_.Path()));
    ASSERT_EQ(form_.RootNode()->GetNodeType(), ntDirectory);
    QMenu* menu = form_.findChild<QToolButton*>(QStringLiteral("FavouritesButton"))->menu();
    ASSERT_FALSE(menu->actions().isEmpty());
    QPointer<QAction> before = menu->actions().front();

    if (::mount("tmpfs", data_.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{data_.Path()};
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_.RootNode()->GetNodeType() == ntDrive; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return before.isNull(); }, 1000)) << "the menu was not rebuilt";

    before = menu->actions().front();
    ASSERT_EQ(::umount2(data_.Path().c_str(), MNT_DETACH), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_.RootNode()->GetNodeType() == ntDirectory; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return before.isNull(); }, 1000));
}

// The free space of the scanned root is asked again on the window's thread when a subdirectory
// rescan ends; a server that no longer answers must not freeze the window.
TEST_F(FormMainDrivesTest, DeadFileSystemUnderTheScannedRootDoesNotFreezeTheWindow) {
    data_.Dir("sub");
    ASSERT_TRUE(Scan(form_, data_.Path()));
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    const TStatvfsFunction previous =
        SetStatvfsFunction([gate, root = data_.Path()](const std::string& path, struct statvfs& out) {
            if (path == root) {
                std::unique_lock lock(gate->mutex);
                gate->opened.wait_for(lock, 5s, [&] { return gate->open; });
            }
            return ::statvfs(path.c_str(), &out);
        });
    const auto start = std::chrono::steady_clock::now();
    const bool done = Await(form_, [&] { form_.RescanNode(Dir(form_, data_ / "sub")); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    {
        std::lock_guard guard(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    SetStatvfsFunction(previous);
    EXPECT_TRUE(done);
    EXPECT_LT(seconds, 2.0) << "the window waited for the file system";
}

} // namespace
} // namespace quorvex::testing
