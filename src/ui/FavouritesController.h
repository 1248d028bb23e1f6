#pragma once

#include <functional>
#include <memory>
#include <string>

class QMenu;
class QWidget;

namespace quorvex {

class TMRUDirList;
class TMountProbe;
class TTimedProber;

// The window's favourites: the recent directories and the two menus that list them with the drives
// (the toolbar button's drop-down and the File menu's submenu), and the removal of entries that are
// gone. The list and the menus belong to `window` through Qt's parent chain.
class TFavouritesController {
public:
    // `scan` starts the scan of an entry chosen; an empty path stands for the local drives.
    TFavouritesController(QWidget* window, std::function<void(const std::string& path)> scan);
    ~TFavouritesController();
    TFavouritesController(const TFavouritesController&) = delete;
    TFavouritesController& operator=(const TFavouritesController&) = delete;

    TMRUDirList* List() const { return list_; }
    QMenu* ButtonMenu() const { return buttonMenu_; }
    QMenu* SubMenu() const { return subMenu_; }

    // What the menus ask for labels and existence; tests pass one that hangs.
    void SetMountProbe(std::shared_ptr<const TMountProbe> probe);
    // Refills both menus from the mount table and the recent directories; never waits for a hanging
    // mount beyond a short limit.
    void RebuildMenus();
    // Asks, then removes the recent directories that are gone; one on a mount that does not answer
    // stays, as it may come back.
    void RemoveInvalidEntries();

private:
    QWidget* const window_;
    std::function<void(const std::string& path)> scan_;
    TMRUDirList* const list_;
    QMenu* const subMenu_;
    QMenu* const buttonMenu_;
    std::unique_ptr<TTimedProber> prober_;
};

} // namespace quorvex
