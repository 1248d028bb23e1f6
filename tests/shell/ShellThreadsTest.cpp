// The icon thread's queue and wake-ups, and the special-folder thread's delivery to a list that died.

#include "shell/IconRequests.h"
#include "shell/UserFolders.h"
#include "support/MountTable.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace quorvex {
namespace {

using namespace std::chrono_literals;

TSHGetFileInfoProperties Request(const std::string& path) {
    return TSHGetFileInfoProperties::Make(path, 0x80, 0x4011);
}

TEST(IconThread, AnswersTheNewestRequestFirst) {
    std::promise<void> busy, release, allServed;
    const std::shared_future<void> released = release.get_future().share();
    std::mutex mutex;
    std::vector<std::string> served;
    TShellFileIconThread thread(
        [&](const std::string& path) {
            if (path == "/first") {
                busy.set_value();
                released.wait();
            }
            return QStringList{QString::fromStdString(path)};
        },
        [&](std::int32_t, const QStringList& names) {
            const std::lock_guard lock(mutex);
            served.push_back(names.value(0).toStdString());
            if (served.size() == 4)
                allServed.set_value();
        });
    thread.Enqueue(Request("/first"));
    ASSERT_EQ(busy.get_future().wait_for(5s), std::future_status::ready);
    for (const char* path : {"/a", "/b", "/c"})
        thread.Enqueue(Request(path));
    release.set_value();
    ASSERT_EQ(allServed.get_future().wait_for(5s), std::future_status::ready);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(served, (std::vector<std::string>{"/first", "/c", "/b", "/a"}));
}

TEST(IconThread, NoWakeUpIsLostAndWaitingRequestsAreDroppedAtTheEnd) {
    std::atomic<int> answered{0};
    {
        TShellFileIconThread thread([](const std::string&) { return QStringList{QStringLiteral("x")}; },
                                    [&](std::int32_t, const QStringList&) { ++answered; });
        // One at a time, so that the thread goes to sleep between most of them.
        for (int i = 0; i < 200; ++i) {
            thread.Enqueue(Request("/f" + std::to_string(i)));
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (answered.load() <= i && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            ASSERT_EQ(answered.load(), i + 1) << "request " << i << " was never served";
        }
    }
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    {
        TShellFileIconThread slow(
            [&](const std::string&) {
                ++started;
                while (!stop.load())
                    std::this_thread::sleep_for(1ms);
                return QStringList{};
            },
            [](std::int32_t, const QStringList&) {});
        for (int i = 0; i < 50; ++i)
            slow.Enqueue(Request("/s" + std::to_string(i)));
        while (started.load() == 0)
            std::this_thread::yield();
        stop = true;
    } // joins after at most the request in hand
    EXPECT_EQ(started.load(), 1);
}

TEST(SpecialFolders, AListDestroyedFirstDropsTheResult) {
    auto gone = std::make_unique<TShellFolderList>();
    TShellFolderList kept;
    QSignalSpy changed(&kept, &TShellFolderList::Changed);
    StartSpecialFolderThread(*gone, StartFolders({}));
    StartSpecialFolderThread(kept, StartFolders({}));
    gone.reset(); // its delivery, when it comes, must find nothing to call
    ASSERT_TRUE(changed.wait(10000));
    QTest::qWait(100);
    EXPECT_EQ(changed.count(), 1);
}

} // namespace
} // namespace quorvex
