#include "support/FreeSpaceProbe.h"
#include "common/TinyTmpfs.h"
#include "model/RootNodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A file system that stops answering for one path, as a dead network server does, until released.
class DeadMount {
public:
    explicit DeadMount(std::string path) : state_(std::make_shared<State>()) {
        previous_ = SetStatvfsFunction(
            [state = state_, path = std::move(path)](const std::string& asked, struct statvfs& out) {
                if (asked != path)
                    return ::statvfs(asked.c_str(), &out);
                ++state->calls;
                std::unique_lock lock(state->mutex);
                state->released.wait_for(lock, 10s, [&] { return state->free; });
                out = {};
                out.f_bavail = 7;
                out.f_frsize = 1000;
                return 0;
            });
    }
    ~DeadMount() {
        Release();
        SetStatvfsFunction(previous_);
    }
    DeadMount(const DeadMount&) = delete;
    DeadMount& operator=(const DeadMount&) = delete;

    void Release() {
        {
            std::lock_guard guard(state_->mutex);
            state_->free = true;
        }
        state_->released.notify_all();
    }
    int Calls() const { return state_->calls; }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable released;
        bool free = false;
        std::atomic<int> calls{0};
    };
    std::shared_ptr<State> state_;
    TStatvfsFunction previous_;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

TEST(FreeSpaceProbeTest, AnsweringFileSystemGivesItsFreeSpace) {
    testing::TinyTmpfs disk("64k");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Refusal();
    const auto st = TimedStatvfs(disk.Path(), 1s);
    ASSERT_TRUE(st.has_value());
    EXPECT_EQ(st->f_blocks * st->f_frsize, 64u * 1024u);

    TRootDirNode root;
    root.SetName(disk.Path());
    root.UpdateFreeSpace();
    EXPECT_EQ(root.FreeSpace(), 64 * 1024) << "an empty tmpfs of 64 KiB";
    EXPECT_FALSE(TimedStatvfs(disk / "missing", 1s).has_value());
}

TEST(FreeSpaceProbeTest, DeadFileSystemHoldsTheCallerOnlyForTheLimitAndOnlyOnce) {
    const std::string path = "/mnt/dead-server";
    DeadMount dead(path);
    TRootDirNode root;
    root.SetName(path);

    Clock::time_point start = Clock::now();
    root.UpdateFreeSpace();
    const double first = Seconds(Clock::now() - start);
    EXPECT_GE(first, 0.2);
    EXPECT_LT(first, 1.0) << "held for the limit, not for the server";
    EXPECT_EQ(root.FreeSpace(), 0) << "no answer, nothing learnt";

    start = Clock::now();
    root.UpdateFreeSpace();
    EXPECT_LT(Seconds(Clock::now() - start), 0.05) << "a path still stuck is not asked again";
    EXPECT_EQ(dead.Calls(), 1);
    EXPECT_TRUE(TimedStatvfs("/", 1s).has_value()) << "other file systems still answer";

    dead.Release();
    std::optional<struct statvfs> answer;
    for (int i = 0; i < 200 && !answer; ++i) {
        answer = TimedStatvfs(path, 100ms);
        if (!answer)
            std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(answer.has_value()) << "asked again once the stuck call has returned";
    root.UpdateFreeSpace();
    EXPECT_EQ(root.FreeSpace(), 7000);
}

} // namespace
} // namespace quorvex
