#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "diag/QxProfiler.h"
#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/TreeOperations.h"
#include "paint/PainterClassResolver.h"
#include "paint/PercentCell.h"
#include "paint/QxBarChartPainter.h"
#include "paint/Skins.h"
#include "scan/DirScanThreadList.h"
#include "shell/Favourites.h"
#include "shell/InfoPanel.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"
#include "shell/ShellIcons.h"
#include "support/AsciiCase.h"
#include "support/ErrorDialogs.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/DlgSettings.h"
#include "ui/FormInfo.h"
#include "ui/MessageDialogs.h"
#include "ui/NodeItemDelegate.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/ToolbarImages.h"
#include "ui/WindowTranslation.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sys/stat.h>

namespace quorvex {
namespace {

constexpr int kMaxScanThreads = 9;
constexpr int kStatusPanel1Width = 150;
// How long a menu rebuild waits for a mounted file system that does not answer.
constexpr std::chrono::milliseconds kMountProbeLimit{250};

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
      favourites_(new TMRUDirList(this)), statusPanel0_(new QLabel(this)), statusPanel1_(new QLabel(this)) {
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

    // Controls, the desktop-integration objects, the thread list and the child-bar painter.
    shellIcons_ = std::make_unique<TShellIcons>();
    mountProber_ = std::make_unique<TTimedProber>(SystemMountProbe(), kMountProbeLimit);
    treeModel_->SetIconSource([this](const TFileSystemNode* node, int column) {
        return shellIcons_->IconFor(node, column, aniFrame_);
    });
    connect(shellIcons_.get(), &TShellIcons::FileIconArrived, treeView_->viewport(),
            qOverload<>(&QWidget::update));
    // A new tree (a new scan) starts with no answers pending.
    connect(treeModel_, &QAbstractItemModel::modelReset, shellIcons_.get(), &TShellIcons::ClearResults);
    scanThreads_ =
        std::make_unique<TDirScanThreadList>(kMaxScanThreads, [this] { return settings_.GroupThreshold(); });
    childBarPainter_ = MakeChildBarPainter();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(infoPanel_);
    layout->addWidget(treeView_, 1);
    setCentralWidget(central);
    statusPanel1_->setFixedWidth(kStatusPanel1Width);
    statusBar()->addWidget(statusPanel0_, 1);
    statusBar()->addPermanentWidget(statusPanel1_);

    CreateActions();
    CreateMenusAndToolbar();
    CreateTimers();
    // The info panel sets its own texts, the message included; the tree's headers come from the model.
    infoPanel_->setProperty(kOwnTextsProperty, true);
    TranslateWindow(*this);
    connect(favourites_, &TMRUDirList::Changed, this, &TFormMain::RebuildFavouritesMenus);
    connect(treeView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormMain::OnCurrentRowChanged);
    connect(treeView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormMain::UpdateActions);
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

void TFormMain::SetScanFileSystem(TFileSystemApi* fileSystem) {
    scanThreads_->StopAllAndWait();
    scanThreads_ = std::make_unique<TDirScanThreadList>(
        kMaxScanThreads, [this] { return settings_.GroupThreshold(); }, fileSystem);
    scanThreads_->SetJobs(settings_.ScanJobs());
}

TFormMain::~TFormMain() {
    ShutDown();
    SetScreenSectionNameSource(previousScreenSource_);
}

void TFormMain::CreateActions() {
    const QStyle* st = style();
    auto make = [this](const char* name, const char* text, const QIcon& icon = QIcon()) {
        auto* action = new QAction(icon, QString::fromUtf8(text), this);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    actDirSelect_ =
        make("ActDirSelect", N_("&Choose directory..."), st->standardIcon(QStyle::SP_DirOpenIcon));
    actDirSelect_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actDirSelect_->setToolTip(QString::fromUtf8(N_("Choose the drive or directory to analyse")));
    connect(actDirSelect_, &QAction::triggered, this, &TFormMain::ActDirSelectExecute);
    actOpenScan_ = make("ActOpenScan", N_("Open &scan..."), st->standardIcon(QStyle::SP_DialogOpenButton));
    actOpenScan_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    actOpenScan_->setToolTip(
        QString::fromUtf8(N_("Show a scan saved elsewhere (ncdu -o, gdu -o or Quorvex's ncdu export)")));
    connect(actOpenScan_, &QAction::triggered, this, &TFormMain::ActOpenScanExecute);
    actRefresh_ = make("ActRefresh", N_("&Repeat scan"), st->standardIcon(QStyle::SP_BrowserReload));
    actRefresh_->setShortcut(QKeySequence(Qt::Key_F5));
    connect(actRefresh_, &QAction::triggered, this, &TFormMain::ActRefreshExecute);
    actStopScan_ = make("ActStopScan", N_("&Stop scan"), st->standardIcon(QStyle::SP_BrowserStop));
    connect(actStopScan_, &QAction::triggered, this, &TFormMain::StopScan);
    actRefreshNode_ = make("ActRefreshNode", N_("Rescan selected &directory"));
    actRefreshNode_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    connect(actRefreshNode_, &QAction::triggered, this, &TFormMain::RescanSelection);
    actShowTreeView_ = make("ActShowTreeView", N_("&Tree view"));
    actShowTreeView_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    actShowTreeView_->setCheckable(true);
    actShowTreeView_->setChecked(true);
    connect(actShowTreeView_, &QAction::triggered, this, &TFormMain::ShowTreeView);
    actShowFlatView_ = make("ActShowFlatView", N_("&Flat list"));
    actShowFlatView_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    actShowFlatView_->setCheckable(true);
    connect(actShowFlatView_, &QAction::triggered, this, &TFormMain::ShowFlatView);
    auto* viewGroup = new QActionGroup(this);
    viewGroup->addAction(actShowTreeView_);
    viewGroup->addAction(actShowFlatView_);
    actAllocatedSize_ = make("ActAllocatedSize", N_("&Allocated size"));
    actAllocatedSize_->setCheckable(true);
    actAllocatedSize_->setToolTip(
        QString::fromUtf8(N_("Show the space the disk allocated for the files instead of their lengths")));
    connect(actAllocatedSize_, &QAction::toggled, this, [this](bool on) { SetAllocatedSizeShown(on); });
    actConfig_ = make("ActConfig", N_("S&ettings...")); // its image is made with the toolbar's
    connect(actConfig_, &QAction::triggered, this, &TFormMain::ActConfigExecute);
    actOpenInExplorer_ =
        make("ActOpenInExplorer", N_("Open in file &manager"), st->standardIcon(QStyle::SP_DirLinkIcon));
    actOpenInExplorer_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(actOpenInExplorer_, &QAction::triggered, this, &TFormMain::ActOpenInExplorerExecute);
    actSaveScanResult_ =
        make("ActSaveScanResult", N_("&Save scan result..."), st->standardIcon(QStyle::SP_DialogSaveButton));
    actSaveScanResult_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(actSaveScanResult_, &QAction::triggered, this, [this] { SaveScanResultAction(); });
    actDelete_ = make("ActDelete", N_("&Delete"));
    actDelete_->setToolTip(QString::fromUtf8(
        N_("Move the selected files and directories to the trash (Shift: delete them for good)")));
    actDelete_->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    connect(actDelete_, &QAction::triggered, this, &TFormMain::ActDeleteExecute);
    actShellOpenFile_ = make("ActShellOpenFile", N_("&Open"));
    actShellOpenFile_->setShortcut(QKeySequence(Qt::Key_Return));
    actShellOpenFile_->setShortcutContext(Qt::WidgetShortcut); // the tree's own activation handles Enter
    connect(actShellOpenFile_, &QAction::triggered, this, &TFormMain::ActShellOpenFileExecute);
    actExit_ = make("ActExit", N_("E&xit"));
    actExit_->setShortcut(QKeySequence::Quit);
    connect(actExit_, &QAction::triggered, this, &QWidget::close);
    actInfo_ = make("ActInfo", N_("&Information..."));
    connect(actInfo_, &QAction::triggered, this, &TFormMain::ShowAbout);
}

void TFormMain::CreateMenusAndToolbar() {
    favouritesSubMenu_ = new QMenu(QString::fromUtf8(N_("F&avourites")), this);
    favouritesSubMenu_->setObjectName(QStringLiteral("MenuItemMRUDirList"));
    favouritesMenu_ = new QMenu(this);
    favouritesMenu_->setObjectName(QStringLiteral("PopupMRUDirList"));
    fileMenu_ = menuBar()->addMenu(QString::fromUtf8(N_("&File")));
    fileMenu_->addAction(actDirSelect_);
    fileMenu_->addAction(actOpenScan_);
    fileMenu_->addMenu(favouritesSubMenu_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(actRefresh_);
    fileMenu_->addAction(actRefreshNode_);
    fileMenu_->addAction(actStopScan_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(actExit_);
    optionsMenu_ = menuBar()->addMenu(QString::fromUtf8(N_("&Options")));
    optionsMenu_->addAction(actShellOpenFile_);
    optionsMenu_->addAction(actOpenInExplorer_);
    optionsMenu_->addAction(actSaveScanResult_);
    optionsMenu_->addAction(actDelete_);
    optionsMenu_->addSeparator();
    optionsMenu_->addAction(actShowTreeView_);
    optionsMenu_->addAction(actShowFlatView_);
    optionsMenu_->addAction(actAllocatedSize_);
    optionsMenu_->addSeparator();
    optionsMenu_->addAction(actConfig_);
    helpMenu_ = menuBar()->addMenu(QString::fromUtf8(N_("&Help")));
    helpMenu_->addAction(actInfo_);

    QToolBar* toolbar = addToolBar(QString::fromUtf8(N_("Main toolbar")));
    toolbar->setObjectName(QStringLiteral("MainToolbar"));
    toolbar->setMovable(false);
    favouritesButton_ = new QToolButton(toolbar);
    favouritesButton_->setObjectName(QStringLiteral("FavouritesButton"));
    favouritesButton_->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
    // A click on the button itself opens the drop-down, as its arrow would.
    favouritesButton_->setPopupMode(QToolButton::InstantPopup);
    favouritesButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    favouritesButton_->setMenu(favouritesMenu_);
    favouritesButton_->setText(QString::fromUtf8(N_("Favourites")));
    favouritesButton_->setToolTip(QString::fromUtf8(N_("Favourites")));
    toolbar->addWidget(favouritesButton_);
    toolbar->addSeparator();
    toolbar->addAction(actDirSelect_);
    toolbar->addSeparator();
    toolbar->addAction(actRefresh_);
    toolbar->addAction(actStopScan_);
    toolbar->addSeparator();
    toolbar->addAction(actOpenInExplorer_);
    toolbar->addAction(actSaveScanResult_);
    toolbar->addAction(actConfig_);

    // Every toolbar image gets its grey twin; the menus show the same icons.
    auto* images = new TToolbarImages(toolbar->iconSize(), this);
    for (QAction* action : {actDirSelect_, actStopScan_, actOpenInExplorer_, actSaveScanResult_})
        action->setIcon(images->Add(action->icon()));
    const QSize imageSize = images->ImageSize();
    actConfig_->setIcon(images->Add([imageSize](qreal ratio) { return SettingsImage(imageSize, ratio); }));
    actRefresh_->setIcon(images->Add([imageSize](qreal ratio) { return RefreshImage(imageSize, ratio); }));
    favouritesButton_->setIcon(images->Add(favouritesButton_->icon()));
}

void TFormMain::CreateTimers() {
    timerAniSearch_ = new QTimer(this);
    timerAniSearch_->setInterval(100);
    connect(timerAniSearch_, &QTimer::timeout, this, [this] {
        aniFrame_ = aniFrame_ >= 7 ? 0 : aniFrame_ + 1;
        treeView_->viewport()->update();
    });
    timerTreeRefresh_ = new QTimer(this);
    timerTreeRefresh_->setInterval(kDefaultTreeViewRefreshRate);
    connect(timerTreeRefresh_, &QTimer::timeout, this, [this] {
        DiscardFlatList();
        RebuildTree();
    });
    // Answers nobody took (rows scrolled away) go after 10 to 20 seconds, so they are asked again.
    auto* timerGarbage = new QTimer(this);
    timerGarbage->setInterval(10000);
    connect(timerGarbage, &QTimer::timeout, this,
            [this] { shellIcons_->PurgeOlderThan(NowDays() - 10 * kSecondInDays); });
    timerGarbage->start();
    timerStatusBar_ = new QTimer(this);
    timerStatusBar_->setInterval(100);
    // The title follows the walk too: it is what the task bar shows while the window is hidden.
    connect(timerStatusBar_, &QTimer::timeout, this, [this] {
        const std::string dir = scanThreads_->GetCurrentDir();
        statusPanel0_->setText(DecodePath(dir));
        if (!dir.empty())
            setWindowTitle(QStringLiteral("Quorvex - ") + DecodePath(dir));
        UpdateActions();
    });
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
    treeView_->viewport()->update();
}

void TFormMain::SetSettingsDialogOpener(std::function<void(TFormMain&)> opener) {
    settingsDialogOpener_ = std::move(opener);
    UpdateActions();
}

// ---- Actions -------------------------------------------------------------------------------

void TFormMain::UpdateActions() {
    if (shutDown_)
        return;
    const bool running = IsScanRunning();
    const TFileSystemNode* first = treeView_->FirstSelectedNode();
    const std::vector<TFileSystemNode*> selected = treeView_->SelectedNodes();
    actRefresh_->setEnabled(rootNode_ != nullptr);
    actStopScan_->setEnabled(running);
    actRefreshNode_->setEnabled(!selected.empty());
    UpdateDeleteAction(selected);
    actSaveScanResult_->setEnabled(!running && rootNode_ != nullptr && HasChildren(rootNode_.get()));
    actOpenInExplorer_->setEnabled(first != nullptr && first->GetNodeType() != ntFixedDrives);
    actShellOpenFile_->setEnabled(first != nullptr && first->GetNodeType() == ntFile);
    actOpenScan_->setEnabled(!running);
    UpdateImportedActions();
}

void TFormMain::ActDirSelectExecute() {
    try {
        std::string path;
        if (BrowseForFolder(this, TranslateText("Choose the drive or directory to analyse"), lastScanDir_,
                            path, folderDialog_))
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
        result = shellLauncher_.Explore(path, false);
    } else if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        result = shellLauncher_.Explore(path, true);
    } else {
        // A file group's path ends in its display name, which names nothing on disk.
        const std::size_t slash = path.rfind('/');
        result = shellLauncher_.Explore(
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
    const TLaunchResult result = shellLauncher_.Open(GetFullPath(node));
    if (result.Ok) {
        ProgramLogger().debug(name + " opened");
        return;
    }
    ProgramLogger().error(ErrorLine(result));
    ShowErrorDialog(result.Message);
}

void TFormMain::ActConfigExecute() {
    settings_.SetGroupingChanged(false);
    if (settingsDialogOpener_)
        settingsDialogOpener_(*this);
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
    if (!actSaveScanResult_->isEnabled() || rootNode_ == nullptr)
        return TSaveResult::Cancelled;
    try {
        return SaveScanResult(this, settings_, *rootNode_, saveFileDialog_);
    } catch (const std::exception& error) {
        // The remembered folder and format could not be read: the dialog is not opened half-configured.
        ProgramLogger().error(error.what());
        ShowErrorDialog(error.what());
        return TSaveResult::Failed;
    }
}

void TFormMain::ApplySettings(const TSettings& settings) {
    timerTreeRefresh_->setInterval(settings.TreeViewRefreshRate() > 0 ? settings.TreeViewRefreshRate()
                                                                      : kDefaultTreeViewRefreshRate);
    sizeFormatter_ = SizeFormatterFor(settings.FileSizeRounding());
    treeModel_->SetSizeFormatter(sizeFormatter_);
    barPainter_ = CreateBarChartPainter(settings.BarChartPainterClass());
    drawChildBars_ = settings.PaintOptions().Contains(poDrawChildPercentBars);
    treeView_->Delegate()->SetPainters({barPainter_.get(), childBarPainter_.get()}, drawChildBars_);
    treeView_->viewport()->update();
    scanThreads_->SetJobs(settings.ScanJobs()); // for the scans started from now on
    actAllocatedSize_->setChecked(settings.AllocatedSize());
}

TSizeKind TFormMain::SizeKind() const {
    return actAllocatedSize_->isChecked() ? TSizeKind::Allocated : TSizeKind::Logical;
}

// Both figures are in the tree already, so the switch needs no rescan.
void TFormMain::SetAllocatedSizeShown(bool on) {
    settings_.SetAllocatedSize(on);
    treeModel_->SetSizeKind(SizeKind());
    if (flatView_) {
        // The flat list holds the items above a share of the total, which depends on the size shown.
        DiscardFlatList();
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
