#pragma once

// Every text a user can see on a window: titles, texts, hints, menus, list items, header sections.

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

#include <string>
#include <vector>

namespace quorvex::testing {

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
    QList<const QAction*> actions;
    for (const QAction* action : window.findChildren<QAction*>())
        actions.push_back(action);
    for (const QWidget* w : widgets) {
        for (const QString& text : {w->windowTitle(), w->toolTip(), w->statusTip(), w->whatsThis()})
            AddText(texts, *w, text);
        if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            AddText(texts, *w, button->text());
        if (const auto* label = qobject_cast<const QLabel*>(w))
            AddText(texts, *w, label->text());
        if (const auto* menu = qobject_cast<const QMenu*>(w))
            AddText(texts, *w, menu->title());
        if (const auto* group = qobject_cast<const QGroupBox*>(w))
            AddText(texts, *w, group->title());
        if (const auto* combo = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                AddText(texts, *w, combo->itemText(i));
        if (const auto* tabs = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                AddText(texts, *w, tabs->tabText(i));
        if (const auto* view = qobject_cast<const QAbstractItemView*>(w); view && view->model())
            for (int i = 0; i < view->model()->columnCount(); ++i)
                AddText(texts, *w, view->model()->headerData(i, Qt::Horizontal).toString());
        for (const QAction* action : w->actions())
            if (!actions.contains(action))
                actions.push_back(action);
    }
    for (const QAction* a : actions)
        for (const QString& text : {a->text(), a->toolTip(), a->statusTip(), a->whatsThis()})
            AddText(texts, *a, text);
    return texts;
}

} // namespace quorvex::testing
