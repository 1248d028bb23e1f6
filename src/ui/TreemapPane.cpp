#include "ui/TreemapPane.h"

#include "diag/QxLogger.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileKinds.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "paint/TreemapImage.h"
#include "support/PathText.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <map>
#include <set>

namespace quorvex {
namespace {

QRectF TileRect(const TTreemapTile& tile) {
    return {tile.X, tile.Y, tile.Width, tile.Height};
}

bool IsDeleteKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return key.key() == Qt::Key_Delete && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier);
}

} // namespace

TTreemapPane::TTreemapPane(TTreemapPaneHooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)),
      showAction_(new QAction(QString::fromUtf8(N_("Treemap")), this)),
      zoomOutAction_(new QAction(QString::fromUtf8(N_("Zoom out of the treemap")), this)) {
    setObjectName(QStringLiteral("TreemapPane"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 80);
    showAction_->setObjectName(QStringLiteral("ActShowTreemap"));
    showAction_->setCheckable(true);
    showAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    connect(showAction_, &QAction::toggled, this, &QWidget::setVisible);
    zoomOutAction_->setObjectName(QStringLiteral("ActTreemapZoomOut"));
    zoomOutAction_->setShortcut(QKeySequence(Qt::Key_Backspace));
    // Backspace belongs to whatever has the focus: only in the pane does it mean the treemap.
    zoomOutAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    zoomOutAction_->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    zoomOutAction_->setEnabled(false);
    connect(zoomOutAction_, &QAction::triggered, this, &TTreemapPane::ZoomOut);
    addAction(zoomOutAction_);
    hide();
}

TTreemapPane::~TTreemapPane() {
    WaitForLayout();
}

void TTreemapPane::WaitForLayout() {
    if (worker_.joinable())
        worker_.join();
}

void TTreemapPane::TreeChanging() {
    // The layout under way reads the nodes about to go: waited for, and its tiles dropped.
    WaitForLayout();
    finished_.store(false, std::memory_order_relaxed);
    laidOut_ = TLaidOut();
    tiles_.clear();
    outlined_.clear();
    stale_ = true;
    update();
}

void TTreemapPane::TreeReplaced() {
    TreeChanging();
    image_ = QImage(); // the old tree's picture
    zoomPath_.clear();
    currentPath_.clear();
    zoomOutAction_->setEnabled(false);
}

void TTreemapPane::TreeGrew() {
    if (isHidden() || std::chrono::steady_clock::now() - lastLayout_ < kScanRefreshPace)
        return;
    stale_ = true;
    update();
}

void TTreemapPane::Refill() {
    stale_ = true;
    update();
}

void TTreemapPane::SelectionChanged() {
    Outline();
    update();
}

const TGroupNode* TTreemapPane::Top() const {
    const TRootNode* root = hooks_.Root();
    if (root == nullptr || zoomPath_.empty() || zoomPath_ == GetFullPath(root))
        return root;
    // A zoomed folder gone with a rescan or a deletion leaves the whole scan shown.
    const auto* folder = dynamic_cast<const TGroupNode*>(FindNodeByPath(root, zoomPath_));
    return folder != nullptr ? folder : root;
}

bool TTreemapPane::IsUpToDate() const {
    return !worker_.joinable() && !(isVisible() && NeedsLayout());
}

bool TTreemapPane::NeedsLayout() const {
    return stale_ || requestedSize_ != size() || requestedRatio_ != devicePixelRatioF();
}

void TTreemapPane::StartLayout() {
    stale_ = false;
    requestedSize_ = size();
    requestedRatio_ = devicePixelRatioF();
    const TGroupNode* top = Top();
    if (top == nullptr || width() <= 0 || height() <= 0) {
        tiles_.clear();
        outlined_.clear();
        image_ = QImage();
        return;
    }
    TTreemapOptions options;
    options.Width = static_cast<float>(width());
    options.Height = static_cast<float>(height());
    options.Sizes = hooks_.SizeKind();
    const QSize size = requestedSize_;
    const qreal ratio = requestedRatio_;
    // The scan threads may add to the tree meanwhile; only this thread removes from it, after
    // TreeChanging has waited for the layout.
    worker_ = std::thread([this, top, options, size, ratio]() mutable {
        const auto started = std::chrono::steady_clock::now();
        // Reading the MIME database takes a while: not on the window's thread. Only one layout runs
        // at a time, and nothing else touches the kinds.
        if (kinds_ == nullptr)
            kinds_ = std::make_unique<const TFileKinds>();
        options.Kinds = kinds_.get();
        laidOut_.Tiles = LayoutTreemap(*top, options);
        laidOut_.Image = TreemapImage(laidOut_.Tiles, size, ratio);
        laidOut_.Time =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
        finished_.store(true, std::memory_order_release);
        // By name: nothing of ours travels through Qt's queue, the result is handed over by the join.
        QMetaObject::invokeMethod(this, "DeliverLayout", Qt::QueuedConnection);
    });
}

void TTreemapPane::DeliverLayout() {
    // A call posted by a layout that TreeChanging dropped finds a later one still running, or none.
    if (!worker_.joinable() || !finished_.load(std::memory_order_acquire))
        return;
    WaitForLayout();
    finished_.store(false, std::memory_order_relaxed);
    // The pace counts from here: however long a layout of a large tree takes, the scan gets the
    // processor in between.
    lastLayout_ = std::chrono::steady_clock::now();
    tiles_ = std::move(laidOut_.Tiles);
    image_ = std::move(laidOut_.Image);
    lastLayoutTime_ = laidOut_.Time;
    laidOut_ = TLaidOut();
    Outline();
    ProgramLogger().debug("treemap: " + std::to_string(tiles_.size()) + " tiles in " +
                          std::to_string(lastLayoutTime_.count()) + " us");
    update(); // and laid out again if the tree or the size changed meanwhile
}

QPointF TTreemapPane::ToTiles(QPointF at) const {
    const QSizeF laid = image_.deviceIndependentSize();
    if (laid.isEmpty() || width() <= 0 || height() <= 0)
        return at;
    return {at.x() * laid.width() / width(), at.y() * laid.height() / height()};
}

void TTreemapPane::Outline() {
    outlined_.clear();
    if (tiles_.empty())
        return;
    // Folders and file groups are their own tiles; a file is its directory's record by name.
    std::set<const TFileSystemNode*> nodes;
    std::map<const TFileSystemNode*, std::set<std::uint32_t>> records;
    for (const TFileSystemNode* node : hooks_.Selected()) {
        if (node->GetNodeType() != ntFile) {
            nodes.insert(node);
            continue;
        }
        const TGroupNode* parent = node->Parent();
        if (parent != nullptr && parent->GetNodeType() == ntFileGroup) {
            nodes.insert(parent); // a small file is drawn in its group's tile
            parent = parent->Parent();
        }
        const auto* dir = dynamic_cast<const TDirNode*>(parent);
        if (dir == nullptr)
            continue;
        std::uint32_t index = 0;
        dir->ForEachFile([&](const TPackedFile& file) {
            if (file.Name == node->Name())
                records[dir].insert(index);
            ++index;
        });
    }
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        const TTreemapTile& tile = tiles_[i];
        if (tile.Type == TTileType::File) {
            const auto found = records.find(tile.Node);
            if (found != records.end() && found->second.count(tile.Record) != 0)
                outlined_.push_back(i);
        } else if (nodes.count(tile.Node) != 0) {
            outlined_.push_back(i);
        }
    }
}

const TTreemapTile* TTreemapPane::TileAt(QPointF at) const {
    // A tile lies over every tile before it that it overlaps: the last one under the point is innermost.
    for (auto it = tiles_.rbegin(); it != tiles_.rend(); ++it) {
        if (TileRect(*it).contains(at))
            return &*it;
    }
    return nullptr;
}

bool TTreemapPane::RevealTile(const TTreemapTile& tile) {
    // The tiles are laid out from the tree the window owns and changes; the pane only reads it.
    auto* node = const_cast<TFileSystemNode*>(tile.Node);
    const TTileItem item = TreemapTileItem(tile, hooks_.SizeKind());
    if (tile.Type == TTileType::File) {
        if (TFileSystemNode* file =
                FileNodeOf(static_cast<TDirNode*>(node), item.Path.substr(item.Path.rfind('/') + 1)))
            node = file;
    }
    currentPath_ = item.Path;
    hooks_.Reveal(node);
    const std::vector<TFileSystemNode*> selected = hooks_.Selected();
    return selected.size() == 1 && GetFullPath(selected.front()) == item.Path;
}

void TTreemapPane::ZoomTo(const TGroupNode* folder) {
    const TRootNode* root = hooks_.Root();
    zoomPath_ = folder == nullptr || folder == root ? std::string() : GetFullPath(folder);
    zoomOutAction_->setEnabled(!zoomPath_.empty());
    stale_ = true;
    update();
    if (folder != nullptr)
        hooks_.Reveal(const_cast<TGroupNode*>(folder));
}

void TTreemapPane::ZoomOut() {
    const TGroupNode* top = Top();
    if (zoomPath_.empty() || top == nullptr)
        return;
    const TGroupNode* parent = top->Parent();
    // A file group is no frame of its own: out of it is its folder's parent.
    while (parent != nullptr && parent->GetNodeType() == ntFileGroup)
        parent = parent->Parent();
    ZoomTo(parent != nullptr ? parent : hooks_.Root());
}

bool TTreemapPane::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const TTreemapTile* tile = TileAt(ToTiles(help->pos()));
        if (tile == nullptr) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const TTileItem item = TreemapTileItem(*tile, hooks_.SizeKind());
        QToolTip::showText(
            help->globalPos(),
            DecodePath(item.Path) + QLatin1Char('\n') +
                QString::fromStdString(hooks_.Formatter()(item.Size, LocaleDecimalSeparator())),
            this, TileRect(*tile).toAlignedRect());
        return true;
    }
    // Delete here means the tile's item, not the window's action on whatever the tree selects.
    if (event->type() == QEvent::ShortcutOverride && IsDeleteKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void TTreemapPane::paintEvent(QPaintEvent* /*event*/) {
    if (!worker_.joinable() && NeedsLayout())
        StartLayout();
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // While a new size is laid out, the last picture stretched to it.
    const QSizeF laid = image_.deviceIndependentSize();
    painter.scale(width() / laid.width(), height() / laid.height());
    painter.drawImage(QPointF(0, 0), image_);
    // Two pixels, dark outside and light inside, stand out on any cushion.
    painter.setBrush(Qt::NoBrush);
    for (const std::size_t index : outlined_) {
        const QRectF outer = TileRect(tiles_[index]);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(outer.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(outer.adjusted(1.5, 1.5, -1.5, -1.5));
    }
}

void TTreemapPane::showEvent(QShowEvent* event) {
    stale_ = true; // nothing was laid out while hidden
    QWidget::showEvent(event);
}

void TTreemapPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (const TTreemapTile* tile = TileAt(ToTiles(event->position())))
            RevealTile(*tile);
    }
    QWidget::mousePressEvent(event);
}

void TTreemapPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    for (auto it = tiles_.rbegin(); it != tiles_.rend(); ++it) {
        if (it->Type == TTileType::Folder && it->Depth > 0 &&
            TileRect(*it).contains(ToTiles(event->position()))) {
            ZoomTo(static_cast<const TGroupNode*>(it->Node));
            return;
        }
    }
}

void TTreemapPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        ZoomOut();
        return;
    }
    if (IsDeleteKey(*event)) {
        // Only the very item clicked: not its folder, shown instead while it is being scanned.
        const std::vector<TFileSystemNode*> selected = hooks_.Selected();
        if (!currentPath_.empty() && selected.size() == 1 && GetFullPath(selected.front()) == currentPath_)
            hooks_.Delete(event->modifiers().testFlag(Qt::ShiftModifier));
        return;
    }
    QWidget::keyPressEvent(event);
}

void TTreemapPane::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        const TTreemapTile* tile = TileAt(ToTiles(event->pos()));
        if (tile != nullptr && RevealTile(*tile))
            hooks_.ItemMenu(event->globalPos());
        return;
    }
    const std::vector<TFileSystemNode*> selected = hooks_.Selected();
    if (!currentPath_.empty() && selected.size() == 1 && GetFullPath(selected.front()) == currentPath_)
        hooks_.ItemMenu(mapToGlobal(rect().center()));
}

} // namespace quorvex
