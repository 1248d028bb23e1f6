#pragma once

#include "model/RootNodes.h"
#include "model/SizeFormat.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorvex {

class TFileSystemNode;
class TGroupNode;
class TRootNode;
class TTreeComparison;

// The node tree as a Qt item model, safe to show while scan threads append to it.
//
// The view never sees the live child lists. Each node whose children have been fetched (first
// expansion) has a published row list; rowCount and index answer from it alone, and only Rebuild
// (user-interface thread, between events) brings it up to date: new children are announced with
// begin/endInsertRows, then every list is re-sorted inside one layout change. An index's internal
// pointer is the row list it lives in, so parent() is a field read, never a search.
//
// QTreeView keeps the answer of hasChildren until the next layout, and a list that does not move is
// never laid out again; so Rebuild compares what the view was told with the node and asks for a new
// layout when a row gained (or lost) its children meanwhile.
//
// Nodes that may still be destroyed by a scan thread are kept out of the lists: a file group is
// published only once it holds two files (a group of one is dissolved when its directory ends),
// and files are listed only for directories that are no longer being scanned.
class TNodeTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The change columns follow the others while a comparison is shown.
    enum Column {
        colName = 0,
        colSize = 1,
        colPercent = 2,
        colFiles = 3,
        kColumnCount = 4,
        colSizeChange = 4,
        colFilesChange = 5,
        kComparedColumnCount = 6
    };
    enum Role {
        StaticTextRole = Qt::UserRole + 1, // QString drawn after the name in its own style
        StaticColorRole,                   // QColor of the static text
        StaticItalicRole,                  // bool
        SizeRole,                          // qlonglong, the node's live size
        ParentSizeRole, // qlonglong, the parent's size; -1 without a parent or under the root
        RootSizeRole,   // qlonglong, the scan root's size; -1 without a root
        HasErrorRole,   // bool, the directory could not be read
        SpansRowRole,   // bool, the name's text runs across the empty cells (error rows, the prompt)
    };

    // The decoration of a cell: the name column's icon, the size column's scanning animation.
    using IconSource = std::function<QIcon(const TFileSystemNode* node, int column)>;

    explicit TNodeTreeModel(QObject* parent = nullptr);
    ~TNodeTreeModel() override;

    // Replaces the tree (a model reset). Null shows the single prompt row. The model never owns it.
    void SetRoot(TRootNode* root);
    TRootNode* Root() const { return root_; }

    // The flat presentation: the given nodes as top-level rows with full paths and no children.
    // Passing an empty list returns to the tree. A reset either way.
    void SetFlatList(std::vector<TFileSystemNode*> nodes);
    bool IsFlat() const { return flat_; }

    void SetSizeFormatter(TSizeFormatter formatter);
    // Which of the nodes' sizes the size and percentage columns show and sort by. Re-sorts at once.
    void SetSizeKind(TSizeKind kind);
    TSizeKind SizeKind() const { return sizeKind_; }
    void SetIconSource(IconSource source) { iconSource_ = std::move(source); }

    // Shows the change of every row against an earlier scan, the items gone since as rows of their
    // own, and the change columns; null ends it. A reset either way. The model never owns it; the
    // caller hands it over again after Forget/Recompute, before the view asks anything.
    void SetComparison(const TTreeComparison* comparison);
    const TTreeComparison* Comparison() const { return comparison_; }
    // Rows of items gone since the earlier scan: shown, never acted on.
    bool IsGhost(const TFileSystemNode* node) const;
    // Hides the rows that did not change (a reset).
    void SetOnlyChanges(bool on);
    bool OnlyChanges() const { return onlyChanges_; }

    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    // Brings every published row list up to date with the tree and re-sorts it.
    void Rebuild();

    // Rows to hand to the view's first-column spanning: rows that were shown without an error and have
    // one now. A row that has its error when it is inserted carries SpansRowRole at once.
    QModelIndexList TakeNewErrorRows();

    // Removes the rows below `group` before the caller destroys its children (a rescan clears it).
    void ForgetChildren(TGroupNode* group);
    // Removes `node`'s row and destroys the node (RemoveFromParent), recalculating its ancestors.
    void RemoveNode(TFileSystemNode* node);

    TFileSystemNode* NodeAt(const QModelIndex& index) const;
    // The row showing `node`, or an invalid index when it is not published. Linear in its siblings.
    QModelIndex IndexOf(const TFileSystemNode* node, int column = 0) const;
    // Publishes the rows down to `node` (listing files on the way) and returns its index.
    QModelIndex Reveal(const TFileSystemNode* node);

    // The view reports expansion so that the node's Expanded flag survives a rebuild from scratch.
    void NoteExpanded(const QModelIndex& index, bool expanded);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // Sizes, counts and percentages of the shown rows may have changed (after each Rebuild).
    void TotalsChanged();
    // Rows now have an error outside a rebuild (a folder that has gone was opened): see TakeNewErrorRows.
    void NewErrorRows();

public:
    // Exposed for tests: the published rows below `parent`, in display order.
    std::vector<TFileSystemNode*> PublishedRows(const QModelIndex& parent) const;

private:
    struct TRowList;
    using SortKeys = std::vector<std::pair<std::int64_t, std::size_t>>;

    TRowList* ListOf(const QModelIndex& parent) const;
    TRowList* ListOfNode(const TFileSystemNode* node) const;
    QModelIndex IndexOfList(const TRowList* list) const;
    TRowList* Publish(TRowList* owner, int row);
    void AppendNewChildren(TRowList* list);
    void DropLists(const TFileSystemNode* node);
    std::vector<std::size_t> SortedOrder(const std::vector<TFileSystemNode*>& rows) const;
    bool SortList(TRowList* list, std::vector<int>& newRowOfOld);
    void SortAll(bool force, bool relayout = false);
    bool ArrowsOutdated();
    void MarkShownErrors(const TRowList* list, std::size_t first);
    void ClearLists();
    std::int64_t CompareKey(const TFileSystemNode* node) const;
    // Whether a row of the current tree is shown under the "only changes" filter.
    bool Shown(const TFileSystemNode* node) const;
    void AppendGhosts(TRowList* list, std::vector<TFileSystemNode*>& fresh);
    int ColumnCount() const { return comparison_ != nullptr ? kComparedColumnCount : kColumnCount; }
    QVariant ChangeData(const TFileSystemNode* node, int column, int role) const;

    TRootNode* root_ = nullptr;
    bool flat_ = false;
    std::unique_ptr<TRowList> top_;
    std::unordered_map<const TFileSystemNode*, std::unique_ptr<TRowList>> lists_;
    std::unordered_set<const TFileSystemNode*> errorRows_; // error rows already handed out
    QModelIndexList newErrorRows_;
    // What hasChildren last answered for each group row, until a rebuild finds it outdated.
    mutable std::unordered_map<const TFileSystemNode*, bool> toldHasChildren_;
    TSizeFormatter sizeFormatter_ = static_cast<TSizeFormatter>(&FormatSizeTruncated);
    TSizeKind sizeKind_ = TSizeKind::Logical;
    IconSource iconSource_;
    const TTreeComparison* comparison_ = nullptr;
    bool onlyChanges_ = false;
    int signalDepth_ = 0; // > 0 while our change signals are delivered
    int sortColumn_ = colPercent;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};

} // namespace quorvex
