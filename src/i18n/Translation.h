#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvex {

// The one translation interface every part of the program calls. Texts are UTF-8 English source
// texts and serve as their own catalogue keys, looked up in the domain `default` of the shared
// translation instance (i18n/GnuGettext.h); a text without a translation comes back unchanged.
std::string TranslateText(const std::string& text);

// Puts `value` in place of the first "%s" of a (translated) message.
std::string Substitute(std::string format, const std::string& value);

// The current interface language code (de, en, en_US, pt_BR ...).
std::string CurrentLanguage();

// Makes `code` the current language; an empty code chooses it from the environment.
void SetLanguage(const std::string& code);

// The language the environment asks for: LANG (cut at the first "."), else the user's locale as
// language_COUNTRY, else "C".
std::string LanguageFromEnvironment();

// The catalogue folder: "locale" beside the running executable, else in the installed data folder
// (DataLocation). Tests point it elsewhere.
std::filesystem::path CatalogueFolder();
void SetCatalogueFolder(std::filesystem::path folder);

// The language folders of the catalogue folder that hold LC_MESSAGES/<domain>.mo: folder names in
// lower case, each once, in the order the folder enumeration returns them.
std::vector<std::string> ListLanguages(const std::string& domain);

} // namespace quorvex
