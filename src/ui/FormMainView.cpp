// The main window's saved state, status bar and tree presentation.

#include "ui/FormMain.h"

#include "i18n/ErrorDialogs.h"
#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "model/TreeOperations.h"
#include "shell/MRUDirList.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/DeletionController.h"
#include "ui/FavouritesController.h"
#include "ui/FileViews.h"
#include "ui/MainActions.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/ScanController.h"
#include "ui/TreePresentation.h"
#include "ui/TreemapPane.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>

#include <algorithm>

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
    std::string treeWidths;
    std::string flatWidths;
    bool flat = false;
    try {
        if (const auto stored = StringToRect(settings_.ReadScreenString("Position", ""));
            stored && stored->Width() > 0 && stored->Height() > 0) {
            const QRect restored(stored->Left, stored->Top, stored->Width(), stored->Height());
            bounds = TitleBarReachable(restored) ? restored : FitInto(restored, area);
        }
        treeWidths = settings_.ReadScreenString("ColWidthsTreeView", "");
        flatWidths = settings_.ReadScreenString("ColWidthsFlatView", "");
        flat = settings_.ReadInteger("DirViewStyle", 0) == 1;
        treeView_->ApplyColumnPositions(settings_.ReadString("ColPositionsTreeView", ""));
        favourites_->List()->SetCommaText(settings_.ReadString("MRUDirList", ""));
        favourites_->List()->RemoveDriveRoots(ReadMountTable());
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
    // The docks: which are shown, and where.
    try {
        restoreState(
            QByteArray::fromBase64(QByteArray::fromStdString(settings_.ReadScreenString("Docks", ""))));
        treemapSplit_->restoreState(QByteArray::fromBase64(
            QByteArray::fromStdString(settings_.ReadScreenString("TreemapSplitter", ""))));
        treemap_->ShowAction()->setChecked(settings_.ReadInteger("Treemap", 0) != 0);
    } catch (const std::exception& error) {
        ShowExceptionDialog(error);
    }
    (flat ? actions_->ShowFlatView : actions_->ShowTreeView)->setChecked(true);
    presentation_->Restore(flat, std::move(treeWidths), std::move(flatWidths));
}

void TFormMain::SaveWindowState() {
    settings_.Save();
    try {
        const QRect bounds = isMaximized() || isMinimized() ? normalGeometry() : geometry();
        settings_.WriteScreenString("Position",
                                    RectToString({bounds.left(), bounds.top(), bounds.left() + bounds.width(),
                                                  bounds.top() + bounds.height()}));
        settings_.WriteScreenString("ColWidthsTreeView", presentation_->TreeWidthsToSave());
        settings_.WriteString("ColPositionsTreeView", treeView_->ColumnPositionsText());
        settings_.WriteInteger("DirViewStyle", presentation_->IsFlat() ? 1 : 0);
        settings_.WriteScreenString("Docks", saveState().toBase64().toStdString());
        settings_.WriteInteger("Treemap", treemap_->ShowAction()->isChecked() ? 1 : 0);
        settings_.WriteScreenString("TreemapSplitter", treemapSplit_->saveState().toBase64().toStdString());
        // Another window on this profile may have written its own recent folders meanwhile.
        TMRUDirList& favourites = *favourites_->List();
        favourites.MergeStored(settings_.ReadString("MRUDirList", ""));
        const std::string recent = favourites.CommaText();
        settings_.WriteString("MRUDirList", recent);
        favourites.MergeStored(recent); // what the next save compares with
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
    scans_->StopTimers();
    // Before the layout is saved: the change columns are not the tree's own.
    EndComparison();
    SaveWindowState();
    scans_->StopAllAndWait();
    TreeChanging();
    treeModel_->SetRoot(nullptr);
    rootNode_.reset();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A deletion in progress holds nodes of the tree; it can be cancelled in its own dialog.
    if (deletion_->IsDeleting()) {
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

void TFormMain::ShowExclusionMark(std::size_t patterns) {
    scanExclusions_ = patterns;
    exclusionMark_->setVisible(patterns > 0);
    exclusionMark_->setText(patterns > 0 ? Tr("Patterns excluded: %1").arg(patterns) : QString());
}

void TFormMain::OnCurrentRowChanged() {
    UpdateActions();
    if (!shutDown_)
        fileViews_->CurrentChanged();
    const TFileSystemNode* node = treeView_->FocusedNode();
    // While a scan runs the panels belong to its progress; a size read now would soon be stale.
    if (node == nullptr || IsScanRunning())
        return;
    statusPanel0_->setText(DecodePath(GetFullPath(node)));
    statusPanel1_->setText(
        QString::fromStdString(FormatCount(node->GetSize(SizeKind())) + " " + TranslateText("Bytes")));
}

void TFormMain::ShowTreeView() {
    presentation_->ShowTree();
    actions_->ShowTreeView->setChecked(true);
}

void TFormMain::ShowFlatView() {
    presentation_->ShowFlat(rootNode_.get(), SizeKind());
    actions_->ShowFlatView->setChecked(true);
}

void TFormMain::RebuildTree() {
    presentation_->Rebuild(rootNode_.get(), SizeKind());
}

} // namespace quorvex
