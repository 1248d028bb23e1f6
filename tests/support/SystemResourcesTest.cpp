#include "support/FreeSpaceProbe.h"
#include "support/HeapPages.h"
#include "support/PosixDir.h"

#include "model/FileSystemNode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A file system that stops answering for one path, as a dead network server does, until released
// (or the stand-in goes).
class DeadMount {
public:
    explicit DeadMount(const std::string& path) {
        previous_ = SetStatvfsFunction([released = release_.get_future().share(), calls = calls_,
                                        path](const std::string& asked, struct statvfs& out) {
            if (asked != path)
                return ::statvfs(asked.c_str(), &out);
            ++*calls;
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
    int Calls() const { return *calls_; }

private:
    std::promise<void> release_;
    std::shared_ptr<std::atomic<int>> calls_ = std::make_shared<std::atomic<int>>(0);
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
    EXPECT_EQ(dead.Calls(), 1);
    EXPECT_TRUE(TimedStatvfs("/", 1s).has_value()) << "other file systems still answer";
    EXPECT_FALSE(TimedStatvfs("/nonexistent/quorvex", 1s).has_value());

    dead.Release();
    std::optional<struct statvfs> answer;
    for (int i = 0; i < 200 && !answer; ++i)
        if (!(answer = TimedStatvfs(path, 100ms)))
            std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(answer.has_value()) << "asked again once the stuck call has returned";
    root.UpdateFreeSpace();
    EXPECT_EQ(root.FreeSpace(), 7000);
}

// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps.
std::string FlagsOfMappingAt(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        char dash = 0;
        if (std::istringstream(line) >> std::hex >> from >> dash >> to && dash == '-')
            inside = from <= at && at < to;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

// The tree's nodes come from the heap after the call: the mapping they land in must carry the advice,
// or every one of its pages faults in at 4 KiB.
TEST(HeapPages, NodesAllocatedAfterwardsLandInAMappingAdvisedForLargePages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator has no heap to advise";
#endif
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    PreferLargeHeapPages();
    // As many small blocks as a tree of 20,000 entries: past any holes the heap had before.
    std::vector<std::unique_ptr<char[]>> nodes;
    for (int i = 0; i < 20000; ++i)
        nodes.emplace_back(new char[150]);
    const std::string flags = FlagsOfMappingAt(nodes.back().get());
    ASSERT_FALSE(flags.empty());
    EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
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

} // namespace
} // namespace quorvex
