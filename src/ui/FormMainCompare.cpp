// The main window's comparison of the tree shown with an earlier scan of it: the "Compare with"
// menu, and keeping the comparison true to the tree while items are deleted and folders rescanned.

#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "i18n/TranslatedText.h"
#include "model/RootNodes.h"
#include "model/TreeComparison.h"
#include "support/PathText.h"
#include "ui/MainActions.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace quorvex {

bool TFormMain::CanCompare() const {
    // A stopped scan has holes that would show as gone, and "Local Drives" is no one folder.
    const auto* root = dynamic_cast<const TRootDirNode*>(rootNode_.get());
    return root != nullptr && !IsScanRunning() && !root->HasFlag(nfIncomplete) && !root->IsScanning();
}

void TFormMain::FillCompareMenu() {
    QMenu* menu = actions_->CompareMenu;
    menu->clear();
    if (!AddHistoryEntries(menu, true, [this](const std::string& file, const QString& text) {
            CompareWithScanFile(file, text);
        }))
        menu->addAction(Tr("No earlier scans of this folder"))->setEnabled(false);
    menu->addSeparator();
    connect(menu->addAction(Tr("Scan file...")), &QAction::triggered, this, [this] {
        if (const std::optional<std::string> file = ChooseScanFile())
            CompareWithScanFile(*file);
    });
}

bool TFormMain::CompareWithScanFile(const std::string& fileName, const QString& shownAs) {
    if (!CanCompare())
        return false;
    std::unique_ptr<TRootDirNode> earlier = ReadScanFile(fileName);
    if (earlier == nullptr)
        return false;
    EndComparison();
    QElapsedTimer timer;
    timer.start();
    comparison_ = std::make_unique<TTreeComparison>(std::move(earlier), *rootNode_, SizeKind());
    ProgramLogger().debug("Compared with " + fileName + " in " + std::to_string(timer.elapsed()) + " ms");
    if (compareMark_ == nullptr) {
        compareMark_ = new QLabel(this);
        compareMark_->setObjectName(QStringLiteral("CompareMark"));
        statusBar()->addPermanentWidget(compareMark_);
    }
    compareMark_->setText(Tr("Compared with %1").arg(shownAs.isEmpty() ? DecodePath(fileName) : shownAs));
    compareMark_->show();
    ShowComparison();
    UpdateActions();
    return true;
}

void TFormMain::ShowComparison() {
    treeModel_->SetOnlyChanges(actions_->OnlyChanges->isChecked());
    treeModel_->SetComparison(comparison_.get());
    treeView_->ExpandInitialRows();
    QHeaderView* header = treeView_->header();
    if (comparison_ != nullptr) {
        for (const int column : {TNodeTreeModel::colSizeChange, TNodeTreeModel::colFilesChange})
            header->resizeSection(column, header->sectionSizeHint(column) + 24);
    } else if (header->sortIndicatorSection() >= TNodeTreeModel::kColumnCount) {
        header->setSortIndicator(treeModel_->SortColumn(), treeModel_->SortOrder());
    }
}

void TFormMain::EndComparison() {
    if (comparison_ == nullptr)
        return;
    treeModel_->SetComparison(nullptr);
    comparison_.reset();
    ShowComparison();
    if (compareMark_ != nullptr)
        compareMark_->hide();
    UpdateActions();
}

void TFormMain::SuspendComparison() {
    if (comparison_ == nullptr || treeModel_->Comparison() == nullptr)
        return;
    treeModel_->SetComparison(nullptr);
    comparison_->Forget();
    treeView_->ExpandInitialRows();
}

void TFormMain::ResumeComparison(bool treeComplete) {
    if (comparison_ == nullptr || treeModel_->Comparison() != nullptr || IsScanRunning())
        return;
    if (!treeComplete || !CanCompare()) {
        EndComparison();
        statusPanel0_->setText(Tr("The comparison ended: a stopped rescan left part of the tree unread"));
        return;
    }
    comparison_->Recompute();
    ShowComparison();
}

} // namespace quorvex
