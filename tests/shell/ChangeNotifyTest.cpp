// Drive events from the kernel's mount table, and the panel that offers to refresh what changed.

#include "shell/ChangeNotify.h"
#include "common/TinyTmpfs.h"
#include "shell/ChangeNotifyMonitor.h"
#include "shell/InfoPanel.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quorvex {
namespace {

struct TSeen {
    std::uint32_t Code;
    std::string Path;
    bool operator==(const TSeen&) const = default;
    friend void PrintTo(const TSeen& seen, std::ostream* out) {
        *out << (seen.Code == kShellEventDriveAdd ? "added " : "removed ")
             << ::testing::PrintToString(seen.Path);
    }
};

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

    // As the system would deliver it: posted, under the component's message number.
    void Deliver(std::uint32_t code, const std::string& path, std::uint32_t messageNo = 0) {
        auto event =
            std::make_unique<TShellNotifyEvent>(messageNo == 0 ? notify_.MessageNo() : messageNo, code, path);
        QCoreApplication::postEvent(&notify_, event.release()); // the queue owns it
        QCoreApplication::sendPostedEvents(&notify_);
    }

    QObject owner_;
    TSHChangeNotify notify_{&owner_};
    // Other test programs mount their own file systems meanwhile: only paths below `only_` count.
    void Record(std::uint32_t code, const std::string& path) {
        if (path.rfind(only_, 0) == 0)
            seen_.push_back({code, path});
    }
    std::string only_;
    std::vector<TSeen> seen_;
};

// Repeats are dropped ignoring case until another notification comes; the text case changes the
// letters and keeps undecodable bytes.
TEST_F(ChangeNotifyTest, ImmediateRepeatsAreDroppedIgnoringCaseAndTheTextCaseKeepsOddBytes) {
    Deliver(kShellEventDriveAdd, "/media/Stick");
    Deliver(kShellEventDriveAdd, "/MEDIA/stick");
    Deliver(kShellEventDriveAdd | kShellEventInterruptMarker, "/media/stick");
    Deliver(kShellEventDriveRemoved, "/media/stick");
    Deliver(kShellEventDriveAdd, "/media/stick");
    notify_.SetTextCase(TTextCase::tcUppercase);
    Deliver(kShellEventDriveAdd, "/mnt/daten-\xff-\xc3\xa4");
    notify_.SetTextCase(TTextCase::tcLowercase);
    Deliver(kShellEventDriveRemoved, "/MNT/Daten-\xff-\xc3\x84");
    const std::vector<TSeen> expected{{kShellEventDriveAdd, "/media/Stick"},
                                      {kShellEventDriveRemoved, "/media/stick"},
                                      {kShellEventDriveAdd, "/media/stick"},
                                      {kShellEventDriveAdd, "/MNT/DATEN-\xff-\xc3\x84"},
                                      {kShellEventDriveRemoved, "/mnt/daten-\xff-\xc3\xa4"}};
    EXPECT_EQ(seen_, expected) << "the interrupt marker is not part of the code";
}

TEST_F(ChangeNotifyTest, MessageNoBelowTheMinimumIsRefusedAndNotificationsComeOnlyUnderTheCurrentOne) {
    EXPECT_THAT([&] { notify_.SetMessageNo(1023); }, ::testing::ThrowsMessage<std::invalid_argument>(
                                                         "MessageNo must be greater than or equal to 1024"));
    EXPECT_EQ(notify_.MessageNo(), 1024u);
    EXPECT_THROW(notify_.SetMessageNo(TSHChangeNotify::kMaxMessageNo + 1), std::invalid_argument);
    notify_.SetMessageNo(1024);
    notify_.SetMessageNo(2000);
    Deliver(kShellEventDriveAdd, "/old", 1024);
    Deliver(kShellEventDriveAdd, "/new", 2000);
    Deliver(0x2, "/created-file"); // a code without an event
    EXPECT_EQ(seen_, (std::vector<TSeen>{{kShellEventDriveAdd, "/new"}}));
}

TEST_F(ChangeNotifyTest, RegisterWatchesOnlyForAssignedEventsAndToleratesAMissingTable) {
    QObject owner;
    TSHChangeNotify bare(&owner);
    bare.Register();
    EXPECT_FALSE(bare.IsRegistered()) << "no event, nothing to watch";
    EXPECT_EQ(bare.EventMask(), 0u);

    bare.SetOnDriveAdd([](TSHChangeNotify&, std::uint32_t, const std::string&) {});
    bare.Register();
    EXPECT_TRUE(bare.IsRegistered());
    EXPECT_EQ(bare.EventMask(), kShellEventDriveAdd);
    bare.Deregister();
    EXPECT_FALSE(bare.IsRegistered());

    notify_.SetMountTablePath("/nonexistent/mountinfo");
    EXPECT_NO_THROW(notify_.Register());
    EXPECT_FALSE(notify_.IsRegistered());
    EXPECT_EQ(notify_.EventMask(), kShellEventDriveAdd | kShellEventDriveRemoved);
}

TEST(MountTableMonitorTest, ComparingTablesReportsRemovalsFirstThenAdditionsByMountPoint) {
    const auto table = [](const std::string& text) {
        std::istringstream in(text);
        return ParseMountInfo(in);
    };
    const auto before = table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                              "22 21 8:2 / /data rw - ext4 /dev/sda2 rw\n"
                              "23 21 0:5 / /mnt/old\\040disk rw - ext4 /dev/sdb1 rw\n");
    const auto after = table("21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
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
    const testing::TempTree t;
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
    EXPECT_EQ(seen_, (std::vector<TSeen>{{kShellEventDriveAdd, point}, {kShellEventDriveRemoved, point}}));
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
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isVisible());
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

TEST_F(InfoPanelTest, SlidesInToItsHeightAndOutOnClose) {
    EXPECT_FALSE(panel_->isVisible()) << "hidden until something is shown";
    panel_->ShowNotification("/data", QStringLiteral("changed"));
    EXPECT_TRUE(panel_->isVisible());
    EXPECT_LT(panel_->height(), TFrameInfoPanel::kPanelHeight) << "it slides, it does not pop up";
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    panel_->SlideVisible(true);
    QTest::qWait(3 * TFrameInfoPanel::kSlideIntervalMs);
    EXPECT_EQ(panel_->height(), TFrameInfoPanel::kPanelHeight) << "asking again changes nothing";

    Click("ButtonCloseInfoPanel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel_->isVisible(); }, 2000));
    EXPECT_EQ(panel_->height(), 0);
    EXPECT_TRUE(panel_->PendingPaths().empty());
    EXPECT_TRUE(refreshed_.empty());

    // Shown again halfway out: it turns back and ends fully shown.
    panel_->ShowNotification("/data", QStringLiteral("again"));
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    panel_->SlideVisible(false);
    QTest::qWait(4 * TFrameInfoPanel::kSlideIntervalMs);
    panel_->SlideVisible(true);
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    QTest::qWait(3 * TFrameInfoPanel::kSlideIntervalMs);
    EXPECT_TRUE(panel_->isVisible());
}

// Pending paths are unique by their bytes; "Refresh now" refreshes each outermost one once, in order.
TEST_F(InfoPanelTest, RefreshNowRefreshesTheOutermostPendingPathsOnceInOrder) {
    for (const char* path : {"/data/b", "/data", "/data/b/c", "/data/b", "/data/Scan", "/data/scan", "/other",
                             "/database", "/data/\xff"})
        panel_->ShowNotification(path, QString::fromLatin1(path));
    EXPECT_EQ(panel_->PendingPaths(),
              (std::vector<std::string>{"/data/b", "/data", "/data/b/c", "/data/Scan", "/data/scan", "/other",
                                        "/database", "/data/\xff"}));
    EXPECT_EQ(panel_->Message(), QString::fromLatin1("/data/\xff")) << "the latest text is shown";
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    Click("ButtonInfoPanelRefresh");
    EXPECT_EQ(refreshed_, (std::vector<std::string>{"/data", "/other", "/database"}));
    EXPECT_TRUE(panel_->PendingPaths().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel_->isVisible(); }, 2000));
}

} // namespace
} // namespace quorvex
