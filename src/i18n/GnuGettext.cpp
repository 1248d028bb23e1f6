#include "i18n/GnuGettext.h"

#include "diag/QxLogger.h"
#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "support/AsciiCase.h"
#include "support/DataLocations.h"

#include <cstdio>
#include <set>
#include <system_error>
#include <utility>

namespace quorvex {
namespace {

bool IsFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// A code is one path component; anything else (a "/", "..") could point outside the catalogue folder.
bool UsableCode(const std::string& code) {
    return !code.empty() && code != "." && code != ".." && code.find('/') == std::string::npos &&
           code.find('\0') == std::string::npos && code != "C" && code != "POSIX";
}

// The catalogue of `code` in `folder`; a language folder whose name differs only in letter case is
// found too, because the language list stores folder names in lower case.
std::filesystem::path FindInFolder(const std::filesystem::path& folder, const std::string& code,
                                   const std::string& domain) {
    if (!UsableCode(code))
        return {};
    const std::filesystem::path tail = std::filesystem::path("LC_MESSAGES") / (domain + ".mo");
    if (auto exact = folder / code / tail; IsFile(exact))
        return exact;
    const std::string wanted = AsciiLowered(code);
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (AsciiLowered(it->path().filename().string()) == wanted && IsFile(it->path() / tail))
            return it->path() / tail;
    }
    return {};
}

void WriteProblemToStderr(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

} // namespace

TGnuGettextInstance::TGnuGettextInstance(std::filesystem::path catalogueFolder, bool followInCLibrary)
    : folder_(std::move(catalogueFolder)), followInCLibrary_(followInCLibrary) {
    domains_[kDefaultDomain];
    resourceDomains_.push_back(kDefaultDomain);
    SetLanguage({});
}

std::string TGnuGettextInstance::GetText(const std::string& text) {
    return DGetText(kDefaultDomain, text);
}

std::string TGnuGettextInstance::DGetText(const std::string& domain, const std::string& text) {
    return Lookup(domain, text).value_or(text);
}

std::optional<std::string> TGnuGettextInstance::Lookup(const std::string& domain, const std::string& text) {
    // The empty key holds the catalogue header, which is no translation.
    if (text.empty())
        return std::nullopt;
    TReports reports;
    std::optional<std::string> result;
    {
        std::lock_guard lock(mutex_);
        if (const auto catalogue = CatalogueLocked(domain, reports))
            if (const auto found = catalogue->Find(text))
                result.emplace(*found);
    }
    Report(reports);
    return result;
}

std::shared_ptr<const TMoCatalogue> TGnuGettextInstance::CatalogueLocked(const std::string& domain,
                                                                         TReports& reports) {
    const auto found = domains_.find(domain);
    if (found == domains_.end())
        return nullptr;
    TDomain& entry = found->second;
    if (entry.SwitchedOff)
        return nullptr;
    if (entry.Opened)
        return entry.Catalogue;
    entry.Opened = true;
    const std::filesystem::path file = CatalogueFileLocked(domain, entry);
    if (file.empty())
        return nullptr;
    try {
        std::shared_ptr<const TMoCatalogue> catalogue = TMoCatalogue::FromFile(file);
        if (!HeaderDeclaresUtf8(catalogue->Header())) {
            entry.SwitchedOff = true;
            reports.Charset = file.string();
            reports.CharsetLanguage = language_;
            return nullptr;
        }
        entry.Catalogue = std::move(catalogue);
    } catch (const EMoFileError& error) {
        // Until the next language change the domain translates nothing; the user hears of it once.
        reports.Error = error.what();
        reports.ErrorPrefix = error.Prefix();
        reports.ErrorRest = error.FileName() + error.Detail();
    }
    return entry.Catalogue;
}

void TGnuGettextInstance::Report(const TReports& reports) {
    LocalizationProblemHandler problemHandler;
    CatalogueErrorHandler errorHandler;
    {
        std::lock_guard lock(mutex_);
        problemHandler = problemHandler_;
        errorHandler = errorHandler_;
    }
    if (!reports.Charset.empty()) {
        const char* const format = N_("The translation for the language code %s (in %s) does not have "
                                      "charset=utf-8 in its Content-Type. Translations are turned off.");
        const auto filled = [&](const std::string& message) {
            return Substitute(Substitute(message, reports.CharsetLanguage), reports.Charset);
        };
        ProgramLogger().error(filled(format));
        const std::string caption = GetText(N_("Localization problem"));
        const std::string text = filled(GetText(format));
        if (problemHandler)
            problemHandler(caption, text);
        else
            WriteProblemToStderr(caption, text);
    }
    if (!reports.Error.empty()) {
        ProgramLogger().error(reports.Error);
        const std::string text = GetText(reports.ErrorPrefix) + reports.ErrorRest;
        if (errorHandler)
            errorHandler(text);
        else
            WriteProblemToStderr(TranslateText("Error"), text);
    }
}

void TGnuGettextInstance::SetLanguage(const std::string& code) {
    const std::string chosen = code.empty() ? LanguageFromEnvironment() : code;
    LanguageChangedHandler handler;
    {
        std::lock_guard lock(mutex_);
        language_ = chosen;
        for (auto& [name, entry] : domains_) {
            entry.Opened = false;
            entry.Catalogue.reset();
        }
        handler = languageChanged_;
    }
    if (followInCLibrary_)
        FollowLanguageInCLibrary(chosen);
    if (handler)
        handler(chosen);
}

std::string TGnuGettextInstance::CurrentLanguage() const {
    std::lock_guard lock(mutex_);
    return language_;
}

std::filesystem::path TGnuGettextInstance::CatalogueFolder() const {
    std::lock_guard lock(mutex_);
    return folder_;
}

void TGnuGettextInstance::SetCatalogueFolder(std::filesystem::path folder) {
    std::lock_guard lock(mutex_);
    folder_ = std::move(folder);
    for (auto& [name, entry] : domains_) {
        entry.Opened = false;
        entry.Catalogue.reset();
    }
}

std::vector<std::string> TGnuGettextInstance::ListLanguages(const std::string& domain) const {
    std::vector<std::string> codes;
    std::set<std::string> seen;
    std::error_code error;
    for (std::filesystem::directory_iterator it(CatalogueFolder(), error), end; !error && it != end;
         it.increment(error)) {
        if (!IsFile(it->path() / "LC_MESSAGES" / (domain + ".mo")))
            continue;
        std::string code = AsciiLowered(it->path().filename().string());
        if (seen.insert(code).second)
            codes.push_back(std::move(code));
    }
    return codes;
}

void TGnuGettextInstance::BindDomainToFile(const std::string& domain, std::filesystem::path file) {
    std::lock_guard lock(mutex_);
    TDomain& entry = domains_[domain];
    entry.BoundFile = std::move(file);
    entry.Opened = false;
    entry.Catalogue.reset();
}

void TGnuGettextInstance::AddResourceStringDomain(const std::string& domain) {
    std::lock_guard lock(mutex_);
    for (const std::string& known : resourceDomains_)
        if (known == domain)
            return;
    resourceDomains_.push_back(domain);
}

std::vector<std::string> TGnuGettextInstance::ResourceStringDomains() const {
    std::lock_guard lock(mutex_);
    return resourceDomains_;
}

LocalizationProblemHandler
TGnuGettextInstance::SetLocalizationProblemHandler(LocalizationProblemHandler handler) {
    std::lock_guard lock(mutex_);
    return std::exchange(problemHandler_, std::move(handler));
}

CatalogueErrorHandler TGnuGettextInstance::SetCatalogueErrorHandler(CatalogueErrorHandler handler) {
    std::lock_guard lock(mutex_);
    return std::exchange(errorHandler_, std::move(handler));
}

LanguageChangedHandler TGnuGettextInstance::SetLanguageChangedHandler(LanguageChangedHandler handler) {
    std::lock_guard lock(mutex_);
    return std::exchange(languageChanged_, std::move(handler));
}

std::filesystem::path TGnuGettextInstance::CatalogueFile(const std::string& domain) const {
    std::lock_guard lock(mutex_);
    const auto found = domains_.find(domain);
    if (found == domains_.end())
        return {};
    return CatalogueFileLocked(domain, found->second);
}

std::filesystem::path TGnuGettextInstance::CatalogueFileLocked(const std::string& domain,
                                                               const TDomain& entry) const {
    if (entry.BoundFile)
        return IsFile(*entry.BoundFile) ? *entry.BoundFile : std::filesystem::path{};
    if (auto file = FindInFolder(folder_, language_, domain); !file.empty())
        return file;
    // de_AT finds the catalogue of de when it has none of its own.
    if (language_.size() > 2)
        return FindInFolder(folder_, language_.substr(0, 2), domain);
    return {};
}

TGnuGettextInstance& DefaultInstance() {
    static TGnuGettextInstance instance(DataLocation("locale", TDataKind::Folder), true);
    return instance;
}

} // namespace quorvex
