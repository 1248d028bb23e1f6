#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "diag/QxProfiler.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeComparison.h"
#include "model/TreeOperations.h"
#include "paint/Skins.h"
#include "scan/ScanExclusions.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"
#include "shell/ShellIcons.h"
#include "support/AsciiCase.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/DeletionController.h"
#include "ui/DlgSettings.h"
#include "ui/FavouritesController.h"
#include "ui/FileViews.h"
#include "ui/FindBar.h"
#include "ui/FormInfo.h"
#include "ui/GrowthChart.h"
#include "ui/HistoryKeeper.h"
#include "ui/MainActions.h"
#include "ui/MessageDialogs.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/ScanController.h"
#include "ui/TreePresentation.h"
#include "ui/TreemapPane.h"
#include "ui/WindowTranslation.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace quorvex {
namespace {

constexpr int kMaxScanThreads = 9;
constexpr int kStatusPanel1Width = 150;

// Drivers and device nodes: opening one by accident can do harm, so the user is asked first.
bool LooksLikeSystemFile(const TFileSystemNode& node) {
    if (node.IsSystem())
        return true;
    const std::string& name = node.Name();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4)
        return false;
    return EqualsNoCase(std::string_view(name).substr(dot), ".sys");
}

std::string ErrorLine(const TLaunchResult& result) {
    return "Error " + std::to_string(result.Error) + ": " + result.Message;
}

} // namespace

TFormMain::TFormMain(TSettings& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings), treeModel_(new TNodeTreeModel(this)),
      treeView_(new TNodeTreeView(treeModel_, this)), infoPanel_(new TFrameInfoPanel(this)),
      statusPanel0_(new QLabel(this)), statusPanel1_(new QLabel(this)), exclusionMark_(new QLabel(this)) {
    // Unhandled errors in event handlers are logged by TQxApplication; activation is logged here.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        ProgramLogger().debug(state == Qt::ApplicationActive ? "application becomes active"
                                                             : "application becomes inactive");
    });
#ifndef QT_NO_SESSIONMANAGER
    // The desktop asks before it ends the session; what the user changed is kept then, in case the
    // end comes without a close.
    connect(
        qApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) {
            if (!shutDown_)
                SaveWindowState();
        },
        Qt::DirectConnection);
#endif
    StartTimer(-1);
    previousScreenSource_ = SetScreenSectionNameSource([] {
        const QSize size = ScreenSize();
        return std::to_string(size.width()) + "x" + std::to_string(size.height());
    });

    // The desktop-integration objects and the collaborators the window coordinates.
    shellIcons_ = std::make_unique<TShellIcons>();
    favourites_ = std::make_unique<TFavouritesController>(this, [this](const std::string& path) {
        if (path.empty())
            StartFixedDrivesScan();
        else
            StartDirScan(path);
    });
    treeModel_->SetIconSource([this](const TFileSystemNode* node, int column) {
        return shellIcons_->IconFor(node, column, scans_->AnimationFrame());
    });
    connect(shellIcons_.get(), &TShellIcons::FileIconArrived, treeView_->viewport(),
            qOverload<>(&QWidget::update));
    // A new tree (a new scan) starts with no answers pending.
    connect(treeModel_, &QAbstractItemModel::modelReset, shellIcons_.get(), &TShellIcons::ClearResults);
    scans_ = std::make_unique<TScanController>(
        kMaxScanThreads,
        TScanHooks{[this] { return settings_.GroupThreshold(); },
                   [this](TDirScanThread& last) { ScanFinished(last); },
                   [this](const TFileSystemNode* node) { RefreshTreeNode(node); },
                   [this](const std::string& path) {
                       if (path == TranslateText(kLocalDrivesName))
                           StartFixedDrivesScan();
                       else
                           StartDirScan(path);
                   },
                   [this] { treeView_->viewport()->update(); },
                   [this] {
                       presentation_->DiscardWhileGrowing();
                       RebuildTree();
                       fileViews_->TreeGrew();
                       treemap_->TreeGrew();
                   },
                   [this](const std::string& dir) { ShowScanProgress(dir); },
                   [this]() -> std::shared_ptr<const TScanExclusions> {
                       if (settings_.ExcludePatterns().empty())
                           return nullptr;
                       return std::make_shared<const TScanExclusions>(settings_.ExcludePatterns());
                   }});
    presentation_ = std::make_unique<TTreePresentation>(treeView_);
    deletion_ = std::make_unique<TDeletionController>(
        TDeletionHooks{this, [this] { return IsImportedScan(); }, [this] { return SizeKind(); },
                       [this] { return sizeFormatter_; },
                       [this](const TFileSystemNode* node) { return scans_->IsCountingWithin(node); },
                       [this](const TGroupNode* group) { return scans_->StopWithin(group); },
                       [this](bool deleting) {
                           setEnabled(!deleting);
                           UpdateActions();
                       }});

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(infoPanel_);
    CreateFindBar();
    // A splitter, so that a long list of finds can take more of the height than the tree.
    auto* split = new QSplitter(Qt::Vertical, central);
    split->setObjectName(QStringLiteral("FindSplitter"));
    split->setChildrenCollapsible(false);
    split->addWidget(findBar_);
    split->addWidget(treeView_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    CreateTreemap();
    // Beside the tree, so that a row and its tile are seen together.
    treemapSplit_ = new QSplitter(Qt::Horizontal, central);
    treemapSplit_->setObjectName(QStringLiteral("TreemapSplitter"));
    treemapSplit_->setChildrenCollapsible(false);
    treemapSplit_->addWidget(split);
    treemapSplit_->addWidget(treemap_);
    layout->addWidget(treemapSplit_, 1);
    setCentralWidget(central);
    statusPanel1_->setFixedWidth(kStatusPanel1Width);
    statusBar()->addWidget(statusPanel0_, 1);
    statusBar()->addPermanentWidget(statusPanel1_);
    exclusionMark_->setObjectName(QStringLiteral("ExclusionMark"));
    exclusionMark_->hide();
    statusBar()->addPermanentWidget(exclusionMark_);

    actions_ = std::make_unique<TMainActions>(*this);
    ConnectActions();
    actions_->BuildMenusAndToolbar(*this, favourites_->SubMenu(), favourites_->ButtonMenu());
    connect(actions_->HistoryMenu, &QMenu::aboutToShow, this, [this] { FillHistoryMenu(); });
    connect(actions_->CompareMenu, &QMenu::aboutToShow, this, [this] { FillCompareMenu(); });
    CreateFileViews();
    actions_->ViewMenu->addAction(treemap_->ShowAction());
    actions_->ViewMenu->addAction(treemap_->ZoomOutAction());
    if (auto* toolbar = findChild<QToolBar*>(QStringLiteral("MainToolbar")))
        toolbar->addAction(treemap_->ZoomOutAction());
    // Answers nobody took (rows scrolled away) go after 10 to 20 seconds, so they are asked again.
    auto* timerGarbage = new QTimer(this);
    timerGarbage->setInterval(10000);
    connect(timerGarbage, &QTimer::timeout, this,
            [this] { shellIcons_->PurgeOlderThan(NowDays() - 10 * kSecondInDays); });
    timerGarbage->start();
    // The info panel sets its own texts, the message included; the tree's headers come from the model.
    infoPanel_->setProperty(kOwnTextsProperty, true);
    TranslateWindow(*this);
    connect(favourites_->List(), &TMRUDirList::Changed, this, &TFormMain::RebuildFavouritesMenus);
    connect(treeView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormMain::OnCurrentRowChanged);
    connect(treeView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormMain::UpdateActions);
    connect(treeView_->selectionModel(), &QItemSelectionModel::selectionChanged, treemap_,
            &TTreemapPane::SelectionChanged);
    connect(treeView_, &TNodeTreeView::ItemMenuRequested, this, &TFormMain::ShowTreeContextMenu);
    // Enter and double click. The prompt row shown before the first scan stands for choosing what to scan.
    connect(treeView_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (treeModel_->NodeAt(index) == nullptr)
            ActDirSelectExecute();
        else
            ActShellOpenFileExecute();
    });

    setWindowTitle(QStringLiteral("Quorvex"));
    treeModel_->SetRoot(nullptr);

    // Saved state first (it may override the default sort), then the settings.
    RestoreWindowState();
    settings_.Load();
    ApplySettings(settings_);
    RebuildFavouritesMenus();
    CreateChangeNotify();
    UpdateActions();
    LogElapsed(-1, "OnCreate");
}

void TFormMain::CreateFileViews() {
    fileViews_ = new TFileViews(
        *this, actions_->ViewMenu,
        TFileViewsHooks{[this] { return rootNode_.get(); }, [this] { return treeView_->FocusedNode(); },
                        [this] { return SizeKind(); }, [this] { return sizeFormatter_; },
                        [this] { return presentation_->BarPainter(); },
                        [this](TFileSystemNode* node) { RevealNode(node); }});
    growth_ = new TGrowthView(*this, actions_->ViewMenu,
                              TGrowthViewHooks{[this] {
                                                   const auto* root =
                                                       dynamic_cast<const TRootDirNode*>(rootNode_.get());
                                                   return root != nullptr ? root->Name() : std::string();
                                               },
                                               [this] { return sizeFormatter_; }});
    tabifyDockWidget(fileViews_->AgesDock(), growth_->Dock());
}

void TFormMain::CreateTreemap() {
    treemap_ = new TTreemapPane(
        TTreemapPaneHooks{[this] { return rootNode_.get(); }, [this] { return SizeKind(); },
                          [this] { return sizeFormatter_; }, [this] { return treeView_->SelectedNodes(); },
                          [this](TFileSystemNode* node) { RevealNode(node); },
                          [this](bool permanent) { DeleteSelection(permanent); },
                          [this](const QPoint& global) { ShowItemMenu(global); }},
        this);
}

// The flat list holds only the largest items: a file is shown in the tree.
void TFormMain::RevealNode(TFileSystemNode* node) {
    if (presentation_->IsFlat()) {
        actions_->ShowTreeView->setChecked(true);
        ShowTreeView();
    }
    treeView_->RefreshNode(node);
    treeView_->SelectNode(node);
}

void TFormMain::SetScanFileSystem(TFileSystemApi* fileSystem) {
    scans_->UseFileSystem(fileSystem, settings_.ScanJobs());
}

TFormMain::~TFormMain() {
    ShutDown();
    SetScreenSectionNameSource(previousScreenSource_);
}

void TFormMain::ConnectActions() {
    const TMainActions& a = *actions_;
    connect(a.DirSelect, &QAction::triggered, this, &TFormMain::ActDirSelectExecute);
    connect(a.OpenScan, &QAction::triggered, this, &TFormMain::ActOpenScanExecute);
    connect(a.Refresh, &QAction::triggered, this, &TFormMain::ActRefreshExecute);
    connect(a.StopScan, &QAction::triggered, this, &TFormMain::StopScan);
    connect(a.RefreshNode, &QAction::triggered, this, &TFormMain::RescanSelection);
    connect(a.ShowTreeView, &QAction::triggered, this, &TFormMain::ShowTreeView);
    connect(a.ShowFlatView, &QAction::triggered, this, &TFormMain::ShowFlatView);
    connect(a.AllocatedSize, &QAction::toggled, this, [this](bool on) { SetAllocatedSizeShown(on); });
    connect(a.Config, &QAction::triggered, this, &TFormMain::ActConfigExecute);
    connect(a.OpenInExplorer, &QAction::triggered, this, &TFormMain::ActOpenInExplorerExecute);
    connect(a.SaveScanResult, &QAction::triggered, this, [this] { SaveScanResultAction(); });
    connect(a.Delete, &QAction::triggered, this, &TFormMain::ActDeleteExecute);
    connect(a.ShellOpenFile, &QAction::triggered, this, &TFormMain::ActShellOpenFileExecute);
    connect(a.Find, &QAction::triggered, findBar_, &TFindBar::Open);
    connect(a.Exit, &QAction::triggered, this, &QWidget::close);
    connect(a.Info, &QAction::triggered, this, &TFormMain::ShowAbout);
    connect(a.EndComparison, &QAction::triggered, this, &TFormMain::EndComparison);
    connect(a.OnlyChanges, &QAction::toggled, this, [this](bool on) {
        treeModel_->SetOnlyChanges(on);
        treeView_->ExpandInitialRows();
    });
}

// The title follows the walk too: it is what the task bar shows while the window is hidden.
void TFormMain::ShowScanProgress(const std::string& dir) {
    statusPanel0_->setText(DecodePath(dir));
    if (!dir.empty())
        setWindowTitle(QStringLiteral("Quorvex - ") + DecodePath(dir));
    UpdateActions();
}

void TFormMain::RetranslateUi() {
    // Texts only: the actions keep their images, which menus and toolbar share.
    RetranslateWindow(*this);
    infoPanel_->RetranslateUi();
    emit treeModel_->headerDataChanged(Qt::Horizontal, 0, TNodeTreeModel::kColumnCount - 1);
    // Its entries are made by code ("Local Drives", the drives' names), so it is made again.
    RebuildFavouritesMenus();
    // The scan's duration, while the status bar still shows it, and the file groups' rows.
    const QString duration = statusPanel1_->property("quorvexDurationText").toString();
    if (!duration.isEmpty() && statusPanel1_->text() == duration)
        ShowScanDuration(statusPanel1_->property("quorvexDurationSeconds").toDouble());
    ShowExclusionMark(scanExclusions_);
    fileViews_->Retranslate();
    growth_->HistoryChanged();
    treeView_->viewport()->update();
}

void TFormMain::SetSettingsDialogOpener(std::function<void(TFormMain&)> opener) {
    seams_.SettingsDialog = std::move(opener);
    UpdateActions();
}

// ---- Actions -------------------------------------------------------------------------------

void TFormMain::UpdateActions() {
    if (shutDown_)
        return;
    const bool running = IsScanRunning();
    const TFileSystemNode* first = treeView_->FirstSelectedNode();
    const std::vector<TFileSystemNode*> selected = treeView_->SelectedNodes();
    const TMainActions& a = *actions_;
    a.Refresh->setEnabled(rootNode_ != nullptr);
    a.StopScan->setEnabled(running);
    a.RefreshNode->setEnabled(!selected.empty());
    deletion_->UpdateAction(a.Delete, statusBar(), selected);
    a.SaveScanResult->setEnabled(!running && rootNode_ != nullptr && HasChildren(rootNode_.get()));
    a.OpenInExplorer->setEnabled(first != nullptr && first->GetNodeType() != ntFixedDrives);
    a.ShellOpenFile->setEnabled(first != nullptr && first->GetNodeType() == ntFile);
    a.OpenScan->setEnabled(!running);
    a.CompareMenu->menuAction()->setEnabled(CanCompare());
    a.EndComparison->setEnabled(comparison_ != nullptr);
    a.OnlyChanges->setEnabled(comparison_ != nullptr);
    UpdateImportedActions();
}

void TFormMain::ActDirSelectExecute() {
    try {
        std::string path;
        if (BrowseForFolder(this, TranslateText("Choose the drive or directory to analyse"),
                            scans_->LastDir(), path, seams_.Folder))
            StartDirScan(path);
    } catch (const std::exception& error) {
        ProgramLogger().error(error.what());
        ShowErrorDialog(error.what());
    }
}

void TFormMain::ActRefreshExecute() {
    if (rootNode_ == nullptr || IsImportedScan())
        return;
    if (rootNode_->GetNodeType() == ntFixedDrives)
        StartFixedDrivesScan();
    else
        StartDirScan(rootNode_->Name());
}

void TFormMain::ActOpenInExplorerExecute() {
    const TFileSystemNode* node = treeView_->FirstSelectedNode();
    if (node == nullptr || node->GetNodeType() == ntFixedDrives || IsImportedScan())
        return;
    const std::string path = GetFullPath(node);
    struct stat st {};
    TLaunchResult result;
    if (node->GetNodeType() == ntFile) {
        // The file manager can select a file inside its folder; the fallback opens the folder.
        result = seams_.Shell.Explore(path, false);
    } else if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        result = seams_.Shell.Explore(path, true);
    } else {
        // A file group's path ends in its display name, which names nothing on disk.
        const std::size_t slash = path.rfind('/');
        result = seams_.Shell.Explore(
            slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash), true);
    }
    if (result.Ok)
        return;
    ProgramLogger().error(ErrorLine(result));
    ShowErrorDialog(result.Message);
}

void TFormMain::ActShellOpenFileExecute() {
    const TFileSystemNode* node = treeView_->FirstSelectedNode();
    if (node == nullptr || node->GetNodeType() != ntFile || IsImportedScan())
        return;
    const std::string name = DecodePath(node->Name()).toStdString();
    if (LooksLikeSystemFile(*node)) {
        std::string question =
            TranslateText("You are trying to open a system file (%s). Are you sure you want to continue?");
        if (const std::size_t at = question.find("%s"); at != std::string::npos)
            question.replace(at, 2, name);
        if (!ShowWarningDialog(question))
            return;
    }
    ProgramLogger().debug("open " + name);
    const TLaunchResult result = seams_.Shell.Open(GetFullPath(node));
    if (result.Ok) {
        ProgramLogger().debug(name + " opened");
        return;
    }
    ProgramLogger().error(ErrorLine(result));
    ShowErrorDialog(result.Message);
}

void TFormMain::ActConfigExecute() {
    settings_.SetGroupingChanged(false);
    if (seams_.SettingsDialog)
        seams_.SettingsDialog(*this);
    else
        ExecuteSettingsDialog();
}

void TFormMain::ExecuteSettingsDialog() {
    TDlgSettings dialog(settings_, this);
    dialog.OnApplySettings = [this](const TSettings& settings) { OnSettingsApplied(settings); };
    dialog.Execute(settings_);
}

void TFormMain::ShowAbout() {
    TFormInfo info(this);
    info.exec();
}

TSaveResult TFormMain::SaveScanResultAction() {
    UpdateActions();
    if (!actions_->SaveScanResult->isEnabled() || rootNode_ == nullptr)
        return TSaveResult::Cancelled;
    try {
        return SaveScanResult(this, settings_, *rootNode_, seams_.SaveFile);
    } catch (const std::exception& error) {
        // The remembered folder and format could not be read: the dialog is not opened half-configured.
        ProgramLogger().error(error.what());
        ShowErrorDialog(error.what());
        return TSaveResult::Failed;
    }
}

void TFormMain::ApplySettings(const TSettings& settings) {
    scans_->SetRefreshInterval(settings.TreeViewRefreshRate() > 0 ? settings.TreeViewRefreshRate()
                                                                  : kDefaultTreeViewRefreshRate);
    sizeFormatter_ = SizeFormatterFor(settings.FileSizeRounding());
    findBar_->SetSizeFormatter(sizeFormatter_);
    treeModel_->SetSizeFormatter(sizeFormatter_);
    presentation_->ApplyBars(settings);
    fileViews_->SizesChanged();
    growth_->HistoryChanged();
    treemap_->Refill();
    treeView_->viewport()->update();
    scans_->SetJobs(settings.ScanJobs()); // for the scans started from now on
    actions_->AllocatedSize->setChecked(settings.AllocatedSize());
}

TSizeKind TFormMain::SizeKind() const {
    return actions_->AllocatedSize->isChecked() ? TSizeKind::Allocated : TSizeKind::Logical;
}

// Both figures are in the tree already, so the switch needs no rescan.
void TFormMain::SetAllocatedSizeShown(bool on) {
    settings_.SetAllocatedSize(on);
    if (comparison_ != nullptr)
        comparison_->SetSizeKind(SizeKind());
    treeModel_->SetSizeKind(SizeKind());
    fileViews_->SizesChanged();
    treemap_->Refill();
    findBar_->Refresh();
    if (presentation_->IsFlat()) {
        // The flat list holds the items above a share of the total, which depends on the size shown.
        presentation_->Discard();
        RebuildTree();
    }
    treeView_->viewport()->update();
    OnCurrentRowChanged();
}

void TFormMain::OnSettingsApplied(const TSettings& settings) {
    ApplySettings(settings);
    SetLanguage(settings.Language());
    RetranslateUi();
    treeView_->viewport()->update();
    if (settings.GroupingChanged() && rootNode_ != nullptr)
        infoPanel_->ShowNotification(
            GetFullPath(rootNode_.get()),
            Tr("Some of your changed settings will not be employed until the next analysis."));
}

} // namespace quorvex
