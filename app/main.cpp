#include "HeadlessCommand.h"
#include "WindowLauncher.h"

#include "diag/QxLogger.h"
#include "i18n/StartupLanguage.h"
#include "support/PosixDir.h"

int main(int argc, char** argv) {
    quorvex::RaiseOpenFileLimit();
    // The window is a program of its own: decided first, so it starts with nothing of ours opened.
    if (!quorvex::IsHeadlessCommand(argc, argv))
        return quorvex::StartWindowProgram(argv);
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    quorvex::InitializeTranslation();
    return quorvex::RunHeadlessCommand(argc, argv);
}
