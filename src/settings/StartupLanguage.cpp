#include "settings/StartupLanguage.h"

#include "diag/QxLogger.h"
#include "i18n/GnuGettext.h"
#include "settings/QxSettings.h"

namespace quorvex {

void ChooseStartupLanguage(TGnuGettextInstance& instance, const TSettings& settings) {
    try {
        instance.SetLanguage(settings.ReadString("Language", instance.CurrentLanguage()));
    } catch (const std::exception& error) {
        // An unreadable settings file leaves the environment's language.
        ProgramLogger().error(error.what(), error);
    }
    // The runtime's texts are English here in every language, and the program's catalogues do not
    // carry them: Qt's and the C library's catalogues are needed for German as for any other language.
    instance.AddResourceStringDomain("rtl");
}

void InitializeTranslation() {
    TGnuGettextInstance& instance = DefaultInstance();
    try {
        ChooseStartupLanguage(instance, GlobalSettings());
    } catch (const std::exception& error) {
        ProgramLogger().error(error.what(), error);
        instance.AddResourceStringDomain("rtl");
    }
}

} // namespace quorvex
