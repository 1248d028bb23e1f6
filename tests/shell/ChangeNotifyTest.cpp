#include "shell/ChangeNotify.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "shell/ChangeNotifyMonitor.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

namespace quorvex {
namespace {

using testing::TempTree;
using testing::TinyTmpfs;

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
        QCoreApplication::postEvent(
            &notify_, new TShellNotifyEvent(messageNo == 0 ? notify_.MessageNo() : messageNo, code, path));
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

TEST_F(ChangeNotifyTest, ImmediateRepeatsAreDroppedIgnoringCaseAndFireAgainAfterAnotherNotification) {
    Deliver(kShellEventDriveAdd, "/media/Stick");
    Deliver(kShellEventDriveAdd, "/MEDIA/stick");
    Deliver(kShellEventDriveAdd | kShellEventInterruptMarker, "/media/stick");
    Deliver(kShellEventDriveRemoved, "/media/stick");
    Deliver(kShellEventDriveAdd, "/media/stick");
    Deliver(kShellEventDriveAdd, "/media/other");
    const std::vector<TSeen> expected{{kShellEventDriveAdd, "/media/Stick"},
                                      {kShellEventDriveRemoved, "/media/stick"},
                                      {kShellEventDriveAdd, "/media/stick"},
                                      {kShellEventDriveAdd, "/media/other"}};
    EXPECT_EQ(seen_, expected) << "the interrupt marker is not part of the code";
}

TEST_F(ChangeNotifyTest, TextCaseChangesTheLettersAndKeepsUndecodableBytes) {
    notify_.SetTextCase(TTextCase::tcUppercase);
    Deliver(kShellEventDriveAdd, "/mnt/daten-\xff-\xc3\xa4");
    notify_.SetTextCase(TTextCase::tcLowercase);
    Deliver(kShellEventDriveRemoved, "/MNT/Daten-\xff-\xc3\x84");
    notify_.SetTextCase(TTextCase::tcAsIs);
    Deliver(kShellEventDriveAdd, "/Mnt/X");
    const std::vector<TSeen> expected{{kShellEventDriveAdd, "/MNT/DATEN-\xff-\xc3\x84"},
                                      {kShellEventDriveRemoved, "/mnt/daten-\xff-\xc3\xa4"},
                                      {kShellEventDriveAdd, "/Mnt/X"}};
    EXPECT_EQ(seen_, expected);
}

TEST_F(ChangeNotifyTest, MessageNoBelowTheMinimumIsRefusedAndNotificationsComeOnlyUnderTheCurrentOne) {
    try {
        notify_.SetMessageNo(1023);
        FAIL() << "1023 was accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "MessageNo must be greater than or equal to 1024");
    }
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

// The real kernel table: a mount and an unmount while the event loop runs.
TEST_F(ChangeNotifyTest, MountingAndUnmountingATmpfsIsNoticedWithinASecond) {
    notify_.Register();
    ASSERT_TRUE(notify_.IsRegistered());
    std::optional<TinyTmpfs> disk(std::in_place);
    if (!disk->Mounted())
        GTEST_SKIP() << disk->Refusal();
    const std::string point = disk->Path();
    only_ = point;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !seen_.empty(); }, 1000));
    EXPECT_EQ(seen_, (std::vector<TSeen>{{kShellEventDriveAdd, point}}));

    // Bytes in the mount point's name arrive as they are.
    const std::string inner = *disk / "odd name \xff";
    ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
    ASSERT_EQ(::mount("tmpfs", inner.c_str(), "tmpfs", 0, "size=16k"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen_.size() >= 2; }, 1000));
    ASSERT_EQ(::umount2(inner.c_str(), MNT_DETACH), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen_.size() >= 3; }, 1000));
    disk.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen_.size() >= 4; }, 1000));
    const std::vector<TSeen> expected{{kShellEventDriveAdd, point},
                                      {kShellEventDriveAdd, inner},
                                      {kShellEventDriveRemoved, inner},
                                      {kShellEventDriveRemoved, point}};
    EXPECT_EQ(seen_, expected);

    notify_.Deregister();
    TinyTmpfs again;
    QTest::qWait(200);
    EXPECT_EQ(seen_.size(), 4u) << "nothing after Deregister";
}

} // namespace
} // namespace quorvex
