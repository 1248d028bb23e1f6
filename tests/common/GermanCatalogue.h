#pragma once

// The program's German catalogue as PO source, to tell which texts a window shows are English and which
// German, and every text a user can see on a window.

#include "common/FileText.h"

#include "i18n/Translation.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QWidget>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::testing {

// PO and POT files as xgettext and translators write them (no contexts, no plural forms here).
struct PoEntry {
    std::string Id;
    std::string Str;
    bool Fuzzy = false;
};

inline std::string PoUnquote(const std::string& line) {
    std::string text;
    const auto close = line.rfind('"');
    for (auto i = line.find('"') + 1; i < close; ++i) {
        if (line[i] == '\\' && i + 1 < close)
            text.push_back(line[++i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i]);
        else
            text.push_back(line[i]);
    }
    return text;
}

// The entries with a non-empty msgid; the header is left out.
inline std::vector<PoEntry> ReadPo(const std::string& path) {
    std::vector<PoEntry> entries;
    PoEntry current;
    std::string* target = nullptr;
    bool fuzzyNext = false;
    std::istringstream text(ReadAll(path) + "\n\nmsgid \"\"");
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos)
            fuzzyNext = true;
        if (line.rfind("msgid ", 0) == 0) {
            if (!current.Id.empty())
                entries.push_back(current);
            current = {PoUnquote(line), {}, std::exchange(fuzzyNext, false)};
            target = &current.Id;
        } else if (line.rfind("msgstr ", 0) == 0) {
            current.Str = PoUnquote(line);
            target = &current.Str;
        } else if (!line.empty() && line[0] == '"' && target != nullptr) {
            *target += PoUnquote(line);
        }
    }
    return entries;
}

// Without accelerator marks, shortcut column and a trailing ellipsis, so that a tool tip Qt derives
// from an action's text compares equal to that text.
inline std::string Normalised(std::string text) {
    if (const auto tab = text.find('\t'); tab != std::string::npos)
        text.erase(tab);
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&')
            continue;
        if (text[i] == '&')
            ++i;
        plain.push_back(text[i]);
    }
    while (plain.size() >= 3 && plain.compare(plain.size() - 3, 3, "...") == 0)
        plain.erase(plain.size() - 3);
    return plain;
}

struct WidgetText {
    std::string Owner; // object name or class, to say where a text was found
    std::string Text;
};

inline void AddText(std::vector<WidgetText>& texts, const QObject& owner, const QString& text) {
    if (text.trimmed().isEmpty())
        return;
    const QString name = owner.objectName().isEmpty() ? owner.metaObject()->className() : owner.objectName();
    texts.push_back({name.toStdString(), text.toStdString()});
}

inline std::vector<WidgetText> CollectTexts(const QWidget& window) {
    std::vector<WidgetText> texts;
    QList<const QWidget*> widgets{&window};
    for (const QWidget* child : window.findChildren<QWidget*>())
        widgets.push_back(child);
    QList<QAction*> actions = window.findChildren<QAction*>();
    for (const QWidget* w : widgets) {
        QStringList own{w->windowTitle(), w->toolTip(), w->statusTip(), w->whatsThis()};
        if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            own << button->text();
        if (const auto* label = qobject_cast<const QLabel*>(w))
            own << label->text();
        if (const auto* menu = qobject_cast<const QMenu*>(w))
            own << menu->title();
        if (const auto* group = qobject_cast<const QGroupBox*>(w))
            own << group->title();
        if (const auto* combo = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                own << combo->itemText(i);
        if (const auto* tabs = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                own << tabs->tabText(i);
        if (const auto* view = qobject_cast<const QAbstractItemView*>(w); view && view->model())
            for (int i = 0; i < view->model()->columnCount(); ++i)
                own << view->model()->headerData(i, Qt::Horizontal).toString();
        for (const QString& text : own)
            AddText(texts, *w, text);
        for (QAction* action : w->actions())
            if (!actions.contains(action))
                actions.push_back(action);
    }
    for (const QAction* a : actions)
        for (const QString& text : {a->text(), a->toolTip(), a->statusTip(), a->whatsThis()})
            AddText(texts, *a, text);
    return texts;
}

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

// The build's catalogue folder and English while it lives; folder and language are put back after.
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
