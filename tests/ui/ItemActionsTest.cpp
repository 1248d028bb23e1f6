// The items of the tree as the user acts on them: opening a file, showing it in the file manager, the
// system-file question and the menu of a right click, with the desktop replaced by a recorder.

#include "FormMainFixture.h"

#include "support/PathShortening.h"
#include "support/PathText.h"

#include <QClipboard>
#include <QMenu>
#include <QMimeData>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include <climits>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::BoxAnswers;
using testing::DoubleClick;
using testing::FileGroupIn;
using testing::FormMainTest;
using testing::TempTree;

constexpr long long kBig = 2 << 20; // above the grouping threshold: the file gets its own row

struct LogLines : log4cplus::Appender {
    ~LogLines() override { destructorImpl(); }
    void close() override {}
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        lines.push_back(event.getMessage());
    }
    std::vector<std::string> lines;
};

// The program's log lines, at every level, while it lives.
class LogCapture {
public:
    LogCapture() {
        logger_.setLogLevel(log4cplus::DEBUG_LOG_LEVEL);
        logger_.addAppender(appender_);
    }
    ~LogCapture() {
        logger_.removeAppender(appender_);
        logger_.setLogLevel(log4cplus::NOT_SET_LOG_LEVEL);
    }
    const std::vector<std::string>& Lines() const { return lines_->lines; }

private:
    LogLines* lines_ = new LogLines; // the appender's reference count owns it
    log4cplus::SharedAppenderPtr appender_{lines_};
    log4cplus::Logger logger_ = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex"));
};

class ItemOpen : public FormMainTest {
protected:
    ItemOpen() {
        // Shown (the platform is offscreen) and active, so that shortcuts reach it.
        form_.show();
        form_.activateWindow();
        form_.SetShellLauncher(recorder_.Launcher());
    }

    QModelIndex Select(const std::string& path) { return SelectOnly(form_, Node(form_, path)); }
    bool Enabled(const char* action) const { return form_.findChild<QAction*>(action)->isEnabled(); }

    TempTree data_;
    TFormMain form_{settings_};
    testing::LaunchRecorder recorder_;
};

TEST_F(ItemOpen, SystemFilesAskFirstAndOnlyYesLaunchesTheExactBytes) {
    data_.File("drv.SYS", kBig);
    data_.File("a.sysx", kBig);
    data_.File("n\xff\xe9.sys", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));

    BoxAnswers answers(QMessageBox::No);
    const auto open = [&](const std::string& path, QMessageBox::StandardButton answer) {
        Select(path);
        answers.answer = answer;
        Trigger(form_, "ActShellOpenFile");
    };
    open(data_ / "drv.SYS", QMessageBox::No);
    EXPECT_TRUE(recorder_.opened.empty());
    open(data_ / "drv.SYS", QMessageBox::Yes);
    EXPECT_EQ(answers.texts,
              std::vector<std::string>(2, "You are trying to open a system file (drv.SYS). Are you sure "
                                          "you want to continue?"));
    // Only the last extension counts; a name that is not UTF-8 still opens by its bytes.
    open(data_ / "a.sysx", QMessageBox::No);
    open(data_ / "n\xff\xe9.sys", QMessageBox::Yes);
    ASSERT_EQ(answers.texts.size(), 3u);
    EXPECT_EQ(answers.texts.back().rfind("You are trying to open a system file (n", 0), 0u);
    EXPECT_EQ(recorder_.opened,
              (std::vector<std::string>{data_ / "drv.SYS", data_ / "a.sysx", data_ / "n\xff\xe9.sys"}));

    // Device nodes and pipes carry the system attribute.
    settings_.SetGroupSmallFiles(false);
    ASSERT_EQ(::mkfifo((data_ / "pipe").c_str(), 0644), 0);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    open(data_ / "pipe", QMessageBox::No);
    EXPECT_EQ(answers.texts.size(), 4u);
    EXPECT_EQ(recorder_.opened.size(), 3u);
}

TEST_F(ItemOpen, AFailedLaunchIsLoggedWithItsCodeAndShownWithItsMessageAlone) {
    data_.File("report.odt", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    Select(data_ / "report.odt");
    recorder_.openResult = {false, 2, "No application is registered as handling this file"};
    const LogCapture log;
    Trigger(form_, "ActShellOpenFile");
    recorder_.openResult = {true, 0, {}};
    Trigger(form_, "ActShellOpenFile");
    // Showing the folder fails as visibly, with nothing to fall back on.
    recorder_.exploreResult = {false, 0,
                               "No application other than Quorvex is registered to open this item."};
    Trigger(form_, "ActOpenInExplorer");
    EXPECT_EQ(errors_, (std::vector<std::string>{"No application is registered as handling this file",
                                                 recorder_.exploreResult.Message}));
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "open report.odt", "Error 2: No application is registered as handling this file",
                  "open report.odt", "report.odt opened", "Error 0: " + recorder_.exploreResult.Message}));
}

// Enter and a double click open a file row and nothing else; Ctrl+E shows a file selected, a directory
// opened and a file group's folder.
TEST_F(ItemOpen, EnterDoubleClickAndCtrlEReachTheDesktopForTheRightRows) {
    data_.Dir("sub");
    data_.File("sub/inner.bin", kBig);
    data_.File("sub/small1", 10);
    data_.File("sub/small2", 20);
    data_.File("movie.mkv", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    TNodeTreeView& view = *form_.TreeView();
    view.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));

    Select(data_ / "movie.mkv");
    QTest::keyClick(&view, Qt::Key_Return);
    DoubleClick(view.viewport(), view.visualRect(Select(data_ / "sub/inner.bin")).center());
    Select(data_ / "sub");
    QTest::keyClick(&view, Qt::Key_Return);
    DoubleClick(view.viewport(), view.visualRect(Select(data_ / "sub")).center());
    EXPECT_TRUE(recorder_.explored.empty());

    const TFileSystemNode* group = FileGroupIn(Dir(form_, data_ / "sub"));
    ASSERT_NE(group, nullptr);
    for (const TFileSystemNode* node : std::initializer_list<const TFileSystemNode*>{
             Node(form_, data_ / "sub/inner.bin"), Node(form_, data_ / "sub"), group}) {
        SelectOnly(form_, node);
        QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);
    }
    EXPECT_EQ(recorder_.explored,
              (std::vector<std::pair<std::string, bool>>{
                  {data_ / "sub/inner.bin", false}, {data_ / "sub", true}, {data_ / "sub", true}}));
    EXPECT_EQ(recorder_.opened, (std::vector<std::string>{data_ / "movie.mkv", data_ / "sub/inner.bin"}));
}

TEST_F(ItemOpen, TheActionsFollowTheFirstSelectedRowInTreeOrder) {
    data_.Dir("sub");
    data_.File("sub/x.bin", 4 * kBig);
    data_.File("large.bin", 3 * kBig);
    data_.File("small.bin", kBig);
    ASSERT_TRUE(Scan(form_, data_.Path()));
    TNodeTreeView& view = *form_.TreeView();

    const auto enabled = [this] {
        return std::pair{Enabled("ActShellOpenFile"), Enabled("ActOpenInExplorer")};
    };
    Select(data_ / "sub");
    EXPECT_EQ(enabled(), std::pair(false, true));
    Select(data_ / "large.bin");
    EXPECT_EQ(enabled(), std::pair(true, true));
    view.clearSelection();
    EXPECT_EQ(enabled(), std::pair(false, false));

    // Largest first: "large.bin" is shown above "small.bin" though it was selected after it, and "sub"
    // above both.
    const QModelIndex small = Select(data_ / "small.bin");
    const QModelIndex large = form_.TreeModel()->IndexOf(Node(form_, data_ / "large.bin"));
    ASSERT_LT(view.visualRect(large).top(), view.visualRect(small).top());
    view.selectionModel()->select(large, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Trigger(form_, "ActShellOpenFile");
    EXPECT_EQ(recorder_.opened, std::vector<std::string>{data_ / "large.bin"});
    // A directory shown above a selected file: there is nothing to open.
    view.selectionModel()->select(form_.TreeModel()->IndexOf(Node(form_, data_ / "sub")),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_FALSE(Enabled("ActShellOpenFile"));
}

TEST(ShortenPathToWidth, CutsLeadingDirectoriesOneAtATimeDownToTheNameAlone) {
    const auto bytes = [](const std::string& text) { return static_cast<int>(text.size()); };
    const std::tuple<std::string, int, std::string> cases[] = {
        {"/home/u/file.txt", 16, "/home/u/file.txt"},
        {"/a/b/c/name", 10, "/.../name"}, // the first cut, "/.../b/c/name", is longer still
        {"/aaaa/bbbb/cc/name", 16, "/.../cc/name"},
        {"/a/b/c/name", 8, ".../name"},
        {"/dir/a-name-wider-than-the-limit", 5, "a-name-wider-than-the-limit"},
        {"/home/user/projects/", 14, "/.../projects/"}, // a file group's directory: no name
        {"/.\xC3\xA9"
         "a/b/x",
         8, "/.../x"}, // a leading "." part loses four characters, not bytes
    };
    for (const auto& [path, width, expected] : cases)
        EXPECT_EQ(ShortenPathToWidth(path, width, bytes), expected) << path << " in " << width;
    // Whatever the path looks like, the loop ends, with the name alone when nothing fits.
    const auto nothingFits = [](const std::string&) { return INT_MAX; };
    for (const std::string path :
         {"/", "////x", "/.../", ".../", "...", "/./././y", "a/b/", "/\xFF/\x80\x80/n"})
        EXPECT_EQ(ShortenPathToWidth(path, 0, nothingFits), path.substr(path.rfind('/') + 1)) << path;
}

// A shown window over a real scan: docs/ with one large file, and a directory too deep for the
// file-group caption, holding a large file and a group of small ones.
class ItemMenu : public FormMainTest {
protected:
    static constexpr const char* kDeep = "a fairly long directory name, the first/a second one \xC3\xA9/r&d";

    void SetUp() override {
        data_.Dir("docs");
        data_.File("docs/report.bin", 3 << 20);
        data_.Dir("caf\xe9"); // Latin-1, not UTF-8
        for (const std::string_view dir(kDeep); const auto end : {dir.find('/'), dir.rfind('/'), dir.npos})
            data_.Dir(std::string(dir.substr(0, end)));
        for (const auto& [name, size] : {std::pair{"/big.bin", 2 << 20}, {"/s1", 100}, {"/s2", 100}})
            data_.File(kDeep + std::string(name), size);
        form_.setAttribute(Qt::WA_DontShowOnScreen);
        form_.show();
        ASSERT_TRUE(Scan(form_, data_.Path()));
    }

    TFileSystemNode* Node(const std::string& relative) const {
        return FormMainTest::Node(form_, data_ / relative);
    }
    QMenu* RightClick(const TFileSystemNode* node) const { return FormMainTest::RightClick(form_, node); }
    static QAction* Entry(const QMenu& menu, const char* name) {
        return menu.findChild<QAction*>(QString::fromLatin1(name));
    }
    // The menu's entries by caption or by object name, "-" for a separator.
    static QStringList Layout(const QMenu& menu, QString (QAction::*label)() const) {
        QStringList entries;
        for (const QAction* action : menu.actions())
            entries << (action->isSeparator() ? QStringLiteral("-") : (action->*label)());
        return entries;
    }

    TempTree data_;
    TFormMain form_{settings_};
};

TEST_F(ItemMenu, DirectoriesAndFilesGetTheItemActionsAndCopyPathCopiesTheClickedOne) {
    QMenu* menu = RightClick(Node("docs"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Layout(*menu, &QAction::text),
              QStringList({"&Open", "Open in file &manager", "&Copy path", "&Rescan directory", "-",
                           "Move to &trash", "Delete &permanently"}));
    EXPECT_FALSE(Entry(*menu, "ItemMenuOpen")->isEnabled()) << "a directory is not opened";
    EXPECT_TRUE(Entry(*menu, "ItemMenuRescan")->isEnabled());
    const bool deletable = form_.findChild<QAction*>("ActDelete")->isEnabled();
    EXPECT_EQ(Entry(*menu, "ItemMenuMoveToTrash")->isEnabled(), deletable);
    EXPECT_EQ(Entry(*menu, "ItemMenuDeletePermanently")->isEnabled(), deletable);
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_EQ(form_.ItemMenu(), nullptr);
    const QWidget& rows = *form_.TreeView()->viewport();
    QTest::mouseClick(form_.TreeView()->viewport(), Qt::RightButton, {},
                      {rows.width() / 2, rows.height() - 2});
    EXPECT_EQ(form_.ItemMenu(), nullptr) << "below the last row, no menu for the row focused before";

    const std::string file = kDeep + std::string("/big.bin");
    menu = RightClick(Node(file));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(Entry(*menu, "ItemMenuOpen")->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(Entry(*menu, "ItemMenuCopyPath")).center());
    EXPECT_EQ(form_.ItemMenu(), nullptr) << "choosing closes the menu";
    const QClipboard& clipboard = *QGuiApplication::clipboard();
    EXPECT_EQ(clipboard.text().toStdString(), data_ / file) << "the clicked row's path, '&' and all";
    if (clipboard.supportsSelection()) {
        EXPECT_EQ(clipboard.text(QClipboard::Selection).toStdString(), data_ / file);
    }

    // From the keyboard: the Menu key and Shift+F10 open the menu of the current row.
    TNodeTreeView& view = *form_.TreeView();
    const TFileSystemNode* latin1 = Node("caf\xe9");
    ASSERT_TRUE(view.SelectNode(latin1));
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Menu);
    ASSERT_NE(form_.ItemMenu(), nullptr);
    QTest::keyClick(form_.ItemMenu(), Qt::Key_Escape);
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    menu = form_.ItemMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(view.FocusedNode(), latin1);
    // The text cannot hold the name's bytes; the file URL beside it does.
    Entry(*menu, "ItemMenuCopyPath")->trigger();
    const QMimeData* copied = clipboard.mimeData();
    ASSERT_TRUE(copied->hasFormat("text/uri-list"));
    const QByteArray uri = copied->data("text/uri-list");
    EXPECT_TRUE(uri.endsWith("/caf%E9\r\n")) << uri.toStdString();
    EXPECT_EQ(QByteArray::fromPercentEncoding(uri.mid(7).chopped(2)).toStdString(), data_ / "caf\xe9");
    QTest::keyClick(menu, Qt::Key_Escape);
}

TEST_F(ItemMenu, AFileGroupGetsTheShortMenuNamingItsDirectoryShortenedAndLocalDrivesNone) {
    const TFileSystemNode* group = FileGroupIn(static_cast<TGroupNode*>(Node(kDeep)));
    ASSERT_NE(group, nullptr);
    QMenu* menu = RightClick(group);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "PopupTree");
    EXPECT_EQ(Layout(*menu, &QAction::objectName),
              QStringList({"PopupMenuItemSelectedPath", "-", "ActOpenInExplorer", "ActRefreshNode"}));
    EXPECT_FALSE(menu->actions().front()->isEnabled());
    // The directory, not the group's name, cut to fit; its "&" is shown rather than taken for a mnemonic.
    const QString caption = menu->actions().front()->text();
    EXPECT_TRUE(caption.startsWith("/.../") && caption.endsWith("/r&&d/")) << caption.toStdString();
    const QFontMetrics metrics(form_.font());
    ASSERT_GT(metrics.horizontalAdvance(DecodePath(data_ / kDeep)), 300) << "the fixture must need cutting";
    EXPECT_LE(metrics.horizontalAdvance(QString(caption).replace("&&", "&")), 300);
    QTest::keyClick(menu, Qt::Key_Escape);

    ASSERT_TRUE(Await(form_, [&] {
        form_.StartFixedDrivesScan();
        form_.StopScan();
    }));
    ASSERT_EQ(form_.RootNode()->GetNodeType(), ntFixedDrives);
    EXPECT_EQ(RightClick(form_.RootNode()), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

} // namespace
} // namespace quorvex
