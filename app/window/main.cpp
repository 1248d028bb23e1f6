// The window program, started by `quorvex` when no headless option is given. It is its own
// executable so that the headless commands never load the widget libraries.
#include "diag/QxLogger.h"
#include "paint/PainterClassResolver.h"
#include "settings/StartupLanguage.h"
#include "support/PosixDir.h"
#include "ui/WindowMain.h"

int main(int argc, char** argv) {
    quorvex::RaiseOpenFileLimit();
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    // Before any settings are read, so a stored painter class name is checked against the registry
    // and an unknown one is replaced by the default when written back.
    quorvex::InstallPainterClassResolver();
    quorvex::InitializeTranslation();
    return quorvex::RunMainWindow(argc, argv);
}
