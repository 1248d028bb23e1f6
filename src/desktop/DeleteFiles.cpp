#include "desktop/DeleteFiles.h"

#include "i18n/Translation.h"
#include "support/FileAttributes.h"
#include "support/MountTable.h"
#include "support/PathText.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quorvex {
namespace {

struct TIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::uint64_t MountId = 0;
    bool IsLink = false;

    bool SameObject(const TIdentity& other) const { return Device == other.Device && Inode == other.Inode; }
};

bool Identify(const std::string& path, bool followLink, TIdentity& id) {
    struct statx stx {};
    const int flags = followLink ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, path.c_str(), flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &stx) != 0)
        return false;
    id.Device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id.Inode = stx.stx_ino;
    id.MountId = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id : 0;
    id.IsLink = S_ISLNK(stx.stx_mode);
    return true;
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : std::string();
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

std::string Shown(const std::string& path) {
    return DecodePath(path).toStdString();
}

TItemKind KindOf(const TEntryInfo& info) {
    if (info.IsDirectory)
        return TItemKind::Directory;
    if ((info.Attributes & faReparsePoint) != 0)
        return TItemKind::Link;
    return (info.Attributes & faSystem) != 0 ? TItemKind::Other : TItemKind::File;
}

// Looked at right before the item goes: the tree may be hours old, and a name may by now stand for
// something the user never saw in it.
bool IsExpectedItem(const std::string& path, const TItemIdentity& expected) {
    if (expected.Stamp == 0)
        return true;
    TFileSystemApi fs;
    TEntryInfo now;
    if (const int error = fs.StatEntry(AT_FDCWD, path.c_str(), now); error != 0)
        return error == ENOENT; // gone already: nothing left to mistake
    return IdentityStamp(now) == expected.Stamp && (expected.Device == 0 || now.Device == expected.Device) &&
           KindOf(now) == expected.Kind;
}

void MarkRefused(TDeleteItemOutcome& item, int error, std::string message) {
    item.Failures.push_back({item.Path, error});
    item.Message = std::move(message);
    item.Gone = !Exists(item.Path);
}

void DeleteOne(TDeleteItemOutcome& item, TDeleteMode mode, const TDeleteFilesControl& control,
               std::size_t itemsDone, std::uint64_t& entries) {
    item.Tried = true;
    if (mode == TDeleteMode::Trash) {
        const TTrashResult result = control.Trash ? control.Trash(item.Path) : MoveToTrash(item.Path);
        item.NoTrash = result.Outcome == TTrashOutcome::NoTrash;
        if (!result.Ok()) {
            item.Failures.push_back({item.Path, result.Error});
            item.Message = result.Message;
        }
    } else {
        const std::uint64_t before = entries;
        TDeletionControl deletion{control.Stop, nullptr, control.FileSystem};
        if (control.Progress)
            deletion.Progress = [&](std::uint64_t removed) { control.Progress(itemsDone, before + removed); };
        TDeletionResult result = DeletePermanently(item.Path, deletion);
        item.EntriesRemoved = result.EntriesRemoved;
        item.Failures = std::move(result.Failures);
        entries += result.EntriesRemoved;
    }
    // What the disk says, not what the calls said: a failed call may still have removed the item.
    item.Gone = !Exists(item.Path);
}

} // namespace

bool TDeleteFilesResult::Succeeded() const {
    return !Cancelled && std::all_of(Items.begin(), Items.end(), [](const auto& item) { return item.Gone; });
}

std::string DeletionRefusal(const std::string& rawPath) {
    const std::string path = ExcludeTrailingPathDelimiter(rawPath);
    if (path.empty() || path.front() != '/')
        return Substitute(TranslateText("%s is not an absolute path."), path);
    TIdentity target;
    if (!Identify(path, false, target) || target.IsLink)
        return {};
    TIdentity root;
    if (path == "/" || (Identify("/", true, root) && root.SameObject(target)))
        return TranslateText("The root of the file system cannot be deleted.");
    const std::string home = HomeDirectory();
    for (std::string up = home; !up.empty(); up = up == "/" ? std::string() : ParentOf(up)) {
        TIdentity ancestor;
        if (Identify(up, true, ancestor) && ancestor.SameObject(target))
            return Substitute(up == home ? TranslateText("%s is your home directory.")
                                         : TranslateText("%s holds your home directory."),
                              path);
    }
    TIdentity parent;
    if (Identify(ParentOf(path), true, parent) &&
        (parent.Device != target.Device || (target.MountId != 0 && parent.MountId != target.MountId)))
        return Substitute(TranslateText("%s is the mount point of a file system."), path);
    return {};
}

std::string TrashRefusal(const std::string& path) {
    const std::vector<std::string> mounts = MountPointsBelow(path);
    if (mounts.empty())
        return {};
    std::string where;
    for (const std::string& mount : mounts)
        where += (where.empty() ? "" : ", ") + Shown(mount);
    // Filled from the right, so that a "%s" inside the first name is never taken for the second.
    std::string text = TranslateText("%s was not moved to the trash: a file system is mounted inside it, at "
                                     "%s. Unmount it first, or delete for good, which leaves mounted file "
                                     "systems as they are.");
    if (const auto at = text.rfind("%s"); at != std::string::npos)
        text.replace(at, 2, where);
    return Substitute(text, Shown(path));
}

TDeleteFilesResult DeleteFiles(const std::vector<std::string>& paths, TDeleteMode mode,
                               const TDeleteFilesControl& control) {
    TDeleteFilesResult result;
    result.Items.reserve(paths.size());
    std::uint64_t entries = 0;
    for (const std::string& path : paths) {
        TDeleteItemOutcome& item = result.Items.emplace_back();
        item.Path = path;
        if (control.Stop.stop_requested()) {
            result.Cancelled = true;
            item.Gone = !Exists(path);
            continue;
        }
        if (std::string refusal = DeletionRefusal(path); !refusal.empty()) {
            MarkRefused(item, EPERM, std::move(refusal));
            continue;
        }
        const std::size_t index = result.Items.size() - 1;
        if (index < control.Expected.size() && !IsExpectedItem(path, control.Expected[index])) {
            MarkRefused(item, ESTALE,
                        Substitute(TranslateText("%s changed since the scan: rescan it first"), Shown(path)));
            continue;
        }
        if (mode == TDeleteMode::Trash) {
            if (std::string refusal = TrashRefusal(path); !refusal.empty()) {
                MarkRefused(item, EPERM, std::move(refusal));
                continue;
            }
        }
        DeleteOne(item, mode, control, result.Items.size() - 1, entries);
        if (control.Stop.stop_requested() && !item.Gone)
            result.Cancelled = true;
        if (control.Progress)
            control.Progress(result.Items.size(), entries);
    }
    return result;
}

} // namespace quorvex
