// The summary command on trees a new user meets: unreadable corners, roots named through links, and
// a scan stopped among many small files.

#include "app/QuorvexProcess.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using quorvex::testing::ParseBlocks;
using quorvex::testing::Quorvex;
using quorvex::testing::Result;
using quorvex::testing::RunQuorvex;
using quorvex::testing::TempTree;
using quorvex::testing::Threads;

const std::vector<std::string> kNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                       "--clear-groups"};

// Whether process `pid` holds a descriptor on the directory `path`.
bool HoldsDirectory(pid_t pid, const std::string& path) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    bool found = false;
    while (dirent* e = dir != nullptr ? ::readdir(dir) : nullptr) {
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(::dirfd(dir), e->d_name, target, sizeof target);
        found = found || (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path);
    }
    if (dir != nullptr)
        ::closedir(dir);
    return found;
}

bool IsStopped(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'T';
}

class SummaryFaults : public ::testing::Test {
protected:
    TempTree tree_;
    TempTree scratch_;
};

// As "nobody" (root reads everything): r/d can be listed but not searched, so its file is never
// examined, and r/z (mode 000) cannot even be listed. As a root that is a failed read; below a root,
// each unreadable directory is named with its reason, the rest still counted, and the status is 1,
// as du does; the export still writes every directory.
TEST_F(SummaryFaults, UnreadableDirectoriesAreNamedAndFailTheRunButTheRestIsCounted) {
    if (::access(kNobody[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << "setpriv is not installed";
    tree_.Dir("r");
    tree_.Dir("r/d");
    tree_.File("r/d/f", 1000);
    tree_.Dir("r/ok");
    tree_.File("r/ok/g", 10);
    tree_.Dir("r/z");
    ASSERT_EQ(::chmod((tree_ / "r/d").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((tree_ / "r/z").c_str(), 0), 0);

    const Result root = Quorvex({"--summary", tree_ / "r/d"}, scratch_, false, kNobody).Wait();
    EXPECT_EQ(root.exitCode, 1) << root.err;
    EXPECT_NE(root.err.find(tree_ / "r/d" + ": Permission denied"), std::string::npos) << root.err;
    const auto rootBlock = ParseBlocks(root.out).at(0);
    EXPECT_EQ(rootBlock.at("size"), "0");
    EXPECT_EQ(rootBlock.at("errors"), "1");

    // Both named, once each, in the order of the tree.
    auto namesBoth = [&](const std::string& err) {
        const std::string d = "quorvex: " + tree_ / "r/d" + ": Permission denied\n";
        const std::string z = "quorvex: " + tree_ / "r/z" + ": Permission denied\n";
        return err == d + z || err == z + d;
    };
    const Result above = Quorvex({"--summary", tree_ / "r"}, scratch_, false, kNobody).Wait();
    EXPECT_EQ(above.exitCode, 1);
    EXPECT_TRUE(namesBoth(above.err)) << above.err;
    const auto aboveBlock = ParseBlocks(above.out).at(0);
    EXPECT_EQ(aboveBlock.at("size"), "10");
    EXPECT_EQ(aboveBlock.at("files"), "1");
    EXPECT_EQ(aboveBlock.at("directories"), "4");
    EXPECT_EQ(aboveBlock.at("errors"), "2");

    const Result csv = Quorvex({"--export", "csv", "-o", "-", tree_ / "r"}, scratch_, false, kNobody).Wait();
    EXPECT_EQ(csv.exitCode, 1);
    EXPECT_TRUE(namesBoth(csv.err)) << csv.err;
    EXPECT_NE(csv.out.find(tree_ / "r/z,0,0\r\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find(tree_ / "r/ok,10,1\r\n"), std::string::npos) << csv.out;
    ASSERT_EQ(::chmod((tree_ / "r/z").c_str(), 0755), 0);
}

TEST_F(SummaryFaults, RootNamedThroughASymbolicLinkIsScannedAtItsTarget) {
    tree_.Dir("real");
    tree_.Dir("real/sub");
    tree_.File("real/sub/f", 3000);
    tree_.Link("real", "alias");
    const Result r = RunQuorvex({"--summary", tree_ / "alias"}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto block = ParseBlocks(r.out).at(0);
    EXPECT_EQ(block.at("path"), tree_ / "alias");
    EXPECT_EQ(block.at("size"), "3000");
    EXPECT_EQ(block.at("directories"), "2");

    const Result csv = RunQuorvex({"--export", "csv", "--output", "-", tree_ / "alias"}, scratch_);
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_NE(csv.out.find(tree_ / "alias/sub,3000,1\r\n"), std::string::npos) << csv.out;
}

// Ctrl+C in a directory of many one-byte files, all grouped (the default threshold): each file found
// counts once. The files are hard links of one, so the tree costs no disk blocks. The process is
// frozen while the interrupt is queued, so it lands while the walk is still inside the directory
// (about 250 ms of walking in all).
TEST_F(SummaryFaults, InterruptAmongGroupedSmallFilesCountsEachFileOnce) {
    constexpr int kFiles = 60000;
    tree_.Dir("many");
    tree_.File("many/f0", 1);
    const std::string many = tree_ / "many";
    for (int i = 1; i < kFiles; ++i)
        ASSERT_EQ(::link((many + "/f0").c_str(), (many + "/f" + std::to_string(i)).c_str()), 0);

    Quorvex child({"--summary", many}, scratch_);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!HoldsDirectory(child.Pid(), many) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100us);
    std::this_thread::sleep_for(10ms); // a few thousand files into the directory, far from its end
    ::kill(child.Pid(), SIGSTOP);
    while (!IsStopped(child.Pid()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100us);
    ASSERT_TRUE(HoldsDirectory(child.Pid(), many)) << "the walk was not caught inside the directory";
    ASSERT_GE(Threads(child.Pid()), 2);
    ::kill(child.Pid(), SIGINT);
    ::kill(child.Pid(), SIGCONT);
    const Result r = child.Wait();

    EXPECT_EQ(r.exitCode, 130) << r.err;
    const auto block = ParseBlocks(r.out).at(0);
    ASSERT_EQ(block.count("incomplete"), 1u) << r.out;
    const long long files = std::stoll(block.at("files"));
    EXPECT_GT(files, 0) << "stopped before the first file: nothing to count twice";
    EXPECT_LT(files, kFiles);
    EXPECT_EQ(std::stoll(block.at("size")), files) << "every file is one byte";
}

} // namespace

// Qt's start-up puts the C library into the user's locale. Pashto's decimal separator is two bytes: it
// must neither reach the figures scripts read nor break the cut of the formatted size.
TEST_F(SummaryFaults, ALocaleWithAMultiByteSeparatorChangesNoFigure) {
    tree_.Dir("r");
    tree_.File("r/f", 2047);
    const Result r = Quorvex({"--summary", tree_ / "r"}, scratch_, false,
                             {"/usr/bin/env", "LANG=ps_AF.UTF-8", "LC_ALL=ps_AF.UTF-8"})
                         .Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto blocks = ParseBlocks(r.out);
    ASSERT_EQ(blocks.size(), 1u) << r.out;
    EXPECT_EQ(blocks[0].at("size_formatted"), "1.99 KB");
    EXPECT_TRUE(std::regex_match(blocks[0].at("elapsed_seconds"), std::regex("[0-9]+\\.[0-9]{3}")))
        << blocks[0].at("elapsed_seconds");
}
