// `quorvex --export`, run as a separate process the way a user or a script would.

#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using quorvex::testing::TempTree;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Arguments go to exec as they are, so names that are not valid UTF-8 arrive byte for byte.
Result RunQuorvex(const std::vector<std::string>& args, const TempTree& scratch) {
    const std::string outPath = scratch / "stdout";
    const std::string errPath = scratch / "stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        // The user's own settings must not decide what the tests see.
        ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(QUORVEX_BINARY)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(QUORVEX_BINARY, argv.data());
        ::_exit(127);
    }
    Result r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    return lines;
}

// data/ holds a (one file of 2047 bytes) and b (empty), a holds deep (a 2 MiB file, above the
// grouping threshold).
struct Fixture {
    TempTree tree;
    TempTree scratch;
    std::string root;
    Fixture() : root(tree / "data") {
        tree.Dir("data");
        tree.Dir("data/a");
        tree.Dir("data/a/deep");
        tree.Dir("data/b");
        tree.File("data/a/small", 2047);
        tree.File("data/a/deep/big", 2 * 1024 * 1024);
    }
};

TEST(ExportCommand, CsvOnStandardOutputDescribesTheScannedTree) {
    Fixture f;
    const Result r = RunQuorvex({"--export", "csv", "--output", "-", f.root + "/"}, f.scratch);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::set<std::string> expected = {f.root + ",2099199,2\r", f.root + "/a,2099199,2\r",
                                            f.root + "/a/deep,2097152,1\r", f.root + "/b,0,0\r"};
    EXPECT_EQ(Lines(r.out), expected);
    EXPECT_EQ(r.out.rfind(f.root + ",2099199,2\r\n", 0), 0u); // pre-order: the root first
}

TEST(ExportCommand, FormatByNameOrNumberWritesTheSameFile) {
    Fixture f;
    const char* names[] = {"csv", "txt", "html", "xml", "xml2"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        const std::string byName = f.scratch / "by-name";
        const std::string byNumber = f.scratch / "by-number";
        ASSERT_EQ(RunQuorvex({"--export", names[i], "--output", byName, f.root}, f.scratch).exitCode, 0);
        ASSERT_EQ(
            RunQuorvex({"--export", std::to_string(i + 1), "--output", byNumber, f.root}, f.scratch).exitCode,
            0);
        EXPECT_EQ(ReadFile(byName), ReadFile(byNumber));
        EXPECT_NE(ReadFile(byName).find("deep"), std::string::npos);
    }
    const Result upper = RunQuorvex({"--export", "XML2", "--output", "-", f.root}, f.scratch);
    EXPECT_NE(upper.out.find("<dir name=\"deep\" size=\"2097152\" filecount=\"1\"></dir>"),
              std::string::npos);
}

TEST(ExportCommand, RoundingChoosesTheSizeStyleOfReadableFormats) {
    Fixture f;
    auto aLine = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"--export", "txt", "--output", "-"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(f.root + "/a");
        const Result r = RunQuorvex(args, f.scratch);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out.substr(0, r.out.find("\r\n"));
    };
    // Truncation keeps the digits it cuts to, zeros included.
    EXPECT_EQ(aLine({}), "   " + f.root + "/a   (2.00 MB, 2 Files)");
    EXPECT_EQ(aLine({"--rounding", "0"}), "   " + f.root + "/a   (2099199, 2 Files)");
    f.tree.File("data/a/deep/big", 0);
    EXPECT_EQ(aLine({"--rounding", "2"}), "   " + f.root + "/a   (1.99 KB, 2 Files)");
    EXPECT_EQ(aLine({"--rounding", "1"}), "   " + f.root + "/a   (2 KB, 2 Files)");
    // CSV always carries exact bytes.
    const Result csv = RunQuorvex({"--export", "csv", "--rounding", "1", "--output", "-", f.root}, f.scratch);
    EXPECT_NE(csv.out.find(",2047,2\r\n"), std::string::npos);
}

TEST(ExportCommand, GroupingAndSizeStyleComeFromTheSettings) {
    Fixture f;
    f.tree.File("data/b/tiny", 10);
    f.tree.File("data/b/tiny2", 10); // a group of one file is dissolved
    f.scratch.Dir("config");
    f.scratch.Dir("config/Quorvex");
    auto bElement = [&] {
        const Result r = RunQuorvex({"--export", "xml", "--output", "-", f.root}, f.scratch);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto at = r.out.find("<name>b</name>");
        return at == std::string::npos ? std::string() : r.out.substr(at, r.out.find("</dir>", at) - at);
    };
    // Grouped by default: b's small file sits in a file group, so b has a (directory-free) child list.
    EXPECT_EQ(bElement(), "<name>b</name><size>20</size><count>2</count><subdirs></subdirs>");
    std::ofstream(f.scratch / "config/Quorvex/Quorvex.ini")
        << "[Settings]\nGroupSmallFiles=0\nFileSizeRounding=0\n";
    EXPECT_EQ(bElement(), "<name>b</name><size>20</size><count>2</count>");
    const Result txt = RunQuorvex({"--export", "txt", "--output", "-", f.root}, f.scratch);
    EXPECT_EQ(txt.out.substr(0, txt.out.find("\r\n")), "   " + f.root + "   (2099219, 4 Files)");
}

TEST(ExportCommand, PathsThatAreNotUtf8PassThroughAsBytes) {
    Fixture f;
    f.tree.Dir("data/b/caf\xe9");
    const Result r = RunQuorvex({"--export", "csv", "--output", "-", f.root + "/b/caf\xe9"}, f.scratch);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, f.root + "/b/caf\xe9,0,0\r\n");
}

TEST(ExportCommand, BadRequestsFailClearlyAndWriteNothing) {
    Fixture f;
    const std::string output = f.scratch / "never";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--export", "pdf", "--output", output, f.root}, 2, "unknown export format \"pdf\""},
        {{"--export", "0", "--output", output, f.root}, 2, "unknown export format \"0\""},
        {{"--export", "6", "--output", output, f.root}, 2, "unknown export format \"6\""},
        {{"--export"}, 2, "needs a FORMAT"},
        {{"--export", "csv", f.root}, 2, "needs --output"},
        {{"--export", "csv", "--output", output}, 2, "needs the PATH"},
        {{"--export", "csv", "--output", output, "--rounding", "3", f.root},
         2,
         "--rounding must be 0, 1 or 2"},
        {{"--export", "csv", "--output", output, "--colour", f.root}, 2, "unknown option --colour"},
        {{"--export", "csv", "--output", output, f.root + "/missing"}, 2, f.root + "/missing: No such file"},
        {{"--export", "csv", "--output", output, f.root + "/a/small"}, 2, "Not a directory"},
        {{"--export", "csv", "--output", f.scratch / "no/such/folder/out.csv", f.root}, 1, "No such file"},
        {{"--export", "csv", "--output", f.scratch.Path(), f.root}, 1, "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Result r = RunQuorvex(c.args, f.scratch);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(Exists(output));
    }
}

TEST(ExportCommand, FullOutputDeviceIsAnError) {
    Fixture f;
    struct stat st {};
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode))
        GTEST_SKIP() << "no /dev/full";
    const Result r = RunQuorvex({"--export", "html", "--output", "/dev/full", f.root}, f.scratch);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Stream write error"), std::string::npos) << r.err;
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device was replaced by a file";
}

TEST(ExportCommand, InterruptedScanWritesNothing) {
    TempTree scratch;
    const std::string output = scratch / "usr.csv";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open((scratch / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
        ::execl(QUORVEX_BINARY, QUORVEX_BINARY, "--export", "csv", "--output", output.c_str(), "/usr",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::usleep(150 * 1000);
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 0)
        GTEST_SKIP() << "the scan of /usr ended before the interrupt";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(ReadFile(scratch / "stderr").find("interrupted; nothing was written"), std::string::npos);
    EXPECT_FALSE(Exists(output));
}

// On a terminal, stderr carries a redrawn progress line that is cleared at the end; elsewhere (all
// the tests above) it stays empty.
TEST(ExportCommand, ProgressLineOnlyOnATerminal) {
    Fixture f;
    for (int i = 0; i < 200; ++i)
        f.tree.Dir("data/b/d" + std::to_string(i));
    const std::string output = f.scratch / "out.csv";
    int master = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("XDG_CONFIG_HOME", (f.scratch / "config").c_str(), 1);
        const std::string root = f.root;
        ::execl(QUORVEX_BINARY, QUORVEX_BINARY, "--export", "csv", "--output", output.c_str(), root.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        screen.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << screen;

    EXPECT_NE(screen.find(" files, "), std::string::npos) << screen;
    EXPECT_EQ(screen.substr(screen.size() - 4), "\r\x1b[K");
    std::size_t redraws = 0;
    for (auto at = screen.find("files, "); at != std::string::npos; at = screen.find("files, ", at + 1))
        ++redraws;
    EXPECT_LE(static_cast<double>(redraws), seconds * 10 + 2);
    EXPECT_EQ(screen.find('\n'), std::string::npos) << "the progress must stay on one line";
    EXPECT_NE(ReadFile(output).find("/b/d199,0,0"), std::string::npos);
}

} // namespace
