#include "shell/Favourites.h"

#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "shell/DriveNames.h"
#include "shell/MRUDirList.h"
#include "support/PathText.h"
#include "support/Utilities.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>

namespace quorvex {

TFileMenuItem::TFileMenuItem(const QIcon& icon, const QString& caption, std::string path, QObject* parent)
    : QAction(icon, caption, parent), path_(std::move(path)) {}

TFavouritesContent CollectFavourites(const TMRUDirList& recent, const std::vector<TMountEntry>& table,
                                     TTimedProber& prober) {
    TFavouritesContent content;
    const std::vector<TMountEntry> drives = FavouriteDrives(table);
    const std::vector<std::string> labels = prober.Labels(drives);
    content.Drives.push_back(
        {std::string(), TranslateText(kLocalDrivesName), DriveKindIcon(TDriveKind::Fixed)});
    for (std::size_t i = 0; i < drives.size(); ++i)
        content.Drives.push_back(
            {drives[i].MountPoint, DriveDisplayName(drives[i], labels[i]), DriveKindIcon(drives[i].Kind)});
    content.Recent = recent.Items();
    content.RecentStates = prober.Directories(content.Recent);
    return content;
}

void BuildFavouritesMenu(QMenu* root, const TFavouritesContent& content, const QIcon& defaultIcon,
                         const TFavouritesMenuHandlers& handlers) {
    root->clear();
    const auto addItem = [&](const QIcon& icon, const QString& caption, const std::string& path) {
        auto* item = new TFileMenuItem(icon, caption, path, root);
        QObject::connect(item, &QAction::triggered, root,
                         [scan = handlers.Scan, item] { scan(item->Path()); });
        root->addAction(item);
    };
    for (const TFavouriteDrive& drive : content.Drives)
        addItem(drive.Icon.isNull() ? defaultIcon : drive.Icon, DecodePath(drive.Caption), drive.Path);
    root->addSeparator();
    bool invalidFound = false;
    int number = 1;
    for (std::size_t i = content.Recent.size(); i-- > 0; ++number) {
        const std::string& dir = content.Recent[i];
        // Only a directory known to be gone counts: one on a hanging mount may come back.
        invalidFound = invalidFound ||
                       (i < content.RecentStates.size() && content.RecentStates[i] == TPathState::Missing);
        addItem(defaultIcon,
                QString::number(number) + QLatin1Char(' ') + DecodePath(ExcludeTrailingPathDelimiter(dir)),
                dir);
    }
    if (!invalidFound)
        return;
    root->addSeparator();
    QAction* remove =
        root->addAction(QIcon::fromTheme(QStringLiteral("edit-clear"),
                                         qApp->style()->standardIcon(QStyle::SP_DialogResetButton)),
                        QString::fromStdString(TranslateText("Remove invalid entries...")));
    remove->setObjectName(QStringLiteral("MenuItem_RemoveInvalidItems"));
    QObject::connect(remove, &QAction::triggered, root, [handler = handlers.RemoveInvalid] { handler(); });
}

QIcon DriveKindIcon(TDriveKind kind) {
    QStyle* style = qApp->style();
    switch (kind) {
    case TDriveKind::Removable:
        return QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                                style->standardIcon(QStyle::SP_DriveFDIcon));
    case TDriveKind::Remote:
        return QIcon::fromTheme(QStringLiteral("folder-remote"),
                                style->standardIcon(QStyle::SP_DriveNetIcon));
    case TDriveKind::Optical:
        return QIcon::fromTheme(QStringLiteral("drive-optical"), style->standardIcon(QStyle::SP_DriveCDIcon));
    case TDriveKind::RamDisk:
        return QIcon::fromTheme(QStringLiteral("media-flash"), style->standardIcon(QStyle::SP_DriveHDIcon));
    case TDriveKind::Fixed:
    case TDriveKind::Unknown:
        break;
    }
    return QIcon::fromTheme(QStringLiteral("drive-harddisk"), style->standardIcon(QStyle::SP_DriveHDIcon));
}

std::string RemoveInvalidQuestion(const std::vector<std::string>& missing) {
    std::string text = TranslateText("Do you really want to remove the following invalid entries?");
    for (const std::string& dir : missing)
        text += "\n" + dir;
    return text;
}

} // namespace quorvex
