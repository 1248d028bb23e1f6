#pragma once

#include "desktop/DeleteFiles.h"
#include "model/SizeFormat.h"

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class QAction;
class QStatusBar;
class QWidget;

namespace quorvex {

class TDirNode;
class TFileSystemNode;
class TGroupNode;
enum class TSizeKind : std::uint8_t;

// What the deletion controller asks of the window whose selection it deletes.
struct TDeletionHooks {
    // Owner of the questions and of the progress dialog.
    QWidget* Parent = nullptr;
    std::function<bool()> IsImported;
    std::function<TSizeKind()> SizeKind;
    std::function<TSizeFormatter()> SizeFormatter;
    // Whether a rescan is still counting something inside the node.
    std::function<bool(const TFileSystemNode*)> IsCountingWithin;
    // Ends the walks inside the group before it goes; says how many it stopped.
    std::function<int(const TGroupNode*)> StopScansWithin;
    // A deletion starts or ends: the window is disabled meanwhile and its actions follow.
    std::function<void(bool deleting)> DeletingChanged;
};

// What a deletion did, for the window to bring the tree in line with the disk.
struct TDeletionDone {
    std::vector<TFileSystemNode*> Nodes; // the selected items that were deleted, nothing inside another
    TDeleteFilesResult Result;           // one item per node
};

// How the tree must change after a deletion, worked out before any node is destroyed.
struct TTreeAfterDeletion {
    // The nodes that went, with the file groups that every one of their files left.
    std::unordered_set<const TFileSystemNode*> Gone;
    std::vector<TGroupNode*> EmptiedGroups;
    // Directories that went only in part: what is left of them is read again.
    std::vector<TDirNode*> PartlyDeleted;
    // The row to select: the first selected one if it is still there, else its nearest ancestor that is.
    const TFileSystemNode* Target = nullptr;

    bool Removed(const TFileSystemNode* node) const;
};
TTreeAfterDeletion PlanTreeAfterDeletion(const TDeletionDone& done, const TFileSystemNode* firstSelected);

// Deleting what the user selected: the refusals, the question, the deletion on a worker thread behind
// a progress dialog, and the report of what failed.
class TDeletionController {
public:
    explicit TDeletionController(TDeletionHooks hooks);

    // What deletion calls instead of the real trash and file system; tests pass failing ones.
    void SetSeams(TTrashFunction trash, TFileSystemApi* fileSystem);
    bool IsDeleting() const { return deleting_; }
    bool CanDelete(const std::vector<TFileSystemNode*>& nodes) const;
    // Enables `action` for `selected`; a greyed action says why when a scan further up holds it.
    void UpdateAction(QAction* action, QStatusBar* bar, const std::vector<TFileSystemNode*>& selected) const;
    // Asks first; nothing when nothing was tried (refused or not confirmed).
    std::optional<TDeletionDone> Delete(const std::vector<TFileSystemNode*>& selected, bool permanent);
    // Logs and shows what could not be deleted, if anything.
    static void ReportFailures(const TDeleteFilesResult& result);

private:
    TDeleteFilesResult Run(const std::vector<TFileSystemNode*>& nodes, const std::vector<std::string>& paths,
                           TDeleteMode mode);

    TDeletionHooks hooks_;
    TTrashFunction trash_;
    TFileSystemApi* fileSystem_ = nullptr;
    bool deleting_ = false;
};

} // namespace quorvex
