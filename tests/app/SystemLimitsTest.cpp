// The command at the limits a server sets: few descriptors, bind mounts inside the tree, very deep
// trees written to a scan file.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using quorvex::testing::ParseBlocks;
using quorvex::testing::Quorvex;
using quorvex::testing::Result;
using quorvex::testing::RunQuorvex;
using quorvex::testing::TempTree;

// As `ulimit -n 32` leaves a script: soft and hard limit alike, so nothing can be raised.
const std::vector<std::string> kFewDescriptors{"/usr/bin/prlimit", "--nofile=32:32"};
// The same, with a script holding all but a few of them open.
const std::vector<std::string> kBusyDescriptors{
    "/usr/bin/prlimit",
    "--nofile=32:32",
    "/bin/bash",
    "-c",
    "i=3; while [ $i -le 26 ]; do eval \"exec $i</dev/null\"; i=$((i+1)); done; exec \"$@\"",
    "sh"};

void FileAt(int dirFd, const char* name, long long size) {
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

std::string Figures(const std::string& summary) {
    const auto block = ParseBlocks(summary).at(0);
    return "size " + block.at("size") + ", files " + block.at("files") + ", directories " +
           block.at("directories") + ", errors " + block.at("errors");
}

class SystemLimits : public ::testing::Test {
protected:
    TempTree tree_;
    TempTree scratch_;
};

// A chain deeper than any budget, and sixteen deep branches for sixteen workers at once: with 32
// descriptors every directory is still read, and read again for the scan file, even with most of
// them taken.
TEST_F(SystemLimits, FewOpenFilesLoseNoDirectory) {
    if (::access(kFewDescriptors[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << "prlimit is not installed";
    TempTree chain;
    chain.Chain(3000, [](int fd, int) { FileAt(fd, "f", 1); });
    tree_.Dir("wide");
    for (int branch = 0; branch < 16; ++branch) {
        std::string path = "wide/b" + std::to_string(branch);
        for (int level = 0; level < 60; ++level) {
            tree_.Dir(path);
            tree_.Dir(path + "/leaf");
            tree_.File(path + "/leaf/f", level);
            path += "/c";
        }
    }

    for (const auto& [root, jobs] :
         {std::pair{chain.Path(), "1"}, std::pair{chain.Path(), "16"}, std::pair{tree_ / "wide", "16"}}) {
        const Result free = RunQuorvex({"--summary", "--jobs", jobs, root}, scratch_);
        ASSERT_EQ(free.exitCode, 0) << free.err;
        const Result limited =
            Quorvex({"--summary", "--jobs", jobs, root}, scratch_, false, kFewDescriptors).Wait();
        EXPECT_EQ(limited.exitCode, 0) << limited.err;
        EXPECT_EQ(Figures(limited.out), Figures(free.out)) << root << " with --jobs " << jobs;

        const std::string output = scratch_ / "limited.json";
        const Result exported = Quorvex({"--export", "ncdu", "--jobs", jobs, "-o", output, root}, scratch_,
                                        false, kBusyDescriptors)
                                    .Wait();
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(Figures(RunQuorvex({"--summary", output}, scratch_).out), Figures(free.out))
            << root << " with --jobs " << jobs;
    }
    EXPECT_EQ(Figures(RunQuorvex({"--summary", chain.Path()}, scratch_).out),
              "size 3000, files 3000, directories 3001, errors 0");
}

// A bind mount of a folder or a file of the tree shows the same bytes twice; it is an edge like any
// other mount point, for the summary and for the scan file's second reading of the disk. The file
// mounted over keeps its name, at no size, as the folder does.
TEST_F(SystemLimits, BindMountInsideTheTreeIsNotEntered) {
    tree_.Dir("src");
    tree_.Dir("src/sub");
    tree_.File("src/sub/f", 5000);
    tree_.Dir("mnt");
    tree_.File("fm", 0);
    const quorvex::testing::ScopedMount bind(tree_ / "mnt", tree_ / "src");
    const quorvex::testing::ScopedMount fileBind(tree_ / "fm", tree_ / "src/sub/f");
    if (!bind.Mounted() || !fileBind.Mounted())
        GTEST_SKIP() << bind.Refusal() << fileBind.Refusal();

    for (const char* once : {"--hard-links=once", "--hard-links=each"}) {
        const Result summary = RunQuorvex({"--summary", once, tree_.Path()}, scratch_);
        EXPECT_EQ(summary.exitCode, 0) << summary.err;
        EXPECT_EQ(Figures(summary.out), "size 5000, files 2, directories 4, errors 0") << once;
    }

    const Result ncdu = RunQuorvex({"--export", "ncdu", "--output", "-", tree_.Path()}, scratch_);
    EXPECT_EQ(ncdu.exitCode, 0) << ncdu.err;
    EXPECT_NE(ncdu.out.find(R"({"name":"mnt","excluded":"otherfs"})"), std::string::npos) << ncdu.out;
    EXPECT_NE(ncdu.out.find(R"({"name":"fm","asize":0,"dsize":0})"), std::string::npos) << ncdu.out;
    ASSERT_NE(ncdu.out.find(R"("name":"f")"), std::string::npos) << ncdu.out;
    EXPECT_EQ(ncdu.out.find(R"("name":"f")"), ncdu.out.rfind(R"("name":"f")")) << ncdu.out;
}

// Ten thousand levels, beyond PATH_MAX and any descriptor budget, each with a folder of one file
// listed before the next level and one after it (whichever order the file system lists them in), so
// that the writer needs each level again on its way back up. The scan file is written in about the
// time the scan takes, few descriptors or many.
TEST_F(SystemLimits, TenThousandLevelsExportToAScanFileQuickly) {
    constexpr int kDepth = 10000;
    int fd = ::open(tree_.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < kDepth; ++level) {
        for (const char* dir : {"before", "level", "after"})
            ASSERT_EQ(::mkdirat(fd, dir, 0755), 0);
        FileAt(fd, "before/f", 7);
        FileAt(fd, "after/f", 7);
        const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    std::vector<std::vector<std::string>> launchers{{}};
    if (::access(kFewDescriptors[0].c_str(), X_OK) == 0)
        launchers.push_back(kFewDescriptors);
    for (const auto& launcher : launchers) {
        const std::string output = scratch_ / "deep.json";
        const Result r =
            Quorvex({"--export", "ncdu", "--output", output, tree_.Path()}, scratch_, false, launcher)
                .Wait(20s);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string text = quorvex::testing::ReadAll(output);
        const auto count = [&text](const std::string& what) {
            std::size_t n = 0;
            for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count(R"([{"name":"level"})"), std::size_t{kDepth});
        EXPECT_EQ(count(R"({"name":"f","asize":7)"), std::size_t{2 * kDepth});
        EXPECT_EQ(count("read_error"), 0u);
    }
}

} // namespace
