// The main window's scan history: every finished scan kept as a file, and the "History" menu that
// opens an earlier one.

#include "ui/FormMain.h"

#include "export/NcduImport.h"
#include "export/ScanHistory.h"
#include "export/TreeTypesExport.h"
#include "i18n/TranslatedText.h"
#include "model/RootNodes.h"
#include "model/SizeFormat.h"
#include "scan/DirScanThread.h"
#include "scan/DirScanner.h"
#include "shell/DialogPaths.h"
#include "support/QxStrings.h"
#include "ui/FileViews.h"
#include "ui/HistoryKeeper.h"
#include "ui/MainActions.h"
#include "ui/TreemapPane.h"

#include <QDateTime>
#include <QLocale>
#include <QMenu>

#include <memory>

namespace quorvex {

void TFormMain::SaveScanToHistory(const TDirScanThread& thread) {
    // A stopped scan would keep a tree with holes, and "Local Drives" is no one root.
    const auto* root = dynamic_cast<const TRootDirNode*>(rootNode_.get());
    if (root == nullptr || thread.Scanner().IsStopped() || IsImportedTree(*root) ||
        root->HasFlag(nfIncomplete))
        return;
    THistoryLimits limits;
    limits.ScansPerRoot = settings_.HistoryScansPerRoot();
    limits.BudgetBytes = static_cast<std::uint64_t>(settings_.HistoryBudgetMB()) << 20;
    if (!history_)
        history_ = std::make_unique<THistoryKeeper>();
    shownScanTimeMs_ = history_->Keep(*root, HistoryFolder(), limits);
}

void TFormMain::TreeChanging(bool replaced) {
    fileViews_->TreeChanging();
    if (replaced)
        treemap_->TreeReplaced();
    else
        treemap_->TreeChanging();
    if (history_)
        history_->FinishCopy();
}

bool TFormMain::AddHistoryEntries(QMenu* menu, bool earlierOnly,
                                  const std::function<void(const std::string&, const QString&)>& chosen) {
    const auto* root = dynamic_cast<const TRootDirNode*>(rootNode_.get());
    std::vector<THistoryScan> scans =
        root != nullptr ? ListHistory(HistoryFolder(), root->Name()) : std::vector<THistoryScan>();
    // The tree shown is kept as well, and so may be later scans of other windows: neither is earlier.
    if (earlierOnly && shownScanTimeMs_ != 0)
        std::erase_if(scans, [this](const THistoryScan& scan) { return scan.TimeMs >= shownScanTimeMs_; });
    const QLocale locale;
    for (const THistoryScan& scan : scans) {
        const QString when =
            locale.toString(QDateTime::fromMSecsSinceEpoch(scan.TimeMs), QLocale::ShortFormat);
        const QString text = Tr("%1 - %2 in %3 files")
                                 .arg(when, QString::fromStdString(FormatSizeRounded(scan.Size)),
                                      QString::fromStdString(FormatCount(scan.Files)));
        const std::string file = scan.File;
        connect(menu->addAction(text), &QAction::triggered, this,
                [chosen, file, text] { chosen(file, text); });
    }
    return !scans.empty();
}

void TFormMain::FillHistoryMenu() {
    QMenu* menu = actions_->HistoryMenu;
    menu->clear();
    if (!AddHistoryEntries(menu, false,
                           [this](const std::string& file, const QString&) { OpenScanFile(file); }))
        menu->addAction(Tr("No earlier scans of this folder"))->setEnabled(false);
}

} // namespace quorvex
