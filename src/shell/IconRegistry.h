#pragma once

#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QStyle>

#include <functional>
#include <vector>

namespace quorvex {

// What to show for one kind of item: freedesktop icon names tried in order, then a style icon, so an
// icon is never empty even without any installed theme.
struct TIconName {
    QStringList Names;
    QStyle::StandardPixmap Standard = QStyle::SP_FileIcon;
};

// The theme to use when the session names none (a bare X server, a minimal desktop): a full theme
// when one is installed, since hicolor alone holds hardly any file-type or folder icons; hicolor stays
// the fallback every theme inherits. `installed` answers whether a theme folder exists.
struct TIconThemeChoice {
    QString Theme;
    QString Fallback;
};
TIconThemeChoice ChooseIconTheme(const QString& sessionTheme,
                                 const std::function<bool(const QString&)>& installed);
// Applies ChooseIconTheme to the running application, looking in QIcon::themeSearchPaths().
void SetUpIconTheme();

// The application's icons by integer index, which nodes cache (ImageIndex). Names are turned into
// icons here, once each; a name asked again gets its old index. User-interface thread only: icons
// are pixmap-backed and must not be made elsewhere.
class TIconRegistry {
public:
    TIconRegistry() = default;
    TIconRegistry(const TIconRegistry&) = delete;
    TIconRegistry& operator=(const TIconRegistry&) = delete;

    int IndexOf(const TIconName& name);
    // Program-made images (overlays, animation frames) get indices of their own.
    int Add(const QIcon& icon);
    int Count() const { return static_cast<int>(icons_.size()); }
    // A null icon for an index out of range.
    QIcon Icon(int index) const;
    // The icon faded as hidden items are drawn, and/or with a program image laid over its lower
    // left quarter; made on first use and kept. `overlay` -1 for none.
    QIcon Composite(int index, bool ghosted, int overlay);
    // True when the icon came from a theme rather than the style's standard icons.
    bool FromTheme(int index) const;
    // Forgets every icon; indices handed out before are meaningless afterwards.
    void Clear();

private:
    struct TEntry {
        QIcon Icon;
        bool Themed = false;
    };
    std::vector<TEntry> icons_;
    QHash<QString, int> byName_;
    QHash<qint64, QIcon> composites_;
};

// The one registry of the application.
TIconRegistry& IconRegistry();

} // namespace quorvex
