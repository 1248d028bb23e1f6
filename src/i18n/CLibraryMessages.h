#pragma once

#include <string>

namespace quorvex {

// Lets the C library's own messages (strerror and friends) speak `code` where the C library has a
// catalogue for it: LANGUAGE names the code and its two-letter base, and a "C" message locale, in which
// the C library ignores LANGUAGE, becomes C.UTF-8. Process-wide; call it from the user-interface thread.
// Child processes inherit LANGUAGE, so a program started from here speaks the same language.
void FollowLanguageInCLibrary(const std::string& code);

} // namespace quorvex
