#include "ui/MessageDialogs.h"

#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>

using namespace quorvex;
using quorvex::testing::BoxAnswerer;

TEST(MessageDialogs, QuestionsAskYesOrNoAndOnlyYesIsTrue) {
    using Question = std::tuple<bool (*)(const std::string&), const char*, QMessageBox::Icon>;
    for (const auto& [show, caption, icon] :
         {Question{&ShowConfirmationDialog, "Confirmation", QMessageBox::Question},
          Question{&ShowWarningDialog, "Warning", QMessageBox::Warning}}) {
        // Closing the box is not a Yes.
        for (const auto& [answer, expected] :
             {std::pair{QMessageBox::Yes, true}, {QMessageBox::No, false}, {QMessageBox::NoButton, false}}) {
            BoxAnswerer box(answer, [&](const QMessageBox& shown) {
                EXPECT_EQ(shown.windowTitle(), QString::fromLatin1(caption));
                EXPECT_EQ(shown.text(), QStringLiteral("Delete 3 items?"));
                EXPECT_EQ(shown.icon(), icon);
                EXPECT_EQ(shown.standardButtons(), QMessageBox::Yes | QMessageBox::No);
                EXPECT_EQ(shown.parentWidget(), nullptr);
            });
            EXPECT_EQ(show("Delete 3 items?"), expected) << caption << " " << answer;
            EXPECT_TRUE(box.ran);
        }
    }
}

TEST(MessageDialogs, ErrorBoxesShowTextsAsPlainTextWithOneOkButton) {
    const ErrorDialogHandler previous = InstallErrorDialogBacking();
    // A file name that looks like markup must reach the user unchanged.
    const QString markup = QString::fromUtf8("Cannot open <b>x</b>&amp; \xC3\xA4");
    BoxAnswerer error(QMessageBox::Ok, [&](const QMessageBox& shown) {
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("Error"));
        EXPECT_EQ(shown.text(), markup);
        EXPECT_EQ(shown.textFormat(), Qt::PlainText);
        EXPECT_EQ(shown.icon(), QMessageBox::Critical);
        EXPECT_EQ(shown.standardButtons(), QMessageBox::Ok);
    });
    ShowErrorDialog(markup.toStdString());
    EXPECT_TRUE(error.ran);
    BoxAnswerer exception(QMessageBox::Ok,
                          [](const QMessageBox& shown) { EXPECT_EQ(shown.text(), "disk full"); });
    ShowExceptionDialog(std::runtime_error("disk full"));
    EXPECT_TRUE(exception.ran);
    SetErrorDialogHandler(previous);
}

TEST(MessageDialogs, CallsFromAWorkerThreadShowTheBoxOnTheGuiThread) {
    BoxAnswerer yes(QMessageBox::Yes, [](const QMessageBox& shown) {
        EXPECT_EQ(shown.thread(), QApplication::instance()->thread());
    });
    struct Shared {
        std::atomic<bool> done{false};
        std::atomic<bool> answer{false};
    };
    // Shared with the worker, which may outlive a failed test.
    const auto shared = std::make_shared<Shared>();
    std::thread worker([shared] {
        shared->answer = ShowConfirmationDialog("From a worker");
        shared->done = true;
    });
    // processEvents returns at once when nothing is pending, so wait by the clock, not by count.
    const QDeadlineTimer deadline(20000);
    while (!shared->done && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!shared->done) {
        worker.detach(); // still blocked on the user-interface thread; joining would hang the run
        FAIL() << "the box was not shown on the user-interface thread";
    }
    worker.join();
    EXPECT_TRUE(shared->answer);
    EXPECT_TRUE(yes.ran);
}
