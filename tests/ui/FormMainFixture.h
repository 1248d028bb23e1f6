#pragma once

// The main window under test: its settings in a throw-away folder, its error boxes collected.

#include "UiTestSupport.h"

#include "model/FileSystemNode.h"
#include "settings/QxSettings.h"
#include "support/ErrorDialogs.h"
#include "ui/FormMain.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvex::testing {

inline std::string ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

inline std::string ScreenSection() {
    const QSize size = QGuiApplication::primaryScreen()->size();
    return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

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

    TempTree config_;
    const std::string ini_ = config_ / "Quorvex.ini";
    TSettings settings_{ini_};
    std::vector<std::string> errors_;
    ErrorDialogHandler previous_;
};

} // namespace quorvex::testing
