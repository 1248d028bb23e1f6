#pragma once

#include "model/RootNodes.h"
#include "model/SizeFormat.h"
#include "settings/QxSettings.h"
#include "shell/BrowseForFolder.h"
#include "support/DeleteFiles.h"
#include "support/ShellLaunch.h"
#include "ui/SaveScanResult.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;

namespace quorvex {

class TDirNode;
class TDirScanThread;
class TDirScanThreadList;
class TFileSystemApi;
class TFileSystemNode;
class TFrameInfoPanel;
class TMRUDirList;
class TMountProbe;
class TItemMenus;
class TNodeTreeModel;
class TNodeTreeView;
class TQxBarChartPainter;
class TRootNode;
class TSHChangeNotify;
class TShellIcons;
class TTimedProber;

// The application's main window: starts, repeats, stops and partly repeats scans, refreshes the tree
// while scan threads fill it, and keeps its layout in the INI file per screen resolution.
//
// Every scan root is marked as scanning before its thread starts, so the tree model never lists the
// files of a directory that its scanner is about to clear.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // `settings` is loaded here and saved when the window closes; it must outlive the window.
    explicit TFormMain(TSettings& settings, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The arguments after the program name: an existing directory as the first one starts a scan.
    void ProcessCommandLine(const std::vector<std::string>& arguments);

    void StartDirScan(const std::string& path);
    // FormMainImport.cpp: shows the scan in a file made elsewhere (ncdu -o, gdu -o, our ncdu export)
    // in place of the current tree. A file that cannot be read is reported and changes nothing.
    bool OpenScanFile(const std::string& fileName);
    // Whether the tree shown came from a file: nothing in it is on this machine's disk.
    bool IsImportedScan() const;
    void StartFixedDrivesScan();
    void RescanNode(TDirNode* dir);
    void RescanSelection();
    // Deletes the selected items, to the trash or for good (permanent); asks first.
    void DeleteSelection(bool permanent);
    void StopScan();
    void RefreshPath(const std::string& path);
    void RebuildTree();
    void RefreshTreeNode(const TFileSystemNode* node);
    void ShowScanDuration(double seconds);
    void ApplySettings(const TSettings& settings);
    // The settings dialog's apply callback.
    void OnSettingsApplied(const TSettings& settings);
    void ShowTreeView();
    void ShowFlatView();
    TSaveResult SaveScanResultAction();
    // The size every column, bar, status panel and save shows: allocated when the toggle is checked.
    TSizeKind SizeKind() const;
    void SetAllocatedSizeShown(bool on);
    void ShowAbout();

    // Seams for the modal dialogs, so that tests can answer them.
    void SetFolderDialog(FolderDialog dialog) { folderDialog_ = std::move(dialog); }
    void SetSaveFileDialog(SaveFileDialog dialog) { saveFileDialog_ = std::move(dialog); }
    // Chooses the scan file to open: a byte path, or nothing when cancelled.
    using OpenScanDialog = std::function<std::optional<std::string>(QWidget* parent)>;
    void SetOpenScanDialog(OpenScanDialog dialog) { openScanDialog_ = std::move(dialog); }
    // What deletion calls instead of the real trash and file system; tests pass failing ones.
    void SetDeletionSeams(TTrashFunction trash, TFileSystemApi* fileSystem);
    void SetShellLauncher(TShellLauncher launcher) { shellLauncher_ = std::move(launcher); }
    // What scans walk with (not owned), set before the first; tests pass one that holds a walk.
    void SetScanFileSystem(TFileSystemApi* fileSystem);
    // What the settings action opens instead of the settings dialog; an empty one restores the dialog.
    void SetSettingsDialogOpener(std::function<void(TFormMain&)> opener);
    // The settings dialog on the shared settings, applying what it hands back.
    void ExecuteSettingsDialog();
    // What the favourites ask for labels and existence; tests pass one that hangs.
    void SetMountProbe(std::shared_ptr<const TMountProbe> probe);

    // Refills the favourites button's menu and the File menu's favourites from the mount table and
    // the recent directories; never waits for a hanging mount beyond a short limit.
    void RebuildFavouritesMenus();

    TRootNode* RootNode() const { return rootNode_.get(); }
    bool IsScanRunning() const;
    const std::string& PendingScanPath() const { return pendingScanPath_; }
    const std::string& LastScanDir() const { return lastScanDir_; }
    TNodeTreeView* TreeView() const { return treeView_; }
    TNodeTreeModel* TreeModel() const { return treeModel_; }
    TFrameInfoPanel* InfoPanel() const { return infoPanel_; }
    TSHChangeNotify* ChangeNotify() const { return changeNotify_; }
    TMRUDirList* Favourites() const { return favourites_; }
    // The menu the last right click on the tree opened, while it is open; null otherwise.
    QMenu* ItemMenu() const;
    QString StatusText(int panel) const;
    TSizeFormatter SizeFormatter() const { return sizeFormatter_; }

signals:
    // A scan, or the last of several, has ended and the tree was rebuilt.
    void ScanFinishedSignal();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's size when no saved position fits, and the screen it is centred on.
    static constexpr int kDefaultWindowWidth = 700;
    static constexpr int kDefaultWindowHeight = 500;
    static QSize ScreenSize();

    void CreateActions();
    void CreateMenusAndToolbar();
    void CreateTimers();
    void RetranslateUi();
    void RestoreWindowState();
    void SaveWindowState();
    void ShutDown();
    void UpdateActions();
    void StartTimers();
    void StopTimers();
    void ReplaceRoot(std::unique_ptr<TRootNode> root);
    void DiscardFlatList() { flatList_.clear(); }
    std::vector<TFileSystemNode*> BuildFlatList() const;
    void RemoveInvalidEntries();

    void ActDirSelectExecute();
    void ActOpenScanExecute();
    // After UpdateActions: an imported tree disables what would act on the disk, and says why.
    void UpdateImportedActions();
    void ActRefreshExecute();
    void ActOpenInExplorerExecute();
    void ActShellOpenFileExecute();
    void ActConfigExecute();
    void OnDirScanDone(TDirScanThread& thread);
    void OnSubScanDone(TDirScanThread& thread);
    void ScanFinished(TDirScanThread& thread);
    void StartPendingScan();
    void OnCurrentRowChanged();
    void ShowTreeContextMenu(const QPoint& at);
    void ActDeleteExecute();
    bool CanDelete(const std::vector<TFileSystemNode*>& nodes) const;
    void UpdateDeleteAction(const std::vector<TFileSystemNode*>& selected);
    TDeleteFilesResult RunDeletion(const std::vector<TFileSystemNode*>& nodes,
                                   const std::vector<std::string>& paths, TDeleteMode mode);
    // FormMainDrives.cpp: drives mounted and unmounted while the window runs, and the info panel.
    void CreateChangeNotify();
    void DrivesChanged(const std::string& logLine);
    void OnInfoPanelRefresh(const std::string& path);
    void UpdateTreeAfterDeletion(const std::vector<TFileSystemNode*>& nodes, const TDeleteFilesResult& result,
                                 const TFileSystemNode* firstSelected);

    TSettings& settings_;
    ScreenSectionNameSource previousScreenSource_;

    // Controls, owned by Qt's parent chain.
    TNodeTreeModel* treeModel_;
    TNodeTreeView* treeView_;
    TFrameInfoPanel* infoPanel_;
    TSHChangeNotify* changeNotify_ = nullptr;
    TMRUDirList* favourites_;
    QLabel* statusPanel0_;
    QLabel* statusPanel1_;
    QToolButton* favouritesButton_ = nullptr;
    QMenu* favouritesMenu_ = nullptr;
    QMenu* favouritesSubMenu_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* optionsMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* actDirSelect_ = nullptr;
    QAction* actOpenScan_ = nullptr;
    QLabel* importedMark_ = nullptr;
    QAction* actRefresh_ = nullptr;
    QAction* actStopScan_ = nullptr;
    QAction* actRefreshNode_ = nullptr;
    QAction* actShowTreeView_ = nullptr;
    QAction* actShowFlatView_ = nullptr;
    QAction* actAllocatedSize_ = nullptr;
    QAction* actConfig_ = nullptr;
    QAction* actOpenInExplorer_ = nullptr;
    QAction* actSaveScanResult_ = nullptr;
    QAction* actDelete_ = nullptr;
    QAction* actShellOpenFile_ = nullptr;
    QAction* actExit_ = nullptr;
    QAction* actInfo_ = nullptr;
    QTimer* timerAniSearch_ = nullptr;
    QTimer* timerTreeRefresh_ = nullptr;
    QTimer* timerStatusBar_ = nullptr;
    TItemMenus* itemMenus_ = nullptr; // made at the first right click

    // Declared before the threads: a thread's root must outlive the thread list.
    std::unique_ptr<TRootNode> rootNode_;
    std::unique_ptr<TDirScanThreadList> scanThreads_;
    TDirScanThread* currentDirThread_ = nullptr;
    // Running rescans of subdirectories, and those whose root a rescan of an ancestor has destroyed
    // meanwhile: their completion must not touch the tree.
    std::unordered_set<TDirScanThread*> runningSubScans_;
    std::unordered_set<const TDirScanThread*> orphanedScans_;
    std::vector<TFileSystemNode*> flatList_;
    bool flatView_ = false;
    std::string colWidthsTreeView_;
    std::string colWidthsFlatView_;
    std::string lastScanDir_;
    std::string pendingScanPath_;
    int aniFrame_ = 0;
    TSizeFormatter sizeFormatter_ = nullptr;
    std::unique_ptr<TQxBarChartPainter> barPainter_;
    std::unique_ptr<TQxBarChartPainter> childBarPainter_;
    bool drawChildBars_ = true;
    std::unique_ptr<TShellIcons> shellIcons_;
    std::unique_ptr<TTimedProber> mountProber_;
    FolderDialog folderDialog_ = ChooseFolderWithDialog;
    SaveFileDialog saveFileDialog_ = ShowSaveFileDialog;
    OpenScanDialog openScanDialog_;
    TShellLauncher shellLauncher_ = DefaultShellLauncher();
    std::function<void(TFormMain&)> settingsDialogOpener_;
    TTrashFunction deletionTrash_;
    TFileSystemApi* deletionFileSystem_ = nullptr;
    bool deleting_ = false;
    bool shutDown_ = false;
};

} // namespace quorvex
