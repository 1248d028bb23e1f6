// The main window's deletion of the selected items, and a tree that matches the disk afterwards,
// whatever failed.

#include "ui/FormMain.h"

#include "model/FileSystemNode.h"
#include "model/TreeOperations.h"
#include "ui/DeletionController.h"
#include "ui/FileViews.h"
#include "ui/FindBar.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/TreePresentation.h"
#include "ui/TreemapPane.h"

#include <QGuiApplication>

#include <algorithm>

namespace quorvex {

void TFormMain::SetDeletionSeams(TTrashFunction trash, TFileSystemApi* fileSystem) {
    deletion_->SetSeams(std::move(trash), fileSystem);
}

void TFormMain::ActDeleteExecute() {
    // Shift+Delete, or Delete chosen with the mouse while Shift is held.
    DeleteSelection(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
}

void TFormMain::DeleteSelection(bool permanent) {
    const std::vector<TFileSystemNode*> selected = treeView_->SelectedNodesInTreeOrder();
    const std::optional<TDeletionDone> done = deletion_->Delete(selected, permanent);
    if (!done)
        return;
    UpdateTreeAfterDeletion(*done, selected.front());
    TDeletionController::ReportFailures(done->Result);
}

void TFormMain::UpdateTreeAfterDeletion(const TDeletionDone& done, const TFileSystemNode* firstSelected) {
    if (shutDown_ || rootNode_ == nullptr)
        return;
    const TTreeAfterDeletion plan = PlanTreeAfterDeletion(done, firstSelected);
    if (plan.Gone.count(rootNode_.get()) != 0) {
        // The scanned folder itself went: there is nothing left to show.
        ReplaceRoot(nullptr);
        setWindowTitle(QStringLiteral("Quorvex"));
        UpdateActions();
        return;
    }
    SuspendComparison();
    TreeChanging();
    if (presentation_->IsFlat()) {
        // The flat rows hold the nodes directly: they leave the list before the nodes are destroyed.
        std::vector<TFileSystemNode*> kept;
        const std::vector<TFileSystemNode*>& flatList = presentation_->FlatList();
        std::copy_if(flatList.begin(), flatList.end(), std::back_inserter(kept),
                     [&plan](const TFileSystemNode* node) { return !plan.Removed(node); });
        treeView_->ShowFlatList(kept);
        presentation_->Discard();
    }
    for (TFileSystemNode* node : done.Nodes) {
        if (plan.Gone.count(node) != 0)
            treeModel_->RemoveNode(node);
    }
    for (TGroupNode* group : plan.EmptiedGroups)
        treeModel_->RemoveNode(group);
    RebuildTree();
    // Folders gone in part are read again first; the comparison follows once they are.
    if (plan.PartlyDeleted.empty())
        ResumeComparison();
    if (plan.Target == nullptr || !treeView_->SelectNode(plan.Target))
        treeView_->clearSelection();
    treeView_->setFocus();
    // What is left of a directory that went only in part is read again, so its totals are the disk's.
    for (TDirNode* dir : plan.PartlyDeleted)
        RescanNode(dir);
    findBar_->Refresh();
    UpdateActions();
}

} // namespace quorvex
