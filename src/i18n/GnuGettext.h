#pragma once

#include "i18n/MoCatalogue.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// Told about a catalogue the program cannot use (a wrong charset); the window shows it in a message box,
// a process without one writes it to stderr.
using LocalizationProblemHandler = std::function<void(const std::string& caption, const std::string& text)>;
// Told about a catalogue that cannot be read (the text names the file); the window shows it in its error
// box, a process without a handler writes it to stderr.
using CatalogueErrorHandler = std::function<void(const std::string& text)>;
// Told the new language code after every language change (Qt's own catalogue follows it).
using LanguageChangedHandler = std::function<void(const std::string& code)>;

// The translation layer: the current language and the text domains, each opening its catalogue at the
// first lookup after a language change. One shared instance serves the program (DefaultInstance); tests
// make their own.
class TGnuGettextInstance {
public:
    static constexpr const char* kDefaultDomain = "default";

    // The catalogue folder, the language from the environment, and `default` as the domain of
    // TranslateText and the first resource-string domain.
    // `followInCLibrary`: the C library's own messages (strerror) follow the language too; only the
    // program's shared instance may change that process-wide state.
    explicit TGnuGettextInstance(std::filesystem::path catalogueFolder, bool followInCLibrary = false);

    std::string GetText(const std::string& text);
    std::string DGetText(const std::string& domain, const std::string& text);
    // The domain's translation, when its catalogue has one.
    std::optional<std::string> Lookup(const std::string& domain, const std::string& text);

    // An empty code chooses the language from the environment.
    void SetLanguage(const std::string& code);
    std::string CurrentLanguage() const;

    std::filesystem::path CatalogueFolder() const;
    void SetCatalogueFolder(std::filesystem::path folder);

    // The language folders that hold LC_MESSAGES/<domain>.mo: lower-cased folder names, each once, in
    // the order the folder enumeration returns them.
    std::vector<std::string> ListLanguages(const std::string& domain) const;

    // The domain reads exactly this file, whatever the language.
    void BindDomainToFile(const std::string& domain, std::filesystem::path file);
    // Appends the domain to the domains tried for the runtime's own texts, unless it is in the list.
    void AddResourceStringDomain(const std::string& domain);
    std::vector<std::string> ResourceStringDomains() const;

    LocalizationProblemHandler SetLocalizationProblemHandler(LocalizationProblemHandler handler);
    CatalogueErrorHandler SetCatalogueErrorHandler(CatalogueErrorHandler handler);
    LanguageChangedHandler SetLanguageChangedHandler(LanguageChangedHandler handler);

    // The catalogue file the domain uses for the current language, or empty when there is none.
    std::filesystem::path CatalogueFile(const std::string& domain) const;

private:
    struct TDomain {
        std::optional<std::filesystem::path> BoundFile;
        bool Opened = false;
        // A catalogue with the wrong charset turns its domain off for the rest of the run.
        bool SwitchedOff = false;
        std::shared_ptr<const TMoCatalogue> Catalogue;
    };

    // The reports to make once the lock is released: handlers may translate texts themselves.
    struct TReports {
        std::string Charset; // the catalogue file with the wrong charset
        std::string CharsetLanguage;
        std::string Error; // the English message, for the log
        std::string ErrorPrefix;
        std::string ErrorRest;
    };

    std::filesystem::path CatalogueFileLocked(const std::string& domain, const TDomain& entry) const;
    std::shared_ptr<const TMoCatalogue> CatalogueLocked(const std::string& domain, TReports& reports);
    void Report(const TReports& reports);

    mutable std::mutex mutex_;
    std::filesystem::path folder_;
    const bool followInCLibrary_;
    std::string language_;
    std::map<std::string, TDomain> domains_;
    std::vector<std::string> resourceDomains_;
    LocalizationProblemHandler problemHandler_;
    CatalogueErrorHandler errorHandler_;
    LanguageChangedHandler languageChanged_;
};

// The program's one instance, with the folder "locale" beside the executable (or, installed, in the
// data folder).
TGnuGettextInstance& DefaultInstance();

} // namespace quorvex
