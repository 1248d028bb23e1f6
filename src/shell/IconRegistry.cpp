#include "shell/IconRegistry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>

namespace quorvex {

namespace {

constexpr int kSmallIcon = 16;

bool ThemeInstalled(const QString& theme) {
    for (const QString& root : QIcon::themeSearchPaths())
        if (QFileInfo::exists(root + QLatin1Char('/') + theme + QStringLiteral("/index.theme")))
            return true;
    return false;
}

} // namespace

TIconThemeChoice ChooseIconTheme(const QString& sessionTheme,
                                 const std::function<bool(const QString&)>& installed) {
    const QString hicolor = QStringLiteral("hicolor");
    if (!sessionTheme.isEmpty() && sessionTheme != hicolor && installed(sessionTheme))
        return {sessionTheme, hicolor};
    for (const char* candidate : {"Adwaita", "breeze"})
        if (installed(QString::fromLatin1(candidate)))
            return {QString::fromLatin1(candidate), hicolor};
    return {hicolor, hicolor};
}

void SetUpIconTheme() {
    // Platforms without a desktop theme plug-in (offscreen, a bare X server) search only the
    // resources; the installed themes live in the XDG data folders.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory))
        if (!paths.contains(dir))
            paths << dir;
    if (paths != QIcon::themeSearchPaths())
        QIcon::setThemeSearchPaths(paths);
    const TIconThemeChoice choice = ChooseIconTheme(QIcon::themeName(), ThemeInstalled);
    if (QIcon::themeName() != choice.Theme)
        QIcon::setThemeName(choice.Theme);
    QIcon::setFallbackThemeName(choice.Fallback);
}

int TIconRegistry::IndexOf(const TIconName& name) {
    const QString key =
        name.Names.join(QLatin1Char('\n')) + QLatin1Char('\n') + QString::number(name.Standard);
    if (const auto found = byName_.constFind(key); found != byName_.constEnd())
        return *found;
    TEntry entry;
    for (const QString& each : name.Names) {
        if (each.isEmpty())
            continue;
        entry.Icon = QIcon::fromTheme(each);
        if (!entry.Icon.isNull() && !entry.Icon.availableSizes().isEmpty()) {
            entry.Themed = true;
            break;
        }
        entry.Icon = QIcon();
    }
    if (entry.Icon.isNull())
        entry.Icon = QApplication::style()->standardIcon(name.Standard);
    icons_.push_back(std::move(entry));
    const int index = Count() - 1;
    byName_.insert(key, index);
    return index;
}

int TIconRegistry::Add(const QIcon& icon) {
    icons_.push_back({icon, false});
    return Count() - 1;
}

QIcon TIconRegistry::Icon(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return icons_[static_cast<std::size_t>(index)].Icon;
}

bool TIconRegistry::FromTheme(int index) const {
    return index >= 0 && index < Count() && icons_[static_cast<std::size_t>(index)].Themed;
}

QIcon TIconRegistry::Composite(int index, bool ghosted, int overlay) {
    if (!ghosted && overlay < 0)
        return Icon(index);
    const qint64 key =
        (static_cast<qint64>(index) << 32) | (static_cast<qint64>(overlay + 1) << 1) | (ghosted ? 1 : 0);
    if (const auto found = composites_.constFind(key); found != composites_.constEnd())
        return *found;
    const QSize size(kSmallIcon, kSmallIcon);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        // Hidden items are drawn faded, as file browsers show them.
        painter.setOpacity(ghosted ? 0.5 : 1.0);
        Icon(index).paint(&painter, QRect(QPoint(0, 0), size));
        painter.setOpacity(1.0);
        if (overlay >= 0)
            Icon(overlay).paint(&painter, QRect(QPoint(0, 0), size));
    }
    QIcon composite(pixmap);
    composites_.insert(key, composite);
    return composite;
}

void TIconRegistry::Clear() {
    icons_.clear();
    byName_.clear();
    composites_.clear();
}

TIconRegistry& IconRegistry() {
    static TIconRegistry registry;
    // The theme is settled before the first icon is made. Pixmaps must go while the application object still
    // exists, not among the static destructors.
    static const bool cleanUp = [] {
        SetUpIconTheme();
        qAddPostRoutine([] { IconRegistry().Clear(); });
        return true;
    }();
    (void)cleanUp;
    return registry;
}

} // namespace quorvex
