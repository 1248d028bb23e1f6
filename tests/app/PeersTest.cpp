// The figures against the named peers on the same tree: du for sizes and hard links, ncdu and gdu for
// the scan files that travel between tools, all through the real headless command.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace quorvex::testing;

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The number a shell pipeline prints first; -1 when it fails.
long long ShellNumber(const std::string& command) {
    const auto out = Shell(command);
    return out && !out->empty() ? std::stoll(*out) : -1;
}

long long SummarySize(const std::vector<std::string>& args, const TempTree& scratch) {
    const Result r = RunQuorvex(args, scratch);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto block = ParseBlocks(r.out).front();
    return block.count("size") != 0 ? std::stoll(block.at("size")) : -1;
}

// du counts a directory's own blocks, which the program leaves out: a root's sum of them.
long long DirectoriesOwn(const std::string& root, const char* field) {
    return ShellNumber("find " + Quoted(root) + " -xdev -type d -printf '%" + field +
                       "\\n' | awk '{ s += $1 } END { print s + 0 }'");
}

// A sparse file keeps the logical and the allocated figures far apart, so that neither passes for
// the other. One file has 41 names spread over many directories, so that several workers meet it, and one
// has two names in one directory. Against du, at every name (-l) and once, logical and allocated,
// with one worker and eight; the export writes the size the options chose.
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
            EXPECT_EQ(SummarySize(args, scratch), expected);
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

// The size of the files in a scan file, a file of several names (known by "hlnkc") counted once.
long long SizeCountingLinksOnce(const std::string& json) {
    long long total = 0;
    std::set<std::string> seen;
    std::istringstream lines(json);
    for (std::string line; std::getline(lines, line);) {
        const auto asize = line.find("\"asize\":");
        if (asize == std::string::npos)
            continue;
        const auto ino = line.find("\"ino\":");
        if (line.find("\"hlnkc\":true") != std::string::npos && ino != std::string::npos &&
            !seen.insert(line.substr(ino, line.find_first_of(",}", ino) - ino)).second)
            continue;
        total += std::stoll(line.substr(asize + 8));
    }
    return total;
}

// Our file, counting a file of several names at each name or once (only then does the file tell the
// identities), reads back with the totals of the scan and writes the same file again; ncdu and gdu
// read it with our totals. gdu gives every directory read from such a file 4096 bytes of its own; ours
// carry none. Apparent sizes, as raw numbers: the file has no allocated sizes.
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

        const long long size = std::stoll(scanned.at("size"));
        if (ncdu) {
            const auto rewritten = Shell("ncdu -f " + Quoted(ours) + " -o -");
            ASSERT_TRUE(rewritten);
            EXPECT_EQ(SizeCountingLinksOnce(*rewritten), size);
        }
        if (gdu) {
            const auto out = Shell("gdu -f " + Quoted(ours) + " -n -p -a -s --no-prefix");
            ASSERT_TRUE(out);
            EXPECT_EQ(std::stoll(*out), size + 4096 * std::stoll(scanned.at("directories"))) << *out;
        }
    }
    if (!ncdu && !gdu)
        GTEST_SKIP() << "neither ncdu nor gdu is installed (./build.sh test installs them)";
}

// ncdu's own scan of the tree, read by us, gives the totals of our own scan: the directories' own
// sizes in the file are not counted and a hard link counts at every name or once, as in a scan. The
// symbolic link has no allocated size in that file, which means none, also once written again by us.
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
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--hard-links", "once"}, std::vector<std::string>{"--allocated"}}) {
        auto args = options;
        args.insert(args.begin(), "--summary");
        args.push_back(root_);
        const Result ofScan = RunQuorvex(args, scratch_);
        args.back() = options[0] == "--allocated" ? again : theirs;
        const Result ofFile = RunQuorvex(args, scratch_);
        ASSERT_EQ(ofFile.exitCode, 0) << ofFile.err;
        const std::string size = ParseBlocks(ofScan.out).at(0).at("size");
        EXPECT_NE(size, "0");
        EXPECT_EQ(ParseBlocks(ofFile.out).at(0).at("size"), size) << options[0];
    }
    // The window's other way in, --export of the file, writes the same tree.
    const Result csv = RunQuorvex({"--export", "csv", "-o", "-", theirs}, scratch_);
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
              root_ + "," + scanned.at("size") + "," + scanned.at("files"));
}

} // namespace
