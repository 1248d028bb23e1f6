// The main window's saved state, status bar and tree presentation.

#include "ui/FormMain.h"

#include "i18n/Translation.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "shell/MRUDirList.h"
#include "support/ErrorDialogs.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quorvex {

// ---- Saved state ---------------------------------------------------------------------------

QSize TFormMain::ScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size() : QSize(kDefaultWindowWidth, kDefaultWindowHeight);
}

namespace {

// The height kept free above the window for the title bar the window manager adds: the window's
// geometry is its inside, and the title bar is what the user drags it by.
constexpr int kTitleBarRoom = 32;

// `wanted` (inside geometry) moved and shrunk as far as needed to lie, title bar included, within
// `area`.
QRect FitInto(QRect wanted, const QRect& area) {
    const QRect room = area.adjusted(0, kTitleBarRoom, 0, 0);
    wanted.setSize(wanted.size().boundedTo(room.size()));
    wanted.moveLeft(std::clamp(wanted.left(), room.left(), room.right() + 1 - wanted.width()));
    wanted.moveTop(std::clamp(wanted.top(), room.top(), room.bottom() + 1 - wanted.height()));
    return wanted;
}

// Whether enough of the title bar above `window` shows on one of the screens for the user to grab it.
bool TitleBarReachable(const QRect& window) {
    const QRect titleBar(window.left(), window.top() - kTitleBarRoom, window.width(), kTitleBarRoom);
    const int grip = std::min(window.width(), 64);
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
        const QRect shown = titleBar & screen->availableGeometry();
        return shown.width() >= grip && shown.height() >= kTitleBarRoom / 2;
    });
}

} // namespace

void TFormMain::RestoreWindowState() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry()
                                         : QRect(0, 0, kDefaultWindowWidth, kDefaultWindowHeight);
    QRect centred(0, 0, kDefaultWindowWidth, kDefaultWindowHeight);
    centred.moveCenter(area.center());
    QRect bounds = FitInto(centred, area);
    try {
        if (const auto stored = StringToRect(settings_.ReadScreenString("Position", ""));
            stored && stored->Width() > 0 && stored->Height() > 0) {
            const QRect restored(stored->Left, stored->Top, stored->Width(), stored->Height());
            bounds = TitleBarReachable(restored) ? restored : FitInto(restored, area);
        }
        colWidthsTreeView_ = settings_.ReadScreenString("ColWidthsTreeView", "");
        colWidthsFlatView_ = settings_.ReadScreenString("ColWidthsFlatView", "");
        flatView_ = settings_.ReadInteger("DirViewStyle", 0) == 1;
        treeView_->ApplyColumnPositions(settings_.ReadString("ColPositionsTreeView", ""));
        favourites_->SetCommaText(settings_.ReadString("MRUDirList", ""));
        favourites_->RemoveDriveRoots(ReadMountTable());
        int sortColumn = settings_.ReadInteger("SortColumn", TNodeTreeModel::colPercent);
        if (sortColumn < 0 || sortColumn >= TNodeTreeModel::kColumnCount)
            sortColumn = TNodeTreeModel::colPercent;
        const bool ascending = settings_.ReadInteger("SortDirection", 1) == 0;
        treeView_->header()->setSortIndicator(sortColumn,
                                              ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    } catch (const std::exception& error) {
        ShowExceptionDialog(error);
    }
    setGeometry(bounds);
    (flatView_ ? actShowFlatView_ : actShowTreeView_)->setChecked(true);
    treeView_->ApplyColumnWidths(flatView_ ? colWidthsFlatView_ : colWidthsTreeView_);
}

void TFormMain::SaveWindowState() {
    settings_.Save();
    try {
        const QRect bounds = isMaximized() || isMinimized() ? normalGeometry() : geometry();
        settings_.WriteScreenString("Position",
                                    RectToString({bounds.left(), bounds.top(), bounds.left() + bounds.width(),
                                                  bounds.top() + bounds.height()}));
        (flatView_ ? colWidthsFlatView_ : colWidthsTreeView_) = treeView_->ColumnWidthsText();
        settings_.WriteScreenString("ColWidthsTreeView", colWidthsTreeView_);
        settings_.WriteString("ColPositionsTreeView", treeView_->ColumnPositionsText());
        settings_.WriteInteger("DirViewStyle", flatView_ ? 1 : 0);
        // Another window on this profile may have written its own recent folders meanwhile.
        favourites_->MergeStored(settings_.ReadString("MRUDirList", ""));
        const std::string recent = favourites_->CommaText();
        settings_.WriteString("MRUDirList", recent);
        favourites_->MergeStored(recent); // what the next save compares with
        settings_.WriteInteger("SortColumn", treeView_->header()->sortIndicatorSection());
        settings_.WriteInteger("SortDirection",
                               treeView_->header()->sortIndicatorOrder() == Qt::AscendingOrder ? 0 : 1);
    } catch (const std::exception& error) {
        ShowExceptionDialog(error);
    }
}

void TFormMain::ShutDown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    StopTimers();
    SaveWindowState();
    scanThreads_->StopAllAndWait();
    currentDirThread_ = nullptr;
    treeModel_->SetRoot(nullptr);
    rootNode_.reset();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A deletion in progress holds nodes of the tree; it can be cancelled in its own dialog.
    if (deleting_) {
        event->ignore();
        return;
    }
    ShutDown();
    QMainWindow::closeEvent(event);
}

// ---- Status bar and tree -------------------------------------------------------------------

QString TFormMain::StatusText(int panel) const {
    return (panel == 0 ? statusPanel0_ : statusPanel1_)->text();
}

void TFormMain::ShowScanDuration(double seconds) {
    statusPanel1_->setText(seconds >= 0 ? QString::fromStdString(FormatDuration(seconds)) : QString());
    // Kept so that a change of language can say it again while it is still shown.
    statusPanel1_->setProperty("quorvexDurationSeconds", seconds);
    statusPanel1_->setProperty("quorvexDurationText", statusPanel1_->text());
}

void TFormMain::OnCurrentRowChanged() {
    UpdateActions();
    const TFileSystemNode* node = treeView_->FocusedNode();
    // While a scan runs the panels belong to its progress; a size read now would soon be stale.
    if (node == nullptr || IsScanRunning())
        return;
    statusPanel0_->setText(DecodePath(GetFullPath(node)));
    statusPanel1_->setText(
        QString::fromStdString(FormatCount(node->GetSize(SizeKind())) + " " + TranslateText("Bytes")));
}

void TFormMain::ShowTreeView() {
    if (flatView_)
        colWidthsFlatView_ = treeView_->ColumnWidthsText();
    flatView_ = false;
    actShowTreeView_->setChecked(true);
    treeView_->ApplyColumnWidths(colWidthsTreeView_);
    treeView_->ShowFlatList({});
}

void TFormMain::ShowFlatView() {
    if (!flatView_)
        colWidthsTreeView_ = treeView_->ColumnWidthsText();
    flatView_ = true;
    actShowFlatView_->setChecked(true);
    treeView_->ApplyColumnWidths(colWidthsFlatView_);
    DiscardFlatList();
    RebuildTree();
}

void TFormMain::RebuildTree() {
    if (!flatView_ || rootNode_ == nullptr) {
        treeView_->RebuildTree();
        return;
    }
    if (flatList_.empty())
        flatList_ = BuildFlatList();
    treeView_->ShowFlatList(flatList_);
}

std::vector<TFileSystemNode*> TFormMain::BuildFlatList() const {
    std::vector<TFileSystemNode*> list{rootNode_.get()};
    const auto threshold =
        static_cast<std::int64_t>(std::llround(static_cast<double>(rootNode_->GetSize(SizeKind())) / 1000.0));
    struct Frame {
        const TGroupNode* group;
        int next;
    };
    std::vector<Frame> stack{{rootNode_.get(), 0}};
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
        else if (child->GetSize(SizeKind()) >= threshold)
            list.push_back(child);
    }
    return list;
}

} // namespace quorvex
