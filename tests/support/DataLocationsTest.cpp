#include "support/DataLocations.h"

#include "common/TempTree.h"

#include <gtest/gtest.h>

using namespace quorvex;
using quorvex::testing::TempTree;

namespace {

// An installed layout: <prefix>/bin holds the program, <prefix>/share/quorvex its data.
struct Layout {
    TempTree prefix;
    std::filesystem::path bin = prefix / "bin";
    std::filesystem::path data = prefix / "share/quorvex";
    Layout() {
        prefix.Dir("bin");
        prefix.Dir("share");
        prefix.Dir("share/quorvex");
    }
};

} // namespace

TEST(DataLocations, BesideTheExecutableComesFirstThenTheInstalledFolder) {
    Layout tree;
    tree.prefix.File("share/quorvex/log.cfg", 10);
    tree.prefix.Dir("share/quorvex/locale");
    EXPECT_EQ(DataLocation("log.cfg", TDataKind::RegularFile, tree.bin, tree.data), tree.data / "log.cfg");
    EXPECT_EQ(DataLocation("locale", TDataKind::Folder, tree.bin, tree.data), tree.data / "locale");

    // A build tree (or an unpacked copy) keeps its own files even where an installed copy exists.
    tree.prefix.File("bin/log.cfg", 0);
    tree.prefix.Dir("bin/locale");
    EXPECT_EQ(DataLocation("log.cfg", TDataKind::RegularFile, tree.bin, tree.data), tree.bin / "log.cfg");
    EXPECT_EQ(DataLocation("locale", TDataKind::Folder, tree.bin, tree.data), tree.bin / "locale");
}

TEST(DataLocations, NeitherPlaceHasItGivesThePlaceBesideTheExecutable) {
    Layout tree;
    tree.prefix.File("share/quorvex/log.cfg.example", 10);
    EXPECT_EQ(DataLocation("log.cfg", TDataKind::RegularFile, tree.bin, tree.data), tree.bin / "log.cfg")
        << "a name is matched whole, not by prefix";
    // A dangling link beside the program is as good as nothing there.
    tree.prefix.Link("/nonexistent/quorvex-locale", "bin/locale");
    tree.prefix.Dir("share/quorvex/locale");
    EXPECT_EQ(DataLocation("locale", TDataKind::Folder, tree.bin, tree.data), tree.data / "locale");
}

// Installed into /usr, the program shares bin/ with the C library's "locale" program: only what is of
// the kind asked for counts.
TEST(DataLocations, SomethingOfAnotherKindBesideTheExecutableIsPassedOver) {
    Layout tree;
    tree.prefix.File("bin/locale", 100);
    tree.prefix.Dir("bin/log.cfg");
    tree.prefix.Dir("share/quorvex/locale");
    tree.prefix.File("share/quorvex/log.cfg", 10);
    EXPECT_EQ(DataLocation("locale", TDataKind::Folder, tree.bin, tree.data), tree.data / "locale");
    EXPECT_EQ(DataLocation("log.cfg", TDataKind::RegularFile, tree.bin, tree.data), tree.data / "log.cfg");
}

TEST(DataLocations, TheInstalledFolderIsFoundFromTheRunningProgram) {
    // The test program runs from the build tree: its installed counterpart sits beside bin/.
    const auto folder = InstalledDataFolder();
    EXPECT_EQ(folder.filename(), "quorvex");
    EXPECT_EQ(folder.parent_path().parent_path(), ProgramFolder().parent_path());
    EXPECT_EQ(folder, folder.lexically_normal()) << "no \"..\" left in the path";
}
