#include "i18n/CLibraryMessages.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

namespace quorvex {

void FollowLanguageInCLibrary(const std::string& code) {
    if (code.empty() || code == "C" || code == "POSIX") {
        ::unsetenv("LANGUAGE");
    } else {
        std::string languages = code;
        if (code.size() > 2)
            languages.append(":").append(code, 0, 2);
        ::setenv("LANGUAGE", languages.c_str(), 1);
        const char* current = std::setlocale(LC_MESSAGES, nullptr);
        if (current == nullptr || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
            std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
    // The C library caches looked-up messages; naming the text domain again drops that cache.
    ::textdomain(::textdomain(nullptr));
}

} // namespace quorvex
