// Deleting what the user selected: the question, the deletion on a worker thread behind a progress
// dialog, and a tree that matches the disk afterwards, whatever failed.

#include "ui/FormMain.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/FileSystemNode.h"
#include "scan/DirScanThreadList.h"
#include "support/ErrorDialogs.h"
#include "support/NestedPaths.h"
#include "support/PathText.h"
#include "support/PosixDir.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QAction>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <unordered_set>

namespace quorvex {
namespace {

constexpr int kListedNames = 5;
constexpr std::size_t kListedFailures = 20;
constexpr int kProgressDelayMs = 500;
constexpr int kProgressPollMs = 30;

std::string Utf8(const std::string& path) {
    return DecodePath(path).toStdString();
}

QString Tr(const char* text) {
    return QString::fromStdString(TranslateText(text));
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

// Yes and No, No the default: an Enter pressed too early deletes nothing.
bool AskYesNo(QWidget* parent, const QString& title, const std::string& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, title, QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string Question(const std::vector<std::string>& paths, std::int64_t size, TSizeFormatter format,
                     bool permanent) {
    std::string text;
    if (paths.size() == 1)
        text = TranslateText(permanent ? N_("Delete this item permanently?")
                                       : N_("Move this item to the trash?"));
    else
        text = Substitute(TranslateText(permanent ? N_("Delete these %s items permanently?")
                                                  : N_("Move these %s items to the trash?")),
                          std::to_string(paths.size()));
    text += "\n\n" + NameList(paths) + "\n" +
            Substitute(TranslateText("Total size: %s"), format(size, LocaleDecimalSeparator()));
    if (permanent)
        text += "\n\n" + TranslateText("This cannot be undone.");
    return text;
}

std::string FailureReport(const TDeleteFilesResult& result) {
    std::vector<std::string> lines;
    for (const TDeleteItemOutcome& item : result.Items) {
        if (item.Gone || !item.Tried || item.NoTrash)
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

void TFormMain::SetDeletionSeams(TTrashFunction trash, TFileSystemApi* fileSystem) {
    deletionTrash_ = std::move(trash);
    deletionFileSystem_ = fileSystem;
}

bool TFormMain::CanDelete(const std::vector<TFileSystemNode*>& nodes) const {
    return !deleting_ && !nodes.empty() && !IsImportedScan() &&
           std::none_of(nodes.begin(), nodes.end(), InsideRunningWalk);
}

void TFormMain::ActDeleteExecute() {
    // Shift+Delete, or Delete chosen with the mouse while Shift is held.
    DeleteSelection(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
}

void TFormMain::DeleteSelection(bool permanent) {
    const std::vector<TFileSystemNode*> selected = treeView_->SelectedNodesInTreeOrder();
    if (!CanDelete(selected))
        return;

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
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        size += nodes[i]->GetSize(SizeKind());
        if (nodes[i]->GetNodeType() == ntFileGroup)
            refusals.push_back(
                Substitute(TranslateText("%s stands for several small files and names nothing on "
                                         "disk; select its directory or the files themselves."),
                           Utf8(paths[i])));
        else if (nodes[i]->GetNodeType() == ntFixedDrives)
            refusals.push_back(TranslateText("The list of local drives cannot be deleted."));
        else if (std::string refusal = DeletionRefusal(paths[i]); !refusal.empty())
            refusals.push_back(Utf8(refusal));
    }
    if (!refusals.empty()) {
        std::string text = TranslateText("Nothing was deleted:");
        for (const std::string& refusal : refusals)
            text += "\n" + refusal;
        ShowErrorDialog(text);
        return;
    }
    if (!AskYesNo(this, permanent ? Tr("Delete permanently") : Tr("Move to trash"),
                  Question(paths, size, sizeFormatter_, permanent),
                  permanent ? QMessageBox::Warning : QMessageBox::Question))
        return;

    // Scans inside what goes must end first; their completions then leave the tree alone.
    for (TFileSystemNode* node : nodes) {
        auto* group = dynamic_cast<TGroupNode*>(node);
        if (group == nullptr)
            continue;
        if (scanThreads_->StopThreadsWithin(group) > 0)
            ProgramLogger().debug("scans stopped before deleting " + paths.front());
        for (TDirScanThread* thread : runningSubScans_) {
            if (IsWithin(thread->Root(), group))
                orphanedScans_.insert(thread);
        }
    }

    for (const std::string& path : paths)
        ProgramLogger().info((permanent ? "delete " : "trash ") + path);
    TDeleteFilesResult result = RunDeletion(paths, permanent ? TDeleteMode::Permanent : TDeleteMode::Trash);

    // Where no trash can take an item, deleting it for good is the user's choice, never ours.
    std::vector<std::string> noTrash;
    for (const TDeleteItemOutcome& item : result.Items) {
        if (item.NoTrash && !item.Gone)
            noTrash.push_back(item.Path);
    }
    if (!noTrash.empty() &&
        AskYesNo(
            this, Tr("Delete permanently"),
            TranslateText(noTrash.size() == 1
                              ? N_("This item cannot be moved to the trash: its file system has none.")
                              : N_("These items cannot be moved to the trash: their file system has none.")) +
                "\n\n" + NameList(noTrash) + "\n" +
                TranslateText(noTrash.size() == 1 ? N_("Delete it permanently?")
                                                  : N_("Delete them permanently?")) +
                "\n\n" + TranslateText("This cannot be undone."),
            QMessageBox::Warning)) {
        const TDeleteFilesResult second = RunDeletion(noTrash, TDeleteMode::Permanent);
        for (const TDeleteItemOutcome& outcome : second.Items) {
            auto it = std::find_if(result.Items.begin(), result.Items.end(),
                                   [&](const TDeleteItemOutcome& item) { return item.Path == outcome.Path; });
            *it = outcome;
        }
        result.Cancelled = result.Cancelled || second.Cancelled;
    }

    UpdateTreeAfterDeletion(nodes, result, selected.front());
    if (const std::string report = FailureReport(result); !report.empty()) {
        ProgramLogger().error(report);
        ShowErrorDialog(report);
    }
}

TDeleteFilesResult TFormMain::RunDeletion(const std::vector<std::string>& paths, TDeleteMode mode) {
    std::stop_source stop;
    std::atomic<std::size_t> itemsDone{0};
    std::atomic<std::uint64_t> entriesRemoved{0};
    std::atomic<bool> finished{false};
    TDeleteFilesControl control{stop.get_token(),
                                [&](std::size_t items, std::uint64_t entries) {
                                    itemsDone.store(items, std::memory_order_relaxed);
                                    entriesRemoved.store(entries, std::memory_order_relaxed);
                                },
                                deletionTrash_, deletionFileSystem_};

    deleting_ = true;
    setEnabled(false);
    UpdateActions();
    // A window of its own, so it stays usable while the main window is disabled.
    QProgressDialog progress(mode == TDeleteMode::Trash ? Tr("Moving to the trash...") : Tr("Deleting..."),
                             Tr("Cancel"), 0, static_cast<int>(paths.size()), this);
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
        progress.setValue(static_cast<int>(itemsDone.load(std::memory_order_relaxed)));
        progress.setLabelText(
            Tr(mode == TDeleteMode::Trash ? N_("Moving to the trash...") : N_("Deleting...")) +
            QStringLiteral("\n") +
            QString::fromStdString(
                Substitute(TranslateText("%s entries removed"), std::to_string(entriesRemoved.load()))));
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
    setEnabled(true);
    UpdateActions();
    return result;
}

void TFormMain::UpdateTreeAfterDeletion(const std::vector<TFileSystemNode*>& nodes,
                                        const TDeleteFilesResult& result,
                                        const TFileSystemNode* firstSelected) {
    if (shutDown_ || rootNode_ == nullptr)
        return;
    std::unordered_set<const TFileSystemNode*> gone;
    std::vector<TDirNode*> partlyDeleted;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TDeleteItemOutcome& item = result.Items[i];
        if (item.Gone)
            gone.insert(nodes[i]);
        else if (auto* dir = dynamic_cast<TDirNode*>(nodes[i]); dir != nullptr && item.EntriesRemoved > 0)
            partlyDeleted.push_back(dir);
    }
    const auto removed = [&gone](const TFileSystemNode* node) {
        return std::any_of(gone.begin(), gone.end(), [node](const auto* g) { return IsWithin(node, g); });
    };
    // The first selected row if it is still there, otherwise its nearest ancestor that is.
    const TFileSystemNode* target = firstSelected;
    while (target != nullptr && removed(target))
        target = target->Parent();

    if (gone.count(rootNode_.get()) != 0) {
        // The scanned folder itself went: there is nothing left to show.
        ReplaceRoot(nullptr);
        setWindowTitle(QStringLiteral("Quorvex"));
        UpdateActions();
        return;
    }
    if (flatView_) {
        // The flat rows hold the nodes directly: they leave the list before the nodes are destroyed.
        std::vector<TFileSystemNode*> kept;
        std::copy_if(flatList_.begin(), flatList_.end(), std::back_inserter(kept),
                     [&](const TFileSystemNode* node) { return !removed(node); });
        treeView_->ShowFlatList(kept);
        DiscardFlatList();
    }
    for (TFileSystemNode* node : nodes) {
        if (gone.count(node) != 0)
            treeModel_->RemoveNode(node);
    }
    RebuildTree();
    if (target == nullptr || !treeView_->SelectNode(target))
        treeView_->clearSelection();
    treeView_->setFocus();
    // What is left of a directory that went only in part is read again, so its totals are the disk's.
    for (TDirNode* dir : partlyDeleted)
        RescanNode(dir);
    UpdateActions();
}

} // namespace quorvex
