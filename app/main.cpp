#include "CommandOutput.h"
#include "HeadlessCommand.h"
#include "WindowLauncher.h"

#include "diag/QxLogger.h"
#include "settings/QxSettings.h"
#include "settings/StartupLanguage.h"
#include "support/PosixDir.h"

#include <memory>

int main(int argc, char** argv) {
    quorvex::RaiseOpenFileLimit();
    // The window is a program of its own: decided first, so it starts with nothing of ours opened.
    if (!quorvex::IsHeadlessCommand(argc, argv))
        return quorvex::StartWindowProgram(argv);
    quorvex::HoldStandardDescriptors();
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    // The headless commands only read the settings: run from cron or by an account whose home is
    // read-only, they must neither create the settings folder nor complain that they cannot.
    if (const std::string ini = quorvex::SettingsIniFilePath(); !ini.empty())
        quorvex::SetGlobalSettings(std::make_unique<quorvex::TSettings>(ini));
    quorvex::InitializeTranslation();
    return quorvex::RunHeadlessCommand(argc, argv);
}
