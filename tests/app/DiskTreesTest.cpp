// The command on trees a server holds: unreadable corners, roots named through links, bind mounts,
// few descriptors, very deep trees, and a locale of its own.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

const std::vector<std::string> kNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                       "--clear-groups"};
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

std::string Figures(const std::string& summary) {
    const auto block = ParseBlocks(summary).at(0);
    return "size " + block.at("size") + ", files " + block.at("files") + ", directories " +
           block.at("directories") + ", errors " + block.at("errors");
}

class DiskTrees : public ::testing::Test {
protected:
    TempTree tree_;
    TempTree scratch_;
};

// As "nobody" (root reads everything): r/d can be listed but not searched, so its file is never
// examined, and r/z (mode 000) cannot even be listed. As a root that is a failed read; below a root,
// each unreadable directory is named with its reason, the rest still counted, and the status is 1,
// as du does; the export still writes every directory.
TEST_F(DiskTrees, UnreadableDirectoriesAreNamedAndFailTheRunButTheRestIsCounted) {
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

TEST_F(DiskTrees, RootNamedThroughASymbolicLinkIsScannedAtItsTarget) {
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

// A bind mount of a folder or a file of the tree shows the same bytes twice; it is an edge like any
// other mount point, for the summary and for the scan file's second reading of the disk. The file
// mounted over keeps its name, at no size, as the folder does.
TEST_F(DiskTrees, BindMountInsideTheTreeIsNotEntered) {
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
// that the scan file's writer needs each level again on its way back up; and sixteen deep branches
// for sixteen workers at once. With 32 descriptors every directory is still read, and read again for
// the scan file, in about the time the scan takes, even with most descriptors taken.
TEST_F(DiskTrees, FewOpenFilesLoseNoDirectoryAtAnyDepth) {
    if (::access(kFewDescriptors[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << "prlimit is not installed";
    TempTree chain;
    chain.Chain(10000, [](int fd, int) {
        for (const char* dir : {"before", "after"}) {
            Check(::mkdirat(fd, dir, 0755) == 0, "mkdir");
            const int file =
                ::openat(fd, (std::string(dir) + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            Check(file >= 0 && ::ftruncate(file, 7) == 0, "file");
            ::close(file);
        }
    });
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
    const std::string deep = "size 140000, files 20000, directories 30001, errors 0";
    const std::string wide = "size 28320, files 960, directories 1921, errors 0";
    const struct {
        std::string root, jobs, figures;
        bool exported;
    } runs[] = {{chain.Path(), "1", deep, false},
                {chain.Path(), "16", deep, true},
                {tree_ / "wide", "16", wide, true}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.root + " with --jobs " + run.jobs);
        const Result limited =
            Quorvex({"--summary", "--jobs", run.jobs, run.root}, scratch_, false, kFewDescriptors).Wait();
        EXPECT_EQ(limited.exitCode, 0) << limited.err;
        EXPECT_EQ(Figures(limited.out), run.figures);
        if (!run.exported)
            continue;
        const std::string output = scratch_ / "limited.json";
        const Result exported = Quorvex({"--export", "ncdu", "--jobs", run.jobs, "-o", output, run.root},
                                        scratch_, false, kBusyDescriptors)
                                    .Wait(20s);
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(Figures(RunQuorvex({"--summary", output}, scratch_).out), run.figures);
    }
}

} // namespace

// Qt's start-up puts the C library into the user's locale. Pashto's decimal separator is two bytes: it
// must neither reach the figures scripts read nor break the cut of the formatted size.
TEST_F(DiskTrees, ALocaleWithAMultiByteSeparatorChangesNoFigure) {
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
