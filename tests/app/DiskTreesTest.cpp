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

std::string Figures(const std::string& summary) {
    const auto block = ParseBlocks(summary).at(0);
    return "size " + block.at("size") + ", files " + block.at("files") + ", directories " +
           block.at("directories") + ", errors " + block.at("errors");
}

// The first summary block of `args`, which must succeed.
std::map<std::string, std::string> Summary(std::vector<std::string> args, const TempTree& scratch) {
    args.insert(args.begin(), "--summary");
    const Result r = RunQuorvex(args, scratch);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ParseBlocks(r.out).at(0);
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

// A bind mount of a folder or a file of the tree shows the same bytes twice; it is an edge like any
// other mount point, for the summary and for the scan file. The file mounted over keeps its name, at
// no size, as the folder does.
TEST_F(DiskTrees, BindMountInsideTheTreeIsNotEntered) {
    for (const char* dir : {"src", "src/sub", "mnt"})
        tree_.Dir(dir);
    tree_.File("src/sub/f", 5000);
    tree_.File("fm", 0);
    const ScopedMount bind(tree_ / "mnt", tree_ / "src");
    const ScopedMount fileBind(tree_ / "fm", tree_ / "src/sub/f");
    if (!bind.Mounted() || !fileBind.Mounted())
        GTEST_SKIP() << bind.Refusal() << fileBind.Refusal();
    EXPECT_EQ(Figures(RunQuorvex({"--summary", tree_.Path()}, scratch_).out),
              "size 5000, files 2, directories 4, errors 0");
    const Result ncdu = RunQuorvex({"--export", "ncdu", "--output", "-", tree_.Path()}, scratch_);
    EXPECT_EQ(ncdu.exitCode, 0) << ncdu.err;
    EXPECT_NE(ncdu.out.find(R"({"name":"mnt","excluded":"otherfs"})"), std::string::npos) << ncdu.out;
    EXPECT_NE(ncdu.out.find(R"({"name":"fm","asize":0,"dsize":0,)"), std::string::npos) << ncdu.out;
    EXPECT_EQ(ncdu.out.find(R"("name":"f")"), ncdu.out.rfind(R"("name":"f")")) << ncdu.out;
}

// Ten thousand levels with a folder before and after the next level: with 32 descriptors, most of them
// taken, sixteen workers still read every directory, and the scan file holds them all, in time.
TEST_F(DiskTrees, FewOpenFilesLoseNoDirectoryAtAnyDepth) {
    // As `ulimit -n 32` leaves a script (no limit can be raised), with all but a few of them held open.
    const std::vector<std::string> busy{
        "/usr/bin/prlimit",
        "--nofile=32:32",
        "/bin/bash",
        "-c",
        "for i in $(seq 3 26); do eval \"exec $i</dev/null\"; done; exec \"$@\"",
        "sh"};
    if (::access(busy[0].c_str(), X_OK) != 0)
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
    const std::string output = scratch_ / "limited.json";
    const Result exported =
        // A sanitizer build needs descriptors of its own and crawls without them: a generous limit.
        Quorvex({"--export", "ncdu", "--jobs", "16", "-o", output, chain.Path()}, scratch_, false, busy)
            .Wait(90s);
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(Figures(RunQuorvex({"--summary", output}, scratch_).out),
              "size 140000, files 20000, directories 30001, errors 0");
}

bool HaveTool(const std::string& name) {
    return Shell("command -v " + name).has_value();
}

// The number a shell pipeline prints first; -1 when it fails.
long long ShellNumber(const std::string& command) {
    const auto out = Shell(command);
    return out && !out->empty() ? std::stoll(*out) : -1;
}

// A sparse file keeps logical and allocated figures apart; a file of 41 names meets several workers.
// Against du at every name (-l) and once, logical and allocated, with one worker and eight; the root
// named through a symbolic link is scanned at its target.
TEST(Peers, SizesAndHardLinksMatchDuWithoutTheDirectories) {
    TempTree scratch;
    const std::string root = scratch / "tree";
    scratch.Dir("tree");
    scratch.Link("tree", "alias");
    scratch.File("tree/sparse", 64 << 20);
    WriteAll(root + "/plain", std::string(10000, 'q'));
    scratch.Link("plain", "tree/link");
    WriteAll(root + "/shared", std::string(50000, 'q'));
    for (int i = 0; i < 40; ++i) {
        const std::string dir = root + "/d" + std::to_string(i);
        scratch.Dir("tree/d" + std::to_string(i));
        WriteAll(dir + "/own", std::string(3000 + static_cast<std::size_t>(i), 'q'));
        ASSERT_EQ(::link((root + "/shared").c_str(), (dir + "/shared").c_str()), 0);
    }
    // du counts a directory's own blocks, which the program leaves out.
    const auto directoriesOwn = [&](const char* field) {
        return ShellNumber("find " + Quoted(root) + " -xdev -type d -printf '%" + field +
                           "\\n' | awk '{ s += $1 } END { print s + 0 }'");
    };
    const long long dirBlocks = directoriesOwn("b") * 512, dirSizes = directoriesOwn("s");
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
            std::vector<std::string> args{"--jobs", jobs, scratch / "alias"};
            args.insert(args.begin(), c.options.begin(), c.options.end());
            EXPECT_EQ(std::stoll(Summary(args, scratch).at("size")), expected);
            // The export takes the same options; its first row is the root.
            args.insert(args.begin(), {"--export", "csv", "-o", "-"});
            EXPECT_EQ(
                RunQuorvex(args, scratch).out.rfind(scratch / "alias," + std::to_string(expected) + ",", 0),
                0u);
        }
    }
}

// A tree with what the format has to carry: names that are not UTF-8 or hold quotes, a backslash and
// a newline, a hard link (counted at every name), a symbolic link, small files for a group, an empty
// directory and a deep path.
class NcduPeers : public ::testing::Test {
protected:
    NcduPeers() : root_(tree_ / "scan") {
        for (const char* dir : {"scan", "scan/sub", "scan/sub/deeper", "scan/empty", "scan/n\xe9w \"q\"\\\n"})
            tree_.Dir(dir);
        tree_.File("scan/big", 3LL * 1024 * 1024);
        tree_.File("scan/sub/small1", 10);
        tree_.File("scan/sub/small2", 20);
        tree_.File("scan/sub/deeper/b\xff.bin", 70000);
        tree_.File("scan/n\xe9w \"q\"\\\n/inner", 5);
        Check(::link((root_ + "/big").c_str(), (root_ + "/sub/hard").c_str()) == 0, "link");
        tree_.Link("big", "scan/link");
    }

    TempTree tree_;
    TempTree scratch_;
    std::string root_;
};

// ncdu and gdu read our file, counting every name or once, with our totals (gdu adds 4096 per directory).
TEST_F(NcduPeers, ThePeersReadOurFileWithOurTotals) {
    Check(::link((root_ + "/big").c_str(), (root_ + "/empty/third").c_str()) == 0, "link");
    const bool ncdu = HaveTool("ncdu"), gdu = HaveTool("gdu");
    for (const std::string mode : {"each", "once"}) {
        SCOPED_TRACE(mode);
        const auto scanned = Summary({"--hard-links", mode, root_}, scratch_);
        const std::string ours = scratch_ / (mode + ".json"), again = scratch_ / "again.json";
        ASSERT_EQ(
            RunQuorvex({"--export", "ncdu", "--hard-links", mode, "-o", ours, root_}, scratch_).exitCode, 0);
        if (ncdu) {
            ASSERT_TRUE(Shell("ncdu -f " + Quoted(ours) + " -o " + Quoted(again)));
            EXPECT_EQ(Summary({"--hard-links", mode, again}, scratch_).at("size"), scanned.at("size"));
        }
        if (gdu) {
            const auto out = Shell("gdu -f " + Quoted(ours) + " -n -p -a -s --no-prefix");
            ASSERT_TRUE(out);
            EXPECT_EQ(std::stoll(*out),
                      std::stoll(scanned.at("size")) + 4096 * std::stoll(scanned.at("directories")))
                << *out;
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
    const std::string theirs = scratch_ / "theirs.json", again = scratch_ / "again.json";
    ASSERT_TRUE(Shell("ncdu -x -0 -o " + Quoted(theirs) + " " + Quoted(root_) + " 2>&1"));
    ASSERT_NE(ReadAll(theirs).find("\"hlnkc\":true"), std::string::npos) << "the tree has no hard link";
    const auto scanned = Summary({root_}, scratch_);
    const auto imported = Summary({theirs}, scratch_);
    for (const char* key : {"path", "size", "files", "directories", "errors"})
        EXPECT_EQ(imported.at(key), scanned.at(key)) << key;
    ASSERT_EQ(RunQuorvex({"--export", "ncdu", "-o", again, theirs}, scratch_).exitCode, 0);
    for (const auto& [option, file] : {std::pair{"--hard-links=once", theirs}, {"--allocated", again}}) {
        const std::string size = Summary({option, root_}, scratch_).at("size");
        EXPECT_NE(size, "0");
        EXPECT_EQ(Summary({option, file}, scratch_).at("size"), size) << option;
    }
}

// Excluded entries are neither entered nor counted, with ncdu's totals for the same patterns: a name,
// an extension, a path, a directory, the root's own name (never excluded), and the same from a file.
TEST_F(NcduPeers, ExclusionsGiveNcdusTotals) {
    if (!HaveTool("ncdu"))
        GTEST_SKIP() << "ncdu is not installed (./build.sh test installs it)";
    const std::vector<std::vector<std::string>> cases = {
        {"small1"}, {"*.bin"}, {"sub/deeper"}, {"empty", "sub"}, {"scan"}, {tree_ / "scan/sub/s*"}};
    for (const auto& patterns : cases) {
        SCOPED_TRACE(patterns.front());
        std::string options = "-x -0";
        std::vector<std::string> args{root_}, fromFile{"--exclude-from", scratch_ / "patterns", root_};
        for (const std::string& pattern : patterns) {
            options += " --exclude " + Quoted(pattern);
            args.insert(args.begin(), {"--exclude", pattern});
        }
        WriteAll(scratch_ / "patterns", "\n" + patterns.front() + "\n\n" + patterns.back() + "\n");
        const std::string theirs = scratch_ / "theirs.json";
        ASSERT_TRUE(Shell("ncdu " + options + " -o " + Quoted(theirs) + " " + Quoted(root_) + " 2>&1"));
        const auto expected = Summary({theirs}, scratch_);
        const auto scanned = Summary(args, scratch_);
        for (const char* key : {"size", "files", "directories"}) {
            EXPECT_EQ(scanned.at(key), expected.at(key)) << key;
            EXPECT_EQ(Summary(fromFile, scratch_).at(key), expected.at(key)) << key;
        }
    }
}

} // namespace
