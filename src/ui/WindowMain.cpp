#include "ui/WindowMain.h"

#include "diag/QxLogger.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/Translation.h"
#include "settings/QxSettings.h"
#include "ui/FormMain.h"
#include "ui/InstanceMarker.h"
#include "ui/MessageDialogs.h"
#include "ui/QxApplication.h"
#include "ui/RuntimeTranslation.h"

#include <QDialog>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace quorvex {
namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// How long a closing window waits for a dialog's or menu's own loop to return before it tries again.
constexpr int kCloseRetryMs = 100;

// Closes the window as its Exit command does, once nothing of ours runs a loop of its own: the
// questions, dialogs and menus open now are cancelled first (a question cancelled is answered No),
// since code waiting on them may still use the tree that closing destroys. A window that refuses to
// close (a deletion is being cancelled) is asked again.
void CloseOnRequest(const QPointer<TFormMain>& window) {
    for (int guard = 0; guard < 32; ++guard) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(modal))
                progress->cancel();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        } else {
            break;
        }
    }
    if (window == nullptr)
        return; // the window is not made yet: it is closed as soon as it is
    QTimer::singleShot(kCloseRetryMs, window, [window] {
        const bool idle =
            QApplication::activeModalWidget() == nullptr && QApplication::activePopupWidget() == nullptr;
        if (idle && window->close())
            QCoreApplication::exit(0);
        else
            CloseOnRequest(window);
    });
}

} // namespace

bool HasGraphicalDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

int RunMainWindow(int argc, char** argv) {
    if (!HasGraphicalDisplay()) {
        // Without this the toolkit would abort with a message about platform plugins.
        std::fputs(
            TranslateText("quorvex: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                          "  For a text summary without a window: quorvex --summary DIRECTORY\n"
                          "  To run the window on a virtual display:  xvfb-run quorvex [DIRECTORY]\n")
                .c_str(),
            stderr);
        return 2;
    }
    const TInstanceMarker marker;
    TQxApplication app(argc, argv);
    InstallRuntimeTranslation(app);
    InstallErrorDialogBacking();

    // A termination signal may come while the error box below is open, before the window exists.
    bool terminating = false;
    QPointer<TFormMain> window;
    QObject::connect(&app, &TQxApplication::TerminationRequested, &app, [&terminating, &window] {
        terminating = true;
        CloseOnRequest(window);
    });

    std::unique_ptr<TSettings> unsaved;
    TSettings* settings = nullptr;
    try {
        settings = &GlobalSettings();
    } catch (const ESettingsError& error) {
        ProgramLogger().error(error.what(), error);
        ShowErrorDialog(std::string(error.what()) + "\n" +
                        TranslateText("The program goes on with the default settings and cannot keep any "
                                      "changes."));
        unsaved = std::make_unique<TSettings>(std::string());
        settings = unsaved.get();
    }
    TFormMain form(*settings);
    window = &form;
    if (terminating) {
        CloseOnRequest(window);
        return QApplication::exec();
    }
    form.show();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    form.ProcessCommandLine(arguments);
    return QApplication::exec();
}

} // namespace quorvex
