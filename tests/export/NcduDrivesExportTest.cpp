// "Local Drives" written as an ncdu scan file: one tree from "/", each drive at its mount point.

#include "common/FileText.h"
#include "common/TempTree.h"
#include "export/ExportRegistry.h"
#include "export/NcduImport.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorvex {
namespace {

using testing::TempTree;

// A tmpfs mounted at a directory of the caller's choosing, so that one may lie inside another.
class Tmpfs {
public:
    explicit Tmpfs(const std::string& at) : at_(at) {
        if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0)
            refusal_ = "cannot mount a tmpfs: " + std::string(std::strerror(errno));
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    ~Tmpfs() {
        if (refusal_.empty())
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    const std::string& Refusal() const { return refusal_; }

private:
    std::string at_;
    std::string refusal_;
};

const TExportClass& NcduFormat() {
    for (int i = 0; i < ExportRegistry().Count(); ++i) {
        if (ExportRegistry().Items(i).GetCommandName() == "ncdu")
            return ExportRegistry().Items(i);
    }
    throw std::logic_error("no ncdu format");
}

// Drives: a tmpfs, another tmpfs on a directory of the first, and a plain directory beside them; no
// drive at "/", so the way from "/" down to them is made of directories that stand for nothing.
TEST(NcduDrivesExport, LocalDrivesReadBackAsOneTreeWithEveryDriveAtItsMountPoint) {
    TempTree base;
    base.Dir("m1");
    base.Dir("plain");
    Tmpfs outer(base / "m1");
    if (!outer.Refusal().empty())
        GTEST_SKIP() << outer.Refusal();
    base.Dir("m1/d");
    base.Dir("m1/inner");
    Tmpfs inner(base / "m1/inner");
    if (!inner.Refusal().empty())
        GTEST_SKIP() << inner.Refusal();
    base.File("m1/a1", 1000);
    base.File("m1/d/a2", 2000);
    base.File("m1/inner/b1", 3000);
    base.File("plain/p", 500);

    TFixedDrivesNode drives({base / "m1", base / "m1/inner", base / "plain"});
    std::int64_t sum = 0;
    {
        const TChildrenLock guard(&drives);
        for (const auto& child : guard.Children()) {
            auto* drive = static_cast<TGroupNode*>(child.get());
            TDirScanner(drive).Scan(drive->Name(), 0);
            sum += drive->GetSize();
        }
    }
    ASSERT_EQ(sum, 6500);

    const std::string file = base / "drives.json";
    NcduFormat().Create(&drives)->ExportToFile(file);
    std::unique_ptr<TRootDirNode> imported;
    ASSERT_NO_THROW(imported = ImportNcduFile(file, 0)) << quorvex::testing::ReadAll(file);
    EXPECT_EQ(imported->Name(), "/");
    EXPECT_EQ(imported->GetSize(), sum);
    EXPECT_EQ(imported->GetFileCount(), 4);
    const auto sizeAt = [&](const std::string& path) {
        const TFileSystemNode* node = FindNodeByPath(imported.get(), path);
        return node != nullptr ? node->GetSize() : -1;
    };
    EXPECT_EQ(sizeAt(base / "m1"), 6000);
    EXPECT_EQ(sizeAt(base / "m1/d"), 2000);
    EXPECT_EQ(sizeAt(base / "m1/inner"), 3000);
    EXPECT_EQ(sizeAt(base / "plain"), 500);
    EXPECT_EQ(sizeAt(base.Path().substr(0, base.Path().rfind('/'))), sum);

    // The peers read it as the same machine.
    if (std::system("command -v ncdu >/dev/null 2>&1") == 0) {
        const std::string again = base / "again.json";
        ASSERT_EQ(std::system(("ncdu -f '" + file + "' -o '" + again + "'").c_str()), 0);
        EXPECT_EQ(ImportNcduFile(again, 0)->GetSize(), sum);
    }
}

// Counting hard links once over two drives: fresh tmpfs mounts number their files alike, so each
// drive's file of two names has the same inode number as the other's. Only the devices tell the two
// files apart, so the file must carry them, and differently for the two drives.
TEST(NcduDrivesExport, CountingOnceEachDriveCarriesItsDeviceForTheIdentities) {
    TempTree base;
    base.Dir("m1");
    base.Dir("m2");
    Tmpfs first(base / "m1");
    Tmpfs second(base / "m2");
    if (!first.Refusal().empty() || !second.Refusal().empty())
        GTEST_SKIP() << first.Refusal() << second.Refusal();
    for (const char* drive : {"m1", "m2"}) {
        const std::string at = base / drive;
        base.File(std::string(drive) + "/a", 1000);
        ASSERT_EQ(::link((at + "/a").c_str(), (at + "/b").c_str()), 0);
    }
    struct stat one {};
    struct stat two {};
    ASSERT_EQ(::stat((base / "m1/a").c_str(), &one), 0);
    ASSERT_EQ(::stat((base / "m2/a").c_str(), &two), 0);
    if (one.st_ino != two.st_ino)
        GTEST_SKIP() << "the two tmpfs numbered their files differently";

    TFixedDrivesNode drives({base / "m1", base / "m2"});
    drives.SetHardLinksOnce(true);
    {
        const TChildrenLock guard(&drives);
        for (const auto& child : guard.Children()) {
            auto* drive = static_cast<TGroupNode*>(child.get());
            TDirScanner(drive).Scan(drive->Name(), 0);
        }
    }
    const std::string file = base / "drives.json";
    NcduFormat().Create(&drives)->ExportToFile(file);
    const std::string text = quorvex::testing::ReadAll(file);
    const std::string ino = "\"ino\":" + std::to_string(one.st_ino) + ",";
    ASSERT_NE(text.find(ino), text.rfind(ino)) << text;
    for (const auto& [drive, device] : {std::pair{"m1", one.st_dev}, std::pair{"m2", two.st_dev}}) {
        const std::string object =
            "{\"name\":\"" + std::string(drive) + "\",\"dev\":" + std::to_string(device) + "}";
        EXPECT_NE(text.find(object), std::string::npos) << object << " in " << text;
    }
    ASSERT_NO_THROW(ImportNcduFile(file, 0));
}

} // namespace
} // namespace quorvex
