#pragma once

#include "model/SizeFormat.h"
#include "model/TreemapLayout.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAction;

namespace quorvex {

class TFileKinds;
class TFileSystemNode;
class TRootNode;

// What the treemap asks of the window that shows the tree.
struct TTreemapPaneHooks {
    std::function<TRootNode*()> Root;
    std::function<TSizeKind()> SizeKind;
    std::function<TSizeFormatter()> Formatter;
    // The tree's selected rows' nodes.
    std::function<std::vector<TFileSystemNode*>()> Selected;
    // Makes `node` the tree's only selected and current row.
    std::function<void(TFileSystemNode* node)> Reveal;
    // The tree's own deletion and item menu, for its selection.
    std::function<void(bool permanent)> Delete;
    std::function<void(const QPoint& global)> ItemMenu;
};

// The scan as a treemap beside the tree: one selection with it (a click selects the tile's row, the
// tree's selected rows are outlined), zooming into a folder and out again, the tree's deletion and item
// menu on a tile. It lays out and paints on a thread of its own, only when something changed and it is
// shown, at most every kScanRefreshPace while a scan runs. The tiles point into the tree, so the window
// tells the pane before any node goes: the layout under way is waited for and its tiles dropped.
class TTreemapPane : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kScanRefreshPace{750};

    TTreemapPane(TTreemapPaneHooks hooks, QWidget* parent);
    ~TTreemapPane() override;

    // The View menu's toggle and the zoom's way out.
    QAction* ShowAction() const { return showAction_; }
    QAction* ZoomOutAction() const { return zoomOutAction_; }

    // Before a directory leaves the tree or the tree is replaced: no tile is kept.
    void TreeChanging();
    // A new tree: the zoom is left.
    void TreeReplaced();
    // A scan's periodic refresh.
    void TreeGrew();
    // Laid out again now (a scan ended, the sizes shown changed).
    void Refill();
    void SelectionChanged();

    // Whether the picture shows the tree as it is now: nothing to lay out, nothing being laid out.
    bool IsUpToDate() const;
    const std::vector<TTreemapTile>& Tiles() const { return tiles_; }
    // Indexes into Tiles() of the outlined ones.
    const std::vector<std::size_t>& Outlined() const { return outlined_; }
    // The full path of the folder zoomed into; empty for the whole scan.
    const std::string& ZoomPath() const { return zoomPath_; }
    // What the last layout and painting took.
    std::chrono::microseconds LastLayoutTime() const { return lastLayoutTime_; }

    // Room for a picture that reads, the first time the pane is shown.
    QSize sizeHint() const override { return {400, 300}; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // What the layout's thread hands over.
    struct TLaidOut {
        std::vector<TTreemapTile> Tiles;
        QImage Image;
        std::chrono::microseconds Time{0};
    };

    const TGroupNode* Top() const;
    bool NeedsLayout() const;
    void StartLayout();
    Q_INVOKABLE void DeliverLayout();
    void WaitForLayout();
    // From the widget's coordinates to the tiles', which differ while a new size is being laid out.
    QPointF ToTiles(QPointF at) const;
    void Outline();
    // The innermost tile under `at`, or null.
    const TTreemapTile* TileAt(QPointF at) const;
    // Selects the tile's item in the tree; whether the row selected is that very item (a file of a
    // folder still being scanned has none: its folder is selected).
    bool RevealTile(const TTreemapTile& tile);
    void ZoomTo(const TGroupNode* folder);
    void ZoomOut();

    TTreemapPaneHooks hooks_;
    QAction* showAction_;
    QAction* zoomOutAction_;
    std::vector<TTreemapTile> tiles_;
    std::vector<std::size_t> outlined_;
    QImage image_;
    std::unique_ptr<const TFileKinds> kinds_;
    std::thread worker_;
    // Written by the layout's thread until it sets finished_; read here once it is joined.
    TLaidOut laidOut_;
    std::atomic<bool> finished_{false};
    QSize requestedSize_;
    qreal requestedRatio_ = 0;
    bool stale_ = true;
    std::string zoomPath_;
    // The item last clicked: Delete acts on it alone.
    std::string currentPath_;
    std::chrono::steady_clock::time_point lastLayout_{};
    std::chrono::microseconds lastLayoutTime_{0};
};

} // namespace quorvex
