// The headless commands, run as separate processes the way a user or a script would.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

long Entries(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

// The root's name is not UTF-8: printed escaped (`shown_`), exported as it is. It holds a (a file of
// 2047 bytes and deep, with a 2 MiB file above the grouping threshold) and b (empty).
class Headless : public ::testing::Test {
protected:
    Headless() : root_(tree_ / "dat\xe9"), shown_(tree_ / "dat\\xE9") {
        for (const char* dir : {"dat\xe9", "dat\xe9/a", "dat\xe9/a/deep", "dat\xe9/b"})
            tree_.Dir(dir);
        tree_.File("dat\xe9/a/small", 2047);
        tree_.File("dat\xe9/a/deep/big", 2LL * 1024 * 1024);
    }

    Result Run(const std::vector<std::string>& args, const std::vector<std::string>& launcher) {
        return Quorvex(args, scratch_, false, launcher).Wait();
    }
    // Runs the program with its stdout redirected by the shell, e.g. ">>file".
    Result Redirected(const std::vector<std::string>& args, const std::string& redirect) {
        return Run(args, {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + redirect});
    }

    TempTree tree_;
    TempTree scratch_;
    std::string root_;
    std::string shown_;
};

// One block per path in argument order; stderr stays empty. Qt's start-up puts the C library into the user's
// locale: Pashto's two-byte decimal separator must reach neither the figures nor the cut size.
TEST_F(Headless, SummaryGivesOneBlockPerPathInOrder) {
    const std::string expected =
        "path: " + shown_ +
        "\nsize: 2099199\nsize_formatted: 2.00 MB\nfiles: 2\ndirectories: 4\nerrors: 0\nT\n\npath: " +
        shown_ + "/b\nsize: 0\nsize_formatted: 0 Byte\nfiles: 0\ndirectories: 1\nerrors: 0\nT\n";
    for (const auto& launcher :
         {std::vector<std::string>{}, {"/usr/bin/env", "LANG=ps_AF.UTF-8", "LC_ALL=ps_AF.UTF-8"}}) {
        const Result r = Run({"--summary", root_, root_ + "/b/"}, launcher);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(std::regex_replace(r.out, std::regex("elapsed_seconds: [0-9]+\\.[0-9]{3}\n"), "T\n"),
                  expected);
    }
}

// SIGTERM (a service stopped) and SIGHUP (the terminal closed) end a summary as Ctrl+C does.
TEST_F(Headless, CtrlCTermOrHangUpPrintsTheSummarySoFarMarkedIncomplete) {
    // Enough for nine threads to be busy for a while on two cores.
    tree_.Dir("busy");
    for (int d = 0; d < 100; ++d) {
        const std::string dir = "busy/d" + std::to_string(d);
        tree_.Dir(dir);
        for (int f = 0; f < 200; ++f)
            tree_.File(dir + "/f" + std::to_string(f), 1);
    }
    std::vector<std::string> args{"--summary"};
    args.insert(args.end(), 9, tree_ / "busy");
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
        SCOPED_TRACE(signal);
        Quorvex child(args, scratch_);
        ASSERT_TRUE(AwaitThreads(child.Pid(), 10)) << "the nine scan threads never started";
        ::kill(child.Pid(), signal);
        const auto interrupted = std::chrono::steady_clock::now();
        const Result r = child.Wait();
        EXPECT_EQ(r.exitCode, status) << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1s);
        EXPECT_NE(r.err.find("interrupted"), std::string::npos);
        const auto blocks = ParseBlocks(r.out);
        ASSERT_EQ(blocks.size(), 9u) << r.out;
        int incomplete = 0;
        for (const auto& block : blocks) {
            const bool cut = block.count("incomplete") != 0 && block.at("incomplete") == "yes";
            incomplete += cut ? 1 : 0;
            // A block may say cut short when complete, never complete when short of files.
            EXPECT_TRUE(cut || block.at("files") == "20000") << block.at("files");
        }
        EXPECT_GT(incomplete, 0);
    }
}

// Every name the command prints is escaped, so that no folder or scan file can forge a line of the
// summary or send the terminal a command; the exported file keeps the exact bytes.
TEST_F(Headless, PrintedNamesAreEscapedExportedNamesExact) {
    const std::string forged = "nl\nsize: 999";
    const std::string title = "t\x1b]0;owned\x07\\";
    tree_.Dir(forged);
    tree_.Dir(title);
    Result r = RunQuorvex({"--summary", tree_ / forged, tree_ / title}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto blocks = ParseBlocks(r.out);
    ASSERT_EQ(blocks.size(), 2u) << r.out;
    EXPECT_EQ(blocks[0].at("path"), tree_ / "nl\\nsize: 999");
    EXPECT_EQ(blocks[0].at("size"), "0");
    EXPECT_EQ(blocks[1].at("path"), tree_ / "t\\x1B]0;owned\\x07\\\\");
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);

    const std::string scanFile = scratch_ / "fake.json";
    WriteAll(scanFile, "[1,0,{\"progname\":\"x\",\"progver\":\"1\",\"timestamp\":0},"
                       "[{\"name\":\"r\\n\\npath: /fake\\nsize: 1\\nincomplete: yes\"}]]");
    blocks = ParseBlocks(RunQuorvex({"--summary", scanFile}, scratch_).out);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].at("path"), "r\\n\\npath: /fake\\nsize: 1\\nincomplete: yes");
    EXPECT_EQ(blocks[0].count("incomplete"), 0u);

    EXPECT_EQ(RunQuorvex({"--export", "csv", "-o", "-", tree_ / title}, scratch_).out,
              tree_ / title + ",0,0\r\n");
}

// Output that did not reach its file is an error with its reason, whatever the command.
TEST_F(Headless, WriteErrorsOfEveryCommandAreReported) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--summary", root_}, {"--help"}, {"--version"}}) {
        for (const auto& [redirect, reason] :
             {std::pair<std::string, std::string>{">/dev/full", "No space left on device"},
              {">&-", "Bad file descriptor"}}) {
            const Result r = Redirected(args, redirect);
            EXPECT_EQ(r.exitCode, 1) << args[0] << redirect;
            EXPECT_NE(r.err.find("standard output: " + reason), std::string::npos)
                << args[0] << redirect << r.err;
        }
    }
}

TEST_F(Headless, BadRequestsFailClearlyAndScanOrWriteNothing) {
    const std::string output = scratch_ / "never";
    const std::string unreadable = scratch_ / "bad\x1b[2J\xff.json";
    WriteAll(unreadable, "{");
    const std::vector<std::string> csv{"--export", "csv", "--output", output};
    const auto exportCsv = [&](std::vector<std::string> args) {
        args.insert(args.begin(), csv.begin(), csv.end());
        return args;
    };
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"--summary", root_, root_ + "/a/small", root_ + "/missing"}, 2, shown_ + "/missing: No such file"},
        {{"--summary", root_ + "/a/small"}, 1, shown_ + "/a/small: not a readable scan file"},
        {{"--summary", unreadable}, 1, scratch_ / "bad\\x1B[2J\\xFF.json: not a readable scan file"},
        {{"--summary", "/dev/null"}, 2, "/dev/null: Not a directory"},
        {{"--summary"}, 2, "at least one PATH"},
        {{"--summary=yes", root_}, 2, "--summary takes no value"},
        {{"--h", root_}, 2, "ambiguous option --h"},
        {{"--summary", "-o", output, root_}, 2, "--output goes with --export"},
        {{"--summary", "--export", "csv", "-o", output, root_}, 2, "cannot be combined"},
        {{"--jobs", "2", "--", root_}, 2, "say what to do"},
        {{"--export", "pdf", "--output", output, root_}, 2, "unknown export format \"pdf\""},
        {{"--export"}, 2, "--export needs a value"},
        {{"--export="}, 2, "--export needs a FORMAT"},
        {{"--export", "csv", root_}, 2, "needs --output"},
        {csv, 2, "needs the PATH"},
        {exportCsv({"--rounding", "3", root_}), 2, "--rounding must be 0, 1 or 2"},
        {exportCsv({"--colour", root_}), 2, "unknown option --colour"},
        {{"--summary", "--", "--bogus"}, 2, "--bogus: No such file or directory"},
        {exportCsv({"--jobs", "17", root_}), 2, "--jobs takes a number"},
        {{"--summary", "--jobs", "two", root_},
         2,
         "--jobs takes a number from 0 (automatic) to 16, not \"two\""},
        {{"--summary", root_, "--jobs"}, 2, "--jobs needs a value"},
        {{"--version", "--bogus"}, 2, "unknown option --bogus"},
        {{"--summary", "-hx", root_}, 2, "unknown option -x"},
        {{"--summary", "--hard-links", "some", root_}, 2, "--hard-links must be once or each"},
        {{"--largest", "0", root_}, 2, "--largest takes a number of files from 1 up, not \"0\""},
        {{"--largest=2x", root_}, 2, "--largest takes a number of files from 1 up, not \"2x\""},
        {{"--by-type", root_, "--by-age"}, 2, "--by-type and --by-age cannot be combined"},
        {{"--largest", "3", "-o", output, root_}, 2, "--output goes with --export, not with --largest"},
        {exportCsv({"--json", root_}), 2,
         "--json goes with --summary, --largest, --by-type, --by-age or --compare"},
        {{"--by-age", "--json"}, 2, "--by-age takes at least one PATH"},
        {{"--summary", "--exclude-from", scratch_ / "none", root_}, 2, "--exclude-from cannot read"},
        {exportCsv({"--exclude-from", scratch_.Path(), root_}), 2, "Is a directory"},
        {{"--summary", root_, "--exclude"}, 2, "--exclude needs a value"},
        {exportCsv({root_ + "/a/small"}), 1, "not a readable scan file"},
        {{"--export", "csv", "--output", scratch_ / "no/such/folder/out.csv", root_}, 1, "No such file"},
        {{"--export", "csv", "--output", scratch_.Path(), root_}, 1, "Is a directory"},
        {{"--export", "html", "--output", "/dev/full", root_}, 1, "Stream write error"},
        {{"--treemap", output + ".gif", root_}, 2, "--treemap writes FILE.svg or FILE.png, not"},
        {{"--treemap", output + ".svg", "--size", "640x0", root_}, 2, "--size takes WIDTHxHEIGHT in pixels"},
        {{"--summary", "--size", "64x48", root_}, 2, "--size goes with --treemap, not with --summary"},
        {{"--treemap", output + ".png", root_, root_}, 2, "--treemap takes one PATH"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Result r = RunQuorvex(c.args, scratch_);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(::access(output.c_str(), F_OK), 0);
    }
    struct stat st {};
    EXPECT_TRUE(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) << "the device was replaced by a file";
}

// The SVG's tiles (a folder is a frame, <path>) against the files made: areas in proportion, inside the
// canvas, titled by the escaped path.
TEST_F(Headless, TreemapSvgTilesAreProportionalAndTitledByEscapedPath) {
    tree_.File("dat\xe9/b/<q&\">", 3LL * 1024 * 1024);
    const std::string svg = scratch_ / "map.svg";
    ASSERT_EQ(RunQuorvex({"--treemap", svg, "--size=400x300", root_}, scratch_).exitCode, 0);
    const std::string text = ReadAll(svg);
    const std::regex rect(
        R"re(<rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)" fill="#[0-9a-f]{6}"><title>([^<]*) \()re");
    std::map<std::string, double> areas;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), rect); it != std::sregex_iterator(); ++it) {
        const double x = std::stod((*it)[1]), y = std::stod((*it)[2]), w = std::stod((*it)[3]),
                     h = std::stod((*it)[4]);
        EXPECT_TRUE(x >= 0 && y >= 0 && x + w <= 400.01 && y + h <= 300.01) << (*it)[5];
        areas[(*it)[5]] = w * h;
    }
    EXPECT_EQ(areas.size(), 3U) << text; // big, <q&">, and the group holding small
    EXPECT_NEAR(areas[shown_ + "/b/&lt;q&amp;&quot;&gt;"] / areas[shown_ + "/a/deep/big"], 1.5, 0.03 * 1.5)
        << text;
}

// The reports against the tree's own figures: an upper-case extension, a compound one, a name that
// is not UTF-8, years set by touch, and a hard link counted at each name or once.
TEST_F(Headless, LargestByTypeByAgeAndJsonAddUpAsTheTreeWasMade) {
    tree_.File("dat\xe9/b/n\xff.H", 3000);
    tree_.File("dat\xe9/a/t.tar.gz", 5000);
    ASSERT_EQ(::link((root_ + "/a/deep/big").c_str(), (root_ + "/b/link").c_str()), 0);
    for (const auto& [file, date] : {std::pair{"a/small", "2001-07-01"},
                                     {"a/deep/big", "2012-07-01"},
                                     {"b/n\xff.H", "2012-07-01"},
                                     {"a/t.tar.gz", "2023-07-01"}})
        ASSERT_TRUE(Shell("touch -d " + std::string(date) + " " + Quoted(root_ + "/" + file)));
    constexpr std::int64_t big = 2LL * 1024 * 1024;
    const auto run = [&](std::vector<std::string> args) {
        args.push_back(root_);
        const Result r = RunQuorvex(args, scratch_);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const auto row = [](const std::string& key, std::int64_t files, std::int64_t size) {
        return key + "\t" + std::to_string(files) + "\t" + std::to_string(size) + "\n";
    };
    EXPECT_EQ(run({"--by-type"}),
              row("(none)", 3, 2047 + 2 * big) + row(".tar.gz", 1, 5000) + row(".h", 1, 3000));
    EXPECT_EQ(run({"--by-type", "--hard-links", "once"}),
              row("(none)", 2, 2047 + big) + row(".tar.gz", 1, 5000) + row(".h", 1, 3000));
    EXPECT_EQ(run({"--by-age"}),
              row("2001", 1, 2047) + row("2012", 3, 2 * big + 3000) + row("2023", 1, 5000));
    // Equal sizes in the byte order of the paths.
    const std::string bigRow = std::to_string(big) + "\t" + shown_;
    EXPECT_EQ(run({"--largest", "2"}), bigRow + "/a/deep/big\n" + bigRow + "/b/link\n");
    const std::string once = run({"--largest", "3", "--hard-links", "once"});
    EXPECT_TRUE(once.starts_with(bigRow + "/a/deep/big\n") || once.starts_with(bigRow + "/b/link\n")) << once;
    EXPECT_TRUE(once.ends_with("\n5000\t" + shown_ + "/a/t.tar.gz\n3000\t" + shown_ + "/b/n\\xFF.H\n"))
        << once;

    // JSON holds the names escaped as the text shows them: valid UTF-8, and the bytes can be recovered.
    const auto json = [](const std::string& text) {
        return std::regex_replace(text, std::regex(R"(\\)"), R"(\\)");
    };
    EXPECT_EQ(run({"--largest", "1", "--json"}),
              "[{\"path\":\"" + json(shown_) + "\",\"incomplete\":false,\"largest\":[{\"size\":" +
                  std::to_string(big) + ",\"path\":\"" + json(shown_) + "/a/deep/big\"}]}]\n");
    const auto text = ParseBlocks(run({"--summary"}));
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].at("files"), "5");
    EXPECT_NE(run({"--summary", "--json"})
                  .find("\"size\":" + text[0].at("size") + ",\"size_formatted\":\"" +
                        text[0].at("size_formatted") +
                        "\",\"files\":5,\"directories\":" + text[0].at("directories") + ",\"errors\":0,"),
              std::string::npos);
}

// A full disk: an export small enough for the write buffer fails at its one, final write; a larger
// one fails halfway. Both say which file and why, exit 1, and leave the disk as it was.
TEST_F(Headless, ExportOnAFullDiskFailsAndKeepsThePreviousFile) {
    const TinyTmpfs disk;
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Refusal();
    tree_.Dir("wide");
    for (int i = 0; i < 1000; ++i)
        tree_.Dir("wide/a-directory-name-long-enough-to-fill-a-disk-" + std::to_string(i));
    const std::string csv = disk / "wide.csv";
    Result r = RunQuorvex({"--export", "csv", "--output", csv, tree_ / "wide"}, scratch_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(csv + ": No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(Entries(disk.Path()), 0) << "no part left behind";

    const std::string html = disk / "o.html";
    WriteAll(html, "old\n");
    disk.Fill();
    r = RunQuorvex({"--export", "html", "--output", html, root_}, scratch_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Stream write error: " + html + ": No space left on device"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadAll(html), "old\n");
    EXPECT_EQ(Entries(disk.Path()), 2);
}

// Names of this process's own descriptors are written through the descriptor, exactly like "-":
// a redirection that appends keeps appending, and the file behind it is never replaced.
TEST_F(Headless, ExportToADescriptorNameWritesThroughTheDescriptor) {
    const std::string expected = RunQuorvex({"--export", "csv", "--output", "-", root_}, scratch_).out;
    ASSERT_NE(expected, "");
    tree_.Link("/dev/stdout", "to-stdout");
    const std::string log = scratch_ / "log";
    const std::pair<std::string, std::string> outputs[] = {
        {"-", ">>"},         {"/dev/stdout", ">>"},  {"/proc/self/fd/1", ">>"},
        {"/dev/fd/1", ">>"}, {"/dev/stderr", "2>>"}, {tree_ / "to-stdout", ">>"}};
    for (const auto& [output, redirect] : outputs) {
        WriteAll(log, "keep\n");
        EXPECT_EQ(Redirected({"--export", "csv", "-o", output, root_}, redirect + Quoted(log)).exitCode, 0)
            << output;
        EXPECT_EQ(ReadAll(log), "keep\n" + expected) << output;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(tree_ / "to-stdout"));
}

// A pipe where the INI should be would block the first read for ever: it is reported as unreadable and
// the export goes on with the defaults.
TEST_F(Headless, APipeForTheIniMeansTheDefaults) {
    scratch_.Dir("config");
    scratch_.Dir("config/Quorvex");
    const std::string ini = scratch_ / "config/Quorvex/Quorvex.ini";
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    const Result r = Quorvex({"--export", "txt", "--output", "-", root_}, scratch_).Wait(10s);
    ASSERT_EQ(r.exitCode, 0) << "1009: killed, the export hung";
    EXPECT_NE(r.err.find("Unable to read " + ini + ": not a regular file"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\r')), "   " + root_ + "   (2.00 MB, 2 Files)");
}

// The superuser's export over a user's file leaves it the user's; a file nobody may write, or another
// user's file in a sticky folder, is refused before the scan (so the message names the file).
TEST_F(Headless, ExportOverAnotherUsersFileKeepsItsOwnerOrIsRefusedBeforeTheScan) {
    if (::geteuid() != 0 || ::access(kNobody[0].c_str(), X_OK) != 0)
        GTEST_SKIP() << "needs the superuser and setpriv";
    const std::string theirs = scratch_ / "theirs.csv";
    const std::string locked = scratch_ / "locked.csv";
    for (const auto& [path, mode] : {std::pair{theirs, 0640}, {locked, 0444}}) {
        WriteAll(path, "previous\n");
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    }
    Result r = RunQuorvex({"--export", "csv", "--output", theirs, root_}, scratch_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777), std::tuple(65534u, 65534u, 0640u));
    EXPECT_EQ(ReadAll(theirs).rfind(root_ + ",", 0), 0u);

    r = RunQuorvex({"--export", "csv", "--output", locked, root_}, scratch_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(locked + ": Permission denied"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(locked), "previous\n");
    ASSERT_EQ(::stat(locked.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(st.st_uid, st.st_mode & 07777), std::tuple(65534u, 0444u));

    scratch_.Dir("sticky");
    ASSERT_EQ(::chmod((scratch_ / "sticky").c_str(), 01777), 0);
    const std::string shared = scratch_ / "sticky/theirs.csv";
    WriteAll(shared, "previous\n");
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    tree_.Dir("locked");
    ASSERT_EQ(::chmod((tree_ / "locked").c_str(), 0), 0);
    r = Run({"--export", "csv", "--output", shared, tree_ / "locked"}, kNobody);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(shared + ": Operation not permitted"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(shared), "previous\n");
}

// On a terminal, stderr carries a progress line, cleared before the summary's first block; a name that
// holds a terminal command reaches the terminal escaped.
TEST_F(Headless, ProgressLineOnlyOnATerminal) {
    for (int i = 0; i < 200; ++i)
        tree_.Dir("dat\xe9/b/d" + std::to_string(i));
    tree_.Dir("dat\xe9/a/deep/\x1b]0;owned\x07");
    const Result r = Quorvex({"--summary", root_}, scratch_, true).Wait();
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("\x1b]"), std::string::npos);
    EXPECT_LT(r.out.find(" files, "), r.out.find("\r\x1b[Kpath: ")) << r.out;
}

// A signal during the scan, or while the file is written, stops the export: neither the file nor a
// temporary is left beside it. /usr makes a scan and a file long enough to be caught at.
TEST_F(Headless, ExportInterruptedWhileScanningOrWritingLeavesNothing) {
    const std::string folder = scratch_ / "out";
    scratch_.Dir("out");
    bool missed = false;
    for (const bool whileWriting : {false, true}) {
        SCOPED_TRACE(whileWriting ? "while writing" : "while scanning");
        const int signal = whileWriting ? SIGTERM : SIGINT;
        Quorvex child({"--export", "ncdu", "--output", folder + "/usr.json", "/usr"}, scratch_);
        // A slow start (a sanitizer build) must not let the signal arrive before the handler is in place.
        ASSERT_TRUE(AwaitCatching(child.Pid(), signal));
        // Writing has begun when the process holds a file in the folder.
        const std::string proc = "/proc/" + std::to_string(child.Pid());
        auto writing = [&] {
            std::error_code error;
            for (std::filesystem::directory_iterator fd(proc + "/fd", error), end; !error && fd != end;
                 fd.increment(error)) {
                if (std::filesystem::read_symlink(fd->path(), error).string().rfind(folder + "/", 0) == 0)
                    return true;
            }
            return false;
        };
        auto ended = [&] {
            const std::string stat = ReadAll(proc + "/stat");
            const auto paren = stat.rfind(')');
            return paren == std::string::npos || stat.substr(paren + 2, 1) == "Z";
        };
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        bool caught = !whileWriting;
        while (!caught && !ended() && std::chrono::steady_clock::now() < deadline) {
            if (!(caught = writing()))
                std::this_thread::sleep_for(200us);
        }
        if (caught)
            ::kill(child.Pid(), signal);
        const Result r = child.Wait();
        if (!caught || r.exitCode == 0) {
            missed = true;
            continue;
        }
        EXPECT_EQ(r.exitCode, 128 + signal) << r.err;
        EXPECT_NE(r.err.find("interrupted; nothing was written"), std::string::npos) << r.err;
        EXPECT_EQ(Entries(folder), 0);
    }
    if (missed)
        GTEST_SKIP() << "the export of /usr was written before the signal could land";
}

// A scan kept with --keep, compared with the tree changed since: a folder renamed, one moved to
// another parent and one replaced by a new folder of the same name are told apart by identity.
TEST_F(Headless, CompareAKeptScanWithTheChangedTree) {
    for (const char* dir : {"r", "m", "m/x", "s", "g"})
        tree_.Dir(std::string("dat\xe9/") + dir);
    tree_.File("dat\xe9/g/gone", 10);
    ASSERT_EQ(Run({"--summary", "--keep", root_}, {}).exitCode, 0);
    const std::string history = scratch_ / "data/quorvex/history";
    ASSERT_EQ(Entries(history), 1);
    const std::string kept = std::filesystem::directory_iterator(history)->path();
    ASSERT_TRUE(Shell("cd " + Quoted(root_) + " && mv r r2 && mv m/x b/x && rm -r s g && mkdir s n"));
    tree_.File("dat\xe9/a/added", 1000);
    const Result r = Run({"--compare", kept, root_}, {});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& line :
         {"+1000\t+1\tgrew\t" + shown_ + "/a\n", "+1000\t+1\tnew\t" + shown_ + "/a/added\n",
          "-10\t-1\tgone\t" + shown_ + "/g\n", "0\t0\tmoved\t" + shown_ + "/r\t" + shown_ + "/r2\n",
          "0\t0\tmoved\t" + shown_ + "/m/x\t" + shown_ + "/b/x\n", "0\t0\tgone\t" + shown_ + "/s\n",
          "0\t0\tnew\t" + shown_ + "/s\n", "0\t0\tnew\t" + shown_ + "/n\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    EXPECT_TRUE(r.out.starts_with("+1000\t+1\tgrew\t" + shown_ + "/a\n") ||
                r.out.starts_with("+1000\t+1\tnew\t" + shown_ + "/a/added\n"))
        << r.out;
    EXPECT_EQ(Run({"--compare", "--depth", "0", "--json", kept, root_}, {}).out,
              "[{\"delta_size\":990,\"delta_files\":0,\"state\":\"grew\",\"path\":\"" +
                  std::regex_replace(shown_, std::regex(R"(\\)"), R"(\\)") + "\"}]\n");

    // A history file cut short or damaged is refused with the reason, not read as a smaller tree.
    const std::string bytes = ReadAll(kept);
    for (const auto& [damaged, why] :
         {std::pair{bytes.substr(0, bytes.size() / 2), "the compressed data ends early"},
          {bytes.substr(0, 20) + std::string(200, 'x'), "the compressed data is damaged"}}) {
        WriteAll(scratch_ / "bad.json.gz", damaged);
        const Result bad = Run({"--compare", scratch_ / "bad.json.gz", root_}, {});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_NE(bad.err.find(std::string("not a readable scan file: ") + why), std::string::npos)
            << bad.err;
        EXPECT_EQ(bad.out, "");
    }
}

// Two processes keeping scans of one root at the same time, each pruning as it goes: what is left is
// the newest three of every file either put in place (by the time in its name), each one whole.
TEST_F(Headless, TwoProcessesKeepingScansAtOnceLeaveTheNewestWhole) {
    std::filesystem::create_directories(scratch_ / "config/Quorvex");
    WriteAll(scratch_ / "config/Quorvex/Quorvex.ini", "[Settings]\nHistoryScansPerRoot=3\n");
    const std::string history = scratch_ / "data/quorvex/history";
    std::filesystem::create_directories(history);
    const int watch = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(watch, history.c_str(), IN_MOVED_TO), 0);
    std::vector<std::string> args{"--summary", "--keep"};
    args.insert(args.end(), 9, root_);
    for (int round = 0; round < 3; ++round) {
        Quorvex first(args, scratch_), second(args, scratch_);
        ASSERT_EQ(first.Wait().exitCode, 0);
        ASSERT_EQ(second.Wait().exitCode, 0);
    }
    // One root's names differ first in the time, so by name, newest first, is by time.
    std::vector<std::string> placed, left;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            placed.push_back(history + "/" + event->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    ASSERT_EQ(placed.size(), 54u);
    std::sort(placed.rbegin(), placed.rend());
    for (const auto& entry : std::filesystem::directory_iterator(history))
        left.push_back(entry.path());
    std::sort(left.rbegin(), left.rend());
    EXPECT_EQ(left, std::vector<std::string>(placed.begin(), placed.begin() + 3));
    const Result r = Run({"--summary", left.at(0), left.at(1), left.at(2)}, {});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const auto& block : ParseBlocks(r.out))
        EXPECT_EQ(block.at("size") + " " + block.at("files"), "2099199 2") << r.out;
}

} // namespace
