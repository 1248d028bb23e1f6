// Scan control of the main window: starting, repeating, stopping and partly repeating scans, and
// what happens when their threads end.

#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThread.h"
#include "scan/DirScanner.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "support/MountTable.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/FavouritesController.h"
#include "ui/FileViews.h"
#include "ui/FindBar.h"
#include "ui/GrowthChart.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/ScanController.h"
#include "ui/TreePresentation.h"
#include "ui/TreemapPane.h"

#include <QCoreApplication>
#include <QLabel>

#include <algorithm>
#include <sys/stat.h>

namespace quorvex {
namespace {

bool NamesDirectory(const std::string& argument) {
    struct stat st {};
    return !argument.empty() && ::stat(argument.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsStrictAncestor(const TFileSystemNode* ancestor, const TFileSystemNode* node) {
    for (const TFileSystemNode* up = node->Parent(); up != nullptr; up = up->Parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

// The caption naming the scan shown, as it stands between scans.
QString ScanCaption(const TRootNode* root) {
    if (root == nullptr)
        return QStringLiteral("Quorvex");
    const QString name = root->GetNodeType() == ntFixedDrives
                             ? QString::fromStdString(TranslateText(kLocalDrivesName))
                             : DecodePath(root->Name());
    return QStringLiteral("Quorvex - ") + name;
}

} // namespace

bool TFormMain::IsScanRunning() const {
    return scans_->IsRunning();
}

const std::string& TFormMain::PendingScanPath() const {
    return scans_->PendingPath();
}

const std::string& TFormMain::LastScanDir() const {
    return scans_->LastDir();
}

void TFormMain::ProcessCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments)
        line += (line.empty() ? "" : " ") + argument;
    ProgramLogger().info("CmdLine: " + line);
    if (!arguments.empty() && NamesDirectory(arguments.front())) {
        StartDirScan(arguments.front());
        QCoreApplication::processEvents();
    } else if (struct stat st{};
               !arguments.empty() && ::stat(arguments.front().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        OpenScanFile(arguments.front());
    }
}

// The view lets go of the old tree before it is destroyed.
void TFormMain::ReplaceRoot(std::unique_ptr<TRootNode> root) {
    EndComparison();
    presentation_->Discard();
    TreeChanging(true);
    treeModel_->SetRoot(nullptr);
    rootNode_ = std::move(root);
    shownScanTimeMs_ = 0;
    // The model needs the root in both presentations: the flat rows' percentages are shares of it, and
    // the way back to the tree starts from it.
    treeModel_->SetRoot(rootNode_.get());
    if (presentation_->IsFlat() && rootNode_ != nullptr)
        RebuildTree();
    treeView_->ExpandInitialRows();
    findBar_->Refresh();
    growth_->HistoryChanged();
    // Whatever the panels said was about the old tree.
    statusPanel0_->clear();
    statusPanel1_->clear();
}

void TFormMain::StartDirScan(const std::string& path) {
    infoPanel_->SlideVisible(false);
    if (scans_->DeferWhileRunning(path))
        return;
    if (!IsDriveRoot(ExcludeTrailingPathDelimiter(path))) {
        // What another window added meanwhile is older than this scan.
        try {
            favourites_->List()->MergeStored(settings_.ReadString("MRUDirList", ""));
        } catch (const std::exception& error) {
            ProgramLogger().error(error.what());
        }
        favourites_->List()->AddDir(path);
    }
    scans_->SetLastDir(path);
    scans_->ClearPending();
    setWindowTitle(QStringLiteral("Quorvex - ") + DecodePath(path));
    ShowScanDuration(-1);
    ShowExclusionMark(settings_.ExcludePatterns().size());

    auto root = std::make_unique<TRootDirNode>();
    root->SetName(path);
    root->SetGroupThreshold(settings_.GroupThreshold());
    root->SetHardLinksOnce(settings_.HardLinksOnce());
    root->SetScanning(true);
    TRootDirNode* rootDir = root.get();
    ReplaceRoot(std::move(root));

    if (!scans_->StartRootScan(rootDir))
        rootDir->SetScanning(false);
    UpdateActions();
}

void TFormMain::StartFixedDrivesScan() {
    const std::string localDrives = TranslateText(kLocalDrivesName);
    infoPanel_->SlideVisible(false);
    if (scans_->DeferWhileRunning(localDrives))
        return;
    scans_->ClearPending();
    setWindowTitle(QStringLiteral("Quorvex - ") + QString::fromStdString(localDrives));
    ShowScanDuration(-1);
    ShowExclusionMark(settings_.ExcludePatterns().size());

    auto root = std::make_unique<TFixedDrivesNode>();
    root->SetScanning(true);
    root->SetGroupThreshold(settings_.GroupThreshold());
    root->SetHardLinksOnce(settings_.HardLinksOnce());
    std::vector<TGroupNode*> drives;
    {
        TChildrenLock guard(root.get());
        for (const auto& child : guard.Children()) {
            auto* drive = static_cast<TGroupNode*>(child.get());
            drive->SetScanning(true); // before the view can list its files; see the class comment
            drives.push_back(drive);
        }
    }
    ReplaceRoot(std::move(root));
    for (TGroupNode* drive : drives) {
        if (!scans_->StartDriveScan(drive)) {
            drive->SetScanning(false); // more drives than threads: it stays listed, unscanned
            continue;
        }
        UpdateActions();
    }
    if (!scans_->IsRunning())
        rootNode_->SetScanning(false);
    UpdateActions();
}

void TFormMain::RescanNode(TDirNode* dir) {
    if (dir == nullptr || scans_->IsFull() || IsImportedScan()) {
        ProgramLogger().debug("exit ScanSubDirNode");
        return;
    }
    if (dir->GetNodeType() == ntFixedDrives) {
        // "Local Drives" has no path of its own: repeating it means scanning every drive again.
        StartFixedDrivesScan();
        return;
    }
    ProgramLogger().info("ScanSubDir: " + GetFullPath(dir));
    if (dir->IsScanning()) {
        ProgramLogger().debug("already scanning");
        return;
    }
    if (scans_->StopBelow(dir) > 0)
        ProgramLogger().debug("children stopped");

    const bool expanded = dir->HasFlag(nfExpanded);
    SuspendComparison();
    treeView_->PrepareRescan(dir);
    treeModel_->ForgetChildren(dir);
    // Before the clear: the flat list may hold the very nodes it destroys.
    presentation_->Discard();
    TreeChanging();
    dir->Clear();
    dir->SetScanning(true);
    dir->SetFlag(nfExpanded, expanded);
    RebuildTree();

    if (!scans_->StartSubScan(dir)) {
        dir->SetScanning(false);
        return;
    }
    UpdateActions();
}

void TFormMain::RescanSelection() {
    // Files and file groups stand for their directory.
    std::vector<TDirNode*> targets;
    const TFileSystemNode* focused = treeView_->FocusedNode();
    for (TFileSystemNode* node : treeView_->SelectedNodes()) {
        auto* dir = dynamic_cast<TDirNode*>(node);
        if (dir == nullptr) {
            dir = dynamic_cast<TDirNode*>(node->Parent());
            if (dir == nullptr)
                continue;
            const QModelIndex row = treeModel_->IndexOf(node);
            const QModelIndex parentRow = treeModel_->IndexOf(dir);
            treeView_->selectionModel()->select(row,
                                                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            treeView_->selectionModel()->select(parentRow,
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (focused != nullptr && focused->Parent() == dir)
                treeView_->selectionModel()->setCurrentIndex(parentRow, QItemSelectionModel::NoUpdate);
        }
        if (std::find(targets.begin(), targets.end(), dir) == targets.end())
            targets.push_back(dir);
    }
    // A directory inside another target would be destroyed by that rescan before its own turn.
    std::vector<TDirNode*> outermost;
    for (TDirNode* dir : targets) {
        const bool nested = std::any_of(targets.begin(), targets.end(), [dir](const TDirNode* other) {
            return IsStrictAncestor(other, dir);
        });
        if (!nested)
            outermost.push_back(dir);
    }
    for (TDirNode* dir : outermost)
        RescanNode(dir);
}

void TFormMain::StopScan() {
    scans_->StopAll();
}

void TFormMain::RefreshPath(const std::string& path) {
    if (rootNode_ == nullptr)
        return;
    const std::string trimmed = ExcludeTrailingPathDelimiter(path);
    // Paths on Linux differ by case, so unlike a drive-letter system the comparison is exact.
    if (trimmed == GetFullPath(rootNode_.get())) {
        StartDirScan(trimmed);
        return;
    }
    if (auto* dir = dynamic_cast<TDirNode*>(FindNodeByPath(rootNode_.get(), trimmed)))
        RescanNode(dir);
    else
        ProgramLogger().debug("RefreshPath: " + path + " does not exists in current tree");
}

void TFormMain::RefreshTreeNode(const TFileSystemNode* node) {
    if (node != nullptr)
        treeView_->RefreshNode(node);
}

void TFormMain::ScanFinished(TDirScanThread& thread) {
    if (rootNode_ != nullptr)
        rootNode_->SetScanning(false);
    scans_->StopTimers();
    setWindowTitle(ScanCaption(rootNode_.get()));
    presentation_->Discard();
    RebuildTree();
    ResumeComparison(!thread.Scanner().IsStopped());
    fileViews_->Refill();
    treemap_->Refill();
    // After the rebuild: a flat list is made anew, and putting the focus back on its row reports a
    // selection change that would fill the panels with that row.
    statusPanel0_->clear();
    ShowScanDuration(thread.Scanner().ElapsedSeconds());
    SaveScanToHistory(thread);
    findBar_->Refresh();
    UpdateActions();
    emit ScanFinishedSignal();
}

} // namespace quorvex
