#include "ui/FavouritesController.h"

#include "i18n/TranslationMarkers.h"
#include "shell/Favourites.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"
#include "support/MountTable.h"
#include "ui/MessageDialogs.h"

#include <QMenu>
#include <QStyle>
#include <QWidget>

#include <chrono>
#include <set>

namespace quorvex {
namespace {

// How long a menu rebuild waits for a mounted file system that does not answer.
constexpr std::chrono::milliseconds kMountProbeLimit{250};

} // namespace

TFavouritesController::TFavouritesController(QWidget* window,
                                             std::function<void(const std::string& path)> scan)
    : window_(window), scan_(std::move(scan)), list_(new TMRUDirList(window)),
      subMenu_(new QMenu(QString::fromUtf8(N_("F&avourites")), window)), buttonMenu_(new QMenu(window)),
      prober_(std::make_unique<TTimedProber>(SystemMountProbe(), kMountProbeLimit)) {
    subMenu_->setObjectName(QStringLiteral("MenuItemMRUDirList"));
    buttonMenu_->setObjectName(QStringLiteral("PopupMRUDirList"));
}

TFavouritesController::~TFavouritesController() = default;

void TFavouritesController::SetMountProbe(std::shared_ptr<const TMountProbe> probe) {
    prober_->SetProbe(std::move(probe));
}

void TFavouritesController::RebuildMenus() {
    const TFavouritesContent content = CollectFavourites(*list_, ReadMountTable(), *prober_);
    const TFavouritesMenuHandlers handlers{scan_, [this] { RemoveInvalidEntries(); }};
    const QIcon folder = window_->style()->standardIcon(QStyle::SP_DirClosedIcon);
    BuildFavouritesMenu(buttonMenu_, content, folder, handlers);
    BuildFavouritesMenu(subMenu_, content, folder, handlers);
}

void TFavouritesController::RemoveInvalidEntries() {
    const std::vector<std::string> entries = list_->Items();
    const std::vector<TPathState> states = prober_->Directories(entries);
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (states[i] == TPathState::Missing)
            missing.push_back(entries[i]);
    }
    if (missing.empty() || !ShowConfirmationDialog(RemoveInvalidQuestion(missing)))
        return;
    const std::vector<TPathState> again = prober_->Directories(list_->Items());
    std::set<std::string> goneNow;
    for (std::size_t i = 0; i < again.size(); ++i) {
        if (again[i] == TPathState::Missing)
            goneNow.insert(list_->Items()[i]);
    }
    list_->RemoveInvalid([&](const std::string& dir) { return goneNow.count(dir) == 0; });
}

} // namespace quorvex
