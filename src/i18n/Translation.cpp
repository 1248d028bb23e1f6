#include "i18n/Translation.h"

#include "i18n/GnuGettext.h"

#include <QLocale>

#include <cstdlib>
#include <system_error>

namespace quorvex {
namespace {

std::string CutAtDot(std::string code) {
    if (const auto dot = code.find('.'); dot != std::string::npos)
        code.erase(dot);
    if (const auto at = code.find('@'); at != std::string::npos)
        code.erase(at);
    return code;
}

bool IsLetters(const std::string& text, std::size_t from, bool upper) {
    for (std::size_t i = from; i < from + 2; ++i) {
        const char c = text[i];
        if (upper ? (c < 'A' || c > 'Z') : (c < 'a' || c > 'z'))
            return false;
    }
    return true;
}

} // namespace

std::string LanguageFromEnvironment() {
    if (const char* lang = std::getenv("LANG"); lang != nullptr && *lang != '\0')
        return CutAtDot(lang);
    // The user's locale, when it names a language and a country of two letters each.
    std::string name = QLocale::system().name().toStdString();
    if (name.size() == 5 && name[2] == '_' && IsLetters(name, 0, false) && IsLetters(name, 3, true)) {
        if (name.starts_with("no"))
            name.replace(0, 2, "nb");
        return name;
    }
    return "C";
}

std::string TranslateText(const std::string& text) {
    return DefaultInstance().GetText(text);
}

std::string Substitute(std::string format, const std::string& value) {
    if (const auto at = format.find("%s"); at != std::string::npos)
        format.replace(at, 2, value);
    return format;
}

std::string CurrentLanguage() {
    return DefaultInstance().CurrentLanguage();
}

void SetLanguage(const std::string& code) {
    DefaultInstance().SetLanguage(code);
}

std::filesystem::path CatalogueFolder() {
    return DefaultInstance().CatalogueFolder();
}

void SetCatalogueFolder(std::filesystem::path folder) {
    DefaultInstance().SetCatalogueFolder(std::move(folder));
}

std::vector<std::string> ListLanguages(const std::string& domain) {
    return DefaultInstance().ListLanguages(domain);
}

} // namespace quorvex
