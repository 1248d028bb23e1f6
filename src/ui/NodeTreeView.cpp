#include "ui/NodeTreeView.h"

#include "model/FileSystemNode.h"
#include "ui/NodeItemDelegate.h"
#include "ui/NodeTreeModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <charconv>
#include <unordered_set>

namespace quorvex {
namespace {

constexpr int kDesignedWidths[TNodeTreeModel::kColumnCount] = {196, 75, 113, 75};
constexpr int kMinimumWidth = 50;
// Expanding rows from stored flags stops here; deeper rows wait for the user.
constexpr int kMaxRestoreDepth = 64;

std::vector<int> ParseIntegers(std::string_view text) {
    std::vector<int> values;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        std::string_view part = text.substr(at, comma - at);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        int value = 0;
        const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || result.ec != std::errc() || result.ptr != part.data() + part.size())
            return {};
        values.push_back(value);
        at = comma + 1;
    }
    return values;
}

std::string JoinIntegers(const std::vector<int>& values) {
    std::string text;
    for (const int v : values) {
        if (!text.empty())
            text += ',';
        text += std::to_string(v);
    }
    return text;
}

} // namespace

TNodeTreeView::TNodeTreeView(TNodeTreeModel* model, QWidget* parent)
    : QTreeView(parent), model_(model), delegate_(new TNodeItemDelegate(this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformRowHeights(true); // a rebuild then lays out in proportion to the visible rows
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAllColumnsShowFocus(true);
    setExpandsOnDoubleClick(false); // double-click opens the item
    // The item menu answers the right button alone, on release, so the press can pick its row first;
    // the platform's own context-menu event would open it a second time.
    setContextMenuPolicy(Qt::PreventContextMenu);

    QHeaderView* head = header();
    head->setSectionsMovable(true);
    head->setSortIndicatorShown(true);
    head->setSectionsClickable(true);
    head->setStretchLastSection(false);
    head->setMinimumSectionSize(kMinimumWidth);
    for (int column = 0; column < TNodeTreeModel::kColumnCount; ++column)
        head->resizeSection(column, kDesignedWidths[column]);
    head->setSectionResizeMode(TNodeTreeModel::colPercent, QHeaderView::Stretch);
    head->setSortIndicator(model_->SortColumn(), model_->SortOrder());
    setSortingEnabled(true);

    // After setModel, so these run once QTreeView has taken the new rows in (a reset clears its spans).
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& above, int first, int last) { SpanRows(above, first, last); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { SpanPublishedRows({}); });
    connect(model_, &TNodeTreeModel::TotalsChanged, viewport(), qOverload<>(&QWidget::update));
    connect(model_, &TNodeTreeModel::NewErrorRows, this, &TNodeTreeView::SpanNewErrorRows);
    SpanPublishedRows({});
    connect(this, &QTreeView::expanded, model_,
            [this](const QModelIndex& index) { model_->NoteExpanded(index, true); });
    connect(this, &QTreeView::collapsed, model_,
            [this](const QModelIndex& index) { model_->NoteExpanded(index, false); });
}

void TNodeTreeView::RebuildTree() {
    model_->Rebuild();
    SpanNewErrorRows();
}

void TNodeTreeView::SpanNewErrorRows() {
    for (const QModelIndex& row : model_->TakeNewErrorRows()) {
        if (row.isValid())
            setFirstColumnSpanned(row.row(), row.parent(), true);
    }
}

void TNodeTreeView::SpanRows(const QModelIndex& parent, int first, int last) {
    for (int row = first; row <= last; ++row) {
        if (model_->index(row, 0, parent).data(TNodeTreeModel::SpansRowRole).toBool())
            setFirstColumnSpanned(row, parent, true);
    }
}

// A reset publishes a few levels at most: the top row and the root's children.
void TNodeTreeView::SpanPublishedRows(const QModelIndex& parent) {
    const int count = model_->rowCount(parent);
    SpanRows(parent, 0, count - 1);
    for (int row = 0; row < count; ++row)
        SpanPublishedRows(model_->index(row, 0, parent));
}

void TNodeTreeView::ExpandInitialRows() {
    const QModelIndex top = model_->index(0, 0);
    if (!top.isValid() || model_->IsFlat())
        return;
    expand(top);
    ExpandFlagged(top, 0);
}

void TNodeTreeView::ExpandFlagged(const QModelIndex& parent, int depth) {
    if (depth >= kMaxRestoreDepth)
        return;
    for (int row = 0; row < model_->rowCount(parent); ++row) {
        const QModelIndex child = model_->index(row, 0, parent);
        const auto* group = dynamic_cast<const TGroupNode*>(model_->NodeAt(child));
        if (group == nullptr || !group->HasFlag(nfExpanded))
            continue;
        expand(child);
        ExpandFlagged(child, depth + 1);
    }
}

void TNodeTreeView::ShowFlatList(std::vector<TFileSystemNode*> nodes) {
    const bool flat = !nodes.empty();
    const int hScroll = horizontalScrollBar()->value();
    const int vScroll = verticalScrollBar()->value();
    const TFileSystemNode* focused = FocusedNode();
    const std::vector<TFileSystemNode*> selectedList = SelectedNodes();
    std::unordered_set<const TFileSystemNode*> selected(selectedList.begin(), selectedList.end());

    model_->SetFlatList(std::move(nodes));
    // A full path keeps its file name in view: what is cut is the middle.
    setTextElideMode(flat ? Qt::ElideMiddle : Qt::ElideRight);
    setRootIsDecorated(!flat);
    setItemsExpandable(!flat);
    if (!flat)
        ExpandInitialRows();

    QItemSelection selection;
    QModelIndex focus;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QModelIndex at = model_->index(row, 0);
        const TFileSystemNode* node = model_->NodeAt(at);
        if (node != nullptr && selected.count(node) != 0)
            selection.select(at, at.siblingAtColumn(TNodeTreeModel::kColumnCount - 1));
        if (node != nullptr && node == focused && !focus.isValid())
            focus = at;
    }
    if (focus.isValid())
        selectionModel()->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    horizontalScrollBar()->setValue(hScroll);
    verticalScrollBar()->setValue(vScroll);
}

// Every action on items starts from these: a row of an item gone since a compared scan stands for
// nothing on the disk (and its node is of the earlier tree), so it is never handed out.
TFileSystemNode* TNodeTreeView::ActionableNodeAt(const QModelIndex& index) const {
    TFileSystemNode* node = model_->NodeAt(index);
    return model_->IsGhost(node) ? nullptr : node;
}

TFileSystemNode* TNodeTreeView::FocusedNode() const {
    return ActionableNodeAt(currentIndex());
}

std::vector<TFileSystemNode*> TNodeTreeView::SelectedNodes() const {
    std::vector<TFileSystemNode*> nodes;
    for (const QModelIndex& row : selectionModel()->selectedRows()) {
        if (TFileSystemNode* node = ActionableNodeAt(row))
            nodes.push_back(node);
    }
    return nodes;
}

std::vector<TFileSystemNode*> TNodeTreeView::SelectedNodesInTreeOrder() const {
    // Row numbers from the top row down to the row itself order rows as they are shown.
    const auto rowPath = [](QModelIndex at) {
        std::vector<int> path;
        for (; at.isValid(); at = at.parent())
            path.push_back(at.row());
        std::reverse(path.begin(), path.end());
        return path;
    };
    std::vector<std::pair<std::vector<int>, TFileSystemNode*>> rows;
    for (const QModelIndex& row : selectionModel()->selectedRows()) {
        if (TFileSystemNode* node = ActionableNodeAt(row))
            rows.emplace_back(rowPath(row), node);
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TFileSystemNode*> nodes;
    nodes.reserve(rows.size());
    for (const auto& row : rows)
        nodes.push_back(row.second);
    return nodes;
}

TFileSystemNode* TNodeTreeView::FirstSelectedNode() const {
    const std::vector<TFileSystemNode*> nodes = SelectedNodesInTreeOrder();
    return nodes.empty() ? nullptr : nodes.front();
}

bool TNodeTreeView::SelectNode(const TFileSystemNode* node) {
    const QModelIndex at = model_->IndexOf(node);
    if (!at.isValid())
        return false;
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(at);
    return true;
}

void TNodeTreeView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton)
        emit ItemMenuRequested(event->position().toPoint());
}

void TNodeTreeView::keyPressEvent(QKeyEvent* event) {
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) {
        QTreeView::keyPressEvent(event);
        return;
    }
    event->accept();
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    scrollTo(current);
    // Below the name, inside the row: where a click would have opened the same menu.
    const QRect row = visualRect(current.siblingAtColumn(TNodeTreeModel::colName));
    emit ItemMenuRequested(QPoint(row.left() + std::min(row.width() / 2, 16), row.center().y()));
}

void TNodeTreeView::RefreshNode(const TFileSystemNode* node) {
    const QModelIndex at = model_->Reveal(node);
    if (!at.isValid())
        return;
    for (QModelIndex up = at.parent(); up.isValid(); up = up.parent())
        expand(up);
    update(at);
    scrollTo(at, QAbstractItemView::PositionAtCenter);
}

void TNodeTreeView::PrepareRescan(const TFileSystemNode* node) {
    const QModelIndex at = model_->IndexOf(node);
    if (at.isValid())
        setFirstColumnSpanned(at.row(), at.parent(), false);
}

std::string TNodeTreeView::ColumnWidthsText() const {
    std::vector<int> widths;
    for (int column = 0; column < TNodeTreeModel::kColumnCount; ++column) {
        const int width = header()->sectionSize(column);
        widths.push_back(header()->isSectionHidden(column) ? -width : width);
    }
    return JoinIntegers(widths);
}

void TNodeTreeView::ApplyColumnWidths(std::string_view text) {
    const std::vector<int> widths = ParseIntegers(text);
    if (widths.size() != TNodeTreeModel::kColumnCount)
        return; // empty or damaged: keep the designed widths
    for (int column = 0; column < TNodeTreeModel::kColumnCount; ++column) {
        const int width = widths[static_cast<std::size_t>(column)];
        // The percentage column takes what is left and is never hidden.
        const bool hide =
            width < 0 && column != TNodeTreeModel::colPercent && column != TNodeTreeModel::colName;
        header()->setSectionHidden(column, hide);
        if (column != TNodeTreeModel::colPercent)
            header()->resizeSection(column, std::max(kMinimumWidth, width < 0 ? -width : width));
    }
}

std::string TNodeTreeView::ColumnPositionsText() const {
    std::vector<int> positions;
    positions.reserve(TNodeTreeModel::kColumnCount);
    for (int column = 0; column < TNodeTreeModel::kColumnCount; ++column)
        positions.push_back(header()->visualIndex(column));
    return JoinIntegers(positions);
}

void TNodeTreeView::ApplyColumnPositions(std::string_view text) {
    const std::vector<int> positions = ParseIntegers(text);
    if (positions.size() != TNodeTreeModel::kColumnCount)
        return;
    std::vector<int> sorted = positions;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < TNodeTreeModel::kColumnCount; ++i) {
        if (sorted[static_cast<std::size_t>(i)] != i)
            return; // not a permutation
    }
    // Place the column that belongs at each visual position, left to right.
    for (int position = 0; position < TNodeTreeModel::kColumnCount; ++position) {
        const auto it = std::find(positions.begin(), positions.end(), position);
        const int column = static_cast<int>(it - positions.begin());
        header()->moveSection(header()->visualIndex(column), position);
    }
}

} // namespace quorvex
