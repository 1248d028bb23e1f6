// Behaviour every format shares, run over each registered exporter.

#include "ExportFixtures.h"
#include "common/NodeLookup.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include "export/ExportAction.h"
#include "i18n/ErrorDialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace quorvex;
using namespace quorvex::testing;
using namespace ::testing;

namespace {

// Two exports made a second apart differ in the time of writing that the scan-file format records.
std::string WithoutTime(const std::string& text) {
    static const std::regex time(R"("timestamp":[0-9]+)");
    return std::regex_replace(text, time, "\"timestamp\":0");
}

struct FormatRow {
    std::string command, extension, description;
    int defaultRounding;
    std::string drive; // how a Local Drives tree shows the drive mounted at /home
    std::string deep;  // once per directory named d
};

const FormatRow kFormats[] = {
    {"csv", ".csv", "CSV (Comma separated)", 0, "\r\n/home/alice,50,2\r\n", ",1,1\r\n"},
    {"txt", ".txt", "Text File (Tree Structure)", 2, "\r\n       `-- /home   (", "-- d   ("},
    {"html", ".html", "HTML File", 2, "<td>/home/alice</td>", "/d</td>"},
    {"xml", ".xml", "XML File", 0, "<name>/home</name>", "<name>d</name>"},
    {"xml2", ".xml", "XML File v2.0", 0, "<dir name=\"/home\"", "<dir name=\"d\""},
    {"ncdu", ".json", "ncdu scan file (JSON)", 0, "[{\"name\":\"home\"", "[{\"name\":\"d\""}};

TEST(ExportRegistry, HoldsTheSixFormatsInDialogOrderWithTheirSizeStyles) {
    ASSERT_EQ(ExportRegistry().Count(), 6);
    for (int i = 0; i < 6; ++i) {
        const FormatRow& row = kFormats[i];
        const TExportClass& format = ExportRegistry().Items(i);
        SCOPED_TRACE(row.command);
        EXPECT_EQ(std::tuple(format.GetCommandName(), ExportRegistry().ExtensionAt(i),
                             format.GetDescription(), format.GetDefaultSizeRounding()),
                  std::tuple(row.command, row.extension, row.description, row.defaultRounding));
        // Only the formats meant for reading round sizes; 0 and unknown settings mean plain bytes.
        const bool readable = row.defaultRounding == 2;
        for (int rounding : {0, 7})
            EXPECT_EQ(ExportSizeFormatter(format, rounding), nullptr);
        EXPECT_EQ(ExportSizeFormatter(format, 1), readable ? TSizeFormatter{&FormatSizeRounded} : nullptr);
        EXPECT_EQ(ExportSizeFormatter(format, 2), readable ? TSizeFormatter{&FormatSizeTruncated} : nullptr);
    }
    EXPECT_THROW(ExportRegistry().Items(6), std::out_of_range);
    EXPECT_EQ(ExportRegistry().GetDialogFilter(),
              "CSV (Comma separated) (*.csv)|*.csv|Text File (Tree Structure) (*.txt)|*.txt|"
              "HTML File (*.html)|*.html|XML File (*.xml)|*.xml|XML File v2.0 (*.xml)|*.xml|"
              "ncdu scan file (JSON) (*.json)|*.json");
    for (const auto& [index, valid] : {std::pair{1, 1}, {6, 6}, {0, 1}, {7, 1}, {-3, 1}})
        EXPECT_EQ(ValidFilterIndex(index), valid) << index;
}

using EveryFormat = TestWithParam<FormatRow>;

// A deep tree must not make the walk recurse on the stack. Formats that repeat the path on every
// line grow quadratically with depth, so they get a shallower tree.
TEST_P(EveryFormat, LocalDrivesAndDeepTreesExportEveryDirectory) {
    const TExportClass& format = Format(GetParam().command);
    TFixedDrivesNode drives({"/", "/home"});
    auto* home = dynamic_cast<TGroupNode*>(Child(&drives, "/home"));
    ASSERT_NE(home, nullptr);
    Dir(home, "alice", 50, 2);
    EXPECT_NE(ExportText(format, &drives).find(GetParam().drive), std::string::npos);

    const int depth = GetParam().command.starts_with("xml") ? 10000 : 1000;
    TRootDirNode root;
    root.SetName("/r");
    TGroupNode* parent = &root;
    for (int i = 0; i < depth; ++i)
        parent = Dir(parent, "d", 1, 1);
    const std::string text = ExportText(format, &root);
    int rows = 0;
    for (auto at = text.find(GetParam().deep); at != std::string::npos;
         at = text.find(GetParam().deep, at + 1))
        ++rows;
    EXPECT_EQ(rows, depth);
}

// The file is replaced only once the whole text is written: a failed write, cut short by a file-size
// limit, keeps the previous file and leaves no temporary; a folder in the way is reported to the
// user and left as it was.
TEST_P(EveryFormat, FileExportReplacesTheTargetAllOrNothing) {
    const TExportClass& format = Format(GetParam().command);
    TempTree dir;
    const std::string path = dir / ("out" + GetParam().extension);
    std::ofstream(path, std::ios::binary) << "previous";
    TRootDirNode big;
    big.SetName("/r");
    for (int i = 0; i < 20000; ++i)
        Dir(&big, "directory-" + std::to_string(i), i, 1);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_THAT([&] { format.Create(&big)->ExportToFile(path); },
                ThrowsMessage<EExportError>("Stream write error: " + path + ": File too large"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(ReadFile(path), "previous");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    WorkedExample tree;
    format.Create(&tree.root)->ExportToFile(path);
    EXPECT_EQ(WithoutTime(ReadFile(path)),
              WithoutTime(ExportText(format, &tree.root, nullptr, LocaleDecimalSeparator())));

    const std::string taken = dir / "taken";
    dir.Dir("taken");
    std::ofstream(taken + "/inside", std::ios::binary) << "previous";
    std::vector<std::string> shown;
    const auto previous = SetErrorDialogHandler([&](const std::string& text) { shown.push_back(text); });
    EXPECT_FALSE(SaveExportToFile(format, &tree.root, taken, 0));
    SetErrorDialogHandler(previous);
    EXPECT_THAT(shown, ElementsAre(StartsWith("Cannot create file " + taken)));
    EXPECT_EQ(ReadFile(taken + "/inside"), "previous");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);

    // A link keeps pointing at the file it names; a named pipe (like /dev/stdout) is written in place.
    dir.Link(path, "link");
    format.Create(&tree.root)->ExportToFile(dir / "link");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    format.Create(&tree.root)->ExportToFile(fifo);
    reader.join();
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(WithoutTime(received), WithoutTime(ReadFile(path)));
}

// On a full disk even a small export, which the writer's buffer holds whole until the end, fails:
// the one write, made when the file is closed, is refused, and that must not pass as success.
TEST_P(EveryFormat, FullDiskFailsTheLastWriteAndKeepsThePreviousFile) {
    const TinyTmpfs disk;
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Refusal();
    const std::string path = disk / ("out" + GetParam().extension);
    std::ofstream(path, std::ios::binary) << "previous";
    disk.Fill();
    WorkedExample tree;
    EXPECT_THAT([&] { Format(GetParam().command).Create(&tree.root)->ExportToFile(path); },
                ThrowsMessage<EExportError>("Stream write error: " + path + ": No space left on device"));
    EXPECT_EQ(ReadFile(path), "previous");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.Path()), {}), 2)
        << "the old file and the filler, no temporary";
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& param) { return param.param.command; });

// Children hooks run for a list of files only, not for an empty list; dialect 2 writes nothing for them.
TEST(ExportWalk, FileOnlyChildListGetsAnEmptyChildrenPair) {
    TRootDirNode root;
    root.SetName("/r");
    File(Dir(&root, "listed", 4, 1), "f", 4);
    Dir(&root, "unlisted", 4, 1);
    EXPECT_NE(ExportText(Format("xml"), &root)
                  .find("<name>listed</name><size>4</size><count>1</count><subdirs></subdirs></dir>"
                        "<dir><name>unlisted</name><size>4</size><count>1</count></dir>"),
              std::string::npos);
    EXPECT_NE(ExportText(Format("xml2"), &root)
                  .find("<dir name=\"listed\" size=\"4\" filecount=\"1\"></dir><dir name=\"unlisted\""),
              std::string::npos);
}

TEST(ExportWalk, AFolderAStoppedScanNeverReadIsNotWrittenAsEmpty) {
    TRootDirNode root;
    root.SetName("/r");
    Dir(&root, "read", 4, 1);
    AddDirNode(&root, "skipped", faDirectory)->SetFlag(nfIncomplete, true);
    EXPECT_NE(ExportText(Format("csv"), &root).find("/r/skipped,,\r\n"), std::string::npos);
    const std::string tree = ExportText(Format("txt"), &root);
    EXPECT_NE(tree.find("skipped   (not scanned)"), std::string::npos) << tree;
    EXPECT_NE(tree.find("read   (4, 1 File)"), std::string::npos) << tree;
    EXPECT_NE(ExportText(Format("html"), &root).find("/r/skipped</td><td align=\"right\"><i>not scanned</i>"),
              std::string::npos);
}

} // namespace
