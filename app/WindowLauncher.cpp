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
    // Beside the command in the build tree, in libexec once installed: it is no command of its own.
    const auto program = DataLocation(QUORVEX_WINDOW_PROGRAM, TDataKind::RegularFile, ProgramFolder(),
                                      InstalledProgramFolder());
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
