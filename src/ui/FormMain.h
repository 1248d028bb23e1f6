#pragma once

#include "desktop/DeleteFiles.h"
#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "settings/QxSettings.h"
#include "ui/WindowSeams.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QSplitter;

namespace quorvex {

class TDeletionController;
class TDirNode;
class TRootDirNode;
class TDirScanThread;
class TFavouritesController;
class TFileViews;
class TGrowthView;
class TFindBar;
class THistoryKeeper;
struct TFindHit;
class TFileSystemApi;
class TFileSystemNode;
class TFrameInfoPanel;
class TItemMenus;
class TMainActions;
class TMRUDirList;
class TMountProbe;
class TNodeTreeModel;
class TNodeTreeView;
class TRootNode;
class TScanController;
class TSHChangeNotify;
class TShellIcons;
class TTreePresentation;
class TTreemapPane;
class TTreeComparison;
struct TDeletionDone;

// The application's main window: starts, repeats, stops and partly repeats scans, refreshes the tree
// while scan threads fill it, and keeps its layout in the INI file per screen resolution. It
// coordinates: the scan threads, the deletion, the favourites, the tree's presentation and the actions
// are collaborators of their own, which know nothing of the window.
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
    // FormMainCompare.cpp: sets the tree shown against the scan in a file (a history file or any
    // scan file): change columns, marks, the items gone since as rows. False when the file cannot be
    // read (reported) or the tree cannot be compared now: a scan runs, or stopped, or "Local Drives".
    // `shownAs` names the earlier scan in the status bar; the file's name when empty.
    bool CompareWithScanFile(const std::string& fileName, const QString& shownAs = {});
    void EndComparison();
    bool IsComparing() const { return comparison_ != nullptr; }
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
    // Says in the status bar how many patterns the scan shown left out; nothing for none.
    void ShowExclusionMark(std::size_t patterns);
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
    void SetFolderDialog(FolderDialog dialog) { seams_.Folder = std::move(dialog); }
    void SetSaveFileDialog(SaveFileDialog dialog) { seams_.SaveFile = std::move(dialog); }
    // Chooses the scan file to open: a byte path, or nothing when cancelled.
    using OpenScanDialog = TWindowSeams::OpenScanDialog;
    void SetOpenScanDialog(OpenScanDialog dialog) { seams_.OpenScan = std::move(dialog); }
    // What deletion calls instead of the real trash and file system; tests pass failing ones.
    void SetDeletionSeams(TTrashFunction trash, TFileSystemApi* fileSystem);
    void SetShellLauncher(TShellLauncher launcher) { seams_.Shell = std::move(launcher); }
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
    const std::string& PendingScanPath() const;
    const std::string& LastScanDir() const;
    TNodeTreeView* TreeView() const { return treeView_; }
    TFindBar* FindBar() const { return findBar_; }
    TNodeTreeModel* TreeModel() const { return treeModel_; }
    TFrameInfoPanel* InfoPanel() const { return infoPanel_; }
    TFileViews* FileViews() const { return fileViews_; }
    TGrowthView* GrowthView() const { return growth_; }
    TTreemapPane* TreemapPane() const { return treemap_; }
    TSHChangeNotify* ChangeNotify() const { return changeNotify_; }
    TMRUDirList* Favourites() const;
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

    void ConnectActions();
    void RetranslateUi();
    void RestoreWindowState();
    void SaveWindowState();
    void ShutDown();
    void UpdateActions();
    void ReplaceRoot(std::unique_ptr<TRootNode> root);
    // Tells everything that reads the tree between events (the file views, the treemap, the
    // history's copy) that folders are about to go, or the whole tree when `replaced`.
    void TreeChanging(bool replaced = false);
    void CreateFileViews();
    void CreateTreemap();
    void RevealNode(TFileSystemNode* node);

    void ActDirSelectExecute();
    void ActOpenScanExecute();
    // After UpdateActions: an imported tree disables what would act on the disk, and says why.
    void UpdateImportedActions();
    void ActRefreshExecute();
    void ActOpenInExplorerExecute();
    void ActShellOpenFileExecute();
    void ActConfigExecute();
    void ScanFinished(TDirScanThread& thread);
    // FormMainHistory.cpp: a finished scan goes to the scan history; the "History" menu lists the
    // earlier scans of the root shown.
    void SaveScanToHistory(const TDirScanThread& thread);
    void FillHistoryMenu();
    // The kept scans of the root shown as entries of `menu`, each handing its file and its text to
    // `chosen`; with `earlierOnly`, only those kept before the tree shown. False when there are none.
    bool AddHistoryEntries(QMenu* menu, bool earlierOnly,
                           const std::function<void(const std::string&, const QString&)>& chosen);
    // The open-scan dialog, or what a test put in its place: a byte path, or nothing when cancelled.
    std::optional<std::string> ChooseScanFile();
    // The tree in a scan file; null, with the reason shown, when it cannot be read.
    std::unique_ptr<TRootDirNode> ReadScanFile(const std::string& fileName);
    // FormMainCompare.cpp.
    void FillCompareMenu();
    bool CanCompare() const;
    // Hands the comparison to the model (again) and shows its columns.
    void ShowComparison();
    // Before the tree changes under a comparison: the model lets go of it and it forgets the tree.
    void SuspendComparison();
    // Once the tree has settled: compared again; a stopped rescan left holes, so it ends instead.
    void ResumeComparison(bool treeComplete = true);
    void ShowScanProgress(const std::string& dir);
    void OnCurrentRowChanged();
    void ShowTreeContextMenu(const QPoint& at);
    // The item menu of the tree's focused row at `global`.
    void ShowItemMenu(const QPoint& global);
    void ActDeleteExecute();
    void UpdateTreeAfterDeletion(const TDeletionDone& done, const TFileSystemNode* firstSelected);
    // FormMainDrives.cpp: drives mounted and unmounted while the window runs, and the info panel.
    void CreateChangeNotify();
    void DrivesChanged(const std::string& logLine);
    void OnInfoPanelRefresh(const std::string& path);
    // FormMainFind.cpp: the find bar over the tree.
    void CreateFindBar();
    // Selects the hit's node in the tree (a file of a folder still being scanned: the folder) and
    // returns it; null when the tree holds no such path any more.
    TFileSystemNode* RevealFound(const TFindHit& hit);
    void DeleteFound(bool permanent);

    TSettings& settings_;
    ScreenSectionNameSource previousScreenSource_;

    // Controls, owned by Qt's parent chain.
    TNodeTreeModel* treeModel_;
    TNodeTreeView* treeView_;
    TFrameInfoPanel* infoPanel_;
    TFindBar* findBar_ = nullptr;
    TSHChangeNotify* changeNotify_ = nullptr;
    QLabel* statusPanel0_;
    QLabel* statusPanel1_;
    QLabel* importedMark_ = nullptr;
    QLabel* compareMark_ = nullptr;
    QLabel* exclusionMark_;
    std::size_t scanExclusions_ = 0;
    TItemMenus* itemMenus_ = nullptr; // made at the first right click
    TFileViews* fileViews_ = nullptr;
    TGrowthView* growth_ = nullptr;
    TTreemapPane* treemap_ = nullptr;
    QSplitter* treemapSplit_ = nullptr;

    TWindowSeams seams_;
    std::unique_ptr<TShellIcons> shellIcons_;
    std::unique_ptr<TMainActions> actions_;
    std::unique_ptr<TFavouritesController> favourites_;
    std::unique_ptr<TTreePresentation> presentation_;
    TSizeFormatter sizeFormatter_ = nullptr;
    // Declared before the scans: a walk's root must outlive its thread.
    std::unique_ptr<TRootNode> rootNode_;
    std::int64_t shownScanTimeMs_ = 0; // what the history dates the tree shown by; 0: not kept
    // After the root: it points into the tree, and goes first.
    std::unique_ptr<TTreeComparison> comparison_;
    std::unique_ptr<TScanController> scans_;
    std::unique_ptr<TDeletionController> deletion_;
    bool shutDown_ = false;
    // Destroyed first, so the window waits for a history file being written rather than leave it
    // half done.
    std::unique_ptr<THistoryKeeper> history_;
};

} // namespace quorvex
