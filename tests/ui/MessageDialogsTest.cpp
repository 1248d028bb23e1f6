#include "ui/MessageDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace quorvex;

namespace {

struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
    bool hasOwner = true;
    bool onGuiThread = false;
};

// Waits for the next modal message box, records what it shows and answers it with `answer`
// (QMessageBox::NoButton closes it as the window's close button would).
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer) : timer_(std::make_unique<QTimer>()) {
        timer_->setInterval(5);
        QObject::connect(timer_.get(), &QTimer::timeout, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            timer_->stop();
            seen.shown = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.format = box->textFormat();
            seen.hasOwner = box->parentWidget() != nullptr;
            seen.onGuiThread = box->thread() == QApplication::instance()->thread() &&
                               QThread::currentThread() == QApplication::instance()->thread();
            if (answer == QMessageBox::NoButton)
                box->reject();
            else
                box->button(answer)->click();
        });
        timer_->start();
    }

    SeenBox seen;

private:
    std::unique_ptr<QTimer> timer_;
};

} // namespace

TEST(MessageDialogs, QuestionsAskYesOrNoAndOnlyYesIsTrue) {
    struct Question {
        bool (*show)(const std::string&);
        const char* caption;
        QMessageBox::Icon icon;
    };
    for (const Question& q : {Question{&ShowConfirmationDialog, "Confirmation", QMessageBox::Question},
                              Question{&ShowWarningDialog, "Warning", QMessageBox::Warning}}) {
        {
            BoxAnswerer yes(QMessageBox::Yes);
            EXPECT_TRUE(q.show("Delete 3 items?"));
            ASSERT_TRUE(yes.seen.shown);
            EXPECT_EQ(yes.seen.title, QString::fromLatin1(q.caption));
            EXPECT_EQ(yes.seen.text, QStringLiteral("Delete 3 items?"));
            EXPECT_EQ(yes.seen.icon, q.icon);
            EXPECT_EQ(yes.seen.buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_FALSE(yes.seen.hasOwner);
        }
        BoxAnswerer no(QMessageBox::No);
        EXPECT_FALSE(q.show("Delete 3 items?"));
        EXPECT_TRUE(no.seen.shown);
        BoxAnswerer closed(QMessageBox::NoButton);
        EXPECT_FALSE(q.show("Delete 3 items?")) << "closing the box is not a Yes";
        EXPECT_TRUE(closed.seen.shown);
    }
}

TEST(MessageDialogs, ErrorBoxesShowTextsAsPlainTextWithOneOkButton) {
    const ErrorDialogHandler previous = InstallErrorDialogBacking();
    {
        // A file name that looks like markup must reach the user unchanged.
        BoxAnswerer ok(QMessageBox::Ok);
        ShowErrorDialog("Cannot open <b>x</b>&amp; \xC3\xA4");
        ASSERT_TRUE(ok.seen.shown);
        EXPECT_EQ(ok.seen.title, QStringLiteral("Error"));
        EXPECT_EQ(ok.seen.text, QString::fromUtf8("Cannot open <b>x</b>&amp; \xC3\xA4"));
        EXPECT_EQ(ok.seen.format, Qt::PlainText);
        EXPECT_EQ(ok.seen.icon, QMessageBox::Critical);
        EXPECT_EQ(ok.seen.buttons, QMessageBox::Ok);
    }
    {
        BoxAnswerer ok(QMessageBox::Ok);
        ShowExceptionDialog(std::runtime_error("disk full"));
        EXPECT_EQ(ok.seen.text, QStringLiteral("disk full"));
    }
    SetErrorDialogHandler(previous);
}

TEST(MessageDialogs, CallsFromAWorkerThreadShowTheBoxOnTheGuiThread) {
    BoxAnswerer yes(QMessageBox::Yes);
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
    ASSERT_TRUE(yes.seen.shown);
    EXPECT_TRUE(yes.seen.onGuiThread);
}
