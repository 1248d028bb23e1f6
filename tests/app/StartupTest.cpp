#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int exitCode;
    std::string output;
};

Result RunCommand(const std::string& command) {
    Result r{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        r.output += buffer.data();
    const int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

// No log.cfg beside the binary: logging is off, and the library must not complain on stderr.
TEST(Startup, NoLoggingConfigurationMeansNoOutputOnStderr) {
    quorvex::testing::TempTree t;
    t.File("f", 3);
    const Result r =
        RunCommand(std::string("'") + QUORVEX_BINARY + "' --summary '" + t.Path() + "' 2>&1 >/dev/null");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "");
}

TEST(Startup, VersionAndUnknownOption) {
    const Result version = RunCommand(std::string("'") + QUORVEX_BINARY + "' --version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("quorvex ", 0), 0u);
    const Result unknown = RunCommand(std::string("'") + QUORVEX_BINARY + "' --frobnicate 2>&1");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.output.find("unknown option"), std::string::npos);
}
