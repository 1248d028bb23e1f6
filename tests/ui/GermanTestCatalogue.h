#pragma once

// German for the windows' own texts, served to the window translation while the current language
// begins with "de", as a catalogue would. The window tests need no compiled catalogue this way.

#include "i18n/Translation.h"
#include "ui/WindowTranslation.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

namespace quorvex::testing {

inline const std::map<std::string, std::string>& GermanTexts() {
    static const std::map<std::string, std::string> texts{
        {"&Choose directory...", "&Verzeichnis wählen..."},
        {"Choose the drive or directory to analyse", "Laufwerk oder Verzeichnis zur Analyse wählen"},
        {"&Repeat scan", "Analyse &wiederholen"},
        {"&Stop scan", "Analyse &anhalten"},
        {"Rescan selected &directory", "Ausgewähltes &Verzeichnis neu einlesen"},
        {"&Tree view", "&Baumansicht"},
        {"&Flat list", "&Flache Liste"},
        {"S&ettings...", "&Einstellungen..."},
        {"Open in file &manager", "Im &Dateimanager öffnen"},
        {"&Save scan result...", "Analyseergebnis &speichern..."},
        {"&Delete", "&Löschen"},
        {"Move the selected files and directories to the trash (Shift: delete them for good)",
         "Die ausgewählten Dateien und Verzeichnisse in den Papierkorb verschieben (Umsch: endgültig "
         "löschen)"},
        {"&Open", "Ö&ffnen"},
        {"E&xit", "&Beenden"},
        {"&Information...", "&Informationen..."},
        {"&File", "&Datei"},
        {"&Options", "&Optionen"},
        {"&Help", "&Hilfe"},
        {"F&avourites", "&Favoriten"},
        {"Favourites", "Favoriten"},
        {"Preferences", "Einstellungen"},
        {"Analysis", "Analyse"},
        {"Group files smaller than:", "Dateien gruppieren, die kleiner sind als:"},
        {"MB", "MB"},
        {"Display", "Anzeige"},
        {"Percentage bar style:", "Stil des Prozentbalkens:"},
        {"Show an additional percentage bar for sub-directories",
         "Zusätzlichen Prozentbalken für Unterverzeichnisse anzeigen"},
        {"Rounding of file sizes:", "Rundung der Dateigrößen:"},
        {"User interface", "Benutzeroberfläche"},
        {"Language:", "Sprache:"},
        {"&OK", "&OK"},
        {"&Cancel", "&Abbrechen"},
        {"&Apply", "&Übernehmen"},
        {"Information", "Informationen"},
        {"All rights reserved.", "Alle Rechte vorbehalten."},
        {"Visit the Quorvex web site", "Die Quorvex-Website besuchen"},
    };
    return texts;
}

// Installs the German texts for the test's lifetime and puts the language back afterwards.
class GermanWindowTexts {
public:
    GermanWindowTexts()
        : language_(CurrentLanguage()), previous_(SetWindowTextTranslator([](const std::string& text) {
              if (CurrentLanguage().rfind("de", 0) != 0)
                  return text;
              const auto found = GermanTexts().find(text);
              return found == GermanTexts().end() ? text : found->second;
          })) {}
    GermanWindowTexts(const GermanWindowTexts&) = delete;
    GermanWindowTexts& operator=(const GermanWindowTexts&) = delete;
    ~GermanWindowTexts() {
        SetWindowTextTranslator(previous_);
        SetLanguage(language_);
    }

private:
    std::string language_;
    TWindowTextTranslator previous_;
};

// Every text a user can see on `window` and the objects it owns.
inline std::vector<QString> VisibleTexts(const QWidget& window) {
    std::vector<QString> texts{window.windowTitle(), window.toolTip()};
    for (const QAction* action : window.findChildren<QAction*>())
        texts.insert(texts.end(),
                     {action->text(), action->toolTip(), action->statusTip(), action->iconText()});
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        texts.insert(texts.end(), {widget->windowTitle(), widget->toolTip(), widget->statusTip()});
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts.push_back(button->text());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            texts.push_back(label->text());
        if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            texts.push_back(group->title());
        if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                texts.push_back(combo->itemText(i));
        }
    }
    return texts;
}

// The English source texts still shown on `window` whose German differs.
inline std::vector<std::string> EnglishLeft(const QWidget& window) {
    std::vector<std::string> left;
    for (const QString& shown : VisibleTexts(window)) {
        const auto found = GermanTexts().find(shown.toStdString());
        if (found != GermanTexts().end() && found->second != found->first)
            left.push_back(found->first);
    }
    return left;
}

// The German texts shown on `window`.
inline std::vector<std::string> GermanLeft(const QWidget& window) {
    std::vector<std::string> left;
    for (const QString& shown : VisibleTexts(window)) {
        for (const auto& [english, german] : GermanTexts()) {
            if (german != english && shown.toStdString() == german)
                left.push_back(german);
        }
    }
    return left;
}

} // namespace quorvex::testing
