// Deleting what the user selected: the question, the deletion on a worker thread behind a progress
// dialog, and a plan that brings the tree in line with the disk afterwards, whatever failed.

#include "ui/DeletionController.h"

#include "diag/QxLogger.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/MountTable.h"
#include "support/NestedPaths.h"
#include "support/PathText.h"
#include "support/PosixDir.h"

#include <QAction>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <thread>

namespace quorvex {
namespace {

constexpr int kListedNames = 5;
constexpr std::size_t kListedFailures = 20;
constexpr int kProgressDelayMs = 500;
constexpr int kProgressPollMs = 30;

std::string Utf8(const std::string& path) {
    return DecodePath(path).toStdString();
}

// A scan walking an ancestor still writes into it: its children must not be destroyed under it.
bool InsideRunningWalk(const TFileSystemNode* node) {
    for (const TGroupNode* up = node->Parent(); up != nullptr; up = up->Parent()) {
        if (up->IsScanning())
            return true;
    }
    return false;
}

bool IsWithin(const TFileSystemNode* node, const TFileSystemNode* ancestor) {
    for (const TFileSystemNode* up = node; up != nullptr; up = up->Parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

std::string NameList(const std::vector<std::string>& paths) {
    std::string text;
    const int shown = std::min<int>(kListedNames, static_cast<int>(paths.size()));
    for (int i = 0; i < shown; ++i)
        text += Utf8(paths[static_cast<std::size_t>(i)]) + "\n";
    if (paths.size() > static_cast<std::size_t>(shown))
        text += Substitute(TranslateText("... and %s more"), std::to_string(paths.size() - shown)) + "\n";
    return text;
}

// What the scan saw, so that the deletion can tell the item from one that took its name since.
TItemIdentity ScannedIdentity(const TFileSystemNode* node) {
    TItemIdentity identity;
    identity.Stamp = node->Identity();
    const bool mountPoint = [](const TFileSystemNode* n) {
        return (n->Attributes() & faReparsePoint) != 0 && (n->Attributes() & faDirectory) != 0;
    }(node);
    if (node->GetNodeType() == ntFile)
        identity.Kind = (node->Attributes() & faReparsePoint) != 0 ? TItemKind::Link
                        : node->IsSystem()                         ? TItemKind::Other
                                                                   : TItemKind::File;
    else
        identity.Kind = TItemKind::Directory;
    // The walk stays on its root's file system, except below a mount point rescanned on its own.
    for (const TFileSystemNode* up = node; up != nullptr && !mountPoint; up = up->Parent()) {
        if (const auto* root = dynamic_cast<const TRootDirNode*>(up)) {
            identity.Device = root->Device();
            break;
        }
        if (up != node && (up->Attributes() & faReparsePoint) != 0)
            break;
    }
    return identity;
}

// A scan still walking the item (or something inside it) has not counted all of it yet.
bool StillCounted(const TFileSystemNode* node,
                  const std::function<bool(const TFileSystemNode*)>& countingWithin) {
    const auto* group = dynamic_cast<const TGroupNode*>(node);
    if (group == nullptr)
        return false;
    return group->IsScanning() || countingWithin(node);
}

// Yes and No, No the default: an Enter pressed too early deletes nothing.
bool AskDeletionQuestion(QWidget* parent, const QString& title, const std::string& text,
                         QMessageBox::Icon icon) {
    QMessageBox box(icon, title, QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string Question(const std::vector<std::string>& paths, std::int64_t size, bool sizeIncomplete,
                     TSizeFormatter format, bool permanent) {
    std::string text;
    if (paths.size() == 1)
        text = TranslateText(permanent ? N_("Delete this item permanently?")
                                       : N_("Move this item to the trash?"));
    else
        text = Substitute(TranslateText(permanent ? N_("Delete these %s items permanently?")
                                                  : N_("Move these %s items to the trash?")),
                          std::to_string(paths.size()));
    text += "\n\n" + NameList(paths) + "\n" +
            Substitute(TranslateText(sizeIncomplete ? N_("Total size: %s so far; a scan is still counting it")
                                                    : N_("Total size: %s")),
                       format(size, LocaleDecimalSeparator()));
    if (permanent) {
        // Said before the answer: what is mounted inside stays, and the folders leading to it too.
        std::vector<std::string> mounts;
        for (const std::string& path : paths) {
            const std::vector<std::string> below = MountPointsBelow(path);
            mounts.insert(mounts.end(), below.begin(), below.end());
        }
        if (!mounts.empty())
            text +=
                "\n\n" +
                TranslateText("These mounted file systems are kept, with the folders that lead to them:") +
                "\n" + NameList(mounts);
        text += "\n\n" + TranslateText("This cannot be undone.");
    }
    return text;
}

std::string FailureReport(const TDeleteFilesResult& result) {
    std::vector<std::string> lines;
    for (const TDeleteItemOutcome& item : result.Items) {
        // Not tried and nothing said: a Cancel came first.
        if (item.Gone || item.NoTrash || (!item.Tried && item.Message.empty()))
            continue;
        if (!item.Message.empty()) {
            lines.push_back(item.Message);
            continue;
        }
        for (const TDeletionFailure& failure : item.Failures)
            lines.push_back(Utf8(failure.Path) + ": " +
                            (failure.Error == EXDEV
                                 ? TranslateText("another file system is mounted here; it was left as it is")
                                 : SystemErrorMessage(failure.Error)));
        // Without a recorded failure, an item that stayed was only interrupted by Cancel.
        if (item.Failures.empty() && !result.Cancelled)
            lines.push_back(Utf8(item.Path) + ": " + TranslateText("it is still there"));
    }
    if (lines.empty())
        return {};
    std::string text = TranslateText("Some items could not be deleted:") + "\n";
    for (std::size_t i = 0; i < std::min(lines.size(), kListedFailures); ++i)
        text += lines[i] + "\n";
    if (lines.size() > kListedFailures)
        text += Substitute(TranslateText("... and %s more"), std::to_string(lines.size() - kListedFailures));
    return text;
}

} // namespace

bool TTreeAfterDeletion::Removed(const TFileSystemNode* node) const {
    return std::any_of(Gone.begin(), Gone.end(), [node](const auto* g) { return IsWithin(node, g); });
}

TTreeAfterDeletion PlanTreeAfterDeletion(const TDeletionDone& done, const TFileSystemNode* firstSelected) {
    TTreeAfterDeletion plan;
    const std::vector<TFileSystemNode*>& nodes = done.Nodes;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TDeleteItemOutcome& item = done.Result.Items[i];
        if (item.Gone)
            plan.Gone.insert(nodes[i]);
        else if (auto* dir = dynamic_cast<TDirNode*>(nodes[i]); dir != nullptr && item.EntriesRemoved > 0)
            plan.PartlyDeleted.push_back(dir);
    }
    // A file group whose every file went stands for nothing any more: an empty row would say
    // otherwise. Counted as gone from the start, so that neither the selection nor the flat list
    // keeps it.
    for (TFileSystemNode* node : nodes) {
        TGroupNode* group = node->Parent();
        if (plan.Gone.count(node) == 0 || group == nullptr || group->GetNodeType() != ntFileGroup ||
            std::find(plan.EmptiedGroups.begin(), plan.EmptiedGroups.end(), group) !=
                plan.EmptiedGroups.end() ||
            group->OwnFilesCount() != 0)
            continue;
        const TChildrenLock guard(group);
        if (std::all_of(guard.Children().begin(), guard.Children().end(),
                        [&plan](const auto& child) { return plan.Gone.count(child.get()) != 0; }))
            plan.EmptiedGroups.push_back(group);
    }
    plan.Gone.insert(plan.EmptiedGroups.begin(), plan.EmptiedGroups.end());
    plan.Target = firstSelected;
    while (plan.Target != nullptr && plan.Removed(plan.Target))
        plan.Target = plan.Target->Parent();
    return plan;
}

TDeletionController::TDeletionController(TDeletionHooks hooks) : hooks_(std::move(hooks)) {}

void TDeletionController::SetSeams(TTrashFunction trash, TFileSystemApi* fileSystem) {
    trash_ = std::move(trash);
    fileSystem_ = fileSystem;
}

bool TDeletionController::CanDelete(const std::vector<TFileSystemNode*>& nodes) const {
    return !deleting_ && !nodes.empty() && !hooks_.IsImported() &&
           std::none_of(nodes.begin(), nodes.end(), InsideRunningWalk);
}

void TDeletionController::UpdateAction(QAction* action, QStatusBar* bar,
                                       const std::vector<TFileSystemNode*>& selected) const {
    action->setEnabled(CanDelete(selected));
    // A greyed entry tells why when the reason is not plain to see: a scan running further up.
    constexpr const char* kOwnToolTip = "quorvexToolTipBeforeWalk";
    const bool walking = !deleting_ && std::any_of(selected.begin(), selected.end(), InsideRunningWalk);
    const QString why = Tr("A folder above is still being scanned: delete from here once its scan has "
                           "ended or been stopped");
    if (walking) {
        if (!action->property(kOwnToolTip).isValid())
            action->setProperty(kOwnToolTip, action->toolTip());
        action->setToolTip(why);
        action->setStatusTip(why);
        if (bar->currentMessage() != why)
            bar->showMessage(why);
    } else if (const QVariant own = action->property(kOwnToolTip); own.isValid()) {
        action->setToolTip(own.toString());
        action->setStatusTip(QString());
        action->setProperty(kOwnToolTip, QVariant());
        if (bar->currentMessage() == why)
            bar->clearMessage();
    }
}

std::optional<TDeletionDone> TDeletionController::Delete(const std::vector<TFileSystemNode*>& selected,
                                                         bool permanent) {
    if (!CanDelete(selected))
        return std::nullopt;

    // The deletion list: every selected item once, nothing inside another one.
    std::vector<std::string> allPaths;
    allPaths.reserve(selected.size());
    for (const TFileSystemNode* node : selected)
        allPaths.push_back(GetFullPath(node));
    std::vector<std::string> paths = allPaths;
    RemoveNestedPaths(paths);
    std::vector<TFileSystemNode*> nodes;
    nodes.reserve(paths.size());
    for (const std::string& path : paths)
        nodes.push_back(selected[std::find(allPaths.begin(), allPaths.end(), path) - allPaths.begin()]);

    std::vector<std::string> refusals;
    std::int64_t size = 0;
    bool sizeIncomplete = false;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        size += nodes[i]->GetSize(hooks_.SizeKind());
        sizeIncomplete = sizeIncomplete || StillCounted(nodes[i], hooks_.IsCountingWithin);
        if (nodes[i]->GetNodeType() == ntFileGroup)
            refusals.push_back(
                Substitute(TranslateText("%s stands for several small files and names nothing on "
                                         "disk; select its directory or the files themselves."),
                           Utf8(paths[i])));
        else if (nodes[i]->GetNodeType() == ntFixedDrives)
            refusals.push_back(TranslateText("The list of local drives cannot be deleted."));
        else if (std::string refusal = DeletionRefusal(paths[i]); !refusal.empty())
            refusals.push_back(Utf8(refusal));
        else if (!permanent) {
            if (std::string mounted = TrashRefusal(paths[i]); !mounted.empty())
                refusals.push_back(mounted);
        }
    }
    if (!refusals.empty()) {
        std::string text = TranslateText("Nothing was deleted:");
        for (const std::string& refusal : refusals)
            text += "\n" + refusal;
        ShowErrorDialog(text);
        return std::nullopt;
    }
    if (!AskDeletionQuestion(hooks_.Parent, permanent ? Tr("Delete permanently") : Tr("Move to trash"),
                             Question(paths, size, sizeIncomplete, hooks_.SizeFormatter(), permanent),
                             permanent ? QMessageBox::Warning : QMessageBox::Question))
        return std::nullopt;

    // Scans inside what goes must end first; their completions then leave the tree alone.
    for (TFileSystemNode* node : nodes) {
        auto* group = dynamic_cast<TGroupNode*>(node);
        if (group == nullptr)
            continue;
        if (hooks_.StopScansWithin(group) > 0)
            ProgramLogger().debug("scans stopped before deleting " + paths.front());
    }

    for (const std::string& path : paths)
        ProgramLogger().info((permanent ? "delete " : "trash ") + path);
    TDeleteFilesResult result = Run(nodes, paths, permanent ? TDeleteMode::Permanent : TDeleteMode::Trash);

    // Where no trash can take an item, deleting it for good is the user's choice, never ours.
    std::vector<std::string> noTrash;
    std::vector<TFileSystemNode*> noTrashNodes;
    for (std::size_t i = 0; i < result.Items.size(); ++i) {
        if (result.Items[i].NoTrash && !result.Items[i].Gone) {
            noTrash.push_back(result.Items[i].Path);
            noTrashNodes.push_back(nodes[i]);
        }
    }
    if (!noTrash.empty() &&
        AskDeletionQuestion(
            hooks_.Parent, Tr("Delete permanently"),
            TranslateText(noTrash.size() == 1
                              ? N_("This item cannot be moved to the trash: its file system has none.")
                              : N_("These items cannot be moved to the trash: their file system has none.")) +
                "\n\n" + NameList(noTrash) + "\n" +
                TranslateText(noTrash.size() == 1 ? N_("Delete it permanently?")
                                                  : N_("Delete them permanently?")) +
                "\n\n" + TranslateText("This cannot be undone."),
            QMessageBox::Warning)) {
        const TDeleteFilesResult second = Run(noTrashNodes, noTrash, TDeleteMode::Permanent);
        for (const TDeleteItemOutcome& outcome : second.Items) {
            auto it = std::find_if(result.Items.begin(), result.Items.end(),
                                   [&](const TDeleteItemOutcome& item) { return item.Path == outcome.Path; });
            *it = outcome;
        }
        result.Cancelled = result.Cancelled || second.Cancelled;
    }

    return TDeletionDone{std::move(nodes), std::move(result)};
}

void TDeletionController::ReportFailures(const TDeleteFilesResult& result) {
    if (const std::string report = FailureReport(result); !report.empty()) {
        ProgramLogger().error(report);
        ShowErrorDialog(report);
    }
}

TDeleteFilesResult TDeletionController::Run(const std::vector<TFileSystemNode*>& nodes,
                                            const std::vector<std::string>& paths, TDeleteMode mode) {
    // The tree knows how many files each item holds: the bar moves with them, not with the items, so
    // that one large folder does not sit at 0 % until it is done.
    std::vector<std::int64_t> filesBefore{0};
    std::vector<TItemIdentity> expected;
    for (const TFileSystemNode* node : nodes) {
        filesBefore.push_back(filesBefore.back() + std::max<std::int64_t>(1, node->GetFileCount()));
        expected.push_back(ScannedIdentity(node));
    }
    const std::int64_t files = std::min<std::int64_t>(filesBefore.back(), INT_MAX);
    std::stop_source stop;
    std::atomic<std::size_t> itemsDone{0};
    std::atomic<std::uint64_t> entriesRemoved{0};
    std::atomic<bool> finished{false};
    TDeleteFilesControl control{stop.get_token(),
                                [&](std::size_t items, std::uint64_t entries) {
                                    itemsDone.store(items, std::memory_order_relaxed);
                                    entriesRemoved.store(entries, std::memory_order_relaxed);
                                },
                                trash_, fileSystem_, std::move(expected)};

    deleting_ = true;
    hooks_.DeletingChanged(true);
    // A window of its own, so it stays usable while the main window is disabled.
    QProgressDialog progress(mode == TDeleteMode::Trash ? Tr("Moving to the trash...") : Tr("Deleting..."),
                             Tr("Cancel"), 0, static_cast<int>(files), hooks_.Parent);
    progress.setObjectName(QStringLiteral("DeletionProgress"));
    progress.setEnabled(true);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(kProgressDelayMs);
    progress.setValue(0);

    TDeleteFilesResult result;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kProgressPollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled())
            stop.request_stop();
        const std::size_t items = std::min(itemsDone.load(std::memory_order_relaxed), nodes.size());
        const std::uint64_t entries = entriesRemoved.load(std::memory_order_relaxed);
        // Entries count the folders as well; the bar stays short of the end until the worker is done.
        const std::int64_t done = std::max<std::int64_t>(
            filesBefore[items], std::min<std::int64_t>(static_cast<std::int64_t>(entries), files - 1));
        progress.setValue(static_cast<int>(std::min(done, files)));
        QString label = Tr(mode == TDeleteMode::Trash ? N_("Moving to the trash...") : N_("Deleting..."));
        if (mode == TDeleteMode::Permanent)
            label += QStringLiteral("\n") +
                     QString::fromStdString(Substitute(TranslateText("%s entries removed"),
                                                       FormatCount(static_cast<std::int64_t>(entries))));
        progress.setLabelText(label);
        if (finished.load(std::memory_order_acquire))
            loop.quit();
    });
    std::jthread worker([&] {
        result = DeleteFiles(paths, mode, control);
        finished.store(true, std::memory_order_release);
    });
    poll.start();
    loop.exec();
    worker.join();
    progress.close();

    deleting_ = false;
    hooks_.DeletingChanged(false);
    return result;
}

} // namespace quorvex
