#include "model/FileSystemNode.h"

#include "i18n/Translation.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/Utilities.h"

#include <algorithm>
#include <iterator>

namespace quorvex {

// A scan holds a node per directory, millions of them: a field added here costs that many times over.
#if defined(__x86_64__) && defined(__GLIBCXX__)
static_assert(sizeof(TDirNode) == 160 && sizeof(TFileNode) == 80);
#endif

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

void TGroupNode::DestroyFlat(std::vector<std::unique_ptr<TFileSystemNode>> pending) {
    while (!pending.empty()) {
        std::unique_ptr<TFileSystemNode> node = std::move(pending.back());
        pending.pop_back();
        if (auto* group = dynamic_cast<TGroupNode*>(node.get())) {
            auto children = group->TakeChildren();
            pending.insert(pending.end(), std::make_move_iterator(children.begin()),
                           std::make_move_iterator(children.end()));
        }
    }
}

std::vector<std::unique_ptr<TFileSystemNode>> TGroupNode::TakeChildren() {
    ForgetChild(nullptr);
    TChildrenLock guard(this);
    childCount_.store(0, std::memory_order_relaxed);
    return children_.TakeAll();
}

TFileSystemNode* TGroupNode::AddChild(std::unique_ptr<TFileSystemNode> node) {
    node->parent_ = this;
    TChildrenLock guard(this);
    TFileSystemNode* added = children_.Add(std::move(node));
    childCount_.store(children_.Count(), std::memory_order_relaxed);
    return added;
}

void TGroupNode::RemoveChild(const TFileSystemNode* node) {
    ForgetChild(node);
    TChildrenLock guard(this);
    const int index = children_.IndexOf(node);
    if (index < 0)
        return;
    children_.Delete(index);
    childCount_.store(children_.Count(), std::memory_order_relaxed);
}

void TGroupNode::AdoptListedFiles(std::vector<std::unique_ptr<TFileSystemNode>> files) {
    TChildrenLock guard(this);
    // Under the lock, so a live reader sees the files either as own files or as children, never both.
    ownFilesCount_.store(0, std::memory_order_relaxed);
    ownFilesSize_.store(0, std::memory_order_relaxed);
    ownFilesAllocated_.store(0, std::memory_order_relaxed);
    for (auto& file : files) {
        file->parent_ = this;
        children_.Add(std::move(file));
    }
    childCount_.store(children_.Count(), std::memory_order_relaxed);
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

int TGroupNode::ListDirectoryFiles(TGroupNode* /*target*/, const AcceptFunc& /*accept*/) const {
    return 0;
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

// ---- TDirNode -------------------------------------------------------------------------------

void TDirNode::Clear() {
    TGroupNode::Clear();
    SetFiles(TPackedFiles());
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
        RemoveChild(group);
        SetFlag(nfNoFileGroup, true);
    }
}

int TDirNode::ListDirectoryFiles(TGroupNode* target, const AcceptFunc& accept) const {
    std::vector<std::unique_ptr<TFileSystemNode>> found;
    ForEachFile([&](const TPackedFile& file) {
        if (!accept(file.Size))
            return;
        const bool elsewhere = (file.Attributes & kCountedAtAnotherName) != 0;
        auto node = std::make_unique<TFileNode>();
        node->SetName(std::string(file.Name));
        node->SetSize(elsewhere ? 0 : file.Size);
        node->SetAllocatedSize(elsewhere ? 0 : file.AllocatedSize);
        node->SetAttributes(file.Attributes);
        node->SetIdentity(file.Stamp);
        found.push_back(std::move(node));
    });
    // By name, as a listing of the disk gives them.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
    const auto count = static_cast<int>(found.size());
    target->AdoptListedFiles(std::move(found));
    return count;
}

void TDirNode::SetFiles(TPackedFiles files) {
    TPackedFiles old;
    {
        const TChildrenLock guard(this);
        old = std::exchange(files_, std::move(files));
    }
}

std::uint32_t TDirNode::RecordedFileCount() const {
    const TChildrenLock guard(this);
    return files_.Count();
}

void TDirNode::ForgetFile(std::string_view name) {
    const TChildrenLock guard(this);
    files_ = files_.Without(name);
}

TFileGroupNode* TDirNode::GetFileGroup() {
    if (TFileGroupNode* group = FileGroup())
        return group;
    auto group = std::make_unique<TFileGroupNode>();
    group->SetName(TranslateText(kFileGroupName));
    auto* added = static_cast<TFileGroupNode*>(AddChild(std::move(group)));
    fileGroup_.store(added, std::memory_order_release);
    return added;
}

// Before the lock is taken: under a directory's lock a non-null FileGroup() is alive.
void TDirNode::ForgetChild(const TFileSystemNode* child) {
    if (child == nullptr || child == FileGroup())
        fileGroup_.store(nullptr, std::memory_order_release);
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

} // namespace quorvex
