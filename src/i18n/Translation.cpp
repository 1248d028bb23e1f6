#include "i18n/Translation.h"

#include <clocale>
#include <cstdlib>
#include <mutex>

namespace quorvex {
namespace {

struct LanguageState {
    std::mutex mutex;
    std::string code;
    bool chosen = false;
};

LanguageState& State() {
    static LanguageState state;
    return state;
}

std::string CutAtDot(std::string code) {
    if (const auto dot = code.find('.'); dot != std::string::npos)
        code.erase(dot);
    if (const auto at = code.find('@'); at != std::string::npos)
        code.erase(at);
    return code;
}

} // namespace

std::string LanguageFromEnvironment() {
    if (const char* lang = std::getenv("LANG"); lang != nullptr && *lang != '\0')
        return CutAtDot(lang);
    // LANG unset: whatever the C library was told through LC_ALL / LC_MESSAGES.
    for (const char* name : {"LC_ALL", "LC_MESSAGES"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            return CutAtDot(value);
    }
    return "C";
}

std::string TranslateText(const std::string& text) {
    return text;
}

std::string Substitute(std::string format, const std::string& value) {
    if (const auto at = format.find("%s"); at != std::string::npos)
        format.replace(at, 2, value);
    return format;
}

std::string CurrentLanguage() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.chosen) {
        state.code = LanguageFromEnvironment();
        state.chosen = true;
    }
    return state.code;
}

void SetLanguage(const std::string& code) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.code = code.empty() ? LanguageFromEnvironment() : code;
    state.chosen = true;
}

} // namespace quorvex
