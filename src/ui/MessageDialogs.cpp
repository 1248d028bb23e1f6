#include "ui/MessageDialogs.h"

#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <future>
#include <memory>

namespace quorvex {
namespace {

bool HaveWidgetApplication() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QMessageBox::StandardButton RunBox(QMessageBox::Icon icon, const char* caption, const std::string& text,
                                   QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromStdString(TranslateText(caption)), QString::fromStdString(text),
                    buttons);
    // File names in messages may look like markup; show them as they are.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

// Widgets live on the user-interface thread only; a call from elsewhere waits for the box there.
QMessageBox::StandardButton RunBoxOnGuiThread(QMessageBox::Icon icon, const char* caption,
                                              const std::string& text, QMessageBox::StandardButtons buttons) {
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread())
        return RunBox(icon, caption, text, buttons);
    // A promise rather than a blocking queued call: if the application goes away with the request
    // still queued, the dropped promise wakes the caller with "no answer" instead of leaving it
    // blocked for ever.
    auto answer = std::make_shared<std::promise<QMessageBox::StandardButton>>();
    std::future<QMessageBox::StandardButton> result = answer->get_future();
    QMetaObject::invokeMethod(
        app,
        [answer, icon, caption, text, buttons] { answer->set_value(RunBox(icon, caption, text, buttons)); },
        Qt::QueuedConnection);
    answer.reset();
    try {
        return result.get();
    } catch (const std::future_error&) {
        return QMessageBox::NoButton;
    }
}

bool AskYesNo(QMessageBox::Icon icon, const char* caption, const std::string& text) {
    if (!HaveWidgetApplication())
        return false;
    return RunBoxOnGuiThread(icon, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

bool ShowConfirmationDialog(const std::string& text) {
    return AskYesNo(QMessageBox::Question, N_("Confirmation"), text);
}

bool ShowWarningDialog(const std::string& text) {
    return AskYesNo(QMessageBox::Warning, N_("Warning"), text);
}

ErrorDialogHandler InstallErrorDialogBacking() {
    auto previous = std::make_shared<ErrorDialogHandler>();
    *previous = SetErrorDialogHandler([previous](const std::string& text) {
        if (HaveWidgetApplication()) {
            RunBoxOnGuiThread(QMessageBox::Critical, N_("Error"), text, QMessageBox::Ok);
        } else if (*previous) {
            (*previous)(text);
        } else {
            std::fprintf(stderr, "%s: %s\n", TranslateText("Error").c_str(), text.c_str());
            std::fflush(stderr);
        }
    });
    return *previous;
}

} // namespace quorvex
