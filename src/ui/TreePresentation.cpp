#include "ui/TreePresentation.h"

#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "paint/PainterClassResolver.h"
#include "paint/PercentCell.h"
#include "paint/QxBarChartPainter.h"
#include "settings/QxSettings.h"
#include "ui/NodeItemDelegate.h"
#include "ui/NodeTreeView.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace quorvex {

TTreePresentation::TTreePresentation(TNodeTreeView* view)
    : view_(view), childBarPainter_(MakeChildBarPainter()) {}

TTreePresentation::~TTreePresentation() = default;

void TTreePresentation::Restore(bool flat, std::string treeWidths, std::string flatWidths) {
    flat_ = flat;
    treeWidths_ = std::move(treeWidths);
    flatWidths_ = std::move(flatWidths);
    view_->ApplyColumnWidths(flat_ ? flatWidths_ : treeWidths_);
}

const std::string& TTreePresentation::TreeWidthsToSave() {
    (flat_ ? flatWidths_ : treeWidths_) = view_->ColumnWidthsText();
    return treeWidths_;
}

void TTreePresentation::ShowTree() {
    if (flat_)
        flatWidths_ = view_->ColumnWidthsText();
    flat_ = false;
    view_->ApplyColumnWidths(treeWidths_);
    view_->ShowFlatList({});
}

void TTreePresentation::ShowFlat(TRootNode* root, TSizeKind kind) {
    if (!flat_)
        treeWidths_ = view_->ColumnWidthsText();
    flat_ = true;
    view_->ApplyColumnWidths(flatWidths_);
    Discard();
    Rebuild(root, kind);
}

void TTreePresentation::Rebuild(TRootNode* root, TSizeKind kind) {
    if (!flat_ || root == nullptr) {
        view_->RebuildTree();
        return;
    }
    if (flatList_.empty()) {
        flatList_ = BuildFlatList(root, kind);
        built_.start();
    }
    view_->ShowFlatList(flatList_);
}

void TTreePresentation::ApplyBars(const TSettings& settings) {
    barPainter_ = CreateBarChartPainter(settings.BarChartPainterClass());
    view_->Delegate()->SetPainters({barPainter_.get(), childBarPainter_.get()},
                                   settings.PaintOptions().Contains(poDrawChildPercentBars));
}

// Every leaf: the files (from the records, so those of folders never opened too), the folders without
// subfolders and the file groups. A file becomes a node only when it makes the list.
std::vector<TFileSystemNode*> TTreePresentation::BuildFlatList(TRootNode* root, TSizeKind kind) {
    const auto threshold =
        static_cast<std::int64_t>(std::llround(static_cast<double>(root->GetSize(kind)) / 1000.0));
    std::vector<TFileSystemNode*> leaves;
    std::vector<TGroupNode*> pending{root};
    std::vector<std::string> bigFiles;
    while (!pending.empty()) {
        TGroupNode* group = pending.back();
        pending.pop_back();
        bool hasSubfolders = false;
        {
            TChildrenLock guard(group);
            for (const auto& child : guard.Children()) {
                if (child->GetNodeType() == ntFile)
                    continue; // listed files are records as well
                auto* childGroup = static_cast<TGroupNode*>(child.get());
                // A group of one file may still be dissolved by its scanner; it is not worth a row anyway.
                if (child->GetNodeType() == ntFileGroup) {
                    if (childGroup->StoredFileCount() >= 2 && child->GetSize(kind) >= threshold)
                        leaves.push_back(child.get());
                    continue;
                }
                hasSubfolders = true;
                pending.push_back(childGroup);
            }
        }
        if (!hasSubfolders && group != root && group->GetSize(kind) >= threshold)
            leaves.push_back(group);
        auto* dir = dynamic_cast<TDirNode*>(group);
        if (dir == nullptr || dir->IsScanning())
            continue;
        bigFiles.clear();
        dir->ForEachFile([&](const TPackedFile& file) {
            // A name counted at another adds nothing, and its node has no size.
            if ((file.Attributes & kCountedAtAnotherName) == 0 &&
                (kind == TSizeKind::Allocated ? file.AllocatedSize : file.Size) >= threshold)
                bigFiles.emplace_back(file.Name);
        });
        // Outside the records' lock: making the nodes takes it again.
        for (const std::string& name : bigFiles) {
            if (TFileSystemNode* node = FileNodeOf(dir, name))
                leaves.push_back(node);
        }
    }
    std::stable_sort(leaves.begin(), leaves.end(),
                     [kind](const TFileSystemNode* a, const TFileSystemNode* b) {
                         return a->GetSize(kind) > b->GetSize(kind);
                     });
    leaves.insert(leaves.begin(), root);
    return leaves;
}

} // namespace quorvex
