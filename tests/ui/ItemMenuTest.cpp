// The menu of a right click on a tree row, and the path shortening its file-group caption uses.

#include "FormMainFixture.h"

#include "support/PathShortening.h"
#include "support/PathText.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMenu>
#include <QTest>

#include <climits>

namespace quorvex {
namespace {

using testing::FormMainTest;
using testing::TempTree;

int OnePixelPerByte(const std::string& text) {
    return static_cast<int>(text.size());
}

TEST(ShortenPathToWidth, CutsLeadingDirectoriesOneAtATimeAndKeepsTheName) {
    struct Case {
        std::string path;
        int width;
        std::string expected;
    };
    const Case cases[] = {
        {"/home/u/file.txt", 16, "/home/u/file.txt"},
        {"/a/b/c/name", 10, "/.../name"}, // the first cut makes it longer: "/.../b/c/name"
        {"/aaaa/bbbb/cc/name", 16, "/.../cc/name"},
        {"/a/b/c/name", 8, ".../name"},
        {"/a/b/c/name", 5, "name"},
        {"/dir/a-name-wider-than-the-limit", 5, "a-name-wider-than-the-limit"},
        // A directory part alone, as a file group's caption has it.
        {"/home/user/projects/", 14, "/.../projects/"},
        {"/home/user/projects/", 13, "/.../"},
        // A leading part that starts with "." loses four characters, not four bytes.
        {"/.\xC3\xA9"
         "a/b/x",
         8, "/.../x"},
        {"name", 1, "name"},
        {"", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortenPathToWidth(c.path, c.width, OnePixelPerByte), c.expected)
            << c.path << " in " << c.width;
}

TEST(ShortenPathToWidth, EndsWithTheNameAloneWhenNothingFitsWhateverThePathLooksLike) {
    const auto nothingFits = [](const std::string&) { return INT_MAX; };
    for (const std::string path : {"/", "//", "////x", "/.../", ".../", "...", "/./././y", "a/b/", ".",
                                   "/.../.../z", "/\xFF/\x80\x80/n", "/....../......./q"}) {
        const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
        EXPECT_EQ(ShortenPathToWidth(path, 0, nothingFits), name) << path;
    }
}

// A shown window over a real scan of: docs/ (one large file), and a deep directory whose path is
// wider than the caption allows, holding a large file and a group of small ones.
class ItemMenu : public FormMainTest {
protected:
    static constexpr const char* kDeep = "a fairly long directory name, the first/a second one \xC3\xA9/r&d";

    void SetUp() override {
        data_.Dir("docs");
        data_.File("docs/report.bin", 3 << 20);
        data_.Dir("a fairly long directory name, the first");
        data_.Dir("a fairly long directory name, the first/a second one \xC3\xA9");
        data_.Dir(kDeep);
        data_.File(std::string(kDeep) + "/big.bin", 2 << 20);
        for (const char* small : {"/s1", "/s2", "/s3"})
            data_.File(std::string(kDeep) + small, 100);
        form_.setAttribute(Qt::WA_DontShowOnScreen);
        form_.show();
        ASSERT_TRUE(Scan(form_, data_.Path()));
    }

    // Files become nodes when their directory's rows are published.
    TFileSystemNode* Node(const std::string& relative) const {
        if (const auto slash = relative.rfind('/'); slash != std::string::npos) {
            const TFileSystemNode* dir = Node(relative.substr(0, slash));
            form_.TreeView()->RefreshNode(dir);
            form_.TreeModel()->fetchMore(form_.TreeModel()->IndexOf(dir));
        }
        return FindNodeByPath(form_.RootNode(), data_ / relative);
    }
    TFileSystemNode* Group() const {
        TChildrenLock guard(static_cast<TGroupNode*>(Node(kDeep)));
        for (const auto& child : guard.Children()) {
            if (child->GetNodeType() == ntFileGroup)
                return child.get();
        }
        return nullptr;
    }

    // What the user does: a right click in the middle of the node's row.
    QMenu* RightClick(const TFileSystemNode* node) {
        TNodeTreeView& view = *form_.TreeView();
        view.RefreshNode(node);
        const QModelIndex row = form_.TreeModel()->IndexOf(node);
        EXPECT_TRUE(row.isValid());
        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, view.visualRect(row).center());
        return form_.ItemMenu();
    }
    static QAction* Entry(const QMenu& menu, const char* name) {
        return menu.findChild<QAction*>(QString::fromLatin1(name));
    }
    static void Choose(QMenu& menu, const char* name) {
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(Entry(menu, name)).center());
    }

    TempTree data_;
    TFormMain form_{settings_};
};

TEST_F(ItemMenu, ADirectoryOrFileGetsTheItemActionsOpenOnlyForAFile) {
    QMenu* menu = RightClick(Node("docs"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(form_.TreeView()->FocusedNode(), Node("docs")) << "the click focuses the row under the cursor";
    QStringList captions;
    for (const QAction* action : menu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(captions, QStringList({"&Open", "Open in file &manager", "&Copy path", "&Rescan directory", "-",
                                     "Move to &trash", "Delete &permanently"}));
    const bool deletable = form_.findChild<QAction*>("ActDelete")->isEnabled();
    for (const char* name : {"ItemMenuMoveToTrash", "ItemMenuDeletePermanently"})
        EXPECT_EQ(Entry(*menu, name)->isEnabled(), deletable) << name;
    EXPECT_FALSE(Entry(*menu, "ItemMenuOpen")->isEnabled()) << "a directory is not opened";
    EXPECT_TRUE(Entry(*menu, "ItemMenuOpenInFileManager")->isEnabled());
    EXPECT_TRUE(Entry(*menu, "ItemMenuRescan")->isEnabled());
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_EQ(form_.ItemMenu(), nullptr);

    menu = RightClick(Node(std::string(kDeep) + "/big.bin"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "ItemMenu");
    EXPECT_TRUE(Entry(*menu, "ItemMenuOpen")->isEnabled());
    QTest::keyClick(menu, Qt::Key_Escape);
}

TEST_F(ItemMenu, CopyPathPutsTheClickedItemsExactPathOnTheClipboards) {
    const std::string file = data_ / (std::string(kDeep) + "/big.bin");
    // Another row was focused before: the menu is for the row under the cursor.
    ASSERT_NE(RightClick(Node("docs")), nullptr);
    QTest::keyClick(form_.ItemMenu(), Qt::Key_Escape);
    QMenu* menu = RightClick(Node(std::string(kDeep) + "/big.bin"));
    ASSERT_NE(menu, nullptr);
    Choose(*menu, "ItemMenuCopyPath");
    EXPECT_EQ(form_.ItemMenu(), nullptr) << "choosing closes the menu";
    const QClipboard& clipboard = *QGuiApplication::clipboard();
    EXPECT_EQ(clipboard.text().toStdString(), file) << "the clicked row's path, '&' and all";
    if (clipboard.supportsSelection()) {
        EXPECT_EQ(clipboard.text(QClipboard::Selection).toStdString(), file);
    }
}

TEST_F(ItemMenu, AFileGroupGetsTheShortMenuNamingItsDirectoryShortened) {
    const TFileSystemNode* group = Group();
    ASSERT_NE(group, nullptr);
    QMenu* menu = RightClick(group);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "PopupTree");
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 4);
    const QAction* path = entries[0];
    EXPECT_EQ(path->objectName(), "PopupMenuItemSelectedPath");
    EXPECT_FALSE(path->isEnabled());
    EXPECT_TRUE(entries[1]->isSeparator());
    EXPECT_EQ(entries[2], form_.findChild<QAction*>("ActOpenInExplorer"));
    EXPECT_EQ(entries[3], form_.findChild<QAction*>("ActRefreshNode"));

    // The caption shows the directory, not the group's name; "&" is shown, not taken for a mnemonic.
    QString shown = path->text();
    EXPECT_TRUE(shown.startsWith("/.../")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/r&&d/")) << shown.toStdString();
    shown.replace("&&", "&");
    const QString full = DecodePath(data_ / kDeep) + "/";
    EXPECT_TRUE(full.endsWith(shown.mid(4))) << shown.toStdString();
    const QFontMetrics metrics(form_.font());
    ASSERT_GT(metrics.horizontalAdvance(full), 300) << "the fixture's path must need shortening";
    EXPECT_LE(metrics.horizontalAdvance(shown), 300);
    QTest::keyClick(menu, Qt::Key_Escape);
}

TEST_F(ItemMenu, LocalDrivesGetNoMenu) {
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
