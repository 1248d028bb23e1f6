#include "ui/MainActions.h"

#include "i18n/TranslationMarkers.h"
#include "ui/ToolbarImages.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace quorvex {

TMainActions::TMainActions(QMainWindow& window) {
    const QStyle* st = window.style();
    auto make = [&window](const char* name, const char* text, const QIcon& icon = QIcon()) {
        auto* action = new QAction(icon, QString::fromUtf8(text), &window);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    DirSelect = make("ActDirSelect", N_("&Choose directory..."), st->standardIcon(QStyle::SP_DirOpenIcon));
    DirSelect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    DirSelect->setToolTip(QString::fromUtf8(N_("Choose the drive or directory to analyse")));
    OpenScan = make("ActOpenScan", N_("Open &scan..."), st->standardIcon(QStyle::SP_DialogOpenButton));
    OpenScan->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    OpenScan->setToolTip(
        QString::fromUtf8(N_("Show a scan saved elsewhere (ncdu -o, gdu -o or Quorvex's ncdu export)")));
    Refresh = make("ActRefresh", N_("&Repeat scan"), st->standardIcon(QStyle::SP_BrowserReload));
    Refresh->setShortcut(QKeySequence(Qt::Key_F5));
    StopScan = make("ActStopScan", N_("&Stop scan"), st->standardIcon(QStyle::SP_BrowserStop));
    RefreshNode = make("ActRefreshNode", N_("Rescan selected &directory"));
    RefreshNode->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    ShowTreeView = make("ActShowTreeView", N_("&Tree view"));
    ShowTreeView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    ShowTreeView->setCheckable(true);
    ShowTreeView->setChecked(true);
    ShowFlatView = make("ActShowFlatView", N_("&Flat list"));
    ShowFlatView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    ShowFlatView->setCheckable(true);
    auto* viewGroup = new QActionGroup(&window);
    viewGroup->addAction(ShowTreeView);
    viewGroup->addAction(ShowFlatView);
    AllocatedSize = make("ActAllocatedSize", N_("&Allocated size"));
    AllocatedSize->setCheckable(true);
    AllocatedSize->setToolTip(
        QString::fromUtf8(N_("Show the space the disk allocated for the files instead of their lengths")));
    Config = make("ActConfig", N_("S&ettings...")); // its image is made with the toolbar's
    OpenInExplorer =
        make("ActOpenInExplorer", N_("Open in file &manager"), st->standardIcon(QStyle::SP_DirLinkIcon));
    OpenInExplorer->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    SaveScanResult =
        make("ActSaveScanResult", N_("&Save scan result..."), st->standardIcon(QStyle::SP_DialogSaveButton));
    SaveScanResult->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Delete = make("ActDelete", N_("&Delete"));
    Delete->setToolTip(QString::fromUtf8(
        N_("Move the selected files and directories to the trash (Shift: delete them for good)")));
    Delete->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    ShellOpenFile = make("ActShellOpenFile", N_("&Open"));
    ShellOpenFile->setShortcut(QKeySequence(Qt::Key_Return));
    ShellOpenFile->setShortcutContext(Qt::WidgetShortcut); // the tree's own activation handles Enter
    Find = make("ActFind", N_("&Find..."));
    Find->setShortcut(QKeySequence::Find);
    Find->setToolTip(
        QString::fromUtf8(N_("Find files and folders anywhere in the scan by name, size and age")));
    Exit = make("ActExit", N_("E&xit"));
    Exit->setShortcut(QKeySequence::Quit);
    Info = make("ActInfo", N_("&Information..."));
    OnlyChanges = make("ActOnlyChanges", N_("Only &changes"));
    OnlyChanges->setCheckable(true);
    OnlyChanges->setToolTip(
        QString::fromUtf8(N_("Hide the items that did not change since the earlier scan")));
    EndComparison = make("ActEndComparison", N_("&End comparison"));
}

void TMainActions::BuildMenusAndToolbar(QMainWindow& window, QMenu* favouritesSubMenu,
                                        QMenu* favouritesButtonMenu) {
    FileMenu = window.menuBar()->addMenu(QString::fromUtf8(N_("&File")));
    FileMenu->addAction(DirSelect);
    FileMenu->addAction(OpenScan);
    CompareMenu = FileMenu->addMenu(QString::fromUtf8(N_("Co&mpare with")));
    CompareMenu->setObjectName(QStringLiteral("CompareMenu"));
    FileMenu->addAction(EndComparison);
    FileMenu->addMenu(favouritesSubMenu);
    FileMenu->addSeparator();
    FileMenu->addAction(Refresh);
    FileMenu->addAction(RefreshNode);
    FileMenu->addAction(StopScan);
    FileMenu->addSeparator();
    FileMenu->addAction(Exit);
    HistoryMenu = window.menuBar()->addMenu(QString::fromUtf8(N_("&History")));
    HistoryMenu->setObjectName(QStringLiteral("HistoryMenu"));
    OptionsMenu = window.menuBar()->addMenu(QString::fromUtf8(N_("&Options")));
    OptionsMenu->addAction(ShellOpenFile);
    OptionsMenu->addAction(OpenInExplorer);
    OptionsMenu->addAction(SaveScanResult);
    OptionsMenu->addAction(Delete);
    OptionsMenu->addAction(Find);
    OptionsMenu->addSeparator();
    OptionsMenu->addAction(ShowTreeView);
    OptionsMenu->addAction(ShowFlatView);
    OptionsMenu->addAction(AllocatedSize);
    OptionsMenu->addSeparator();
    OptionsMenu->addAction(Config);
    ViewMenu = window.menuBar()->addMenu(QString::fromUtf8(N_("&View")));
    ViewMenu->addAction(OnlyChanges);
    ViewMenu->addAction(EndComparison);
    ViewMenu->addSeparator();
    QMenu* helpMenu = window.menuBar()->addMenu(QString::fromUtf8(N_("&Help")));
    helpMenu->addAction(Info);

    QToolBar* toolbar = window.addToolBar(QString::fromUtf8(N_("Main toolbar")));
    toolbar->setObjectName(QStringLiteral("MainToolbar"));
    toolbar->setMovable(false);
    auto* favouritesButton = new QToolButton(toolbar);
    favouritesButton->setObjectName(QStringLiteral("FavouritesButton"));
    favouritesButton->setIcon(window.style()->standardIcon(QStyle::SP_DirHomeIcon));
    // A click on the button itself opens the drop-down, as its arrow would.
    favouritesButton->setPopupMode(QToolButton::InstantPopup);
    favouritesButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    favouritesButton->setMenu(favouritesButtonMenu);
    favouritesButton->setText(QString::fromUtf8(N_("Favourites")));
    favouritesButton->setToolTip(QString::fromUtf8(N_("Favourites")));
    toolbar->addWidget(favouritesButton);
    toolbar->addSeparator();
    toolbar->addAction(DirSelect);
    toolbar->addSeparator();
    toolbar->addAction(Refresh);
    toolbar->addAction(StopScan);
    toolbar->addSeparator();
    toolbar->addAction(OpenInExplorer);
    toolbar->addAction(SaveScanResult);
    toolbar->addAction(Config);

    // Every toolbar image gets its grey twin; the menus show the same icons.
    auto* images = new TToolbarImages(toolbar->iconSize(), &window);
    for (QAction* action : {DirSelect, StopScan, OpenInExplorer, SaveScanResult})
        action->setIcon(images->Add(action->icon()));
    const QSize imageSize = images->ImageSize();
    Config->setIcon(images->Add([imageSize](qreal ratio) { return SettingsImage(imageSize, ratio); }));
    Refresh->setIcon(images->Add([imageSize](qreal ratio) { return RefreshImage(imageSize, ratio); }));
    favouritesButton->setIcon(images->Add(favouritesButton->icon()));
}

} // namespace quorvex
