// The ncdu export reads a scanned tree's files again; read ahead on several threads, the file must
// be byte for byte the one a directory-at-a-time walk writes, and follow no link the walk would not.

#include "common/TempTree.h"
#include "common/TinyTmpfs.h"
#include "export/NcduExport.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

namespace quorvex {
namespace {

using testing::TempTree;

std::string Export(const TRootDirNode& root, int threads) {
    TNcduExport exporter(&root);
    exporter.SetReadAheadThreads(threads);
    std::ostringstream out;
    exporter.ExportToStream(out);
    // The time of writing may tick between two exports.
    return std::regex_replace(out.str(), std::regex(R"("timestamp":[0-9]+)"), "");
}

TEST(NcduReadAhead, WritesWhatTheOneByOneWalkWritesAndFollowsNoLinkPutInPlaceSinceTheScan) {
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

    const std::string oneByOne = Export(root, 0);
    EXPECT_EQ(Export(root, 4), oneByOne);
    EXPECT_NE(oneByOne.find("\"name\":\"g39\""), std::string::npos);

    // Directories swapped for links to elsewhere after the scan, at the top and deep down.
    for (const char* swapped : {"d7", "d30/s12"}) {
        std::filesystem::remove_all(tree / swapped);
        std::filesystem::create_directory_symlink(outside.Path(), tree / swapped);
    }
    const std::string afterSwap = Export(root, 4);
    EXPECT_EQ(afterSwap, Export(root, 0));
    EXPECT_EQ(afterSwap.find("secret"), std::string::npos);

    // The caller learns which directories could not be read again, to report them.
    TNcduExport exporter(&root);
    std::ostringstream discarded;
    exporter.ExportToStream(discarded);
    std::set<std::string> failed;
    for (const auto& [node, error] : exporter.ReadFailures())
        failed.insert(GetFullPath(node));
    EXPECT_EQ(failed.size(), 1U + 1 + 40) << "the two and the forty below the top one";
    EXPECT_TRUE(failed.contains(tree / "d7") && failed.contains(tree / "d7/s39") &&
                failed.contains(tree / "d30/s12"));
}

// The scan entered no mount point; one made since, even of this file system, is not read through.
TEST(NcduReadAhead, ReadsNothingThroughAMountMadeSinceTheScan) {
    TempTree tree;
    for (const char* dir : {"a", "a/b", "c"}) {
        tree.Dir(dir);
        tree.File(std::string(dir) + "/f", 3);
    }
    TempTree outside;
    outside.File("secret", 77);
    TRootDirNode root;
    root.SetName(tree.Path());
    TDirScanner(&root).Scan(tree.Path(), 0);
    const testing::ScopedMount deep(tree / "a/b", outside.Path());
    const testing::ScopedMount top(tree / "c", outside.Path());
    if (!deep.Mounted() || !top.Mounted())
        GTEST_SKIP() << deep.Refusal() << top.Refusal();
    for (const int threads : {0, 4}) {
        const std::string text = Export(root, threads);
        EXPECT_EQ(text.find("secret"), std::string::npos) << threads << " readers:\n" << text;
        EXPECT_NE(text.find(R"({"name":"c","read_error":true})"), std::string::npos) << text;
    }
}

} // namespace
} // namespace quorvex
