// The menu a right click on a tree row opens: the item's own actions for drives, directories and
// files, and a short menu for a group of small files, which names nothing on disk.

#include "ui/FormMain.h"

#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "model/TreeOperations.h"
#include "shell/DialogPaths.h"
#include "support/PathShortening.h"
#include "support/PathText.h"
#include "ui/MainActions.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

#include <functional>
#include <memory>
#include <utility>

namespace quorvex {
namespace {

// The directory caption of the file-group menu is kept to this width.
constexpr int kGroupPathWidth = 300;

// A file name as a menu caption: "&" would become a mnemonic, a tab would start the shortcut column
// and a newline would break the entry.
QString CaptionText(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar::ReplacementCharacter;
    }
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The path as text, and as a file URL that carries its exact bytes: a name that is not UTF-8 reads
// with a replacement character as text, while a file manager pasting the URL finds the file.
std::unique_ptr<QMimeData> PathData(const std::string& path) {
    auto data = std::make_unique<QMimeData>();
    data->setText(DecodePath(path));
    data->setData(QStringLiteral("text/uri-list"), LocalFileUrl(path).toEncoded() + "\r\n");
    return data;
}

void CopyToClipboards(const std::string& path) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(PathData(path).release(), QClipboard::Clipboard); // the clipboard owns it
    // Middle-click pasting reads the selection, which not every platform has.
    if (clipboard->supportsSelection())
        clipboard->setMimeData(PathData(path).release(), QClipboard::Selection);
}

QAction* AddEntry(QMenu* menu, const char* name, const std::function<void()>& run) {
    QAction* action = menu->addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, menu, run);
    return action;
}

} // namespace

// Both menus, made at the first right click and owned by the window. Their entries trigger the
// window's actions, so a choice here takes the same path as the shortcut or the toolbar.
class TItemMenus : public QObject {
public:
    TItemMenus(TFormMain* form, QAction* openAction, QAction* exploreAction, QAction* rescanAction)
        : QObject(form), items(new QMenu(form)), group(new QMenu(form)) {
        items->setObjectName(QStringLiteral("ItemMenu"));
        open = AddEntry(items, "ItemMenuOpen", [openAction] { openAction->trigger(); });
        explore = AddEntry(items, "ItemMenuOpenInFileManager", [exploreAction] { exploreAction->trigger(); });
        copyPath = AddEntry(items, "ItemMenuCopyPath", [this] { CopyToClipboards(path); });
        rescan = AddEntry(items, "ItemMenuRescan", [rescanAction] { rescanAction->trigger(); });
        items->addSeparator();
        trash = AddEntry(items, "ItemMenuMoveToTrash", [form] { form->DeleteSelection(false); });
        erase = AddEntry(items, "ItemMenuDeletePermanently", [form] { form->DeleteSelection(true); });

        group->setObjectName(QStringLiteral("PopupTree"));
        selectedPath = group->addAction(QString());
        selectedPath->setObjectName(QStringLiteral("PopupMenuItemSelectedPath"));
        selectedPath->setEnabled(false);
        group->addSeparator();
        group->addAction(exploreAction);
        group->addAction(rescanAction);
    }

    void Retranslate() const {
        open->setText(Tr("&Open"));
        explore->setText(Tr("Open in file &manager"));
        copyPath->setText(Tr("&Copy path"));
        rescan->setText(Tr("&Rescan directory"));
        trash->setText(Tr("Move to &trash"));
        erase->setText(Tr("Delete &permanently"));
    }

    QMenu* const items;
    QMenu* const group;
    QAction* open;
    QAction* explore;
    QAction* copyPath;
    QAction* rescan;
    QAction* trash;
    QAction* erase;
    QAction* selectedPath;
    // Copied by "Copy path": the item's path when its menu opened, as a scan may destroy the node.
    std::string path;
    QMenu* shown = nullptr;
};

QMenu* TFormMain::ItemMenu() const {
    if (itemMenus_ == nullptr || itemMenus_->shown == nullptr || !itemMenus_->shown->isVisible())
        return nullptr;
    return itemMenus_->shown;
}

void TFormMain::ShowTreeContextMenu(const QPoint& at) {
    if (itemMenus_ != nullptr)
        itemMenus_->shown = nullptr;
    // The press has made the row under the cursor the focused one. Below the last row the focus stays
    // where it was, and a menu there would act on a row the user did not point at.
    if (treeView_->indexAt(at).isValid())
        ShowItemMenu(treeView_->viewport()->mapToGlobal(at));
}

void TFormMain::ShowItemMenu(const QPoint& global) {
    if (itemMenus_ == nullptr)
        itemMenus_ =
            new TItemMenus(this, actions_->ShellOpenFile, actions_->OpenInExplorer, actions_->RefreshNode);
    TItemMenus& menus = *itemMenus_;
    const TMainActions& a = *actions_;
    menus.shown = nullptr;
    const TFileSystemNode* node = treeView_->FocusedNode();
    if (node == nullptr || node->GetNodeType() == ntFixedDrives)
        return;
    UpdateActions();
    const std::string path = GetFullPath(node);
    if (node->GetNodeType() == ntFileGroup) {
        // The group's path ends in its display name; only its directory is real.
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const QFontMetrics metrics(font());
        const auto width = [&metrics](const std::string& text) {
            return metrics.horizontalAdvance(DecodePath(text));
        };
        menus.selectedPath->setText(CaptionText(DecodePath(ShortenPathToWidth(dir, kGroupPathWidth, width))));
        menus.shown = menus.group;
    } else {
        menus.Retranslate();
        menus.path = path;
        menus.open->setEnabled(node->GetNodeType() == ntFile && a.ShellOpenFile->isEnabled());
        menus.explore->setEnabled(a.OpenInExplorer->isEnabled());
        menus.rescan->setEnabled(a.RefreshNode->isEnabled());
        menus.trash->setEnabled(a.Delete->isEnabled());
        menus.erase->setEnabled(a.Delete->isEnabled());
        menus.shown = menus.items;
    }
    // The entries off for an imported tree say why, as the window's actions they stand for do.
    const bool imported = IsImportedScan();
    menus.items->setToolTipsVisible(imported);
    menus.group->setToolTipsVisible(imported);
    for (const auto& [entry, action] : {std::pair{menus.open, a.ShellOpenFile},
                                        {menus.explore, a.OpenInExplorer},
                                        {menus.rescan, a.RefreshNode},
                                        {menus.trash, a.Delete},
                                        {menus.erase, a.Delete}})
        entry->setToolTip(imported ? action->toolTip() : QString());
    // Not exec(): the tree goes on refreshing while a scan fills it.
    menus.shown->popup(global);
}

} // namespace quorvex
