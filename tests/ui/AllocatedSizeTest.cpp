// The window's Allocated size toggle and its hard-link setting, through the real action.

#include "FormMainFixture.h"

#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::FormMainTest;
using testing::ReadAll;
using testing::TempTree;
using testing::Text;

void WriteBytes(const std::string& path, std::size_t count, off_t at = 0) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string data(count, 'q');
    ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), static_cast<ssize_t>(data.size()));
    ::close(fd);
}

std::int64_t Blocks(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

// The action as the user reaches it: in the menu bar, not only as an object of the window.
QAction* MenuAction(const TFormMain& form, const char* name) {
    for (QAction* menu : form.menuBar()->actions()) {
        if (menu->menu() == nullptr)
            continue;
        for (QAction* action : menu->menu()->actions()) {
            if (action->objectName() == QLatin1String(name))
                return action;
        }
    }
    return nullptr;
}

TEST_F(FormMainTest, AllocatedSizeToggleChangesEverySizeAtOnceAndIsRemembered) {
    TempTree data;
    // Longest by length, smallest on the disk: the two orders differ.
    data.Dir("sparse");
    WriteBytes(data / "sparse/file", 4096, 64 << 20);
    data.Dir("dense");
    WriteBytes(data / "dense/file", 1 << 20);
    // A file of the root: listed as a row of its own, with the size it has on the disk.
    WriteBytes(data / "loose", 8192, 32 << 20);
    const std::int64_t sparseBlocks = Blocks(data / "sparse/file");
    const std::int64_t denseBlocks = Blocks(data / "dense/file");
    const std::int64_t looseBlocks = Blocks(data / "loose");
    ASSERT_LT(sparseBlocks, denseBlocks) << "the file system here keeps no sparse files";
    TempTree out;
    {
        TFormMain form(settings_);
        ASSERT_TRUE(Scan(form, data.Path()));
        const TNodeTreeModel& model = *form.TreeModel();
        const QModelIndex root = model.index(0, 0);
        ASSERT_EQ(Text(model, 0, 0, root), "sparse");
        QAction* toggle = MenuAction(form, "ActAllocatedSize");
        ASSERT_NE(toggle, nullptr);
        EXPECT_FALSE(toggle->isChecked());

        toggle->trigger();
        EXPECT_TRUE(toggle->isChecked());
        EXPECT_EQ(Text(model, 0, 0, root), "dense") << "the sort follows";
        EXPECT_EQ(Text(model, 0, TNodeTreeModel::colSize, root).toStdString(),
                  FormatSizeTruncated(denseBlocks));
        const QModelIndex dense = model.index(0, TNodeTreeModel::colPercent, root);
        EXPECT_EQ(dense.data(TNodeTreeModel::SizeRole).toLongLong(), denseBlocks) << "the bars follow";
        EXPECT_EQ(dense.data(TNodeTreeModel::RootSizeRole).toLongLong(),
                  sparseBlocks + denseBlocks + looseBlocks);
        EXPECT_EQ(Text(model, 1, 0, root), "loose");
        EXPECT_EQ(Text(model, 1, TNodeTreeModel::colSize, root).toStdString(),
                  FormatSizeTruncated(looseBlocks));
        form.TreeView()->setCurrentIndex(model.index(0, 0, root));
        EXPECT_TRUE(form.StatusText(1).startsWith(QString::fromStdString(FormatCount(denseBlocks))))
            << form.StatusText(1).toStdString();

        form.SetSaveFileDialog([&](QWidget*, const TSaveFileRequest&) {
            return std::optional(TSaveFileChoice{out / "result.xml", 4});
        });
        ASSERT_EQ(form.SaveScanResultAction(), TSaveResult::Saved);
        EXPECT_NE(ReadAll(out / "result.xml").find("<size>" + std::to_string(denseBlocks) + "</size>"),
                  std::string::npos);
        form.close();
    }
    EXPECT_NE(ReadAll(ini_).find("AllocatedSize=1"), std::string::npos) << ReadAll(ini_);
    TSettings again(ini_);
    TFormMain form(again);
    EXPECT_TRUE(MenuAction(form, "ActAllocatedSize")->isChecked());
}

TEST_F(FormMainTest, HardLinkSettingCountsAFileOnceInTheWindowsScans) {
    TempTree data;
    data.Dir("a");
    data.Dir("b");
    WriteBytes(data / "a/file", 30000);
    ASSERT_EQ(::link((data / "a/file").c_str(), (data / "b/file").c_str()), 0);
    settings_.SetHardLinksOnce(true);
    TFormMain form(settings_);
    ASSERT_TRUE(Scan(form, data.Path()));
    EXPECT_EQ(form.RootNode()->GetSize(), 30000);
    EXPECT_EQ(form.RootNode()->GetFileCount(), 1);
}

} // namespace
} // namespace quorvex
