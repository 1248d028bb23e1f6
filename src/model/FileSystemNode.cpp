#include "model/FileSystemNode.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "model/HardLinkSet.h"
#include "support/FreeSpaceProbe.h"
#include "support/MountTable.h"
#include "support/PathText.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <typeinfo>
#include <unordered_set>

namespace quorvex {

// ---- TMemNodeList -----------------------------------------------------------------------------

TFileSystemNode* TMemNodeList::Add(std::unique_ptr<TFileSystemNode> node) {
    items_.push_back(std::move(node));
    return items_.back().get();
}

void TMemNodeList::Clear() {
    items_.clear();
}

void TMemNodeList::Delete(int index) {
    items_.erase(items_.begin() + index);
}

int TMemNodeList::IndexOf(const TFileSystemNode* node) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == node)
            return static_cast<int>(i);
    }
    return -1;
}

void TMemNodeList::SortByName() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
}

// ---- TFileSystemNode ------------------------------------------------------------------------

void TFileSystemNode::SetErrorCode(int code) {
    errorCode_.store(static_cast<std::int16_t>(code >= -32768 && code <= 32767 ? code : 1),
                     std::memory_order_relaxed);
}

void TFileSystemNode::SetPath(const std::string& path) {
    const std::string trimmed = ExcludeTrailingPathDelimiter(path);
    const auto slash = trimmed.rfind(PathDelim);
    std::string last = (slash == std::string::npos || trimmed == "/") ? trimmed : trimmed.substr(slash + 1);
    // A node being rescanned is visible to the window all along; its name must not flicker or race.
    if (last != name_)
        name_ = std::move(last);
}

// The name is kept: Clear precedes a rescan that gives the node the same name again, and the window
// may be reading it meanwhile.
void TFileSystemNode::Clear() {
    size_.store(0, std::memory_order_relaxed);
    allocatedSize_.store(0, std::memory_order_relaxed);
    errorCode_.store(0, std::memory_order_relaxed);
    imageIndex_.store(-1, std::memory_order_relaxed);
}

void TFileSystemNode::AddSize(std::int64_t n, std::int64_t allocated) {
    Bump(size_, n);
    Bump(allocatedSize_, allocated);
}

// ---- TGroupNode -----------------------------------------------------------------------------

namespace {
// Destroys a subtree level by level instead of through nested destructors, so that a tree as deep as
// a scan file may describe (100,000 levels) cannot exhaust the stack.
void DestroyFlat(std::vector<std::unique_ptr<TFileSystemNode>> pending) {
    while (!pending.empty()) {
        std::unique_ptr<TFileSystemNode> node = std::move(pending.back());
        pending.pop_back();
        if (auto* group = dynamic_cast<TGroupNode*>(node.get())) {
            auto children = TakeChildren(*group);
            pending.insert(pending.end(), std::make_move_iterator(children.begin()),
                           std::make_move_iterator(children.end()));
        }
    }
}
} // namespace

std::vector<std::unique_ptr<TFileSystemNode>> TakeChildren(TGroupNode& group) {
    if (auto* dir = dynamic_cast<TDirNode*>(&group))
        dir->fileGroup_.store(nullptr, std::memory_order_release);
    TChildrenLock guard(&group);
    group.childCount_.store(0, std::memory_order_relaxed);
    return group.children_.TakeAll();
}

TGroupNode::~TGroupNode() {
    std::vector<std::unique_ptr<TFileSystemNode>> children;
    {
        std::lock_guard guard(lock_);
        children = children_.TakeAll();
    }
    DestroyFlat(std::move(children));
}

void TGroupNode::SetFlag(TNodeFlag flag, bool on) {
    if (on)
        flags_.fetch_or(flag, std::memory_order_relaxed);
    else
        flags_.fetch_and(static_cast<std::uint8_t>(~flag), std::memory_order_relaxed);
}

// The own files and the file group never hold the same file, so nothing is counted twice. The own
// files are read under the lock when it is free: a listing moves them into children under it.
// Size and count are summed in separate passes: each would otherwise call the other on every level
// of a path under a scan, doubling the work per level.
std::int64_t TGroupNode::LiveSize(TSizeKind kind) const {
    const TChildrenLock guard(this, std::try_to_lock);
    std::int64_t size = OwnFilesSize(kind);
    if (guard.OwnsLock()) {
        for (const auto& child : guard.Children())
            size += child->GetSize(kind);
    }
    return size;
}

std::int32_t TGroupNode::LiveFileCount() const {
    const TChildrenLock guard(this, std::try_to_lock);
    std::int32_t count = OwnFilesCount();
    if (guard.OwnsLock()) {
        for (const auto& child : guard.Children())
            count += child->GetFileCount();
    }
    return count;
}

// A stopped directory is live in both figures, so that files listed after the stop (which the walk
// may never have reached) move its size and its count alike.
std::int32_t TGroupNode::GetFileCount() const {
    return (IsScanning() || HasFlag(nfIncomplete)) ? LiveFileCount() : StoredFileCount();
}

std::int64_t TGroupNode::GetSize(TSizeKind kind) const {
    return (IsScanning() || HasFlag(nfIncomplete)) ? LiveSize(kind) : StoredSize(kind);
}

void TGroupNode::Clear() {
    TFileSystemNode::Clear();
    // Cleared for a walk of this subtree: what it counted is counted again, the rest stays counted.
    ForgetCountedHardLinks(this, true);
    std::vector<std::unique_ptr<TFileSystemNode>> children;
    {
        std::lock_guard guard(lock_);
        children = children_.TakeAll();
        childCount_.store(0, std::memory_order_relaxed);
    }
    DestroyFlat(std::move(children));
    fileCount_.store(0, std::memory_order_relaxed);
    ownFilesCount_.store(0, std::memory_order_relaxed);
    ownFilesSize_.store(0, std::memory_order_relaxed);
    ownFilesAllocated_.store(0, std::memory_order_relaxed);
}

void TGroupNode::SetScanning(bool on) {
    SetFlag(nfScanning, on);
}

void TGroupNode::AddFileCount(std::int32_t n) {
    Bump(fileCount_, n);
}

void TGroupNode::AddOwnFiles(std::int32_t count, std::int64_t size, std::int64_t allocated) {
    Bump(ownFilesCount_, count);
    Bump(ownFilesSize_, size);
    Bump(ownFilesAllocated_, allocated);
}

std::int32_t TGroupNode::ListFiles() {
    if (HasFlag(nfFilesListed))
        return -1;
    const int count = ListDirectoryFiles(this, [this](std::int64_t size) { return AcceptsFile(size); });
    if (count < 0) {
        SetErrorCode(-count);
        return 0;
    }
    SetFlag(nfFilesListed, true);
    return count;
}

int TGroupNode::ListDirectoryFiles(TGroupNode* target, const AcceptFunc& accept) const {
    return ScanForChildrenFiles(this, target, accept);
}

void TGroupNode::Recalculate() {
    if (IsScanning())
        return;
    // A stored total is kept until the next change; a busy lock must not make it a partial one.
    const TChildrenLock guard(this);
    std::int64_t size = OwnFilesSize();
    std::int64_t allocated = OwnFilesSize(TSizeKind::Allocated);
    std::int32_t count = OwnFilesCount();
    for (const auto& child : guard.Children()) {
        size += child->GetSize();
        allocated += child->GetSize(TSizeKind::Allocated);
        count += child->GetFileCount();
    }
    SetSize(size);
    SetAllocatedSize(allocated);
    SetFileCount(count);
}

bool WasNotScanned(const TFileSystemNode* node) {
    const auto* dir = dynamic_cast<const TDirNode*>(node);
    return dir != nullptr && dir->ErrorCode() == 0 && !dir->IsScanning() && dir->HasFlag(nfIncomplete) &&
           dir->HasFlag(nfEmpty);
}

// ---- TDirNode -------------------------------------------------------------------------------

void TDirNode::Clear() {
    TGroupNode::Clear();
    fileGroup_.store(nullptr, std::memory_order_release);
    flags_.store(nfEmpty, std::memory_order_relaxed);
}

bool TDirNode::AcceptsFile(std::int64_t size) const {
    return HasFlag(nfNoFileGroup) || size >= GetRoot(this)->GroupThreshold();
}

void TDirNode::SetScanning(bool on) {
    TGroupNode::SetScanning(on);
    if (on)
        return;
    TFileGroupNode* group = FileGroup();
    // A listed group holds its file as a node; dissolving it then would lose the file.
    if (group != nullptr && group->StoredFileCount() == 1 && !group->HasFlag(nfFilesListed)) {
        AddOwnFiles(group->OwnFilesCount(), group->OwnFilesSize(), group->OwnFilesSize(TSizeKind::Allocated));
        RemoveChild(this, group);
        SetFlag(nfNoFileGroup, true);
    }
}

// ---- TFileGroupNode -------------------------------------------------------------------------

void TFileGroupNode::AddSize(std::int64_t n, std::int64_t allocated) {
    if (!HasFlag(nfFilesListed))
        TGroupNode::AddSize(n, allocated);
}

bool TFileGroupNode::IsScanning() const {
    if (HasFlag(nfFilesListed) || Parent() == nullptr)
        return false;
    return Parent()->IsScanning();
}

bool TFileGroupNode::AcceptsFile(std::int64_t size) const {
    return size < GetRoot(this)->GroupThreshold();
}

void TFileGroupNode::AddFileCount(std::int32_t n) {
    if (!HasFlag(nfFilesListed))
        TGroupNode::AddFileCount(n);
}

void TFileGroupNode::AddOwnFiles(std::int32_t count, std::int64_t size, std::int64_t allocated) {
    if (!HasFlag(nfFilesListed))
        TGroupNode::AddOwnFiles(count, size, allocated);
}

std::int32_t TFileGroupNode::ListFiles() {
    if (HasFlag(nfFilesListed) || Parent() == nullptr)
        return -1;
    const int count =
        Parent()->ListDirectoryFiles(this, [this](std::int64_t size) { return AcceptsFile(size); });
    if (count < 0) {
        SetErrorCode(-count);
        return 0;
    }
    SetFlag(nfFilesListed, true);
    Recalculate();
    return count;
}

// ---- TRootNode ------------------------------------------------------------------------------

TRootNode::TRootNode() = default;
TRootNode::~TRootNode() = default;

void TRootNode::SetHardLinksOnce(bool once) {
    if (once && hardLinks_ == nullptr)
        hardLinks_ = std::make_unique<THardLinkSet>();
    hardLinksOnce_.store(once, std::memory_order_relaxed);
}

// ---- TRootDirNode ---------------------------------------------------------------------------

void TRootDirNode::SetPath(const std::string& path) {
    if (path != Name())
        SetName(path);
    const std::string mountPoint = ExcludeTrailingPathDelimiter(path);
    const auto table = ReadMountTable();
    if (IsDriveRoot(mountPoint, table)) {
        const QStorageInfo info(DecodePath(mountPoint));
        if (info.isValid()) {
            const std::string label = info.name().toStdString();
            std::lock_guard guard(labelMutex_);
            if (!label.empty() && label != volumeLabel_)
                volumeLabel_ = label;
        } else {
            ProgramLogger().debug(SystemErrorMessage(ENOENT) + " - " + path);
        }
    }
    UpdateFreeSpace();
}

void TRootDirNode::Clear() {
    TRootNode::Clear();
    {
        std::lock_guard guard(labelMutex_);
        volumeLabel_.clear();
    }
    driveKindCache_.store(0, std::memory_order_relaxed);
}

TNodeType TRootDirNode::GetNodeType() const {
    if (const std::uint8_t cached = driveKindCache_.load(std::memory_order_relaxed); cached != 0)
        return static_cast<TNodeType>(cached);
    const TNodeType type = IsDriveRoot(ExcludeTrailingPathDelimiter(Name())) ? ntDrive : ntDirectory;
    driveKindCache_.store(type, std::memory_order_relaxed);
    return type;
}

std::string TRootDirNode::VolumeLabel() const {
    std::lock_guard guard(labelMutex_);
    return volumeLabel_;
}

std::string TRootDirNode::GetDisplayName() const {
    const std::string label = VolumeLabel();
    return label.empty() ? Name() : label + " (" + Name() + ")";
}

void TRootDirNode::Recalculate() {
    TRootNode::Recalculate();
    UpdateFreeSpace();
}

void TRootDirNode::UpdateFreeSpace() {
    if (Name().empty())
        return;
    // Also called on the user-interface thread (after a rescan or a deletion below this root), where a
    // dead network mount must not freeze the window: an unanswered query keeps the last known value.
    if (const auto st = TimedStatvfs(Name(), kFreeSpaceTimeLimit))
        freeSpace_.store(static_cast<std::int64_t>(st->f_bavail) * static_cast<std::int64_t>(st->f_frsize),
                         std::memory_order_relaxed);
}

// ---- TFixedDrivesNode -----------------------------------------------------------------------

namespace {
std::vector<std::string> FixedMountPoints() {
    std::vector<std::string> points;
    for (const auto& drive : FixedDrives(ReadMountTable()))
        points.push_back(drive.MountPoint);
    return points;
}
} // namespace

TFixedDrivesNode::TFixedDrivesNode() : TFixedDrivesNode(FixedMountPoints()) {}

TFixedDrivesNode::TFixedDrivesNode(std::vector<std::string> mountPoints)
    : mountPoints_(std::move(mountPoints)) {
    SetName(kLocalDrivesName);
    ListFiles();
}

std::string TFixedDrivesNode::GetDisplayName() const {
    return TranslateText(kLocalDrivesName);
}

std::int32_t TFixedDrivesNode::ListFiles() {
    if (HasFlag(nfFilesListed))
        return -1;
    std::int32_t added = 0;
    for (const auto& point : mountPoints_) {
        auto drive = std::make_unique<TRootDirNode>();
        drive->SetName(point);
        AddChild(this, std::move(drive));
        ++added;
    }
    SetFlag(nfFilesListed, true);
    return added;
}

// ---- TChildrenLock --------------------------------------------------------------------------

TChildrenLock::TChildrenLock(const TGroupNode* group) : group_(group), owns_(true) {
    group_->lock_.lock();
}

TChildrenLock::TChildrenLock(const TGroupNode* group, std::try_to_lock_t)
    : group_(group), owns_(group->lock_.try_lock()) {}

TChildrenLock::~TChildrenLock() {
    if (owns_)
        group_->lock_.unlock();
}

// ---- Tree operations ------------------------------------------------------------------------

std::string GetFullPath(const TFileSystemNode* node) {
    std::vector<const std::string*> parts{&node->Name()};
    for (const TGroupNode* p = node->Parent(); p != nullptr && p->GetNodeType() != ntFixedDrives;
         p = p->Parent()) {
        if (p->GetNodeType() != ntFileGroup)
            parts.push_back(&p->Name());
    }
    std::string path = *parts.back();
    for (auto it = parts.rbegin() + 1; it != parts.rend(); ++it)
        path = JoinPath(path, **it);
    return path;
}

TRootNode* GetRoot(const TFileSystemNode* node) {
    const TFileSystemNode* top = node;
    while (top->Parent() != nullptr)
        top = top->Parent();
    if (auto* root = dynamic_cast<const TRootNode*>(top))
        return const_cast<TRootNode*>(root);
    throw std::logic_error(
        Substitute(TranslateText("The root element has an invalid type: %s"), typeid(*top).name()));
}

TDirNode* AddDirNode(TGroupNode* group, std::string name, std::uint16_t attributes) {
    auto dir = std::make_unique<TDirNode>();
    dir->SetName(std::move(name));
    dir->SetAttributes(attributes);
    return static_cast<TDirNode*>(AddChild(group, std::move(dir)));
}

TFileSystemNode* AddChild(TGroupNode* group, std::unique_ptr<TFileSystemNode> node) {
    node->parent_ = group;
    TChildrenLock guard(group);
    TFileSystemNode* added = group->children_.Add(std::move(node));
    group->childCount_.store(group->children_.Count(), std::memory_order_relaxed);
    return added;
}

TFileGroupNode* GetFileGroup(TDirNode* dir) {
    if (TFileGroupNode* group = dir->FileGroup())
        return group;
    auto group = std::make_unique<TFileGroupNode>();
    group->SetName(TranslateText(kFileGroupName));
    auto* added = static_cast<TFileGroupNode*>(AddChild(dir, std::move(group)));
    dir->fileGroup_.store(added, std::memory_order_release);
    return added;
}

void RemoveChild(TGroupNode* group, TFileSystemNode* node) {
    if (auto* dir = dynamic_cast<TDirNode*>(group); dir != nullptr && dir->FileGroup() == node)
        dir->fileGroup_.store(nullptr, std::memory_order_release);
    TChildrenLock guard(group);
    const int index = group->children_.IndexOf(node);
    if (index < 0)
        return;
    group->children_.Delete(index);
    group->childCount_.store(group->children_.Count(), std::memory_order_relaxed);
}

void RemoveFromParent(TFileSystemNode* node) {
    TGroupNode* parent = node->Parent();
    if (parent == nullptr)
        return;
    // The other names of a file counted below stay uncounted: the folders' totals never had them.
    if (const auto* group = dynamic_cast<const TGroupNode*>(node))
        ForgetCountedHardLinks(group, false);
    RemoveChild(parent, node);
    RecalculateUpward(parent);
}

void RecalculateUpward(TFileSystemNode* node) {
    for (auto* group = dynamic_cast<TGroupNode*>(node); group != nullptr; group = group->Parent())
        group->Recalculate();
}

int ChildCount(const TGroupNode* group) {
    TChildrenLock guard(group);
    return guard.Children().Count();
}

bool HasChildren(const TGroupNode* group) {
    return group->ChildCountUnlocked() > 0;
}

TFileSystemNode* ChildAt(const TGroupNode* group, int index) {
    TChildrenLock guard(group); // recursive: free when the caller already holds it
    return guard.Children().Items(index);
}

TFileSystemNode* FindNodeByPath(const TGroupNode* group, const std::string& path) {
    TChildrenLock guard(group);
    for (const auto& child : guard.Children()) {
        auto* childGroup = dynamic_cast<const TGroupNode*>(child.get());
        // A file group adds nothing to its members' paths, so they share the directory's prefix;
        // the group's own path (with its display name) is no prefix of theirs.
        const std::string childPath = GetFullPath(child.get());
        if (childGroup != nullptr && childGroup->GetNodeType() == ntFileGroup) {
            if (childPath == path)
                return child.get();
            if (TFileSystemNode* found = FindNodeByPath(childGroup, path))
                return found;
            continue;
        }
        if (!path.starts_with(childPath))
            continue;
        if (childPath == path)
            return child.get();
        // Descend only at a component boundary: /data/ab is not an ancestor of /data/abc.
        if (childPath.back() != PathDelim && path[childPath.size()] != PathDelim)
            continue;
        return childGroup != nullptr ? FindNodeByPath(childGroup, path) : nullptr;
    }
    return nullptr;
}

TFileSystemNode* FindNextSibling(const TFileSystemNode* node,
                                 const std::function<bool(const TFileSystemNode*)>& matches) {
    const TGroupNode* parent = node->Parent();
    if (parent == nullptr || !HasChildren(parent))
        return nullptr;
    TChildrenLock guard(parent);
    const auto& children = guard.Children();
    for (int i = children.IndexOf(node) + 1; i > 0 && i < children.Count(); ++i) {
        if (matches(children.Items(i)))
            return children.Items(i);
    }
    return nullptr;
}

int OpenNodeDirectory(const TFileSystemNode* node, TFileSystemApi& fs) {
    if (node->GetNodeType() == ntFixedDrives)
        return -ENOTDIR;
    const TFileSystemNode* top = node;
    std::vector<const std::string*> names;
    for (; top->Parent() != nullptr && top->Parent()->GetNodeType() != ntFixedDrives; top = top->Parent()) {
        if (top->GetNodeType() != ntFileGroup)
            names.push_back(&top->Name());
    }
    // The tree never reaches into a mount point, so one met on the way was mounted after the scan:
    // what lies there is not what the node stands for. Each level is on the top's mount or refused.
    int fd = fs.OpenRootDirectory(top->Name().c_str());
    TEntryInfo topInfo;
    if (fd < 0 || names.empty() || fs.StatDescriptor(fd, topInfo) != 0)
        return fd;
    for (auto name = names.rbegin(); fd >= 0 && name != names.rend(); ++name) {
        const int next = fs.OpenDirectory(fd, (*name)->c_str());
        ::close(fd);
        fd = next;
        TEntryInfo info;
        if (fd >= 0 && fs.StatDescriptor(fd, info) == 0 &&
            (info.Device != topInfo.Device || info.MountId != topInfo.MountId)) {
            ::close(fd);
            fd = -EXDEV;
        }
    }
    return fd;
}

THardLinkSet* CountedHardLinks(const TFileSystemNode* node) {
    const TFileSystemNode* top = node;
    while (top->Parent() != nullptr)
        top = top->Parent();
    const auto* root = dynamic_cast<const TRootNode*>(top);
    return root != nullptr ? root->HardLinks() : nullptr;
}

void ForgetCountedHardLinks(const TGroupNode* top, bool erase) {
    THardLinkSet* counted = CountedHardLinks(top);
    if (counted == nullptr || counted->Count() == 0)
        return;
    std::unordered_set<const TGroupNode*> owners;
    std::vector<const TGroupNode*> pending{top};
    while (!pending.empty()) {
        const TGroupNode* group = pending.back();
        pending.pop_back();
        owners.insert(group);
        const TChildrenLock guard(group);
        for (const auto& child : guard.Children()) {
            if (child->GetNodeType() != ntFile && child->GetNodeType() != ntFileGroup)
                pending.push_back(static_cast<const TGroupNode*>(child.get()));
        }
    }
    counted->Forget(owners, erase);
}

int ScanForChildrenFiles(const TGroupNode* directory, TGroupNode* target,
                         const TGroupNode::AcceptFunc& accept) {
    ProgramLogger().debug("ScanForChildrenFiles: " + GetFullPath(directory));
    // A mount point was not entered by the scan, and its files are not the tree's either.
    const TGroupNode* own = directory->GetNodeType() == ntFileGroup ? directory->Parent() : directory;
    if (own != nullptr && own->Parent() != nullptr && own->GetNodeType() == ntDirectory &&
        (own->Attributes() & faReparsePoint) != 0)
        return 0;
    TFileSystemApi& fs = DefaultFileSystem();
    TDirStream dir(OpenNodeDirectory(directory, fs));
    if (dir.Fd() < 0)
        return -dir.Error();
    // A file mounted here counts nothing, as in the walk.
    TEntryInfo self;
    const std::uint64_t mount = fs.StatDescriptor(dir.Fd(), self) == 0 ? self.MountId : 0;
    const THardLinkSet* counted = CountedHardLinks(directory);
    // The names here of files the walk counted here, in listing order: only the first one counted.
    std::set<std::pair<dev_t, ino_t>> countedHere;
    std::vector<std::unique_ptr<TFileSystemNode>> found;
    unsigned char type = 0;
    while (const char* name = dir.Next(type)) {
        TEntryInfo info;
        if (const int error = fs.StatEntry(dir.Fd(), name, info); error != 0) {
            if (error == ENOENT)
                continue; // deleted since the scan: no longer there to list
            return -error;
        }
        const bool mounted = mount != 0 && info.MountId != mount;
        if (mounted)
            info.Size = info.AllocatedSize = 0;
        if (info.IsDirectory || !accept(info.Size))
            continue;
        bool elsewhere = false;
        if (counted != nullptr && !mounted) {
            const auto state = counted->Lookup(info.Device, info.Inode, directory);
            elsewhere = state == THardLinkSet::TState::CountedAnother ||
                        (state == THardLinkSet::TState::CountedHere &&
                         !countedHere.emplace(info.Device, info.Inode).second);
        }
        auto file = std::make_unique<TFileNode>();
        file->SetName(name);
        file->SetSize(elsewhere ? 0 : info.Size);
        file->SetAllocatedSize(elsewhere ? 0 : info.AllocatedSize);
        file->SetIdentity(IdentityStamp(info));
        file->SetAttributes(
            static_cast<std::uint16_t>(info.Attributes | (elsewhere ? kCountedAtAnotherName : 0)));
        found.push_back(std::move(file));
    }
    if (dir.Error() != 0)
        return -dir.Error();
    dir.Close();
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
    const auto count = static_cast<std::int32_t>(found.size());
    AdoptListedFiles(target, std::move(found));
    return count;
}

void AdoptListedFiles(TGroupNode* target, std::vector<std::unique_ptr<TFileSystemNode>> files) {
    TChildrenLock guard(target);
    // Under the lock, so a live reader sees the files either as own files or as children, never both.
    target->ownFilesCount_.store(0, std::memory_order_relaxed);
    target->ownFilesSize_.store(0, std::memory_order_relaxed);
    target->ownFilesAllocated_.store(0, std::memory_order_relaxed);
    for (auto& file : files) {
        file->parent_ = target;
        target->children_.Add(std::move(file));
    }
    target->childCount_.store(target->children_.Count(), std::memory_order_relaxed);
}

} // namespace quorvex
