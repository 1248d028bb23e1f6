#include "HeadlessCommand.h"

#include "diag/QxLogger.h"
#include "i18n/StartupLanguage.h"
#include "paint/PainterClassResolver.h"
#include "ui/WindowMain.h"

int main(int argc, char** argv) {
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    // Before any settings are read, so a stored painter class name is checked against the registry
    // in every mode and an unknown one is replaced by the default when written back.
    quorvex::InstallPainterClassResolver();
    quorvex::InitializeTranslation();
    const int code = quorvex::RunHeadlessCommand(argc, argv);
    if (code >= 0)
        return code;
    // No headless option: the window, with an optional directory to scan at once.
    return quorvex::RunMainWindow(argc, argv);
}
