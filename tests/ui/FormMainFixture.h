#pragma once

// The main window under test: its settings in a throw-away folder, its error boxes collected.

#include "UiTestSupport.h"

#include "common/FileText.h"

#include "model/TreeOperations.h"
#include "settings/QxSettings.h"
#include "shell/InfoPanel.h"
#include "support/ErrorDialogs.h"
#include "support/ShellLaunch.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::testing {

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
    static void Trigger(const TFormMain& form, const char* action) {
        form.findChild<QAction*>(action)->trigger();
    }
    // Makes the row of `node` the only selected and the current one. Not the view's setCurrentIndex:
    // it reads the keyboard's modifiers, which key clicks leave behind.
    static QModelIndex SelectOnly(const TFormMain& form, const TFileSystemNode* node) {
        form.TreeView()->RefreshNode(node);
        const QModelIndex at = form.TreeModel()->IndexOf(node);
        EXPECT_TRUE(at.isValid()) << (node == nullptr ? "no node" : GetFullPath(node));
        form.TreeView()->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
        return at;
    }
    // The info panel's "Refresh now", once the panel has slid fully open.
    static void ClickRefreshNow(const TFormMain& form) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return form.InfoPanel()->height() == TFrameInfoPanel::kPanelHeight; }, 2000));
        QTest::mouseClick(form.InfoPanel()->findChild<QPushButton*>("ButtonInfoPanelRefresh"),
                          Qt::LeftButton);
    }

    TempTree config_;
    const std::string ini_ = config_ / "Quorvex.ini";
    TSettings settings_{ini_};
    std::vector<std::string> errors_;
    ErrorDialogHandler previous_;
};

} // namespace quorvex::testing
