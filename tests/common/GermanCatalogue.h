#pragma once

// The windows on the program's own German catalogue: the compiled one beside the built program for the
// program, the PO source for the tests to tell which shown texts are English and which German.

#include "common/PoFile.h"
#include "common/WidgetTexts.h"

#include "i18n/Translation.h"

#include <QWidget>

#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvex::testing {

inline const std::vector<PoEntry>& GermanEntries() {
    static const std::vector<PoEntry> entries = ReadPo(QUORVEX_PO_DIR "/de.po");
    return entries;
}

// The German of one message exactly as the catalogue has it, accelerator marks included.
inline QString German(const std::string& id) {
    for (const PoEntry& entry : GermanEntries())
        if (entry.Id == id && !entry.Str.empty())
            return QString::fromStdString(entry.Str);
    throw std::runtime_error("not in the German catalogue: " + id);
}

// The messages whose German differs from the English, both normalised.
inline const std::map<std::string, std::string>& TranslatedMessages() {
    static const std::map<std::string, std::string> messages = [] {
        std::map<std::string, std::string> found;
        for (const PoEntry& entry : GermanEntries())
            if (Normalised(entry.Id) != Normalised(entry.Str))
                found.emplace(Normalised(entry.Id), Normalised(entry.Str));
        return found;
    }();
    return messages;
}

// The texts on `window` that are the English (or with `german`, the German) of a translated message,
// each with the object that shows it.
inline std::vector<std::string> MessagesShown(const QWidget& window, bool german) {
    std::set<std::string> wanted;
    for (const auto& [english, translation] : TranslatedMessages())
        wanted.insert(german ? translation : english);
    std::vector<std::string> shown;
    for (const WidgetText& text : CollectTexts(window))
        if (wanted.count(Normalised(text.Text)))
            shown.push_back(text.Owner + ": " + text.Text);
    return shown;
}

inline std::vector<std::string> EnglishLeft(const QWidget& window) {
    return MessagesShown(window, false);
}

inline std::vector<std::string> GermanLeft(const QWidget& window) {
    return MessagesShown(window, true);
}

// The build's catalogue folder for the test's lifetime, English to begin with; folder and language
// are put back afterwards.
class BuildCatalogues {
public:
    BuildCatalogues() : folder_(CatalogueFolder()), language_(CurrentLanguage()) {
        SetCatalogueFolder(std::filesystem::path(QUORVEX_BINARY).parent_path() / "locale");
        SetLanguage("en");
    }
    BuildCatalogues(const BuildCatalogues&) = delete;
    BuildCatalogues& operator=(const BuildCatalogues&) = delete;
    ~BuildCatalogues() {
        SetCatalogueFolder(folder_);
        SetLanguage(language_);
    }

private:
    std::filesystem::path folder_;
    std::string language_;
};

} // namespace quorvex::testing
