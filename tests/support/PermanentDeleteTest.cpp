#include "desktop/PermanentDelete.h"

#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "support/PosixDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace quorvex;
using quorvex::testing::Exists;
using quorvex::testing::TempTree;

namespace {

std::size_t CountEntries(const std::string& dir) {
    std::size_t count = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(dir); it != decltype(it)(); ++it)
        ++count;
    return count;
}

std::string Describe(const TDeletionResult& result) {
    std::string text;
    for (const TDeletionFailure& failure : result.Failures)
        text += failure.Path + ": " + std::strerror(failure.Error) + "\n";
    return text;
}

} // namespace

TEST(PermanentDelete, RemovesLinksNeverTheirTargets) {
    TempTree t;
    t.Dir("outside");
    t.Dir("outside/sub");
    t.File("outside/a", 10);
    t.File("outside/sub/b", 20);
    t.Dir("victim");
    t.Dir("victim/ro");
    t.File("victim/ro/f", 5);
    ::chmod((t / "victim/ro/f").c_str(), 0444);
    ::chmod((t / "victim/ro").c_str(), 0555);
    t.Link(t / "outside", "victim/dirlink");
    t.Link(t / "outside/a", "victim/filelink");
    t.Link(t / "outside", "toplink");

    const TDeletionResult viaLink = DeletePermanently(t / "toplink");
    EXPECT_TRUE(viaLink.TopRemoved);
    EXPECT_EQ(viaLink.EntriesRemoved, 1u);
    EXPECT_FALSE(Exists(t / "toplink"));

    std::uint64_t reported = 0;
    TDeletionControl control;
    control.Progress = [&](std::uint64_t n) { reported = n; };
    const TDeletionResult result = DeletePermanently(t / "victim/", control);
    EXPECT_TRUE(result.TopRemoved) << Describe(result);
    EXPECT_TRUE(result.Failures.empty()) << Describe(result);
    EXPECT_EQ(result.EntriesRemoved, 5u);
    EXPECT_EQ(reported, 5u);
    EXPECT_FALSE(Exists(t / "victim"));
    EXPECT_TRUE(Exists(t / "outside/a"));
    EXPECT_TRUE(Exists(t / "outside/sub/b"));

    t.File("single", 1);
    EXPECT_TRUE(DeletePermanently(t / "single").TopRemoved);
    EXPECT_FALSE(Exists(t / "single"));
}

TEST(PermanentDelete, NeverEntersAnotherMountAndReportsIt) {
    TempTree t;
    t.Dir("victim");
    t.Dir("victim/tmp");
    t.Dir("victim/bind");
    t.Dir("elsewhere");
    t.File("elsewhere/kept", 3);
    t.File("victim/plain", 3);
    if (::mount("tmpfs", (t / "victim/tmp").c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string Path;
        ~Unmount() { ::umount2(Path.c_str(), MNT_DETACH); }
    } unmountTmp{t / "victim/tmp"};
    t.File("victim/tmp/inside", 3);
    ASSERT_EQ(::mount((t / "elsewhere").c_str(), (t / "victim/bind").c_str(), nullptr, MS_BIND, nullptr), 0);
    const Unmount unmountBind{t / "victim/bind"};

    const TDeletionResult result = DeletePermanently(t / "victim");
    ASSERT_EQ(result.Failures.size(), 2u) << Describe(result);
    std::vector<std::string> paths{result.Failures[0].Path, result.Failures[1].Path};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{t / "victim/bind", t / "victim/tmp"}));
    EXPECT_EQ(result.Failures[0].Error, EXDEV);
    EXPECT_FALSE(result.TopRemoved);
    EXPECT_FALSE(Exists(t / "victim/plain"));
    EXPECT_TRUE(Exists(t / "victim/tmp/inside"));
    EXPECT_TRUE(Exists(t / "elsewhere/kept"));
}

TEST(PermanentDelete, RemovesATreeDeeperThanPathMaxWithFewDescriptors) {
    // On a tmpfs when allowed: the disk's journal, not the walk, would set the pace otherwise.
    const quorvex::testing::TinyTmpfs t("32m");
    constexpr int kLevels = 5000;
    int fd = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level <= kLevels; ++level) {
        ASSERT_EQ(::mkdirat(fd, "level", 0755), 0);
        const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        ::close(::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0444));
    }
    ::close(fd);

    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 48;
    ::setrlimit(RLIMIT_NOFILE, &tight);
    const auto start = std::chrono::steady_clock::now();
    const TDeletionResult result = DeletePermanently(t / "level");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_TRUE(result.Failures.empty()) << Describe(result).substr(0, 2000);
    EXPECT_TRUE(result.TopRemoved);
    EXPECT_EQ(result.EntriesRemoved, 2u * (kLevels + 1));
    EXPECT_FALSE(Exists(t / "level"));
    RecordProperty("milliseconds",
                   std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

TEST(PermanentDelete, AnUnprivilegedUserRemovesAllButWhatIsNotTheirs) {
    TempTree t;
    const auto own = [&](const std::string& relative) { ::lchown((t / relative).c_str(), 65534, 65534); };
    ::chown(t.Path().c_str(), 65534, 65534);
    t.Dir("victim");
    t.Dir("victim/a");
    t.Dir("victim/a/b");
    t.File("victim/a/b/c", 1);
    t.Dir("victim/ro");
    t.Dir("victim/ro/sub");
    t.File("victim/ro/f", 1);
    for (const char* relative :
         {"victim", "victim/a", "victim/a/b", "victim/a/b/c", "victim/ro", "victim/ro/sub", "victim/ro/f"})
        own(relative);
    ::chmod((t / "victim/ro/f").c_str(), 0444);
    ::chmod((t / "victim/ro/sub").c_str(), 0);
    ::chmod((t / "victim/ro").c_str(), 0555);
    t.Dir("victim/theirs"); // root's, in a directory of the user's
    t.File("victim/theirs/file", 1);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const TDeletionResult result = DeletePermanently(t / "victim");
        std::string out = result.TopRemoved ? "T" : "F";
        for (const TDeletionFailure& failure : result.Failures)
            out += failure.Path + '\0' + std::to_string(failure.Error) + '\0';
        const bool written = ::write(pipeFds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;

    EXPECT_EQ(out, std::string("F").append(t / "victim/theirs/file") + '\0' + std::to_string(EACCES) + '\0');
    EXPECT_TRUE(Exists(t / "victim/theirs/file"));
    EXPECT_FALSE(Exists(t / "victim/a"));
    EXPECT_FALSE(Exists(t / "victim/ro"));
}

TEST(PermanentDelete, CancelStopsBetweenEntriesLeavingTheRestIntact) {
    TempTree t;
    t.Dir("victim");
    for (int d = 0; d < 5; ++d) {
        t.Dir("victim/d" + std::to_string(d));
        for (int f = 0; f < 10; ++f)
            t.File("victim/d" + std::to_string(d) + "/f" + std::to_string(f), 1);
    }
    const std::size_t before = CountEntries(t / "victim");
    std::stop_source stop;
    const TDeletionResult result =
        DeletePermanently(t / "victim", {.Stop = stop.get_token(), .Progress = [&](std::uint64_t n) {
                                             if (n == 17)
                                                 stop.request_stop();
                                         }});
    EXPECT_TRUE(result.Cancelled);
    EXPECT_FALSE(result.TopRemoved);
    EXPECT_TRUE(result.Failures.empty()) << Describe(result);
    EXPECT_EQ(result.EntriesRemoved, 17u);
    EXPECT_EQ(CountEntries(t / "victim"), before - 17);
}
