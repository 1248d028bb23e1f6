#pragma once

#include "shell/MountProbe.h"
#include "support/MountTable.h"

#include <QAction>
#include <QIcon>

#include <functional>
#include <string>
#include <vector>

class QMenu;

namespace quorvex {

class TMRUDirList;

// A favourites entry: choosing it scans `Path` ("" stands for all local drives at once).
class TFileMenuItem : public QAction {
    Q_OBJECT
public:
    TFileMenuItem(const QIcon& icon, const QString& caption, std::string path, QObject* parent);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct TFavouriteDrive {
    std::string Path;
    std::string Caption; // bytes
    QIcon Icon;
};

// What both favourites menus show, gathered once per rebuild.
struct TFavouritesContent {
    std::vector<TFavouriteDrive> Drives;
    std::vector<std::string> Recent; // oldest first
    std::vector<TPathState> RecentStates;
};

// The drives of `table` with their names and icons, and the recent directories with their states,
// asking `prober` (which never waits beyond its limit) for labels and existence.
TFavouritesContent CollectFavourites(const TMRUDirList& recent, const std::vector<TMountEntry>& table,
                                     TTimedProber& prober);

struct TFavouritesMenuHandlers {
    std::function<void(const std::string& path)> Scan;
    std::function<void()> RemoveInvalid;
};

// Refills `root`: the drives, a separator, the recent directories newest first numbered from 1, and
// "Remove invalid entries..." after a separator when one of them is known to be missing.
void BuildFavouritesMenu(QMenu* root, const TFavouritesContent& content, const QIcon& defaultIcon,
                         const TFavouritesMenuHandlers& handlers);

// The theme icon of a drive kind, with the style's drive icon as fallback.
QIcon DriveKindIcon(TDriveKind kind);

// The text asking to remove the missing entries: one per line, oldest first.
std::string RemoveInvalidQuestion(const std::vector<std::string>& missing);

} // namespace quorvex
