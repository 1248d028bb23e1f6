// --allocated and --hard-links against what find and du count on the same tree.

#include "QuorvexProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using quorvex::testing::ParseBlocks;
using quorvex::testing::RunQuorvex;
using quorvex::testing::TempTree;

// The number a shell pipeline prints; -1 when it fails.
long long ShellNumber(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return -1;
    long long value = -1;
    if (std::fscanf(pipe.get(), "%lld", &value) != 1)
        value = -1;
    return ::pclose(pipe.release()) == 0 ? value : -1;
}

void WriteBytes(const std::string& path, std::size_t count, off_t at = 0) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string data(count, 'q');
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), static_cast<ssize_t>(data.size())) << path;
    ::close(fd);
}

std::string Sum(const std::string& list) {
    return list + " | awk '{ s += $1 } END { print s + 0 }'";
}

class DiskSizes : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = scratch_ / "tree";
        ASSERT_EQ(::mkdir(root_.c_str(), 0755), 0);
        // Sparse: a 64 MiB length with one written block at its end.
        WriteBytes(root_ + "/sparse", 4096, 64 << 20);
        WriteBytes(root_ + "/plain", 10000);
        WriteBytes(root_ + "/small", 10);
        ASSERT_EQ(::symlink("plain", (root_ + "/link").c_str()), 0);
        // One file under 41 names spread over many directories, so that several workers meet it,
        // and one with two names in one directory.
        WriteBytes(root_ + "/shared", 50000);
        for (int i = 0; i < 40; ++i) {
            const std::string dir = root_ + "/d" + std::to_string(i);
            ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
            WriteBytes(dir + "/own", 3000 + static_cast<std::size_t>(i));
            ASSERT_EQ(::link((root_ + "/shared").c_str(), (dir + "/shared").c_str()), 0);
        }
        WriteBytes(root_ + "/d0/pair", 7000);
        ASSERT_EQ(::link((root_ + "/d0/pair").c_str(), (root_ + "/d0/pair2").c_str()), 0);
    }

    long long Summary(const std::vector<std::string>& options) {
        std::vector<std::string> args{"--summary"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(root_);
        const auto result = RunQuorvex(args, scratch_);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const auto blocks = ParseBlocks(result.out);
        const auto size = blocks.front().find("size");
        return size == blocks.front().end() ? -1 : std::stoll(size->second);
    }

    std::string Quoted() const { return "'" + root_ + "'"; }

    TempTree scratch_;
    std::string root_;
};

TEST_F(DiskSizes, AllocatedSizeCountsTheBlocksOfEveryName) {
    const long long blocks = ShellNumber(Sum("find " + Quoted() + " -xdev ! -type d -printf '%b\\n'"));
    ASSERT_GT(blocks, 0);
    const long long logical = ShellNumber(Sum("find " + Quoted() + " -xdev ! -type d -printf '%s\\n'"));
    // The sparse file keeps the two figures far apart, so neither can pass for the other.
    ASSERT_GT(logical, blocks * 512 + (32 << 20));
    EXPECT_EQ(Summary({"--allocated"}), blocks * 512);
    EXPECT_EQ(Summary({"--allocated", "--hard-links", "each"}), blocks * 512);
    EXPECT_EQ(Summary({}), logical);
}

TEST_F(DiskSizes, HardLinksOnceMatchesDuWithoutTheDirectories) {
    const long long dirBlocks = ShellNumber(Sum("find " + Quoted() + " -xdev -type d -printf '%b\\n'"));
    const long long dirSizes = ShellNumber(Sum("find " + Quoted() + " -xdev -type d -printf '%s\\n'"));
    const long long duAllocated = ShellNumber("du -sx -B1 " + Quoted());
    const long long duApparent = ShellNumber("du -sxb --apparent-size " + Quoted());
    ASSERT_GE(dirBlocks, 0);
    ASSERT_GT(duAllocated, 0);
    ASSERT_GT(duApparent, 0);
    for (const char* jobs : {"1", "8"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        EXPECT_EQ(Summary({"--hard-links", "once", "--allocated", "--jobs", jobs}),
                  duAllocated - dirBlocks * 512);
        EXPECT_EQ(Summary({"--jobs", jobs, "--hard-links", "once"}), duApparent - dirSizes);
    }
    // At every name, as before: 40 more names of the shared file and one more of the pair.
    EXPECT_EQ(Summary({}), duApparent - dirSizes + 40 * 50000 + 7000);
}

TEST_F(DiskSizes, ExportWritesTheChosenSize) {
    const std::string output = scratch_ / "out.xml";
    const auto result = RunQuorvex(
        {"--export", "xml", "--output", output, "--allocated", "--hard-links", "once", root_}, scratch_);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const long long dirBlocks = ShellNumber(Sum("find " + Quoted() + " -xdev -type d -printf '%b\\n'"));
    const long long expected = ShellNumber("du -sx -B1 " + Quoted()) - dirBlocks * 512;
    const std::string text = quorvex::testing::ReadAll(output);
    EXPECT_NE(text.find("<size>" + std::to_string(expected) + "</size>"), std::string::npos)
        << text.substr(0, 400);
}

TEST_F(DiskSizes, WrongHardLinksValueIsAUsageError) {
    for (const auto& [args, message] :
         {std::pair{std::vector<std::string>{"--summary", "--hard-links", "some", root_},
                    "--hard-links must be once or each"},
          std::pair{std::vector<std::string>{"--export", "csv", "--output", scratch_ / "x.csv", root_,
                                             "--hard-links"},
                    "--hard-links needs a value"}}) {
        const auto result = RunQuorvex(args, scratch_);
        EXPECT_EQ(result.exitCode, 2) << args.front();
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
}

TEST(DiskSizesOfUsr, AllocatedSummaryEqualsFind) {
    if (::access("/usr", R_OK | X_OK) != 0)
        GTEST_SKIP() << "no readable /usr here";
    TempTree scratch;
    const long long blocks = ShellNumber(Sum("find /usr -xdev ! -type d -printf '%b\\n' 2>/dev/null"));
    const auto result = RunQuorvex({"--summary", "--allocated", "/usr"}, scratch);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ParseBlocks(result.out).front()["size"], std::to_string(blocks * 512));
}

} // namespace
