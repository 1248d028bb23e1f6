// Sorting of the published row lists, inside one layout change per rebuild.

#include "model/TreeComparison.h"
#include "model/TreeOperations.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeModelRows.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace quorvex {

using tree_model_detail::SignalScope;

void TNodeTreeModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount())
        return;
    sortColumn_ = column;
    sortOrder_ = order;
    SortAll(true);
}

std::int64_t TNodeTreeModel::CompareKey(const TFileSystemNode* node) const {
    if (node == nullptr)
        return 0;
    if (comparison_ != nullptr) {
        if (sortColumn_ == colSizeChange)
            return comparison_->ChangeOf(node).DeltaSize;
        if (sortColumn_ == colFilesChange)
            return comparison_->ChangeOf(node).DeltaFiles;
        if (IsGhost(node))
            return 0; // no longer there: no size now
    }
    switch (sortColumn_) {
    case colSize:
    case colPercent:
        return node->GetSize(sizeKind_);
    case colFiles:
        return node->GetFileCount();
    default:
        return 0;
    }
}

// The stable order of `rows` under the current sort column and direction, as indexes into `rows`.
std::vector<std::size_t> TNodeTreeModel::SortedOrder(const std::vector<TFileSystemNode*>& rows) const {
    const std::size_t n = rows.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    if (sortColumn_ == colName) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseSensitive);
        std::vector<QString> names(n);
        for (std::size_t i = 0; i < n; ++i) {
            const TFileSystemNode* node = rows[i];
            names[i] = node == nullptr ? QString() : DecodePath(flat_ ? GetFullPath(node) : node->Name());
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int c = collator.compare(names[a], names[b]);
            return descending ? c > 0 : c < 0;
        });
    } else {
        std::vector<std::int64_t> keys(n);
        for (std::size_t i = 0; i < n; ++i)
            keys[i] = CompareKey(rows[i]);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return descending ? keys[a] > keys[b] : keys[a] < keys[b];
        });
    }
    return order;
}

// Computes the new order of one list as newRowOfOld; false when it stays as it is. Sizes move while a
// scan runs, so a size order is always recomputed; names never change, so a name order only when
// rows were added or the order asked for changed.
bool TNodeTreeModel::SortList(TRowList* list, std::vector<int>& newRowOfOld) {
    const std::size_t n = list->rows.size();
    const bool byName = sortColumn_ == colName;
    if (n < 2 || (byName && !list->unsortedTail && list->sortedColumn == sortColumn_ &&
                  list->sortedOrder == sortOrder_)) {
        list->unsortedTail = false;
        return false;
    }
    const std::vector<std::size_t> order = SortedOrder(list->rows);
    list->unsortedTail = false;
    list->sortedColumn = sortColumn_;
    list->sortedOrder = sortOrder_;
    bool moved = false;
    newRowOfOld.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        newRowOfOld[order[i]] = static_cast<int>(i);
        moved = moved || order[i] != i;
    }
    return moved;
}

// `relayout`: announce a layout change even when no row moves, so the view asks hasChildren again.
void TNodeTreeModel::SortAll(bool force, bool relayout) {
    std::unordered_map<TRowList*, std::vector<int>> moves;
    auto consider = [&](TRowList* list) {
        if (force)
            list->unsortedTail = true;
        std::vector<int> newRowOfOld;
        if (SortList(list, newRowOfOld))
            moves.emplace(list, std::move(newRowOfOld));
    };
    if (flat_)
        consider(top_.get());
    for (const auto& entry : lists_)
        consider(entry.second.get());
    if (moves.empty() && !relayout)
        return;

    const auto hint =
        moves.empty() ? QAbstractItemModel::NoLayoutChangeHint : QAbstractItemModel::VerticalSortHint;
    emit layoutAboutToBeChanged({}, hint);
    for (auto& [list, newRowOfOld] : moves) {
        std::vector<TFileSystemNode*> sorted(list->rows.size());
        for (std::size_t i = 0; i < sorted.size(); ++i)
            sorted[static_cast<std::size_t>(newRowOfOld[i])] = list->rows[i];
        list->rows.swap(sorted);
        for (std::size_t i = 0; i < list->rows.size(); ++i) {
            if (TRowList* childList = ListOfNode(list->rows[i]))
                childList->row = static_cast<int>(i);
        }
    }
    if (!moves.empty()) {
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& old : from) {
            auto* list = static_cast<TRowList*>(old.internalPointer());
            const auto it = moves.find(list);
            if (it == moves.end() || static_cast<std::size_t>(old.row()) >= it->second.size())
                to.append(old);
            else
                to.append(createIndex(it->second[static_cast<std::size_t>(old.row())], old.column(), list));
        }
        changePersistentIndexList(from, to);
    }
    SignalScope scope(signalDepth_);
    emit layoutChanged({}, hint);
}

} // namespace quorvex
