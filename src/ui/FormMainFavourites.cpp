// The favourites menus of the main window: drives and recent directories.
#include "ui/FormMain.h"

#include "shell/Favourites.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"
#include "ui/MessageDialogs.h"

#include <QMenu>
#include <QStyle>

#include <set>

namespace quorvex {

void TFormMain::SetMountProbe(std::shared_ptr<const TMountProbe> probe) {
    mountProber_->SetProbe(std::move(probe));
    RebuildFavouritesMenus();
}

void TFormMain::RebuildFavouritesMenus() {
    if (shutDown_)
        return; // the last save may still merge another window's entries; nobody sees the menus now
    const TFavouritesContent content = CollectFavourites(*favourites_, ReadMountTable(), *mountProber_);
    const TFavouritesMenuHandlers handlers{[this](const std::string& path) {
                                               if (path.empty())
                                                   StartFixedDrivesScan();
                                               else
                                                   StartDirScan(path);
                                           },
                                           [this] { RemoveInvalidEntries(); }};
    const QIcon folder = style()->standardIcon(QStyle::SP_DirClosedIcon);
    BuildFavouritesMenu(favouritesMenu_, content, folder, handlers);
    BuildFavouritesMenu(favouritesSubMenu_, content, folder, handlers);
}

void TFormMain::RemoveInvalidEntries() {
    // Entries on a mount that does not answer are neither listed nor removed: they may come back.
    const std::vector<std::string> entries = favourites_->Items();
    const std::vector<TPathState> states = mountProber_->Directories(entries);
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (states[i] == TPathState::Missing)
            missing.push_back(entries[i]);
    }
    if (missing.empty() || !ShowConfirmationDialog(RemoveInvalidQuestion(missing)))
        return;
    const std::vector<TPathState> again = mountProber_->Directories(favourites_->Items());
    std::set<std::string> goneNow;
    for (std::size_t i = 0; i < again.size(); ++i) {
        if (again[i] == TPathState::Missing)
            goneNow.insert(favourites_->Items()[i]);
    }
    favourites_->RemoveInvalid([&](const std::string& dir) { return goneNow.count(dir) == 0; });
}

} // namespace quorvex
