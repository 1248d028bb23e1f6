#pragma once

#include "desktop/PermanentDelete.h"
#include "desktop/Trash.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvex {

class TFileSystemApi;

enum class TDeleteMode { Trash, Permanent };

// What became of one path handed to DeleteFiles.
struct TDeleteItemOutcome {
    std::string Path;
    bool Tried = false;                     // false: a stop request came first, or the path was refused
    bool Gone = false;                      // nothing is left at Path
    bool NoTrash = false;                   // trash mode: untouched, its file system has no trash we may use
    std::uint64_t EntriesRemoved = 0;       // permanent mode: > 0 with !Gone means partly deleted
    std::vector<TDeletionFailure> Failures; // what stayed and why (the item itself when it was refused)
    std::string Message;                    // UTF-8 text for the user when the reason is more than errno
};

struct TDeleteFilesResult {
    std::vector<TDeleteItemOutcome> Items; // one per path, in the order given
    bool Cancelled = false;

    // Every path is gone and nothing was cancelled.
    bool Succeeded() const;
};

// What a scan saw at a path, to tell that item from whatever may have taken its name since.
enum class TItemKind : std::uint8_t { Directory, File, Link, Other };
struct TItemIdentity {
    std::uint64_t Device = 0; // 0: not compared
    std::uint64_t Stamp = 0;  // IdentityStamp; 0: nothing is compared
    TItemKind Kind = TItemKind::File;
};

struct TDeleteFilesControl {
    std::stop_token Stop; // checked between items and, for permanent deletion, between entries
    // On the deleting thread: items finished so far, entries removed so far.
    std::function<void(std::size_t items, std::uint64_t entries)> Progress;
    TTrashFunction Trash;                 // empty: MoveToTrash
    TFileSystemApi* FileSystem = nullptr; // permanent deletion's calls; null: the real ones
    // One per path, or none: an item no longer the one described is left alone and reported.
    std::vector<TItemIdentity> Expected;
};

// Why no one means to delete `path`, as a sentence for the user; empty when it may go. Refused are
// "/", the user's home directory and every directory above it (by identity, so another name through a
// link is caught too) and the mount point of a file system. A symbolic link itself is never refused:
// removing it leaves its target alone.
std::string DeletionRefusal(const std::string& path);

// Why `path` may not go to the trash, as a sentence naming what is mounted below it; empty when
// nothing is. Moved along, a mount would live on inside the trash, and emptying the trash later would
// delete the other file system's files.
std::string TrashRefusal(const std::string& path);

// Moves every path to the trash or removes it for good, in order, going on past failures. Paths are
// absolute byte strings, none inside another (RemoveNestedPaths). Refused paths (DeletionRefusal, and
// for the trash TrashRefusal) are left alone and reported with EPERM, items that are not the expected
// ones with ESTALE. Safe to run on a worker thread.
TDeleteFilesResult DeleteFiles(const std::vector<std::string>& paths, TDeleteMode mode,
                               const TDeleteFilesControl& control = {});

} // namespace quorvex
