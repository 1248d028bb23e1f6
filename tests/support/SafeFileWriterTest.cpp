#include "support/SafeFileWriter.h"

#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

int Entries(const std::string& folder) {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// The error a write of `text` to `path` ends with, or 0.
int Failure(const std::string& path, const std::string& text) {
    try {
        WriteFileSafely(path, text);
        return 0;
    } catch (const EFileWriteError& error) {
        EXPECT_EQ(error.what(), path + ": " + error.Reason());
        return error.ErrorCode();
    }
}

// A rename puts the new content under the old name, through a link, with the old permission bits; an
// abandoned writer changes nothing, and its temporary has no name a killed writer could leave behind.
TEST(SafeFileWriter, ReplacesAllOrNothingThroughLinksKeepingThePermissions) {
    TempTree dir;
    dir.Dir("real");
    const std::string path = dir / "real/out.csv";
    WriteAll(path, "previous");
    ::chmod(path.c_str(), 0640);
    dir.Link(path, "link.csv");
    const int holdOld = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); // so its inode cannot come back
    const ino_t before = Inode(path);
    {
        TSafeFileWriter writer(dir / "link.csv");
        writer.Write(std::string(100000, 'x'));
        EXPECT_EQ(Entries(dir / "real"), 1) << "the temporary has a name while it is written";
    }
    EXPECT_EQ(ReadAll(path), "previous");

    TSafeFileWriter writer(dir / "link.csv");
    writer.Write("new");
    writer.Commit();
    ::close(holdOld);
    EXPECT_EQ(ReadAll(path), "new");
    EXPECT_NE(Inode(path), before);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Entries(dir / "real"), 1);

    // A link whose file is missing gets that file, where it points; the link itself stays.
    dir.Link("real/made.ini", "dangling.ini");
    WriteFileSafely(dir / "dangling.ini", "[S]\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(ReadAll(dir / "real/made.ini"), "[S]\n");
}

// Every way a write can fail raises with the file's name and reason, and the disk keeps every byte it
// had: a read-only file (refused even to the superuser), a read-only folder, a stop, a full disk.
TEST(SafeFileWriter, AFailedWriteRaisesAndKeepsThePreviousFile) {
    TempTree dir;
    dir.Dir("ro");
    WriteAll(dir / "ro/old", "old");
    WriteAll(dir / "readonly", "old");
    ::chmod((dir / "readonly").c_str(), 0444);
    ::chmod((dir / "ro").c_str(), 0555);
    EXPECT_EQ(Failure(dir / "readonly", "new"), EACCES);
    EXPECT_EQ(Failure(dir / "ro/old", "new"), EACCES);
    ::chmod((dir / "ro").c_str(), 0755);
    EXPECT_EQ(ReadAll(dir / "readonly"), "old");

    bool stop = false;
    TSafeFileWriter stopped(dir / "ro/old");
    stopped.SetStopRequest([&] { return stop; });
    stopped.Write("new");
    stop = true;
    EXPECT_THROW(stopped.Commit(), EFileWriteError);
    EXPECT_EQ(ReadAll(dir / "ro/old"), "old");
    EXPECT_EQ(Entries(dir / "ro"), 1);

    const TinyTmpfs disk;
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Refusal();
    WriteAll(disk / "old", "old");
    disk.Fill();
    EXPECT_EQ(Failure(disk / "old", "new"), ENOSPC);
    EXPECT_EQ(ReadAll(disk / "old"), "old");
    EXPECT_EQ(Entries(disk.Path()), 2) << "the old file and the filler, no temporary";
}

// A pipe has nothing to replace: it is written in place, as the reader expects.
TEST(SafeFileWriter, APipeIsWrittenInPlace) {
    TempTree dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadAll(fifo); });
    WriteFileSafely(fifo, "through");
    reader.join();
    EXPECT_EQ(received, "through");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

} // namespace
