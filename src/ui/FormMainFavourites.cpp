// The favourites menus of the main window: drives and recent directories.
#include "ui/FormMain.h"

#include "model/TreeOperations.h"

#include "ui/FavouritesController.h"

namespace quorvex {

TMRUDirList* TFormMain::Favourites() const {
    return favourites_->List();
}

void TFormMain::SetMountProbe(std::shared_ptr<const TMountProbe> probe) {
    favourites_->SetMountProbe(std::move(probe));
    RebuildFavouritesMenus();
}

void TFormMain::RebuildFavouritesMenus() {
    if (shutDown_)
        return; // the last save may still merge another window's entries; nobody sees the menus now
    favourites_->RebuildMenus();
}

} // namespace quorvex
