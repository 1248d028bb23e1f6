#pragma once

// The main window with throw-away settings and collected errors, and the trees the window tests share.

#include "common/BoxAnswers.h"
#include "common/DialogDriver.h"
#include "common/FileText.h"
#include "common/HookedFileSystem.h"
#include "common/TempTree.h"

#include "desktop/ShellLaunch.h"
#include "i18n/ErrorDialogs.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanner.h"
#include "settings/QxSettings.h"
#include "shell/InfoPanel.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::testing {

// A tree of `dirs` x `subdirs` directories with files of varied sizes, largest under "big".
inline void MakeWideTree(const TempTree& tree, int dirs, int subdirs) {
    tree.Dir("big");
    tree.File("big/huge.bin", 3 << 20);
    tree.File("big/a.txt", 10);
    tree.File("big/b.txt", 20);
    for (int d = 0; d < dirs; ++d) {
        // Appended rather than "d" + to_string(d): GCC 12 at -O2 warns falsely (-Wrestrict) on that form.
        std::string dir = "d";
        dir += std::to_string(d);
        tree.Dir(dir);
        tree.File(dir + "/f.bin", 1000 * (d + 1));
        for (int s = 0; s < subdirs; ++s) {
            const std::string sub = dir + "/s" + std::to_string(s);
            tree.Dir(sub);
            tree.File(sub + "/g.bin", 100 * (s + 1));
        }
    }
}

// Made in order: a negative size makes a directory, any other a file of that many bytes.
inline void Populate(const TempTree& tree, std::initializer_list<std::pair<std::string, long long>> entries) {
    for (const auto& [name, size] : entries) {
        if (size < 0)
            tree.Dir(name);
        else
            tree.File(name, size);
    }
}

// Holds whoever passes until the test opens it, ten seconds at most, so a failed test cannot hang.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool open = false;
    void Pass() {
        std::unique_lock lock(mutex);
        reached = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return open; });
    }
    bool Reached() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return reached; });
    }
    void Open() {
        const std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

inline std::unique_ptr<TRootDirNode> ScanNow(const std::string& path, std::int64_t threshold,
                                             TFileSystemApi* fs = nullptr) {
    auto root = std::make_unique<TRootDirNode>();
    root->SetName(path);
    TDirScanner(root.get(), fs).Scan(path, threshold);
    return root;
}

// Every directory named "locked" unreadable, as for an ordinary user in someone else's folder.
inline HookedFileSystem LockedDirs() {
    return HookedFileSystem(FailOn("locked", EACCES));
}

// A model under QAbstractItemModelTester, which aborts the run at the first inconsistency it sees.
class CheckedModel : public TNodeTreeModel {
    QAbstractItemModelTester tester_{this, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

// Null when `dir` groups no small files.
inline const TFileSystemNode* FileGroupIn(const TGroupNode* dir) {
    TChildrenLock guard(dir);
    for (const auto& child : guard.Children()) {
        if (child->GetNodeType() == ntFileGroup)
            return child.get();
    }
    return nullptr;
}

inline QString Text(const QAbstractItemModel& model, int row, int column, const QModelIndex& parent = {}) {
    return model.data(model.index(row, column, parent)).toString();
}

// What the platform delivers for a double click; QTest::mouseDClick sends the double-click event alone.
inline void DoubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

inline std::string ScreenSection() {
    const QSize size = QGuiApplication::primaryScreen()->size();
    return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

// Stands in for the desktop: what it was asked to open or to show, and how opening went.
struct LaunchRecorder {
    std::vector<std::string> opened;
    std::vector<std::pair<std::string, bool>> explored;
    TLaunchResult openResult{true, 0, {}};
    TLaunchResult exploreResult{true, 0, {}};

    TShellLauncher Launcher() {
        return {[this](const std::string& path) {
                    opened.push_back(path);
                    return openResult;
                },
                [this](const std::string& path, bool isDirectory) {
                    explored.emplace_back(path, isDirectory);
                    return exploreResult;
                }};
    }
};

// Errors are collected instead of shown.
class FormMainTest : public ::testing::Test {
protected:
    FormMainTest()
        : previous_(SetErrorDialogHandler([this](const std::string& e) { errors_.push_back(e); })) {}
    ~FormMainTest() override { SetErrorDialogHandler(previous_); }

    // Runs `start` and waits until `count` scans of `form` have ended.
    static bool Await(TFormMain& form, const std::function<void()>& start, int count = 1) {
        QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
        start();
        while (finished.count() < count) {
            if (!finished.wait(30000))
                return false;
        }
        return true;
    }
    static bool Scan(TFormMain& form, const std::string& path) {
        return Await(form, [&] { form.StartDirScan(path); });
    }
    static TDirNode* Dir(const TFormMain& form, const std::string& path) {
        return dynamic_cast<TDirNode*>(FindNodeByPath(form.RootNode(), path));
    }
    // The node at `path`, the root included, its directory's files listed first as an expand would.
    static TFileSystemNode* Node(const TFormMain& form, const std::string& path) {
        if (path == form.RootNode()->Name())
            return form.RootNode();
        if (const TDirNode* dir = Dir(form, path.substr(0, path.rfind('/'))))
            form.TreeModel()->fetchMore(form.TreeModel()->Reveal(dir));
        return FindNodeByPath(form.RootNode(), path);
    }
    static void Trigger(const TFormMain& form, const char* action) {
        form.findChild<QAction*>(action)->trigger();
    }
    // Makes the row of `node` the only selected and the current one. Not the view's setCurrentIndex:
    // it reads the keyboard's modifiers, which key clicks leave behind.
    static QModelIndex SelectOnly(const TFormMain& form, const TFileSystemNode* node) {
        const QModelIndex at = form.TreeModel()->Reveal(node);
        form.TreeView()->RefreshNode(node);
        EXPECT_TRUE(at.isValid()) << (node == nullptr ? "no node" : GetFullPath(node));
        form.TreeView()->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
        return at;
    }
    // A right click in the middle of the node's row; the item menu it opened, or null.
    static QMenu* RightClick(const TFormMain& form, const TFileSystemNode* node) {
        form.TreeModel()->Reveal(node);
        form.TreeView()->RefreshNode(node);
        const QRect row = form.TreeView()->visualRect(form.TreeModel()->IndexOf(node));
        QTest::mouseClick(form.TreeView()->viewport(), Qt::RightButton, {}, row.center());
        return form.ItemMenu();
    }
    // The info panel's "Refresh now", once the panel has slid fully open.
    static void ClickRefreshNow(const TFormMain& form) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return form.InfoPanel()->height() == TFrameInfoPanel::kPanelHeight; }, 2000));
        QTest::mouseClick(form.InfoPanel()->findChild<QPushButton*>("ButtonInfoPanelRefresh"),
                          Qt::LeftButton);
    }
    // Waits for every scan thread, then for what their ends posted.
    static void Settle(const TFormMain& form) {
        while (form.IsScanRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    }

    TempTree config_;
    const std::string ini_ = config_ / "Quorvex.ini";
    TSettings settings_{ini_};
    std::vector<std::string> errors_;
    ErrorDialogHandler previous_;
};

} // namespace quorvex::testing
