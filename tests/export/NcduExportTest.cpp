// The ncdu export of "Local Drives": one tree from "/" with each drive at its mount point.

#include "export/NcduExport.h"
#include "ExportFixtures.h"
#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "export/NcduImport.h"
#include "export/ScanHistory.h"
#include "model/RootNodes.h"
#include "scan/DirScanner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace quorvex;
using namespace quorvex::testing;

void ScanEachDrive(const TFixedDrivesNode& drives) {
    const TChildrenLock guard(&drives);
    for (const auto& child : guard.Children()) {
        auto* drive = static_cast<TGroupNode*>(child.get());
        TDirScanner(drive).Scan(drive->Name(), 0);
    }
}

// Drives: a tmpfs, another tmpfs on a directory of the first, and a plain directory beside them; no
// drive at "/", so the way from "/" down to them is made of directories that stand for nothing. Fresh
// tmpfs mounts number their files alike: counting hard links once, only the devices tell the two
// drives' files of two names apart, so the file must carry them.
TEST(NcduDrivesExport, LocalDrivesReadBackAsOneTreeEachDriveWithItsDevice) {
    TempTree base;
    base.Dir("m1");
    base.Dir("plain");
    const ScopedMount outer(base / "m1");
    if (!outer.Mounted())
        GTEST_SKIP() << outer.Refusal();
    base.File("m1/a", 1000);
    base.Dir("m1/inner");
    const ScopedMount inner(base / "m1/inner");
    if (!inner.Mounted())
        GTEST_SKIP() << inner.Refusal();
    base.File("m1/inner/a", 3000);
    base.Dir("m1/d");
    base.File("m1/d/a2", 2000);
    base.File("plain/p", 500);
    struct stat one {};
    struct stat two {};
    for (const auto& [drive, st] : {std::pair{"m1", &one}, {"m1/inner", &two}}) {
        ASSERT_EQ(::link((base / drive + "/a").c_str(), (base / drive + "/b").c_str()), 0);
        ASSERT_EQ(::stat((base / drive + "/a").c_str(), st), 0);
    }

    TFixedDrivesNode drives({base / "m1", base / "m1/inner", base / "plain"});
    drives.SetHardLinksOnce(true);
    ScanEachDrive(drives);
    const std::string file = base / "drives.json";
    Format("ncdu").Create(&drives)->ExportToFile(file);
    const std::string text = ReadAll(file);
    for (const auto& [drive, device] : {std::pair{"m1", one.st_dev}, {"inner", two.st_dev}}) {
        const std::string object =
            "{\"name\":\"" + std::string(drive) + "\",\"dev\":" + std::to_string(device) + "}";
        EXPECT_NE(text.find(object), std::string::npos) << object << " in " << text;
    }
    EXPECT_TRUE(one.st_ino != two.st_ino || text.find("\"ino\":" + std::to_string(one.st_ino) + ",") !=
                                                text.rfind("\"ino\":" + std::to_string(one.st_ino) + ","));
    // Read back counting once: each drive's file once, as two files.
    const std::int64_t sum = 1000 + 3000 + 2000 + 500;
    const auto imported = ImportNcduFile(file, 0, true);
    EXPECT_EQ(imported->Name(), "/");
    EXPECT_EQ(imported->GetSize(), sum);
    for (const auto& [path, size] : {std::pair{base.Path().substr(0, base.Path().rfind('/')), sum},
                                     {base / "m1", 6000},
                                     {base / "m1/d", 2000},
                                     {base / "m1/inner", 3000},
                                     {base / "plain", 500}}) {
        const TFileSystemNode* node = FindNodeByPath(imported.get(), path);
        EXPECT_EQ(node != nullptr ? node->GetSize() : -1, size) << path;
    }
}

// Of each root the newest N; then, oldest first, what the budget cannot hold; never a file not ours.
TEST(ScanHistory, KeepsTheNewestScansOfEachRootWithinTheBudget) {
    const TempTree folder;
    WriteAll(folder / "notes.txt", "mine");
    std::vector<std::string> files;
    for (const char* root : {"/a", "/a", "/b", "/a"}) {
        TRootDirNode tree;
        tree.SetName(root);
        files.push_back(SaveToHistory(folder.Path(), TakeHistorySnapshot(tree), {2, 1 << 30}));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto kept = [&](const std::string& root) {
        std::vector<std::string> names;
        for (const THistoryScan& scan : ListHistory(folder.Path(), root))
            names.push_back(scan.File);
        return names;
    };
    EXPECT_EQ(kept("/a"), (std::vector<std::string>{files[3], files[1]}));
    const std::uint64_t each = ListHistory(folder.Path(), "/b").at(0).Bytes;
    EXPECT_EQ(PruneHistory(folder.Path(), {2, 2 * each + each / 2}), 1);
    EXPECT_EQ(kept("/a"), std::vector<std::string>{files[3]});
    EXPECT_EQ(kept("/b"), std::vector<std::string>{files[2]});
    EXPECT_EQ(PruneHistory(folder.Path(), {2, 1}), 1); // the newest stays, over the budget or not
    EXPECT_EQ(kept(""), std::vector<std::string>{files[3]});
    EXPECT_EQ(ReadAll(folder / "notes.txt"), "mine");
}

// The average growth is the least-squares slope, in bytes a day, whatever the order of the scans.
TEST(ScanHistory, GrowthPerDayIsTheLeastSquaresSlope) {
    constexpr std::int64_t kDay = kShortestGrowthSpanMs;
    constexpr std::int64_t kMay2026 = 1777593600000; // milliseconds since 1970
    const auto growth = [](const std::vector<std::pair<std::int64_t, std::int64_t>>& points) {
        std::vector<THistoryScan> scans;
        for (const auto& [time, size] : points) {
            scans.emplace_back();
            scans.back().TimeMs = kMay2026 + time;
            scans.back().Size = size;
        }
        return GrowthPerDay(scans);
    };
    EXPECT_DOUBLE_EQ(growth({{2 * kDay, 3000}, {0, 1000}}).value(), 1000);
    // One odd scan in the middle moves the slope less than it would move the ends.
    EXPECT_DOUBLE_EQ(growth({{0, 0}, {kDay, 4000}, {2 * kDay, 2000}, {3 * kDay, 3000}}).value(), 700);
    EXPECT_DOUBLE_EQ(growth({{0, 9000000000000}, {kDay / 2, 8999999999000}, {kDay, 8999999998000}}).value(),
                     -2000);
    // Two scans at one time count as two points: the slope runs through their mean.
    EXPECT_DOUBLE_EQ(growth({{0, 100}, {0, 300}, {4 * kDay, 1000}}).value(), 200);
    EXPECT_FALSE(growth({{0, 100}}));
    EXPECT_FALSE(growth({{0, 100}, {kDay - 1, 5000}, {kDay / 2, 0}})) << "all within a day";
}

} // namespace
