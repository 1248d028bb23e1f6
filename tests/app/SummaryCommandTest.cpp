#include "common/TempTree.h"
#include "settings/FileText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Every child of this test program reads and writes its settings in a throw-away folder, never in
// the user's own; a test may point it elsewhere.
class ScratchConfigHome : public ::testing::Environment {
public:
    void SetUp() override {
        folder_ = std::make_unique<quorvex::testing::TempTree>();
        ::setenv("XDG_CONFIG_HOME", (*folder_ / "config").c_str(), 1);
    }
    void TearDown() override { folder_.reset(); }

private:
    std::unique_ptr<quorvex::testing::TempTree> folder_;
};
[[maybe_unused]] ::testing::Environment* const scratchConfigHome =
    ::testing::AddGlobalTestEnvironment(new ScratchConfigHome); // gtest takes ownership

using quorvex::testing::ReadAll;

// The quorvex binary as a child process with its output in files, so the test can signal it.
class Child {
public:
    Child(const std::vector<std::string>& args, const quorvex::testing::TempTree& scratch)
        : out_(scratch / "stdout"), err_(scratch / "stderr") {
        std::vector<std::string> all{QUORVEX_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }

    pid_t Pid() const { return pid_; }
    // The exit code, or 1000 + the signal that ended it.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    std::string Out() const { return ReadAll(out_); }
    std::string Err() const { return ReadAll(err_); }

private:
    std::string out_;
    std::string err_;
    pid_t pid_ = -1;
    bool waited_ = false;
};

int Threads(pid_t pid) {
    int count = 0;
    if (DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str())) {
        while (dirent* e = ::readdir(dir))
            count += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return count;
}

using Block = std::vector<std::pair<std::string, std::string>>;

std::vector<Block> ParseBlocks(const std::string& text) {
    std::vector<Block> blocks(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            blocks.emplace_back();
            continue;
        }
        const auto colon = line.find(": ");
        blocks.back().emplace_back(line.substr(0, colon),
                                   colon == std::string::npos ? "" : line.substr(colon + 2));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    return blocks;
}

std::string Value(const Block& block, const std::string& key) {
    for (const auto& [k, v] : block) {
        if (k == key)
            return v;
    }
    return "<none>";
}

class SummaryCommand : public ::testing::Test {
protected:
    quorvex::testing::TempTree tree_;
    quorvex::testing::TempTree scratch_;
};

TEST_F(SummaryCommand, SeveralPathsGiveOneBlockEachInArgumentOrder) {
    const std::string odd = "odd name, \xff";
    tree_.Dir(odd);
    tree_.File(odd + "/a", 1000);
    tree_.Dir(odd + "/sub");
    tree_.File(odd + "/sub/b", 24);
    tree_.Dir("plain");
    tree_.File("plain/c", 5);

    Child child({"--summary", tree_ / odd, tree_ / "plain/"}, scratch_);
    EXPECT_EQ(child.Wait(), 0) << child.Err();
    const std::vector<Block> blocks = ParseBlocks(child.Out());
    ASSERT_EQ(blocks.size(), 2u) << child.Out();
    const std::vector<std::string> keys{"path",        "size",   "size_formatted", "files",
                                        "directories", "errors", "elapsed_seconds"};
    for (const Block& block : blocks) {
        std::vector<std::string> seen;
        for (const auto& entry : block)
            seen.push_back(entry.first);
        EXPECT_EQ(seen, keys);
    }
    EXPECT_EQ(Value(blocks[0], "path"), tree_ / odd);
    EXPECT_EQ(Value(blocks[0], "size"), "1024");
    EXPECT_EQ(Value(blocks[0], "files"), "2");
    EXPECT_EQ(Value(blocks[0], "directories"), "2");
    EXPECT_EQ(Value(blocks[1], "path"), tree_ / "plain");
    EXPECT_EQ(Value(blocks[1], "size"), "5");
    EXPECT_EQ(child.Err(), "");
}

TEST_F(SummaryCommand, PathsBeyondNineAreNamedAndNotScanned) {
    tree_.File("f", 7);
    std::vector<std::string> args{"--summary"};
    for (int i = 0; i < 9; ++i)
        args.push_back(tree_.Path());
    tree_.Dir("tenth");
    args.push_back(tree_ / "tenth");

    Child child(args, scratch_);
    EXPECT_EQ(child.Wait(), 3);
    const std::vector<Block> blocks = ParseBlocks(child.Out());
    ASSERT_EQ(blocks.size(), 9u);
    for (const Block& block : blocks)
        EXPECT_EQ(Value(block, "path"), tree_.Path());
    EXPECT_NE(child.Err().find(tree_ / "tenth" + ": not scanned"), std::string::npos) << child.Err();
}

TEST_F(SummaryCommand, MissingPathOrPlainFileScansNothing) {
    tree_.File("file", 1);
    Child child({"--summary", tree_.Path(), tree_ / "missing", tree_ / "file"}, scratch_);
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_EQ(child.Out(), "");
    EXPECT_NE(child.Err().find(tree_ / "missing"), std::string::npos);
    EXPECT_NE(child.Err().find(tree_ / "file"), std::string::npos);

    Child none({"--summary"}, scratch_);
    EXPECT_EQ(none.Wait(), 2);
}

TEST_F(SummaryCommand, CtrlCPrintsWhatWasFoundMarkedIncomplete) {
    // Enough for nine threads to be busy for a while on two cores.
    for (int d = 0; d < 100; ++d) {
        const std::string dir = "d" + std::to_string(d);
        tree_.Dir(dir);
        for (int f = 0; f < 200; ++f)
            tree_.File(dir + "/f" + std::to_string(f), 1);
    }
    std::vector<std::string> args{"--summary"};
    for (int i = 0; i < 9; ++i)
        args.push_back(tree_.Path());
    Child child(args, scratch_);
    ASSERT_GT(child.Pid(), 0);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Threads(child.Pid()) < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(200us);
    ASSERT_GE(Threads(child.Pid()), 10) << "the nine scan threads never started";
    ::kill(child.Pid(), SIGINT);
    const auto interrupted = std::chrono::steady_clock::now();
    EXPECT_EQ(child.Wait(), 130) << child.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1s);

    const std::vector<Block> blocks = ParseBlocks(child.Out());
    ASSERT_EQ(blocks.size(), 9u) << child.Out();
    int incomplete = 0;
    for (const Block& block : blocks) {
        EXPECT_NE(Value(block, "elapsed_seconds"), "<none>");
        if (Value(block, "incomplete") == "yes") {
            ++incomplete;
            EXPECT_LT(std::stoll(Value(block, "files")), 20000);
        } else {
            EXPECT_EQ(Value(block, "files"), "20000");
        }
    }
    EXPECT_GT(incomplete, 0);
    EXPECT_NE(child.Err().find("interrupted"), std::string::npos);
}

} // namespace
