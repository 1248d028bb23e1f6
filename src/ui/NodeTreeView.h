#pragma once

#include <QTreeView>

#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

class TFileSystemNode;
class TNodeItemDelegate;
class TNodeTreeModel;

// The tree view of the main window over a TNodeTreeModel: four fixed columns, a sortable and movable
// header, several rows selectable, incremental search among visible rows.
//
// Expansion, selection, focus and scroll position live in the view as persistent indexes, and the
// model's rebuild only inserts and reorders rows, so they survive each refresh by themselves. Only the
// flat presentation is rebuilt from scratch; it restores them by node.
class TNodeTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TNodeTreeView(TNodeTreeModel* model, QWidget* parent = nullptr);

    TNodeItemDelegate* Delegate() const { return delegate_; }

    // Brings the rows up to date with the tree.
    void RebuildTree();
    // After the model was given a new root: the top row and every row whose node was last expanded
    // start expanded.
    void ExpandInitialRows();
    // Shows `nodes` as a flat list (an empty list goes back to the tree), keeping the selected and
    // focused nodes and the scroll offsets.
    void ShowFlatList(std::vector<TFileSystemNode*> nodes);

    TFileSystemNode* FocusedNode() const;
    // In selection order.
    std::vector<TFileSystemNode*> SelectedNodes() const;
    // In the order the rows are shown, top to bottom.
    std::vector<TFileSystemNode*> SelectedNodesInTreeOrder() const;
    // The first of those (the clicking order may differ), or null without a selection.
    TFileSystemNode* FirstSelectedNode() const;
    // Makes `node`'s row the only selected and the current one; false when it has no row.
    bool SelectNode(const TFileSystemNode* node);
    // Makes `node` visible (publishing and expanding its ancestors), repaints it and scrolls to it.
    void RefreshNode(const TFileSystemNode* node);
    // The row of `node` before its children are cleared: it loses its error span.
    void PrepareRescan(const TFileSystemNode* node);

    // "w0,w1,w2,w3" in column order, a hidden column's width negated.
    std::string ColumnWidthsText() const;
    void ApplyColumnWidths(std::string_view text);
    // "p0,p1,p2,p3": the visual position of each column.
    std::string ColumnPositionsText() const;
    void ApplyColumnPositions(std::string_view text);

signals:
    // The right button was released over the rows, at `at` in viewport coordinates (the press has
    // already made the row under it the focused one), or the keyboard asked for the current row's menu.
    void ItemMenuRequested(const QPoint& at);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The Menu key and Shift+F10 open the item menu for the current row.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Error rows and the prompt row let their text run across the empty cells.
    void SpanRows(const QModelIndex& parent, int first, int last);
    void SpanPublishedRows(const QModelIndex& parent);
    void SpanNewErrorRows();
    void ExpandFlagged(const QModelIndex& parent, int depth);
    TFileSystemNode* ActionableNodeAt(const QModelIndex& index) const;

    TNodeTreeModel* model_;
    TNodeItemDelegate* delegate_;
};

} // namespace quorvex
