#include "support/SafeFileWriter.h"

#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

int Entries(const std::string& folder) {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// A writer abandoned half-way (the export raised, the program is closing) changes nothing. The
// temporary has no name until the content is complete, so a killed writer cannot leave it behind.
TEST(SafeFileWriter, UnfinishedWriteLeavesTheTargetAndNoTemporary) {
    TempTree dir;
    const std::string path = dir / "out.csv";
    WriteAll(path, "previous");
    {
        TSafeFileWriter writer(path);
        writer.Write(std::string(100000, 'x'));
        EXPECT_EQ(Entries(dir.Path()), 1) << "the temporary has a name while it is written";
    }
    EXPECT_EQ(ReadAll(path), "previous");
    EXPECT_EQ(Entries(dir.Path()), 1);

    TSafeFileWriter writer(path);
    writer.Write("new");
    writer.Commit();
    EXPECT_THROW(writer.Commit(), std::logic_error);
    EXPECT_EQ(ReadAll(path), "new");
}

// A link whose file is missing gets that file, where it points; the link itself stays.
TEST(SafeFileWriter, DanglingLinkGetsItsTargetCreated) {
    TempTree dir;
    dir.Dir("real");
    dir.Link("real/settings.ini", "link.ini");
    WriteFileSafely(dir / "link.ini", "[S]\n");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadAll(dir / "real/settings.ini"), "[S]\n");
    EXPECT_EQ(Entries(dir / "real"), 1);
}

} // namespace
