// The main window's scans opened from a file made elsewhere: the File menu's "Open scan..." and a
// scan file named on the command line.

#include "ui/FormMain.h"

#include "model/TreeOperations.h"

#include "diag/QxLogger.h"
#include "export/NcduImport.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "shell/DialogPaths.h"
#include "shell/InfoPanel.h"
#include "support/PathText.h"
#include "ui/BusyCursor.h"
#include "ui/MainActions.h"
#include "ui/NodeTreeView.h"
#include "ui/ScanController.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace quorvex {
namespace {

std::optional<std::string> ChooseScanFileWithDialog(QWidget* parent) {
    QFileDialog dialog(parent, Tr("Open scan"), QString(),
                       Tr("Scan files (*.json *.json.gz);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Not ExistingFile: Qt's own dialog would look the typed text up as a name and refuse one that
    // is not UTF-8 on the disk; the name is matched to the disk below, and a name that is not there
    // is reported by the import with the reason.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty())
        return std::nullopt;
    return MatchNamesOnDisk(LocalPathOfUrl(dialog.selectedUrls().front()));
}

} // namespace

bool TFormMain::IsImportedScan() const {
    const auto* root = dynamic_cast<const TRootDirNode*>(rootNode_.get());
    return root != nullptr && IsImportedTree(*root);
}

std::optional<std::string> TFormMain::ChooseScanFile() {
    const OpenScanDialog& dialog =
        seams_.OpenScan ? seams_.OpenScan : OpenScanDialog(ChooseScanFileWithDialog);
    return dialog(this);
}

void TFormMain::ActOpenScanExecute() {
    if (const std::optional<std::string> file = ChooseScanFile())
        OpenScanFile(*file);
}

std::unique_ptr<TRootDirNode> TFormMain::ReadScanFile(const std::string& fileName) {
    std::string error;
    {
        // A scan of millions of files takes a second or more to read.
        const TBusyCursor busy;
        try {
            return ImportNcduFile(fileName, settings_.GroupThreshold(), settings_.HardLinksOnce());
        } catch (const EImportError& e) {
            error = e.what();
        }
    }
    ProgramLogger().error(error);
    ShowErrorDialog(error);
    return nullptr;
}

bool TFormMain::OpenScanFile(const std::string& fileName) {
    // A running scan writes into the tree that the file's tree would replace.
    if (IsScanRunning())
        return false;
    std::unique_ptr<TRootDirNode> root = ReadScanFile(fileName);
    if (root == nullptr)
        return false;
    infoPanel_->SlideVisible(false);
    scans_->ClearPending();
    setWindowTitle(QStringLiteral("Quorvex - ") + DecodePath(root->Name()) + QStringLiteral(" ") +
                   Tr("(imported)"));
    ShowScanDuration(-1);
    // Our patterns played no part in a scan made elsewhere.
    ShowExclusionMark(0);
    if (importedMark_ == nullptr) {
        importedMark_ = new QLabel(this);
        importedMark_->setObjectName(QStringLiteral("ImportedMark"));
        statusBar()->addPermanentWidget(importedMark_);
    }
    importedMark_->setText(Tr("Imported from %1").arg(DecodePath(fileName)));
    ReplaceRoot(std::move(root));
    RebuildTree();
    UpdateActions();
    return true;
}

void TFormMain::UpdateImportedActions() {
    const bool imported = IsImportedScan();
    if (importedMark_ != nullptr)
        importedMark_->setVisible(imported);
    const QString why = Tr("Not available for a scan opened from a file: its items are not on this computer");
    constexpr const char* kOwnToolTip = "quorvexToolTipBeforeImport";
    bool restore = false;
    const TMainActions& a = *actions_;
    for (QAction* action : {a.Refresh, a.RefreshNode, a.Delete, a.ShellOpenFile, a.OpenInExplorer}) {
        if (imported) {
            action->setEnabled(false);
            if (!action->property(kOwnToolTip).isValid())
                action->setProperty(kOwnToolTip, action->toolTip());
            action->setToolTip(why);
        } else if (const QVariant own = action->property(kOwnToolTip); own.isValid()) {
            // Put back exactly as it was, so the window translation takes it up again.
            action->setToolTip(own.toString());
            action->setProperty(kOwnToolTip, QVariant());
            restore = true;
        }
    }
    // A menu shows an entry's tool tip only when asked to; outside an imported tree the entries'
    // tool tips are their captions again and stay unseen, as before.
    for (QMenu* menu : {a.FileMenu, a.OptionsMenu})
        menu->setToolTipsVisible(imported);
    // In the current language, should it have changed while the imported tree was shown.
    if (restore)
        RetranslateUi();
}

} // namespace quorvex
