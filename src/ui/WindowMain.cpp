#include "ui/WindowMain.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "settings/QxSettings.h"
#include "ui/FormMain.h"
#include "ui/InstanceMarker.h"
#include "ui/MessageDialogs.h"
#include "ui/QxApplication.h"
#include "ui/RuntimeTranslation.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quorvex {
namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
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
    try {
        TFormMain form(GlobalSettings());
        form.show();
        std::vector<std::string> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.emplace_back(argv[i]);
        form.ProcessCommandLine(arguments);
        return QApplication::exec();
    } catch (const ESettingsError& error) {
        // The settings folder cannot be made: the program cannot keep anything, so it does not start.
        ProgramLogger().error(error.what(), error);
        std::fprintf(stderr, "quorvex: %s\n", error.what());
        return 1;
    }
}

} // namespace quorvex
