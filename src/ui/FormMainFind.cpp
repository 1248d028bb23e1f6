// The find bar over the tree: its searches run on the window's thread, between the tree's changes,
// and what it shows leads back to the tree's own rows, selection and deletion.

#include "ui/FormMain.h"

#include "model/FindFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "ui/FindBar.h"
#include "ui/NodeTreeView.h"
#include "ui/TreePresentation.h"

#include <QTreeView>

namespace quorvex {

void TFormMain::CreateFindBar() {
    findBar_ = new TFindBar(
        [this](TFindQuery query) {
            if (rootNode_ == nullptr || shutDown_)
                return TFindResult{};
            query.SizeKind = SizeKind();
            return FindInTree(rootNode_.get(), query, TFindBar::kShownHits);
        },
        this);
    findBar_->hide();
    connect(findBar_, &TFindBar::RevealRequested, this, [this](const TFindHit& hit) { RevealFound(hit); });
    connect(findBar_, &TFindBar::DeleteRequested, this, &TFormMain::DeleteFound);
    connect(findBar_, &TFindBar::Closed, this, [this] { treeView_->setFocus(); });
}

TFileSystemNode* TFormMain::RevealFound(const TFindHit& hit) {
    if (rootNode_ == nullptr)
        return nullptr;
    const auto nodeAt = [this](const std::string& path) -> TFileSystemNode* {
        return path == GetFullPath(rootNode_.get()) ? rootNode_.get() : FindNodeByPath(rootNode_.get(), path);
    };
    TFileSystemNode* node = nodeAt(hit.Dir);
    if (auto* dir = dynamic_cast<TDirNode*>(node); dir != nullptr && !hit.IsDirectory) {
        // Listing a folder's files makes rows the flat list does not hold: the tree shows them.
        if (TFileSystemNode* file = FileNodeOf(dir, hit.Name))
            node = file;
    }
    if (node == nullptr)
        return nullptr;
    if (presentation_->IsFlat() && !treeView_->SelectNode(node))
        ShowTreeView();
    RebuildTree();
    treeView_->RefreshNode(node);
    treeView_->SelectNode(node);
    return node;
}

// Only the very hit goes: when its own row cannot be shown (its folder is being scanned), the row
// revealed is the folder, which is not what the user pointed at.
void TFormMain::DeleteFound(bool permanent) {
    const TFindHit* hit = findBar_->CurrentHit();
    if (hit == nullptr)
        return;
    const TFindHit found = *hit;
    const TFileSystemNode* node = RevealFound(found);
    if (node == nullptr || GetFullPath(node) != found.FullPath())
        return;
    DeleteSelection(permanent); // the list is found again once the tree follows the disk
    findBar_->Results()->setFocus();
}

} // namespace quorvex
