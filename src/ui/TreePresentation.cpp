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

#include <cmath>

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
    if (flatList_.empty())
        flatList_ = BuildFlatList(root, kind);
    view_->ShowFlatList(flatList_);
}

void TTreePresentation::ApplyBars(const TSettings& settings) {
    barPainter_ = CreateBarChartPainter(settings.BarChartPainterClass());
    view_->Delegate()->SetPainters({barPainter_.get(), childBarPainter_.get()},
                                   settings.PaintOptions().Contains(poDrawChildPercentBars));
}

std::vector<TFileSystemNode*> TTreePresentation::BuildFlatList(TRootNode* root, TSizeKind kind) {
    std::vector<TFileSystemNode*> list{root};
    const auto threshold =
        static_cast<std::int64_t>(std::llround(static_cast<double>(root->GetSize(kind)) / 1000.0));
    struct Frame {
        const TGroupNode* group;
        int next;
    };
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        TFileSystemNode* child = nullptr;
        {
            TChildrenLock guard(top.group);
            if (top.next < guard.Children().Count())
                child = guard.Children().Items(top.next++);
            // A group of one file may still be dissolved by its scanner; it is not worth a row anyway.
            if (child != nullptr && child->GetNodeType() == ntFileGroup &&
                static_cast<const TGroupNode*>(child)->StoredFileCount() < 2)
                continue;
        }
        if (child == nullptr) {
            stack.pop_back();
            continue;
        }
        const auto* dir = dynamic_cast<const TDirNode*>(child);
        if (dir != nullptr && HasChildren(dir))
            stack.push_back({dir, 0});
        else if (child->GetSize(kind) >= threshold)
            list.push_back(child);
    }
    return list;
}

} // namespace quorvex
