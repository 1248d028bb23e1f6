// Scan control of the main window: starting, repeating, stopping and partly repeating scans, and
// what happens when their threads end.

#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "support/MountTable.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <sys/stat.h>

namespace quorvex {
namespace {

bool IsExistingDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    return !scanThreads_->IsEmpty();
}

void TFormMain::ProcessCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments)
        line += (line.empty() ? "" : " ") + argument;
    ProgramLogger().info("CmdLine: " + line);
    if (!arguments.empty() && IsExistingDirectory(arguments.front())) {
        StartDirScan(arguments.front());
        QCoreApplication::processEvents();
    } else if (struct stat st{};
               !arguments.empty() && ::stat(arguments.front().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        OpenScanFile(arguments.front());
    }
}

void TFormMain::StartTimers() {
    timerAniSearch_->start();
    timerTreeRefresh_->start();
    timerStatusBar_->start();
    UpdateActions();
}

void TFormMain::StopTimers() {
    timerAniSearch_->stop();
    timerTreeRefresh_->stop();
    timerStatusBar_->stop();
}

// The view lets go of the old tree before it is destroyed.
void TFormMain::ReplaceRoot(std::unique_ptr<TRootNode> root) {
    DiscardFlatList();
    treeModel_->SetRoot(nullptr);
    rootNode_ = std::move(root);
    // The model needs the root in both presentations: the flat rows' percentages are shares of it, and
    // the way back to the tree starts from it.
    treeModel_->SetRoot(rootNode_.get());
    if (flatView_ && rootNode_ != nullptr)
        RebuildTree();
    treeView_->ExpandInitialRows();
    // Whatever the panels said was about the old tree.
    statusPanel0_->clear();
    statusPanel1_->clear();
}

void TFormMain::StartDirScan(const std::string& path) {
    infoPanel_->SlideVisible(false);
    if (!scanThreads_->IsEmpty()) {
        pendingScanPath_ = path;
        scanThreads_->StopAll();
        return;
    }
    if (!IsDriveRoot(ExcludeTrailingPathDelimiter(path))) {
        // What another window added meanwhile is older than this scan.
        try {
            favourites_->MergeStored(settings_.ReadString("MRUDirList", ""));
        } catch (const std::exception& error) {
            ProgramLogger().error(error.what());
        }
        favourites_->AddDir(path);
    }
    lastScanDir_ = path;
    pendingScanPath_.clear();
    setWindowTitle(QStringLiteral("Quorvex - ") + DecodePath(path));
    ShowScanDuration(-1);

    auto root = std::make_unique<TRootDirNode>();
    root->SetName(path);
    root->SetGroupThreshold(settings_.GroupThreshold());
    root->SetHardLinksOnce(settings_.HardLinksOnce());
    root->SetScanning(true);
    TRootDirNode* rootDir = root.get();
    ReplaceRoot(std::move(root));

    TDirScanThread* thread = scanThreads_->AddThread(rootDir);
    currentDirThread_ = thread;
    if (thread == nullptr) {
        rootDir->SetScanning(false);
        UpdateActions();
        return;
    }
    thread->SetOnFinished([this](TDirScanThread& done) { OnDirScanDone(done); });
    thread->Resume();
    StartTimers();
}

void TFormMain::StartFixedDrivesScan() {
    const std::string localDrives = TranslateText(kLocalDrivesName);
    infoPanel_->SlideVisible(false);
    if (!scanThreads_->IsEmpty()) {
        pendingScanPath_ = localDrives;
        scanThreads_->StopAll();
        return;
    }
    pendingScanPath_.clear();
    setWindowTitle(QStringLiteral("Quorvex - ") + QString::fromStdString(localDrives));
    ShowScanDuration(-1);

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
        TDirScanThread* thread = scanThreads_->AddThread(drive);
        if (thread == nullptr) {
            drive->SetScanning(false); // more drives than threads: it stays listed, unscanned
            continue;
        }
        thread->SetOnFinished([this](TDirScanThread& done) { OnSubScanDone(done); });
        thread->Resume();
        StartTimers();
    }
    if (scanThreads_->IsEmpty())
        rootNode_->SetScanning(false);
    UpdateActions();
}

void TFormMain::RescanNode(TDirNode* dir) {
    if (dir == nullptr || scanThreads_->IsFull() || IsImportedScan()) {
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
    const int stopped = scanThreads_->StopThreadsBelow(dir);
    if (stopped > 0)
        ProgramLogger().debug("children stopped");
    // Their completions are still to come, and Clear is about to destroy their roots.
    for (TDirScanThread* thread : runningSubScans_) {
        if (IsStrictAncestor(dir, thread->Root()))
            orphanedScans_.insert(thread);
    }

    const bool expanded = dir->HasFlag(nfExpanded);
    treeView_->PrepareRescan(dir);
    treeModel_->ForgetChildren(dir);
    // Before the clear: the flat list may hold the very nodes it destroys.
    DiscardFlatList();
    dir->Clear();
    dir->SetScanning(true);
    dir->SetFlag(nfExpanded, expanded);
    RebuildTree();

    TDirScanThread* thread = scanThreads_->AddThread(dir);
    if (thread == nullptr) {
        dir->SetScanning(false);
        return;
    }
    runningSubScans_.insert(thread);
    thread->SetOnFinished([this](TDirScanThread& done) { OnSubScanDone(done); });
    thread->Resume();
    StartTimers();
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
    scanThreads_->StopAll();
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

void TFormMain::OnDirScanDone(TDirScanThread& thread) {
    currentDirThread_ = nullptr;
    scanThreads_->Remove(&thread);
    if (scanThreads_->IsEmpty())
        ScanFinished(thread);
    if (!pendingScanPath_.empty())
        QMetaObject::invokeMethod(this, &TFormMain::StartPendingScan, Qt::QueuedConnection);
}

void TFormMain::OnSubScanDone(TDirScanThread& thread) {
    scanThreads_->Remove(&thread);
    runningSubScans_.erase(&thread);
    const bool orphaned = orphanedScans_.erase(&thread) > 0;
    if (scanThreads_->IsEmpty())
        ScanFinished(thread);
    if (!orphaned) {
        TGroupNode* root = thread.Root();
        for (TGroupNode* up = root->Parent(); dynamic_cast<TDirNode*>(up) != nullptr; up = up->Parent()) {
            up->Recalculate();
            RefreshTreeNode(up);
        }
        RefreshTreeNode(root);
    }
    if (!pendingScanPath_.empty())
        QMetaObject::invokeMethod(this, &TFormMain::StartPendingScan, Qt::QueuedConnection);
}

void TFormMain::ScanFinished(TDirScanThread& thread) {
    if (rootNode_ != nullptr)
        rootNode_->SetScanning(false);
    StopTimers();
    setWindowTitle(ScanCaption(rootNode_.get()));
    DiscardFlatList();
    RebuildTree();
    // After the rebuild: a flat list is made anew, and putting the focus back on its row reports a
    // selection change that would fill the panels with that row.
    statusPanel0_->clear();
    ShowScanDuration(thread.Scanner().ElapsedSeconds());
    UpdateActions();
    emit ScanFinishedSignal();
}

void TFormMain::StartPendingScan() {
    if (pendingScanPath_.empty())
        return;
    const std::string path = pendingScanPath_;
    if (path == TranslateText(kLocalDrivesName))
        StartFixedDrivesScan();
    else
        StartDirScan(path);
}

} // namespace quorvex
