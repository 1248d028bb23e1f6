// The ncdu export's read-ahead lists directories on several threads ahead of the writer: it must write
// what a directory-at-a-time walk writes and follow no link or mount the walk would not.

#include "ExportFixtures.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "scan/DirScanner.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace quorvex;
using namespace quorvex::testing;

// Read ahead on several threads, the file is byte for byte the one a directory-at-a-time walk writes,
// and follows no link or mount put in place since the scan.
TEST(NcduReadAhead, WritesWhatTheOneByOneWalkWritesAndFollowsNoLinkOrMountMadeSinceTheScan) {
    TempTree tree;
    // More directories than the readers may run ahead of the writer, nested, each with files.
    for (int i = 0; i < 60; ++i) {
        const std::string top = std::string("d").append(std::to_string(i));
        tree.Dir(top);
        tree.File(top + "/f", i);
        for (int j = 0; j < 40; ++j) {
            tree.Dir(top + "/s" + std::to_string(j));
            tree.File(top + "/s" + std::to_string(j) + "/g" + std::to_string(j), j);
        }
    }
    TempTree outside;
    outside.File("secret", 77);
    TRootDirNode root;
    root.SetName(tree.Path());
    TDirScanner(&root).Scan(tree.Path(), 0);

    EXPECT_EQ(NcduBody(&root, 4), NcduBody(&root, 0));

    // Directories swapped for links to elsewhere after the scan, at the top and deep down.
    for (const char* swapped : {"d7", "d30/s12"}) {
        std::filesystem::remove_all(tree / swapped);
        std::filesystem::create_directory_symlink(outside.Path(), tree / swapped);
    }
    const std::string afterSwap = NcduBody(&root, 4);
    EXPECT_EQ(afterSwap, NcduBody(&root, 0));
    EXPECT_EQ(afterSwap.find("secret"), std::string::npos);

    // The scan entered no mount point; one made since, even of this file system, is not read through.
    const ScopedMount top(tree / "d40", outside.Path());
    const ScopedMount deep(tree / "d41/s3", outside.Path());
    if (!top.Mounted() || !deep.Mounted())
        GTEST_SKIP() << top.Refusal() << deep.Refusal();
    for (const int threads : {0, 4}) {
        const std::string text = NcduBody(&root, threads);
        EXPECT_EQ(text.find("secret"), std::string::npos) << threads << " readers";
        EXPECT_NE(text.find(R"({"name":"d40","read_error":true})"), std::string::npos);
    }
}

} // namespace
