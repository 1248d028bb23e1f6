#include "i18n/LangUtils.h"

#include "i18n/IsoUtils.h"
#include "i18n/Translation.h"

#include <algorithm>
#include <string_view>

namespace quorvex {
namespace {

const TIsoLanguage* FindRow(std::string_view code) {
    const auto rows = IsoLanguages();
    const auto it =
        std::find_if(rows.begin(), rows.end(), [code](const TIsoLanguage& row) { return row.Code == code; });
    return it == rows.end() ? nullptr : &*it;
}

} // namespace

std::string LanguageName(const std::string& code) {
    if (code.size() > 2) {
        if (const TIsoLanguage* row = FindRow(code))
            return std::string(row->Name);
    }
    const TIsoLanguage* row = FindRow(std::string_view(code).substr(0, 2));
    return row == nullptr ? std::string() : std::string(row->Name);
}

std::string LanguageDisplayName(const std::string& code) {
    return LanguageName(code) + " [" + code + "]";
}

std::string BaseLanguageDisplayName(const std::string& code) {
    return LanguageDisplayName(code.substr(0, code.find('_')));
}

std::string LanguageCodeFromDisplayName(const std::string& displayName) {
    const std::size_t open = displayName.find('[');
    if (open == std::string::npos)
        return {};
    const std::size_t close = displayName.find(']', open + 1);
    if (close == std::string::npos)
        return {};
    return displayName.substr(open + 1, close - open - 1);
}

std::vector<std::string> GetLanguageDisplayList() {
    std::vector<std::string> list = ListLanguages("default");
    if (std::find(list.begin(), list.end(), "en") == list.end())
        list.emplace_back("en");
    for (std::string& entry : list)
        entry = LanguageDisplayName(entry);
    return list;
}

} // namespace quorvex
