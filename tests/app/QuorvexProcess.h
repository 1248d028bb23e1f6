#pragma once

// Runs the real program as a child process, the way a user or a script would, for the app tests.

#include "common/FileText.h"
#include "common/TempTree.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <pty.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvex::testing {

struct Result {
    int exitCode = -1; // or 1000 + the signal that ended the process
    std::string out;   // stdout, or everything the terminal showed
    std::string err;
};

// Arguments reach exec byte for byte; stdout and stderr land in files (or on an 80-column terminal);
// settings live in the scratch folder. A `launcher` (setpriv, env, a shell) runs the program in its place.
class Quorvex {
public:
    Quorvex(const std::vector<std::string>& args, const TempTree& scratch, bool terminal = false,
            const std::vector<std::string>& launcher = {})
        : out_(scratch / "stdout"), err_(scratch / "stderr") {
        const std::string config = scratch / "config";
        std::vector<char*> argv;
        for (const std::string& a : launcher)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(const_cast<char*>(QUORVEX_BINARY));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        winsize size{24, 80, 0, 0};
        pid_ = terminal ? ::forkpty(&terminal_, nullptr, nullptr, &size) : ::fork();
        if (pid_ != 0)
            return;
        if (!terminal) {
            ::dup2(::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        }
        // A test run from a background job inherits SIGINT ignored.
        ::signal(SIGINT, SIG_DFL);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Quorvex(const Quorvex&) = delete;
    Quorvex& operator=(const Quorvex&) = delete;
    ~Quorvex() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }

    pid_t Pid() const { return pid_; }
    // A hang fails the test instead of stalling the run: killed after `limit`, it reads 1000 + SIGKILL.
    Result Wait(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        Result r;
        if (terminal_ >= 0) {
            char buffer[4096];
            for (ssize_t n; (n = ::read(terminal_, buffer, sizeof buffer)) > 0;)
                r.out.append(buffer, static_cast<std::size_t>(n));
            ::close(terminal_);
        }
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        waited_ = true;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        if (terminal_ < 0) {
            r.out = ReadAll(out_);
            r.err = ReadAll(err_);
        }
        return r;
    }

private:
    std::string out_;
    std::string err_;
    pid_t pid_ = -1;
    int terminal_ = -1;
    bool waited_ = false;
};

inline Result RunQuorvex(const std::vector<std::string>& args, const TempTree& scratch) {
    return Quorvex(args, scratch).Wait();
}

// Until process `pid` handles `signal` itself (its "SigCgt" mask), so that the signal meets the
// program's handler, not the default action; false after ten seconds.
inline bool AwaitCatching(pid_t pid, int signal) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Until process `pid` runs at least `count` threads; false after ten seconds.
inline bool AwaitThreads(pid_t pid, long count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (std::error_code error;
         std::distance(std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error),
                       {}) < count;) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A shell command line's standard output, or nullopt when it failed.
inline std::optional<std::string> Shell(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    if (!pipe || ::pclose(pipe.release()) != 0)
        return std::nullopt;
    return out;
}

// `path` in single quotes for the shell.
inline std::string Quoted(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the program as "nobody", without the superuser's groups.
inline const std::vector<std::string> kNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                              "--clear-groups"};

// The summary's blocks of "key: value" lines, one per root, separated by blank lines.
inline std::vector<std::map<std::string, std::string>> ParseBlocks(const std::string& text) {
    std::vector<std::map<std::string, std::string>> blocks(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(": ");
        if (line.empty())
            blocks.emplace_back();
        else if (colon != std::string::npos)
            blocks.back()[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return blocks;
}

} // namespace quorvex::testing
