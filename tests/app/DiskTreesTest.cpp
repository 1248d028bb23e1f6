// The command on the trees a server holds, and its figures against du, ncdu and gdu on the same tree.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

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

// As "nobody": r/d can be listed but not searched, r/z not even listed. Below a root each is named
// with its reason, the rest still counted and exported, and the status is 1, as du does.
TEST_F(DiskTrees, UnreadableDirectoriesAreNamedAndFailTheRunButTheRestIsCounted) {
    if (::access(kNobody[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << "setpriv is not installed";
    for (const char* dir : {"r", "r/d", "r/ok", "r/z"})
        tree_.Dir(dir);
    tree_.File("r/d/f", 1000);
    tree_.File("r/ok/g", 10);
    ASSERT_EQ(::chmod((tree_ / "r/d").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((tree_ / "r/z").c_str(), 0), 0);
    const auto run = [&](const std::vector<std::string>& args) {
        return Quorvex(args, scratch_, false, kNobody).Wait();
    };
    const std::string d = "quorvex: " + tree_ / "r/d" + ": Permission denied\n";
    const std::string z = "quorvex: " + tree_ / "r/z" + ": Permission denied\n";
    const Result root = run({"--summary", tree_ / "r/d"});
    EXPECT_EQ(root.exitCode, 1);
    EXPECT_EQ(root.err, d);
    EXPECT_EQ(Figures(root.out), "size 0, files 0, directories 1, errors 1");
    const Result above = run({"--summary", tree_ / "r"});
    EXPECT_EQ(Figures(above.out), "size 10, files 1, directories 4, errors 2");
    const Result csv = run({"--export", "csv", "-o", "-", tree_ / "r"});
    EXPECT_NE(csv.out.find(tree_ / "r/z,0,0\r\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find(tree_ / "r/ok,10,1\r\n"), std::string::npos) << csv.out;
    for (const Result& r : {above, csv}) {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err == d + z || r.err == z + d) << "each once: " << r.err;
    }
    ASSERT_EQ(::chmod((tree_ / "r/z").c_str(), 0755), 0);
}

TEST_F(DiskTrees, RootNamedThroughASymbolicLinkIsScannedAtItsTarget) {
    tree_.Dir("real");
    tree_.Dir("real/sub");
    tree_.File("real/sub/f", 3000);
    tree_.Link("real", "alias");
    const Result r = RunQuorvex({"--summary", tree_ / "alias"}, scratch_);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ParseBlocks(r.out).at(0).at("path"), tree_ / "alias");
    EXPECT_EQ(Figures(r.out), "size 3000, files 1, directories 2, errors 0");
    const Result csv = RunQuorvex({"--export", "csv", "--output", "-", tree_ / "alias"}, scratch_);
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

// Ten thousand levels with a folder before and after the next level, so the scan file's writer needs
// each level again on its way up, and sixteen deep branches for sixteen workers: with 32 descriptors
// (most of them taken) every directory is still read, and read again for the scan file, in time.
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

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The number a shell pipeline prints first; -1 when it fails.
long long ShellNumber(const std::string& command) {
    const auto out = Shell(command);
    return out && !out->empty() ? std::stoll(*out) : -1;
}

// du counts a directory's own blocks, which the program leaves out: a root's sum of them.
long long DirectoriesOwn(const std::string& root, const char* field) {
    return ShellNumber("find " + Quoted(root) + " -xdev -type d -printf '%" + field +
                       "\\n' | awk '{ s += $1 } END { print s + 0 }'");
}

// A sparse file keeps logical and allocated figures apart; a file of 41 names meets several workers.
// Against du at every name (-l) and once, logical and allocated, with one worker and eight.
TEST(Peers, SizesAndHardLinksMatchDuWithoutTheDirectories) {
    TempTree scratch;
    const std::string root = scratch / "tree";
    scratch.Dir("tree");
    scratch.File("tree/sparse", 64 << 20);
    WriteAll(root + "/plain", std::string(10000, 'q'));
    WriteAll(root + "/small", "0123456789");
    scratch.Link("plain", "tree/link");
    WriteAll(root + "/shared", std::string(50000, 'q'));
    for (int i = 0; i < 40; ++i) {
        const std::string dir = root + "/d" + std::to_string(i);
        scratch.Dir("tree/d" + std::to_string(i));
        WriteAll(dir + "/own", std::string(3000 + static_cast<std::size_t>(i), 'q'));
        ASSERT_EQ(::link((root + "/shared").c_str(), (dir + "/shared").c_str()), 0);
    }
    WriteAll(root + "/d0/pair", std::string(7000, 'q'));
    ASSERT_EQ(::link((root + "/d0/pair").c_str(), (root + "/d0/pair2").c_str()), 0);

    const long long dirBlocks = DirectoriesOwn(root, "b") * 512, dirSizes = DirectoriesOwn(root, "s");
    const struct {
        std::vector<std::string> options;
        std::string du;
    } cases[] = {{{"--hard-links", "once", "--allocated"}, "du -sx -B1 "},
                 {{"--hard-links", "once"}, "du -sxb --apparent-size "},
                 {{"--allocated", "--hard-links", "each"}, "du -sxl -B1 "},
                 {{}, "du -sxlb --apparent-size "}};
    for (const auto& c : cases) {
        const long long du = ShellNumber(c.du + Quoted(root));
        ASSERT_GT(du, 0) << c.du;
        const long long expected = du - (c.du.find("apparent") != std::string::npos ? dirSizes : dirBlocks);
        for (const char* jobs : {"1", "8"}) {
            SCOPED_TRACE(c.du + "--jobs " + jobs);
            std::vector<std::string> args{"--summary", "--jobs", jobs, root};
            args.insert(args.begin() + 1, c.options.begin(), c.options.end());
            EXPECT_EQ(std::stoll(ParseBlocks(RunQuorvex(args, scratch).out).at(0).at("size")), expected);
        }
    }
    const Result csv =
        RunQuorvex({"--export", "csv", "-o", "-", "--allocated", "--hard-links", "once", root}, scratch);
    EXPECT_EQ(csv.out.substr(0, csv.out.find(',', root.size() + 1) + 1),
              root + "," + std::to_string(ShellNumber("du -sx -B1 " + Quoted(root)) - dirBlocks) + ",");
}

// A tree with what the format has to carry: names that are not UTF-8 or hold quotes, a backslash and
// a newline, a hard link (counted at every name), a symbolic link, small files for a group, an empty
// directory and a deep path.
class NcduPeers : public ::testing::Test {
protected:
    NcduPeers() : root_(tree_ / "scan") {
        tree_.Dir("scan");
        for (const char* dir : {"scan/sub", "scan/sub/deeper", "scan/empty", "scan/n\xe9w \"q\"\\\n"})
            tree_.Dir(dir);
        tree_.File("scan/big", 3LL * 1024 * 1024);
        tree_.File("scan/sub/small1", 10);
        tree_.File("scan/sub/small2", 20);
        tree_.File("scan/sub/deeper/b\xff.bin", 70000);
        tree_.File("scan/n\xe9w \"q\"\\\n/inner", 5);
        Check(::link((root_ + "/big").c_str(), (root_ + "/sub/hard").c_str()) == 0, "link");
        tree_.Link("big", "scan/link");
    }

    std::map<std::string, std::string> Summary(std::vector<std::string> args) {
        args.insert(args.begin(), "--summary");
        const Result r = RunQuorvex(args, scratch_);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return ParseBlocks(r.out).at(0);
    }

    TempTree tree_;
    TempTree scratch_;
    std::string root_;
};

// Our file (telling the identities only when counting once) reads back with the scan's totals and
// writes the same file again; ncdu and gdu read it with our totals (gdu adds 4096 per directory).
TEST_F(NcduPeers, OurFileReadsBackAndThePeersReadItWithOurTotals) {
    Check(::link((root_ + "/big").c_str(), (root_ + "/empty/third").c_str()) == 0, "link");
    const bool ncdu = HaveTool("ncdu"), gdu = HaveTool("gdu");
    for (const std::string mode : {"each", "once"}) {
        SCOPED_TRACE(mode);
        const auto scanned = Summary({"--hard-links", mode, root_});
        const std::string ours = scratch_ / (mode + ".json");
        ASSERT_EQ(
            RunQuorvex({"--export", "ncdu", "--hard-links", mode, "-o", ours, root_}, scratch_).exitCode, 0);
        EXPECT_EQ(ReadAll(ours).find("\"hlnkc\"") != std::string::npos, mode == "once");
        EXPECT_NE(ReadAll(ours).find("\"b\xff.bin\""), std::string::npos);
        const auto imported = Summary({"--hard-links", mode, ours});
        for (const char* key : {"path", "size", "files", "directories"})
            EXPECT_EQ(imported.at(key), scanned.at(key)) << key;
        EXPECT_EQ(imported.count("imported"), 1u);
        EXPECT_EQ(scanned.count("imported"), 0u);
        // Written again from the imported tree, the file says the same, byte for byte after its header.
        const std::string again = scratch_ / "again.json";
        ASSERT_EQ(RunQuorvex({"--export", "6", "--hard-links", mode, "-o", again, ours}, scratch_).exitCode,
                  0);
        const std::string first = ReadAll(ours), second = ReadAll(again);
        EXPECT_EQ(second.substr(second.find('\n')), first.substr(first.find('\n')));

        if (ncdu) {
            const std::string rewritten = scratch_ / "ncdu.json";
            ASSERT_TRUE(Shell("ncdu -f " + Quoted(ours) + " -o " + Quoted(rewritten)));
            EXPECT_EQ(Summary({"--hard-links", mode, rewritten}).at("size"), scanned.at("size"));
        }
        if (gdu) {
            const auto out = Shell("gdu -f " + Quoted(ours) + " -n -p -a -s --no-prefix");
            ASSERT_TRUE(out);
            const long long size = std::stoll(scanned.at("size"));
            EXPECT_EQ(std::stoll(*out), size + 4096 * std::stoll(scanned.at("directories"))) << *out;
        }
    }
    if (!ncdu && !gdu)
        GTEST_SKIP() << "neither ncdu nor gdu is installed (./build.sh test installs them)";
}

// ncdu's own scan, read by us, gives our scan's totals: its directories' own sizes not counted, a hard
// link at every name or once, the symbolic link (no allocated size there) none, also once rewritten.
TEST_F(NcduPeers, AFileWrittenByNcduGivesTheTotalsOfOurScan) {
    if (!HaveTool("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (./build.sh test installs it)";
    // Written, so that it has blocks: the fixture's other files are sparse.
    WriteAll(root_ + "/sub/written", std::string(5000, 'w'));
    const std::string theirs = scratch_ / "theirs.json";
    ASSERT_TRUE(Shell("ncdu -x -0 -o " + Quoted(theirs) + " " + Quoted(root_) + " 2>&1"));
    ASSERT_NE(ReadAll(theirs).find("\"hlnkc\":true"), std::string::npos) << "the tree has no hard link";
    const auto scanned = Summary({root_});
    const auto imported = Summary({theirs});
    for (const char* key : {"path", "size", "files", "directories", "errors"})
        EXPECT_EQ(imported.at(key), scanned.at(key)) << key;
    const std::string again = scratch_ / "again.json";
    ASSERT_EQ(RunQuorvex({"--export", "ncdu", "-o", again, theirs}, scratch_).exitCode, 0);
    for (const auto& [option, file] : {std::pair{"--hard-links=once", theirs}, {"--allocated", again}}) {
        const std::string size = Summary({option, root_}).at("size");
        EXPECT_NE(size, "0");
        EXPECT_EQ(Summary({option, file}).at("size"), size) << option;
    }
    // The window's other way in, --export of the file, writes the same tree.
    const Result csv = RunQuorvex({"--export", "csv", "-o", "-", theirs}, scratch_);
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
              root_ + "," + scanned.at("size") + "," + scanned.at("files"));
}

} // namespace
