// Scan files that travel between tools: our ncdu export read by ncdu and gdu, their files read by us,
// all through the real headless command.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using quorvex::testing::ParseBlocks;
using quorvex::testing::ReadAll;
using quorvex::testing::Result;
using quorvex::testing::RunQuorvex;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line; its standard output, or nullopt when it failed.
std::optional<std::string> Shell(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    if (::pclose(pipe.release()) != 0)
        return std::nullopt;
    return out;
}

std::string Quoted(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
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
        tree_.File("scan/big", 3 * 1024 * 1024);
        tree_.File("scan/sub/small1", 10);
        tree_.File("scan/sub/small2", 20);
        tree_.File("scan/sub/deeper/b\xff.bin", 70000);
        tree_.File("scan/n\xe9w \"q\"\\\n/inner", 5);
        quorvex::testing::Check(::link((root_ + "/big").c_str(), (root_ + "/sub/hard").c_str()) == 0, "link");
        tree_.Link("big", "scan/link");
    }

    std::map<std::string, std::string> Summary(const std::string& path) {
        const Result r = RunQuorvex({"--summary", path}, scratch_);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return ParseBlocks(r.out).at(0);
    }

    TempTree tree_;
    TempTree scratch_;
    std::string root_;
};

TEST_F(NcduPeers, OurExportReadsBackWithTheTotalsOfTheScan) {
    const auto scanned = Summary(root_);
    const std::string ours = scratch_ / "ours.json";
    const Result r = RunQuorvex({"--export", "ncdu", "--output", ours, root_}, scratch_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto imported = Summary(ours);
    EXPECT_EQ(imported.at("size"), scanned.at("size"));
    EXPECT_EQ(imported.at("files"), scanned.at("files"));
    EXPECT_EQ(imported.at("directories"), scanned.at("directories"));
    EXPECT_EQ(imported.at("path"), root_);
    EXPECT_EQ(imported.count("imported"), 1u);
    EXPECT_EQ(scanned.count("imported"), 0u);
    // Written again from the imported tree, the file says the same, byte for byte after its header.
    const std::string again = scratch_ / "again.json";
    ASSERT_EQ(RunQuorvex({"--export", "6", "-o", again, ours}, scratch_).exitCode, 0);
    const std::string first = ReadAll(ours), second = ReadAll(again);
    EXPECT_EQ(second.substr(second.find("\n")), first.substr(first.find("\n")));
    EXPECT_NE(first.find("\"b\xff.bin\""), std::string::npos);
}

TEST_F(NcduPeers, NcduAndGduReadOurFileWithOurTotals) {
    const bool ncdu = HaveTool("ncdu"), gdu = HaveTool("gdu");
    if (!ncdu && !gdu)
        GTEST_SKIP() << "neither ncdu nor gdu is installed (./build.sh test installs them)";
    const auto scanned = Summary(root_);
    const std::string ours = scratch_ / "ours.json";
    ASSERT_EQ(RunQuorvex({"--export", "ncdu", "--output", ours, root_}, scratch_).exitCode, 0);
    if (ncdu) {
        // ncdu reads the file into its own tree and writes that tree out again: every entry came through.
        const std::string rewritten = scratch_ / "rewritten.json";
        ASSERT_TRUE(Shell("ncdu -f " + Quoted(ours) + " -o " + Quoted(rewritten)));
        const auto reread = Summary(rewritten);
        EXPECT_EQ(reread.at("size"), scanned.at("size"));
        EXPECT_EQ(reread.at("files"), scanned.at("files"));
        EXPECT_EQ(reread.at("directories"), scanned.at("directories"));
    }
    if (gdu) {
        // gdu gives every directory read from such a file 4096 bytes of its own; our directories carry
        // none. Apparent sizes, as raw numbers: the file has no allocated sizes.
        const auto out = Shell("gdu -f " + Quoted(ours) + " -n -p -a -s --no-prefix");
        ASSERT_TRUE(out);
        const long long expected =
            std::stoll(scanned.at("size")) + 4096 * std::stoll(scanned.at("directories"));
        EXPECT_EQ(std::stoll(*out), expected) << *out;
    }
}

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

// With a file of three names in two directories: counting every name, the peers count every name
// as we do; counting once, the file tells them the identities, and they count it once as we do.
TEST_F(NcduPeers, ThePeersCountAHardLinkOnceExactlyWhenWeDo) {
    const bool ncdu = HaveTool("ncdu"), gdu = HaveTool("gdu");
    if (!ncdu && !gdu)
        GTEST_SKIP() << "neither ncdu nor gdu is installed (./build.sh test installs them)";
    quorvex::testing::Check(::link((root_ + "/big").c_str(), (root_ + "/empty/third").c_str()) == 0, "link");
    for (const char* mode : {"each", "once"}) {
        SCOPED_TRACE(mode);
        const Result summary = RunQuorvex({"--summary", "--hard-links", mode, root_}, scratch_);
        ASSERT_EQ(summary.exitCode, 0) << summary.err;
        const auto scanned = ParseBlocks(summary.out).at(0);
        const long long size = std::stoll(scanned.at("size"));
        const std::string ours = scratch_ / (std::string(mode) + ".json");
        ASSERT_EQ(
            RunQuorvex({"--export", "ncdu", "--hard-links", mode, "-o", ours, root_}, scratch_).exitCode, 0);
        EXPECT_EQ(ReadAll(ours).find("\"hlnkc\"") != std::string::npos, std::string(mode) == "once");
        // Read back by us, counting as the scan did.
        const Result reread = RunQuorvex({"--summary", "--hard-links", mode, ours}, scratch_);
        ASSERT_EQ(reread.exitCode, 0) << reread.err;
        EXPECT_EQ(ParseBlocks(reread.out).at(0).at("size"), scanned.at("size"));
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
    const auto scanned = Summary(root_);
    const auto imported = Summary(theirs);
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

TEST_F(NcduPeers, AHostileFileIsRefusedWithItsNameAndOffset) {
    const std::string bad = scratch_ / "bad.json";
    WriteAll(bad, "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"../etc\",\"asize\":1}]]");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--summary", bad}, {"--export", "csv", "-o", scratch_ / "out.csv", bad}}) {
        const Result r = RunQuorvex(args, scratch_);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(
            r.err.find(bad + ": not a readable scan file: the name \"../etc\" holds a \"/\" (at byte 39)"),
            std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(quorvex::testing::Exists(scratch_ / "out.csv"));
}

} // namespace
