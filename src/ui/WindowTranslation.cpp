#include "ui/WindowTranslation.h"

#include "i18n/Translation.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QStandardItemModel>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace quorvex {
namespace {

QString Translated(const QString& source) {
    return QString::fromStdString(TranslateText(source.toStdString()));
}

// One translatable text of one object. What an object remembers per text is a dynamic property
// holding the source text and the text set from it; the second tells whether code has replaced it.
struct TTextSlot {
    QByteArray Key;
    std::function<QString()> Get;
    std::function<void(const QString&)> Set;
};

QByteArray PropertyName(const QByteArray& key) {
    return "quorvexSource:" + key;
}

template <typename T, typename Getter, typename Setter>
void AddSlot(std::vector<TTextSlot>& textSlots, const char* key, T* object, Getter get, Setter set) {
    textSlots.push_back({key, [object, get] { return (object->*get)(); },
                         [object, set](const QString& t) { (object->*set)(t); }});
}

void AddIndexedSlots(std::vector<TTextSlot>& textSlots, const char* key, int count,
                     const std::function<QString(int)>& get,
                     const std::function<void(int, const QString&)>& set) {
    for (int i = 0; i < count; ++i)
        textSlots.push_back({QByteArray(key) + '.' + QByteArray::number(i), [get, i] { return get(i); },
                             [set, i](const QString& t) { set(i, t); }});
}

std::vector<TTextSlot> WidgetSlots(QWidget* w) {
    std::vector<TTextSlot> textSlots;
    AddSlot(textSlots, "windowTitle", w, &QWidget::windowTitle, &QWidget::setWindowTitle);
    // A tool button that shows an action takes its texts from the action.
    const auto* toolButton = qobject_cast<QToolButton*>(w);
    if (toolButton != nullptr && toolButton->defaultAction() != nullptr)
        return textSlots;
    AddSlot(textSlots, "toolTip", w, &QWidget::toolTip, &QWidget::setToolTip);
    AddSlot(textSlots, "statusTip", w, &QWidget::statusTip, &QWidget::setStatusTip);
    AddSlot(textSlots, "whatsThis", w, &QWidget::whatsThis, &QWidget::setWhatsThis);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        AddSlot(textSlots, "text", button, &QAbstractButton::text, &QAbstractButton::setText);
    else if (auto* label = qobject_cast<QLabel*>(w))
        AddSlot(textSlots, "text", label, &QLabel::text, &QLabel::setText);
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        AddSlot(textSlots, "title", group, &QGroupBox::title, &QGroupBox::setTitle);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        AddSlot(textSlots, "placeholderText", edit, &QLineEdit::placeholderText,
                &QLineEdit::setPlaceholderText);
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        AddIndexedSlots(
            textSlots, "item", combo->count(), [combo](int i) { return combo->itemText(i); },
            [combo](int i, const QString& t) { combo->setItemText(i, t); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        AddIndexedSlots(
            textSlots, "tab", tabs->count(), [tabs](int i) { return tabs->tabText(i); },
            [tabs](int i, const QString& t) { tabs->setTabText(i, t); });
        AddIndexedSlots(
            textSlots, "tabToolTip", tabs->count(), [tabs](int i) { return tabs->tabToolTip(i); },
            [tabs](int i, const QString& t) { tabs->setTabToolTip(i, t); });
    } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
        // Models of our own translate their headers in headerData; only plain item models keep texts.
        if (auto* model = qobject_cast<QStandardItemModel*>(view->model())) {
            AddIndexedSlots(
                textSlots, "header", model->columnCount(),
                [model](int i) { return model->headerData(i, Qt::Horizontal).toString(); },
                [model](int i, const QString& t) { model->setHeaderData(i, Qt::Horizontal, t); });
        }
    }
    return textSlots;
}

// Qt derives an action's tool tip and icon text from its text unless they were set. Whether they
// were cannot be asked, so a value that equals what Qt would derive is treated as derived and left
// to follow the translated text.
bool DerivedFromText(const QAction& action, bool toolTip) {
    QAction probe;
    probe.setText(action.text());
    return toolTip ? probe.toolTip() == action.toolTip() : probe.iconText() == action.iconText();
}

std::vector<TTextSlot> ActionSlots(QAction* a) {
    std::vector<TTextSlot> textSlots;
    AddSlot(textSlots, "text", a, &QAction::text, &QAction::setText);
    AddSlot(textSlots, "statusTip", a, &QAction::statusTip, &QAction::setStatusTip);
    AddSlot(textSlots, "whatsThis", a, &QAction::whatsThis, &QAction::setWhatsThis);
    if (!DerivedFromText(*a, true))
        AddSlot(textSlots, "toolTip", a, &QAction::toolTip, &QAction::setToolTip);
    if (!DerivedFromText(*a, false))
        AddSlot(textSlots, "iconText", a, &QAction::iconText, &QAction::setIconText);
    return textSlots;
}

void Collect(QObject* object, QSet<QObject*>& seen, std::vector<QObject*>& out) {
    if (object == nullptr || seen.contains(object))
        return;
    if (object->property(kOwnTextsProperty).toBool())
        return;
    seen.insert(object);
    out.push_back(object);
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        for (QAction* action : widget->actions())
            Collect(action, seen, out);
    }
    for (QObject* child : object->children())
        Collect(child, seen, out);
}

void TranslateSlot(QObject& owner, const TTextSlot& slot, bool rememberNew) {
    const QByteArray name = PropertyName(slot.Key);
    const QString current = slot.Get();
    const QStringList remembered = owner.property(name.constData()).toStringList();
    QString source;
    if (remembered.size() == 2 && remembered[1] == current) {
        source = remembered[0];
    } else {
        // The code has replaced the text: it is left to the code. The memory stays, so a text the
        // code puts back as it was is translated again from then on.
        if (!rememberNew || current.isEmpty())
            return;
        source = current;
    }
    const QString translated = Translated(source);
    // Kept as read back, which is what the next comparison with the current text sees.
    slot.Set(translated);
    owner.setProperty(name.constData(), QStringList{source, slot.Get()});
}

void TranslateTree(QWidget& window, bool rememberNew) {
    QSet<QObject*> seen;
    std::vector<QObject*> objects;
    Collect(&window, seen, objects);
    for (QObject* object : objects) {
        std::vector<TTextSlot> textSlots;
        QAction* action = qobject_cast<QAction*>(object);
        const bool derivedToolTip = action != nullptr && DerivedFromText(*action, true);
        const bool derivedIconText = action != nullptr && DerivedFromText(*action, false);
        if (action != nullptr)
            textSlots = ActionSlots(action);
        else if (auto* widget = qobject_cast<QWidget*>(object))
            textSlots = WidgetSlots(widget);
        for (const TTextSlot& slot : textSlots)
            TranslateSlot(*object, slot, rememberNew);
        // An equal value set on purpose would stay English; cleared, it follows the translated text.
        if (derivedToolTip)
            action->setToolTip(QString());
        if (derivedIconText)
            action->setIconText(QString());
    }
}

} // namespace

void TranslateWindow(QWidget& window) {
    TranslateTree(window, true);
}

void RetranslateWindow(QWidget& window) {
    TranslateTree(window, false);
}

} // namespace quorvex
