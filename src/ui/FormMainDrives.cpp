#include "ui/FormMain.h"

#include "model/TreeOperations.h"

#include "diag/QxLogger.h"
#include "model/RootNodes.h"
#include "shell/ChangeNotify.h"
#include "shell/InfoPanel.h"
#include "ui/NodeTreeView.h"

namespace quorvex {

void TFormMain::CreateChangeNotify() {
    changeNotify_ = new TSHChangeNotify(this);
    changeNotify_->SetOnDriveAdd([this](TSHChangeNotify&, std::uint32_t, const std::string& path) {
        DrivesChanged("Drive added: " + path);
    });
    changeNotify_->SetOnDriveRemoved([this](TSHChangeNotify&, std::uint32_t, const std::string& path) {
        DrivesChanged("Drive removed: " + path);
    });
    changeNotify_->Register();

    infoPanel_->SetOnRefresh([this](const std::string& path) { OnInfoPanelRefresh(path); });
}

void TFormMain::DrivesChanged(const std::string& logLine) {
    // A scanned directory that has just been mounted on, or off, is now a drive, or no longer one.
    if (auto* root = dynamic_cast<TRootDirNode*>(rootNode_.get()))
        root->ForgetDriveKind();
    else if (rootNode_ != nullptr && rootNode_->GetNodeType() == ntFixedDrives) {
        TChildrenLock guard(rootNode_.get());
        for (const auto& child : guard.Children()) {
            if (auto* drive = dynamic_cast<TRootDirNode*>(child.get()))
                drive->ForgetDriveKind();
        }
    }
    treeView_->viewport()->update();
    RebuildFavouritesMenus();
    ProgramLogger().info(logLine);
}

void TFormMain::OnInfoPanelRefresh(const std::string& path) {
    RefreshPath(path);
    treeView_->setFocus();
}

} // namespace quorvex
