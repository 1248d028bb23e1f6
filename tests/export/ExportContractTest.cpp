// Behaviour every format shares, run over each registered exporter.

#include "ExportFixtures.h"

#include "export/ExportAction.h"
#include "support/ErrorDialogs.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <QDir>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

struct FormatRow {
    std::string command;
    std::string extension;
    std::string description;
    int defaultRounding;
};

const FormatRow kFormats[] = {
    {"csv", ".csv", "CSV (Comma separated)", 0}, {"txt", ".txt", "Text File (Tree Structure)", 2},
    {"html", ".html", "HTML File", 2},           {"xml", ".xml", "XML File", 0},
    {"xml2", ".xml", "XML File v2.0", 0},
};

TEST(ExportRegistry, HoldsTheFiveFormatsInDialogOrder) {
    ASSERT_EQ(ExportRegistry().Count(), 5);
    for (int i = 0; i < 5; ++i) {
        const TExportClass& format = ExportRegistry().Items(i);
        SCOPED_TRACE(kFormats[i].command);
        EXPECT_EQ(format.GetCommandName(), kFormats[i].command);
        EXPECT_EQ(ExportRegistry().ExtensionAt(i), kFormats[i].extension);
        EXPECT_EQ(format.GetDescription(), kFormats[i].description);
        EXPECT_EQ(format.GetDefaultSizeRounding(), kFormats[i].defaultRounding);
    }
    EXPECT_THROW(ExportRegistry().Items(5), std::out_of_range);
}

TEST(ExportRegistry, DialogFilterHasTextAndPatternPerFormat) {
    EXPECT_EQ(ExportRegistry().GetDialogFilter(),
              "CSV (Comma separated) (*.csv)|*.csv|Text File (Tree Structure) (*.txt)|*.txt|"
              "HTML File (*.html)|*.html|XML File (*.xml)|*.xml|XML File v2.0 (*.xml)|*.xml");
}

TEST(ExportRegistry, FilterIndexOutsideTheFormatsFallsBackToTheFirst) {
    EXPECT_EQ(ValidFilterIndex(1), 1);
    EXPECT_EQ(ValidFilterIndex(5), 5);
    EXPECT_EQ(ValidFilterIndex(0), 1);
    EXPECT_EQ(ValidFilterIndex(6), 1);
    EXPECT_EQ(ValidFilterIndex(-3), 1);
}

TEST(ExportRegistry, SizeFormatterFollowsRoundingOnlyForReadableFormats) {
    for (const FormatRow& row : kFormats) {
        SCOPED_TRACE(row.command);
        const TExportClass& format = Format(row.command);
        const TSizeFormatter rounded = &FormatSizeRounded;
        const TSizeFormatter truncated = &FormatSizeTruncated;
        EXPECT_EQ(ExportSizeFormatter(format, 0), nullptr);
        EXPECT_EQ(ExportSizeFormatter(format, 7), nullptr);
        EXPECT_EQ(ExportSizeFormatter(format, 1), row.defaultRounding == 2 ? rounded : nullptr);
        EXPECT_EQ(ExportSizeFormatter(format, 2), row.defaultRounding == 2 ? truncated : nullptr);
    }
}

class EveryFormat : public ::testing::TestWithParam<FormatRow> {
protected:
    const TExportClass& Class() const { return Format(GetParam().command); }
};

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

TEST_P(EveryFormat, FilesAndFileGroupsWriteNothing) {
    TRootDirNode bare;
    bare.SetName("/r");
    Dir(&bare, "sub", 10, 1);
    const std::string without = ExportText(Class(), &bare);

    TRootDirNode withFiles;
    withFiles.SetName("/r");
    File(&withFiles, "zfile", 5);
    Dir(&withFiles, "sub", 10, 1);
    GetFileGroup(&withFiles)->SetSize(3);
    File(GetFileGroup(&withFiles), "zgrouped", 3);
    const std::string with = ExportText(Class(), &withFiles);

    EXPECT_EQ(with.find("zfile"), std::string::npos);
    EXPECT_EQ(with.find("zgrouped"), std::string::npos);
    EXPECT_EQ(with, without);
}

TEST_P(EveryFormat, LocalDrivesExportEachDriveUnderItsMountPoint) {
    TFixedDrivesNode drives({"/", "/home"});
    std::vector<TRootDirNode*> children;
    {
        TChildrenLock guard(&drives);
        for (const auto& child : guard.Children())
            children.push_back(static_cast<TRootDirNode*>(child.get()));
    }
    ASSERT_EQ(children.size(), 2u);
    children[0]->SetSize(100);
    Dir(children[1], "alice", 50, 2);
    const std::string text = ExportText(Class(), &drives);
    const std::string command = GetParam().command;
    if (command == "csv") {
        EXPECT_NE(text.find("\r\n/,100,0\r\n"), std::string::npos);
        EXPECT_NE(text.find("\r\n/home/alice,50,2\r\n"), std::string::npos);
    } else if (command == "txt") {
        EXPECT_NE(text.find("\r\n       |-- /   ("), std::string::npos);
        EXPECT_NE(text.find("\r\n       `-- /home   ("), std::string::npos);
    } else if (command == "html") {
        EXPECT_NE(text.find("<td>/home/alice</td>"), std::string::npos);
    } else if (command == "xml") {
        EXPECT_NE(text.find("<name>/home</name>"), std::string::npos);
    } else {
        EXPECT_NE(text.find("<dir name=\"/home\""), std::string::npos);
    }
}

// Ten thousand levels: the walk must not recurse on the stack. Formats that repeat the path on
// every line grow quadratically with depth, so they get a shallower tree.
TEST_P(EveryFormat, DeepTreeExportsEveryLevel) {
    const std::string command = GetParam().command;
    const int kDepth = command.starts_with("xml") ? 10000 : 1000;
    TRootDirNode root;
    root.SetName("/r");
    TGroupNode* at = &root;
    for (int i = 0; i < kDepth; ++i)
        at = Dir(at, "d", 1, 1);
    const std::string text = ExportText(Class(), &root);
    const std::string row = command == "csv"    ? ",1,1\r\n"
                            : command == "txt"  ? "-- d   ("
                            : command == "html" ? "<tr bgcolor"
                            : command == "xml"  ? "<name>d</name>"
                                                : "<dir name=\"d\"";
    EXPECT_EQ(Occurrences(text, row), static_cast<std::size_t>(command == "html" ? kDepth + 2 : kDepth));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_P(EveryFormat, FileExportReplacesTheTargetWithTheStreamText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/out" + GetParam().extension;
    std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
    WorkedExample tree;
    Class().Create(&tree.root)->ExportToFile(path);
    EXPECT_EQ(ReadFile(path), ExportText(Class(), &tree.root, nullptr, LocaleDecimalSeparator()));
}

// A target that cannot be replaced (here a folder of that name, which also holds for root) fails
// before anything is written and leaves the folder as it was.
TEST_P(EveryFormat, TargetThatCannotBeCreatedIsReportedAndLeftAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/taken" + GetParam().extension;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromStdString("taken" + GetParam().extension)));
    std::ofstream(path + "/inside", std::ios::binary) << "previous";
    WorkedExample tree;
    try {
        Class().Create(&tree.root)->ExportToFile(path);
        ADD_FAILURE() << "export over a folder succeeded";
    } catch (const EExportError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot create file " + path, 0), 0u) << error.what();
    }
    EXPECT_EQ(ReadFile(path + "/inside"), "previous");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
}

// A file-size limit makes writes fail part-way, as a full disk would.
TEST_P(EveryFormat, FileWriteFailurePartWayKeepsThePreviousFileAndLeavesNoTemporary) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/big" + GetParam().extension;
    std::ofstream(path, std::ios::binary) << "previous";
    TRootDirNode root;
    root.SetName("/r");
    for (int i = 0; i < 20000; ++i)
        Dir(&root, "directory-" + std::to_string(i), i, 1);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool failed = false;
    try {
        Class().Create(&root)->ExportToFile(path);
    } catch (const EExportError& error) {
        failed = true;
        EXPECT_NE(std::string(error.what()).find("Stream write error"), std::string::npos) << error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadFile(path), "previous");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& param) { return param.param.command; });

} // namespace

namespace {

// A named pipe (like /dev/stdout) is written in place, never replaced by a regular file.
TEST(ExportToFile, SpecialFileIsWrittenInPlace) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string fifo = dir.path().toStdString() + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    WorkedExample tree;
    Format("csv").Create(&tree.root)->ExportToFile(fifo);
    reader.join();
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(received, ExportText(Format("csv"), &tree.root));
}

TEST(ExportToFile, SymbolicLinkKeepsPointingAtTheReplacedFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string target = dir.path().toStdString() + "/real.csv";
    const std::string link = dir.path().toStdString() + "/link.csv";
    std::ofstream(target, std::ios::binary) << "previous";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    WorkedExample tree;
    Format("csv").Create(&tree.root)->ExportToFile(link);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), ExportText(Format("csv"), &tree.root));
}

} // namespace

namespace {

// Children hooks run for a list of files only, not for an empty list; dialect 2 writes nothing for them.
TEST(ExportWalk, FileOnlyChildListGetsAnEmptyChildrenPair) {
    TRootDirNode root;
    root.SetName("/r");
    File(Dir(&root, "listed", 4, 1), "f", 4);
    Dir(&root, "unlisted", 4, 1);
    const std::string xml = ExportText(Format("xml"), &root);
    EXPECT_NE(xml.find("<name>listed</name><size>4</size><count>1</count><subdirs></subdirs></dir>"),
              std::string::npos);
    EXPECT_NE(xml.find("<name>unlisted</name><size>4</size><count>1</count></dir>"), std::string::npos);
    EXPECT_NE(ExportText(Format("xml2"), &root)
                  .find("<dir name=\"listed\" size=\"4\" filecount=\"1\"></dir><dir name=\"unlisted\""),
              std::string::npos);
}

TEST(ExportAction, FailureReachesTheUserThroughTheErrorHook) {
    std::vector<std::string> shown;
    const auto previous = SetErrorDialogHandler([&](const std::string& text) { shown.push_back(text); });
    WorkedExample tree;
    const bool saved = SaveExportToFile(Format("html"), &tree.root, "/nonexistent-folder/x/out", 2);
    SetErrorDialogHandler(previous);
    EXPECT_FALSE(saved);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Cannot create file /nonexistent-folder/x/out", 0), 0u);
}

} // namespace
