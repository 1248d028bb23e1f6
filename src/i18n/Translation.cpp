#include "i18n/Translation.h"

#include "support/DataLocations.h"

#include <clocale>
#include <cstdlib>
#include <mutex>
#include <set>
#include <system_error>

namespace quorvex {
namespace {

struct LanguageState {
    std::mutex mutex;
    std::string code;
    bool chosen = false;
    std::filesystem::path catalogueFolder;
};

std::string Lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

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

std::filesystem::path CatalogueFolder() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (state.catalogueFolder.empty())
        state.catalogueFolder = DataLocation("locale");
    return state.catalogueFolder;
}

void SetCatalogueFolder(std::filesystem::path folder) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.catalogueFolder = std::move(folder);
}

std::vector<std::string> ListLanguages(const std::string& domain) {
    std::vector<std::string> codes;
    std::set<std::string> seen;
    std::error_code error;
    for (std::filesystem::directory_iterator it(CatalogueFolder(), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code statError;
        if (!std::filesystem::is_regular_file(it->path() / "LC_MESSAGES" / (domain + ".mo"), statError))
            continue;
        std::string code = Lowered(it->path().filename().string());
        if (seen.insert(code).second)
            codes.push_back(std::move(code));
    }
    return codes;
}

} // namespace quorvex
