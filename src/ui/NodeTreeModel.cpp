#include "ui/NodeTreeModel.h"

#include "model/RootNodes.h"
#include "model/TreeComparison.h"
#include "model/TreeOperations.h"
#include "ui/NodeTreeModelRows.h"

#include <QPersistentModelIndex>

#include <algorithm>

namespace quorvex {

using tree_model_detail::SignalScope;

namespace {

// Only a group of two or more files is sure to outlive its directory's scan.
bool MayBePublished(const TFileSystemNode* child) {
    if (child->GetNodeType() != ntFileGroup)
        return true;
    return static_cast<const TGroupNode*>(child)->StoredFileCount() >= 2;
}

// Error rows and the rows of directories a stopped scan never read: their text takes the whole row.
bool SpansRow(const TFileSystemNode* node) {
    return node != nullptr && (node->ErrorCode() != 0 || WasNotScanned(node));
}

// A directory whose files are not listed yet can still be expanded; an empty one cannot.
bool MayHaveChildren(const TGroupNode* group) {
    return HasChildren(group) || !group->HasFlag(nfEmpty);
}

} // namespace

TNodeTreeModel::TNodeTreeModel(QObject* parent)
    : QAbstractItemModel(parent), top_(std::make_unique<TRowList>()) {
    top_->rows.push_back(nullptr);
}

TNodeTreeModel::~TNodeTreeModel() = default;

// ---- Structure -----------------------------------------------------------------------------

TNodeTreeModel::TRowList* TNodeTreeModel::ListOf(const QModelIndex& parent) const {
    if (!parent.isValid())
        return top_.get();
    if (parent.column() != 0 || flat_)
        return nullptr;
    return ListOfNode(NodeAt(parent));
}

TNodeTreeModel::TRowList* TNodeTreeModel::ListOfNode(const TFileSystemNode* node) const {
    if (node == nullptr)
        return nullptr;
    const auto it = lists_.find(node);
    return it == lists_.end() ? nullptr : it->second.get();
}

QModelIndex TNodeTreeModel::IndexOfList(const TRowList* list) const {
    if (list == top_.get() || list == nullptr)
        return {};
    return createIndex(list->row, 0, list->parent);
}

TFileSystemNode* TNodeTreeModel::NodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const auto* list = static_cast<const TRowList*>(index.internalPointer());
    if (index.row() < 0 || static_cast<std::size_t>(index.row()) >= list->rows.size())
        return nullptr;
    return list->rows[static_cast<std::size_t>(index.row())];
}

QModelIndex TNodeTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount())
        return {};
    TRowList* list = ListOf(parent);
    if (list == nullptr || static_cast<std::size_t>(row) >= list->rows.size())
        return {};
    return createIndex(row, column, list);
}

QModelIndex TNodeTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return IndexOfList(static_cast<const TRowList*>(child.internalPointer()));
}

int TNodeTreeModel::rowCount(const QModelIndex& parent) const {
    const TRowList* list = ListOf(parent);
    return list == nullptr ? 0 : static_cast<int>(list->rows.size());
}

int TNodeTreeModel::columnCount(const QModelIndex&) const {
    return ColumnCount();
}

bool TNodeTreeModel::IsGhost(const TFileSystemNode* node) const {
    return comparison_ != nullptr && node != nullptr && comparison_->IsGhost(node);
}

bool TNodeTreeModel::Shown(const TFileSystemNode* node) const {
    return !onlyChanges_ || comparison_ == nullptr ||
           comparison_->ChangeOf(node).State != TRowChange::Unchanged;
}

bool TNodeTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid())
        return !top_->rows.empty();
    if (parent.column() != 0 || flat_)
        return false;
    const auto* group = dynamic_cast<const TGroupNode*>(NodeAt(parent));
    if (group == nullptr || IsGhost(group))
        return false;
    if (const TRowList* list = ListOfNode(group); list != nullptr && !list->rows.empty())
        return true;
    const bool answer = MayHaveChildren(group);
    toldHasChildren_[group] = answer;
    return answer;
}

bool TNodeTreeModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid() || parent.column() != 0 || flat_)
        return false;
    const TFileSystemNode* node = NodeAt(parent);
    return dynamic_cast<const TGroupNode*>(node) != nullptr && ListOfNode(node) == nullptr && !IsGhost(node);
}

void TNodeTreeModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    // Asked from a slot while one of our own changes is being announced: inserting rows now would nest
    // one change inside another, so the rows follow from the event loop instead.
    if (signalDepth_ > 0) {
        QMetaObject::invokeMethod(
            this, [this, later = QPersistentModelIndex(parent)] { fetchMore(later); }, Qt::QueuedConnection);
        return;
    }
    auto* owner = static_cast<TRowList*>(parent.internalPointer());
    TRowList* list = Publish(owner, parent.row());
    AppendNewChildren(list);
    if (!newErrorRows_.isEmpty()) {
        emit dataChanged(parent.siblingAtColumn(0), parent.siblingAtColumn(kColumnCount - 1));
        emit NewErrorRows();
    }
}

TNodeTreeModel::TRowList* TNodeTreeModel::Publish(TRowList* owner, int row) {
    auto* group = static_cast<TGroupNode*>(owner->rows[static_cast<std::size_t>(row)]);
    auto list = std::make_unique<TRowList>();
    list->node = group;
    list->parent = owner;
    list->row = row;
    TRowList* raw = list.get();
    lists_.emplace(group, std::move(list));
    // Files of a directory under a scan would be destroyed again by the scanner's own Clear.
    if (!group->IsScanning())
        group->ListFiles();
    // Opening a folder that has gone since the scan is where its error shows first.
    if (SpansRow(group) && errorRows_.insert(group).second)
        newErrorRows_.append(createIndex(row, 0, owner));
    return raw;
}

void TNodeTreeModel::AppendNewChildren(TRowList* list) {
    auto* group = static_cast<TGroupNode*>(list->node);
    std::vector<TFileSystemNode*> fresh;
    {
        TChildrenLock guard(group);
        const TMemNodeList& children = guard.Children();
        const int count = children.Count();
        for (int i = list->consumed; i < count; ++i) {
            TFileSystemNode* child = children.Items(i);
            if (child->GetNodeType() != ntFileGroup && Shown(child))
                fresh.push_back(child);
        }
        list->consumed = count;
        // Under the lock a non-null FileGroup() is alive: RemoveChild clears it before it locks.
        if (const auto* dir = dynamic_cast<const TDirNode*>(group); dir != nullptr && !list->groupPublished) {
            if (TFileGroupNode* fileGroup = dir->FileGroup();
                fileGroup != nullptr && MayBePublished(fileGroup) && Shown(fileGroup)) {
                fresh.push_back(fileGroup);
                list->groupPublished = true;
            }
        }
    }
    AppendGhosts(list, fresh);
    if (fresh.empty())
        return;
    const int first = static_cast<int>(list->rows.size());
    if (first == 0 && fresh.size() > 1) {
        // A row being expanded shows its children sorted at once, not only after the next rebuild.
        const std::vector<std::size_t> order = SortedOrder(fresh);
        std::vector<TFileSystemNode*> sorted;
        sorted.reserve(fresh.size());
        for (const std::size_t i : order)
            sorted.push_back(fresh[i]);
        fresh.swap(sorted);
    }
    beginInsertRows(IndexOfList(list), first, first + static_cast<int>(fresh.size()) - 1);
    list->rows.insert(list->rows.end(), fresh.begin(), fresh.end());
    list->unsortedTail = true;
    MarkShownErrors(list, static_cast<std::size_t>(first));
    {
        SignalScope scope(signalDepth_);
        endInsertRows();
    }
}

// The ghosts follow the directory's own rows once its files are known, which they are compared with.
void TNodeTreeModel::AppendGhosts(TRowList* list, std::vector<TFileSystemNode*>& fresh) {
    if (comparison_ == nullptr || list->ghostsPublished)
        return;
    const auto* dir = dynamic_cast<const TDirNode*>(list->node);
    if (dir == nullptr || dir->IsScanning())
        return;
    list->ghostsPublished = true;
    const std::vector<TFileSystemNode*>& ghosts = comparison_->GhostsIn(dir);
    fresh.insert(fresh.end(), ghosts.begin(), ghosts.end());
}

void TNodeTreeModel::DropLists(const TFileSystemNode* node) {
    std::vector<const TFileSystemNode*> pending{node};
    while (!pending.empty()) {
        const TFileSystemNode* current = pending.back();
        pending.pop_back();
        errorRows_.erase(current);
        toldHasChildren_.erase(current);
        const auto it = lists_.find(current);
        if (it == lists_.end())
            continue;
        for (const TFileSystemNode* child : it->second->rows)
            pending.push_back(child);
        lists_.erase(it);
    }
}

void TNodeTreeModel::ClearLists() {
    lists_.clear();
    errorRows_.clear();
    newErrorRows_.clear();
    toldHasChildren_.clear();
}

// Rows inserted with their error already set are spanned by the view as they arrive.
void TNodeTreeModel::MarkShownErrors(const TRowList* list, std::size_t first) {
    for (std::size_t i = first; i < list->rows.size(); ++i) {
        const TFileSystemNode* node = list->rows[i];
        if (SpansRow(node) && !IsGhost(node))
            errorRows_.insert(node);
    }
}

void TNodeTreeModel::SetRoot(TRootNode* root) {
    beginResetModel();
    ClearLists();
    // A comparison speaks of one tree only.
    if (comparison_ != nullptr && &comparison_->Current() != root)
        comparison_ = nullptr;
    root_ = root;
    flat_ = false;
    top_->rows.assign(1, root);
    MarkShownErrors(top_.get(), 0);
    if (root != nullptr) {
        TRowList* list = Publish(top_.get(), 0);
        // Filled silently: the reset announces everything at once.
        TChildrenLock guard(root);
        for (const auto& owned : guard.Children()) {
            TFileSystemNode* child = owned.get();
            if (!MayBePublished(child) || !Shown(child))
                continue; // picked up through FileGroup() once it is safe
            list->rows.push_back(child);
            list->groupPublished = list->groupPublished || child->GetNodeType() == ntFileGroup;
        }
        list->consumed = guard.Children().Count();
        AppendGhosts(list, list->rows);
        MarkShownErrors(list, 0);
    }
    {
        SignalScope scope(signalDepth_);
        endResetModel();
    }
    SortAll(true);
}

void TNodeTreeModel::SetComparison(const TTreeComparison* comparison) {
    if (comparison != nullptr && &comparison->Current() != root_)
        comparison = nullptr;
    if (comparison == nullptr && comparison_ == nullptr)
        return;
    comparison_ = comparison;
    if (comparison == nullptr && sortColumn_ >= kColumnCount)
        sortColumn_ = colSize; // its change column went with it
    if (!flat_) {
        SetRoot(root_);
        return;
    }
    // The flat rows are all of the current tree: only the columns and the figures change.
    beginResetModel();
    ClearLists();
    top_->unsortedTail = true;
    {
        SignalScope scope(signalDepth_);
        endResetModel();
    }
    SortAll(true);
}

void TNodeTreeModel::SetOnlyChanges(bool on) {
    if (on == onlyChanges_)
        return;
    onlyChanges_ = on;
    if (comparison_ != nullptr && !flat_)
        SetRoot(root_);
}

void TNodeTreeModel::SetFlatList(std::vector<TFileSystemNode*> nodes) {
    if (nodes.empty()) {
        SetRoot(root_);
        return;
    }
    beginResetModel();
    ClearLists();
    flat_ = true;
    top_->rows = std::move(nodes);
    top_->unsortedTail = true;
    MarkShownErrors(top_.get(), 0);
    {
        SignalScope scope(signalDepth_);
        endResetModel();
    }
    SortAll(true);
}

void TNodeTreeModel::SetSizeFormatter(TSizeFormatter formatter) {
    sizeFormatter_ = formatter != nullptr ? formatter : static_cast<TSizeFormatter>(&FormatSizeTruncated);
    if (!top_->rows.empty())
        emit dataChanged(index(0, colSize), index(static_cast<int>(top_->rows.size()) - 1, colSize));
}

void TNodeTreeModel::SetSizeKind(TSizeKind kind) {
    if (kind == sizeKind_)
        return;
    sizeKind_ = kind;
    if (!top_->rows.empty())
        emit dataChanged(index(0, colSize), index(static_cast<int>(top_->rows.size()) - 1, colPercent));
    SortAll(true);
    emit TotalsChanged();
}

void TNodeTreeModel::ForgetChildren(TGroupNode* group) {
    if (flat_) {
        // A flat list may hold any descendant: start it again from nothing.
        beginResetModel();
        ClearLists();
        top_->rows.assign(1, root_);
        {
            SignalScope scope(signalDepth_);
            endResetModel();
        }
        return;
    }
    errorRows_.erase(group);
    TRowList* list = ListOfNode(group);
    if (list == nullptr)
        return;
    if (!list->rows.empty()) {
        beginRemoveRows(IndexOfList(list), 0, static_cast<int>(list->rows.size()) - 1);
        for (const TFileSystemNode* child : list->rows)
            DropLists(child);
        list->rows.clear();
        {
            SignalScope scope(signalDepth_);
            endRemoveRows();
        }
    }
    list->consumed = 0;
    list->groupPublished = false;
}

void TNodeTreeModel::RemoveNode(TFileSystemNode* node) {
    TGroupNode* parentNode = node->Parent();
    if (parentNode == nullptr)
        return;
    if (flat_) {
        ForgetChildren(parentNode);
        RemoveFromParent(node);
        return;
    }
    TRowList* list = ListOfNode(parentNode);
    int childIndex = -1;
    {
        TChildrenLock guard(parentNode);
        childIndex = guard.Children().IndexOf(node);
    }
    int shownRow = -1;
    if (list != nullptr) {
        const auto it = std::find(list->rows.begin(), list->rows.end(), node);
        if (it != list->rows.end())
            shownRow = static_cast<int>(it - list->rows.begin());
    }
    if (shownRow >= 0)
        beginRemoveRows(IndexOfList(list), shownRow, shownRow);
    DropLists(node);
    if (list != nullptr) {
        if (shownRow >= 0) {
            list->rows.erase(list->rows.begin() + shownRow);
            for (std::size_t i = static_cast<std::size_t>(shownRow); i < list->rows.size(); ++i) {
                if (TRowList* childList = ListOfNode(list->rows[i]))
                    childList->row = static_cast<int>(i);
            }
        }
        if (childIndex >= 0 && childIndex < list->consumed)
            --list->consumed;
        if (node->GetNodeType() == ntFileGroup)
            list->groupPublished = false;
    }
    RemoveFromParent(node);
    if (shownRow >= 0) {
        SignalScope scope(signalDepth_);
        endRemoveRows();
    }
}

QModelIndex TNodeTreeModel::IndexOf(const TFileSystemNode* node, int column) const {
    if (node == nullptr)
        return {};
    const TRowList* list = top_.get();
    if (!flat_ && node != root_) {
        if (const TRowList* own = ListOfNode(node))
            return createIndex(own->row, column, own->parent);
        list = IsGhost(node) ? ListOfNode(comparison_->GhostPlace(node)) : ListOfNode(node->Parent());
        if (list == nullptr)
            return {};
    }
    const auto it = std::find(list->rows.begin(), list->rows.end(), node);
    if (it == list->rows.end())
        return {};
    return createIndex(static_cast<int>(it - list->rows.begin()), column, const_cast<TRowList*>(list));
}

QModelIndex TNodeTreeModel::Reveal(const TFileSystemNode* node) {
    if (node == nullptr || flat_)
        return IndexOf(node);
    std::vector<const TFileSystemNode*> chain;
    for (const TFileSystemNode* n = node->Parent(); n != nullptr; n = n->Parent())
        chain.push_back(n);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const QModelIndex at = IndexOf(*it);
        if (!at.isValid())
            return {};
        fetchMore(at);
    }
    return IndexOf(node);
}

void TNodeTreeModel::NoteExpanded(const QModelIndex& index, bool expanded) {
    if (auto* group = dynamic_cast<TGroupNode*>(NodeAt(index)))
        group->SetFlag(nfExpanded, expanded);
}

std::vector<TFileSystemNode*> TNodeTreeModel::PublishedRows(const QModelIndex& parent) const {
    const TRowList* list = ListOf(parent);
    return list == nullptr ? std::vector<TFileSystemNode*>{} : list->rows;
}

// ---- Rebuild -------------------------------------------------------------------------------

void TNodeTreeModel::Rebuild() {
    if (!flat_ && root_ != nullptr) {
        // fetchMore from a slot connected to our own signals may add lists meanwhile: walk a copy.
        std::vector<const TFileSystemNode*> keys;
        keys.reserve(lists_.size());
        for (const auto& entry : lists_)
            keys.push_back(entry.first);
        for (const TFileSystemNode* key : keys) {
            TRowList* list = ListOfNode(key);
            if (list == nullptr)
                continue;
            auto* group = static_cast<TGroupNode*>(list->node);
            if (!group->IsScanning() && !group->HasFlag(nfFilesListed))
                group->ListFiles();
            AppendNewChildren(list);
        }
    }
    SortAll(false, ArrowsOutdated());

    auto noteErrors = [this](TRowList* list) {
        for (std::size_t i = 0; i < list->rows.size(); ++i) {
            const TFileSystemNode* node = list->rows[i];
            if (SpansRow(node) && !IsGhost(node) && errorRows_.insert(node).second)
                newErrorRows_.append(createIndex(static_cast<int>(i), 0, list));
        }
    };
    noteErrors(top_.get());
    for (const auto& entry : lists_)
        noteErrors(entry.second.get());

    // Totals move under a running scan even where the order stays. A dataChanged over every list would
    // make QTreeView ask the size hint of each row again; the rows keep their height, so a repaint will do.
    emit TotalsChanged();
}

// True when a row the view drew without an expand button has children now, or the reverse; the view
// will ask again after the layout change, so the answers are forgotten.
bool TNodeTreeModel::ArrowsOutdated() {
    bool outdated = false;
    for (auto it = toldHasChildren_.begin(); it != toldHasChildren_.end();) {
        if (MayHaveChildren(static_cast<const TGroupNode*>(it->first)) != it->second) {
            outdated = true;
            it = toldHasChildren_.erase(it);
        } else {
            ++it;
        }
    }
    return outdated;
}

QModelIndexList TNodeTreeModel::TakeNewErrorRows() {
    QModelIndexList rows;
    rows.swap(newErrorRows_);
    return rows;
}

} // namespace quorvex
