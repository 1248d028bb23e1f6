#pragma once

class QAction;
class QMainWindow;
class QMenu;

namespace quorvex {

// The main window's actions, its menus and its toolbar, all owned by the window through Qt's parent
// chain. Made here with their English texts, shortcuts and images; the window connects them and the
// window translation gives them their texts.
class TMainActions {
public:
    explicit TMainActions(QMainWindow& window);

    // The menu bar and the toolbar; the favourites come as a submenu of File and as the toolbar's
    // first button.
    void BuildMenusAndToolbar(QMainWindow& window, QMenu* favouritesSubMenu, QMenu* favouritesButtonMenu);

    QAction* DirSelect = nullptr;
    QAction* OpenScan = nullptr;
    QAction* Refresh = nullptr;
    QAction* StopScan = nullptr;
    QAction* RefreshNode = nullptr;
    QAction* ShowTreeView = nullptr;
    QAction* ShowFlatView = nullptr;
    QAction* AllocatedSize = nullptr;
    QAction* Config = nullptr;
    QAction* OpenInExplorer = nullptr;
    QAction* SaveScanResult = nullptr;
    QAction* Delete = nullptr;
    QAction* ShellOpenFile = nullptr;
    QAction* Find = nullptr;
    QAction* Exit = nullptr;
    QAction* Info = nullptr;
    QAction* OnlyChanges = nullptr; // checkable; hides the rows a comparison found unchanged
    QAction* EndComparison = nullptr;
    // Their entries' tool tips are shown while an imported tree is.
    QMenu* FileMenu = nullptr;
    QMenu* HistoryMenu = nullptr; // filled by the window each time it opens
    QMenu* CompareMenu = nullptr; // likewise: the earlier scans to compare with, and any scan file
    QMenu* OptionsMenu = nullptr;
    // The docks beside the tree add their toggles here.
    QMenu* ViewMenu = nullptr;
};

} // namespace quorvex
