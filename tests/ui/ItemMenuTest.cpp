// The menu of a right click on a tree row, and the path shortening its file-group caption uses.

#include "FormMainFixture.h"

#include "support/PathShortening.h"
#include "support/PathText.h"
#include "ui/NodeTreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include <climits>

namespace quorvex {
namespace {

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
class ItemMenu : public testing::FormMainTest {
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

    // Files become nodes once their directory's rows are published.
    TFileSystemNode* Node(const std::string& relative) const {
        if (const auto slash = relative.rfind('/'); slash != std::string::npos) {
            const TFileSystemNode* dir = Node(relative.substr(0, slash));
            form_.TreeView()->RefreshNode(dir);
            form_.TreeModel()->fetchMore(form_.TreeModel()->IndexOf(dir));
        }
        return FindNodeByPath(form_.RootNode(), data_ / relative);
    }
    // What the user does: a right click in the middle of the node's row.
    QMenu* RightClick(const TFileSystemNode* node) {
        form_.TreeView()->RefreshNode(node);
        const QRect row = form_.TreeView()->visualRect(form_.TreeModel()->IndexOf(node));
        QTest::mouseClick(form_.TreeView()->viewport(), Qt::RightButton, {}, row.center());
        return form_.ItemMenu();
    }
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

    testing::TempTree data_;
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
    menu = form_.ItemMenu();
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_Escape);
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
    const auto* dir = static_cast<TGroupNode*>(Node(kDeep));
    const TFileSystemNode* group = testing::FileGroupIn(dir);
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
