#include "ui/NodeTreeModel.h"

#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "support/PosixDir.h"

#include <QCollator>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QPersistentModelIndex>

#include <algorithm>
#include <numeric>

namespace quorvex {

struct TNodeTreeModel::TRowList {
    TFileSystemNode* node = nullptr; // the node whose children these are; null for the top level
    TRowList* parent = nullptr;      // the list holding `node`'s own row
    int row = 0;                     // `node`'s row within `parent`
    std::vector<TFileSystemNode*> rows;
    int consumed = 0;            // entries of the node's child list already taken over
    bool groupPublished = false; // the directory's file group is among the rows
    bool unsortedTail = true;    // rows were appended since the last sort
    int sortedColumn = -1;
    Qt::SortOrder sortedOrder = Qt::AscendingOrder;
};

namespace {

QString Decode(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// Only a group of two or more files is sure to outlive its directory's scan.
// Marks the time our own change signals are being delivered; see fetchMore.
class SignalScope {
public:
    explicit SignalScope(int& depth) : depth_(depth) { ++depth_; }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;
    ~SignalScope() { --depth_; }

private:
    int& depth_;
};

bool MayBePublished(const TFileSystemNode* child) {
    if (child->GetNodeType() != ntFileGroup)
        return true;
    return static_cast<const TGroupNode*>(child)->StoredFileCount() >= 2;
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
    if (row < 0 || column < 0 || column >= kColumnCount)
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
    return kColumnCount;
}

bool TNodeTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid())
        return !top_->rows.empty();
    if (parent.column() != 0 || flat_)
        return false;
    const auto* group = dynamic_cast<const TGroupNode*>(NodeAt(parent));
    if (group == nullptr)
        return false;
    if (const TRowList* list = ListOfNode(group); list != nullptr && !list->rows.empty())
        return true;
    // A directory whose files are not listed yet can still be expanded; an empty one cannot.
    return HasChildren(group) || !group->HasFlag(nfEmpty);
}

bool TNodeTreeModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid() || parent.column() != 0 || flat_)
        return false;
    const TFileSystemNode* node = NodeAt(parent);
    return dynamic_cast<const TGroupNode*>(node) != nullptr && ListOfNode(node) == nullptr;
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
            if (child->GetNodeType() != ntFileGroup)
                fresh.push_back(child);
        }
        list->consumed = count;
        // Under the lock a non-null FileGroup() is alive: RemoveChild clears it before it locks.
        if (const auto* dir = dynamic_cast<const TDirNode*>(group); dir != nullptr && !list->groupPublished) {
            if (TFileGroupNode* fileGroup = dir->FileGroup();
                fileGroup != nullptr && MayBePublished(fileGroup)) {
                fresh.push_back(fileGroup);
                list->groupPublished = true;
            }
        }
    }
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
    {
        SignalScope scope(signalDepth_);
        endInsertRows();
    }
}

void TNodeTreeModel::DropLists(const TFileSystemNode* node) {
    std::vector<const TFileSystemNode*> pending{node};
    while (!pending.empty()) {
        const TFileSystemNode* current = pending.back();
        pending.pop_back();
        errorRows_.erase(current);
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
}

void TNodeTreeModel::SetRoot(TRootNode* root) {
    beginResetModel();
    ClearLists();
    root_ = root;
    flat_ = false;
    top_->rows.assign(1, root);
    if (root != nullptr) {
        TRowList* list = Publish(top_.get(), 0);
        // Filled silently: the reset announces everything at once.
        TChildrenLock guard(root);
        for (const auto& owned : guard.Children()) {
            TFileSystemNode* child = owned.get();
            if (!MayBePublished(child))
                continue; // picked up through FileGroup() once it is safe
            list->rows.push_back(child);
            list->groupPublished = list->groupPublished || child->GetNodeType() == ntFileGroup;
        }
        list->consumed = guard.Children().Count();
    }
    {
        SignalScope scope(signalDepth_);
        endResetModel();
    }
    SortAll(true);
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
        list = ListOfNode(node->Parent());
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

// ---- Rebuild and sorting -------------------------------------------------------------------

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
    SortAll(false);

    auto noteErrors = [this](TRowList* list) {
        for (std::size_t i = 0; i < list->rows.size(); ++i) {
            const TFileSystemNode* node = list->rows[i];
            if (node != nullptr && node->ErrorCode() != 0 && errorRows_.insert(node).second)
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

QModelIndexList TNodeTreeModel::TakeNewErrorRows() {
    QModelIndexList rows;
    rows.swap(newErrorRows_);
    return rows;
}

void TNodeTreeModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumnCount)
        return;
    sortColumn_ = column;
    sortOrder_ = order;
    SortAll(true);
}

std::int64_t TNodeTreeModel::CompareKey(const TFileSystemNode* node) const {
    if (node == nullptr)
        return 0;
    switch (sortColumn_) {
    case colSize:
    case colPercent:
        return node->GetSize();
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
            names[i] = node == nullptr ? QString() : Decode(flat_ ? GetFullPath(node) : node->Name());
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

void TNodeTreeModel::SortAll(bool force) {
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
    if (moves.empty())
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
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
    SignalScope scope(signalDepth_);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- Cells ---------------------------------------------------------------------------------

QVariant TNodeTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this)
        return {};
    const TFileSystemNode* node = NodeAt(index);
    const int column = index.column();
    const bool failed = node != nullptr && node->ErrorCode() != 0;

    switch (role) {
    case Qt::DisplayRole:
        if (node == nullptr)
            return column == colName
                       ? QString::fromStdString(TranslateText("Choose a drive or directory to analyse"))
                       : QString();
        switch (column) {
        case colName:
            return Decode(flat_ ? GetFullPath(node) : node->GetDisplayName());
        case colSize:
            return failed ? QString()
                          : QString::fromStdString(sizeFormatter_(node->GetSize(), LocaleDecimalSeparator()));
        case colFiles:
            return failed ? QString() : QString::fromStdString(FormatCount(node->GetFileCount()));
        default:
            return QString();
        }
    case Qt::TextAlignmentRole:
        if (column == colSize)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (column == colPercent)
            return QVariant::fromValue(Qt::AlignCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        if (node == nullptr || (column == colName && node->GetNodeType() == ntFileGroup)) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (node == nullptr)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        if (column == colName && node->IsCompressed())
            return QBrush(QColor(0, 0, 255));
        return {};
    case Qt::DecorationRole:
        if (column == colName && node != nullptr && iconSource_)
            return iconSource_(node);
        return {};
    case StaticTextRole:
        if (column != colName || node == nullptr)
            return {};
        if (failed)
            return QString::fromLocal8Bit(SystemErrorMessage(node->ErrorCode()));
        if (const auto* rootDir = dynamic_cast<const TRootDirNode*>(node);
            rootDir != nullptr && rootDir->GetNodeType() == ntDrive)
            return QString::fromStdString(sizeFormatter_(rootDir->FreeSpace(), LocaleDecimalSeparator()) +
                                          " " + TranslateText("free"));
        return {};
    case StaticColorRole:
        return failed ? QColor(Qt::red) : QColor(128, 128, 128);
    case StaticItalicRole:
        return failed;
    case HasErrorRole:
        return failed;
    case SizeRole:
        return node == nullptr ? QVariant() : QVariant::fromValue<qlonglong>(node->GetSize());
    case ParentSizeRole:
        if (node == nullptr || node->Parent() == nullptr || node->Parent() == root_)
            return QVariant::fromValue<qlonglong>(-1);
        return QVariant::fromValue<qlonglong>(node->Parent()->GetSize());
    case RootSizeRole:
        return QVariant::fromValue<qlonglong>(root_ == nullptr ? -1 : root_->GetSize());
    default:
        return {};
    }
}

QVariant TNodeTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        static const char* const kHeadings[kColumnCount] = {"Name", "Size", "Percentage", "Files"};
        return QString::fromStdString(TranslateText(kHeadings[section]));
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == colSize ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TNodeTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (flat_ || dynamic_cast<const TGroupNode*>(NodeAt(index)) == nullptr)
        result |= Qt::ItemNeverHasChildren;
    return result;
}

} // namespace quorvex
