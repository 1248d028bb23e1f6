#include "WindowLauncher.h"

#include "i18n/Translation.h"
#include "settings/StartupLanguage.h"
#include "support/DataLocations.h"
#include "support/PosixDir.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace quorvex {

int StartWindowProgram(char** argv) {
    const auto program = ProgramFolder() / QUORVEX_WINDOW_PROGRAM;
    ::execv(program.c_str(), argv);
    const int error = errno;
    InitializeTranslation();
    std::fprintf(stderr, "quorvex: %s\n",
                 Substitute(Substitute(TranslateText("cannot start the window %s: %s"), program.string()),
                            SystemErrorMessage(error))
                     .c_str());
    return 127;
}

} // namespace quorvex
