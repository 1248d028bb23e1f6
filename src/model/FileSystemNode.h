#pragma once

#include "i18n/TranslationMarkers.h"
#include "model/NodeLock.h"
#include "support/FileAttributes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorvex {

enum TNodeType : std::uint8_t {
    ntFixedDrives = 1,
    ntDrive = 2,
    ntFile = 3,
    ntDirectory = 4,
    ntFileGroup = 5,
};

// Bits of TGroupNode flags.
enum TNodeFlag : std::uint8_t {
    nfExpanded = 0x01,
    nfFilesListed = 0x02,
    nfIncomplete = 0x04,
    nfScanning = 0x08,
    nfEmpty = 0x10,
    nfNoFileGroup = 0x20,
    // On a root: the tree was read from a scan file, so nothing in it stands for the local disk.
    nfImported = 0x40,
    // On an imported root: some file of the scan file gave no allocated size, so that figure is short.
    nfAllocatedUnknown = 0x80,
};

// Which of a node's two sizes a reader wants: the logical length (st_size) or the blocks the disk
// has allocated for it (st_blocks x 512), which counts sparse files as the disk does.
enum class TSizeKind : std::uint8_t { Logical, Allocated };

// An attribute bit of a listed file node, above those the walkers fill in: the file has several names
// and the scan counted it at another, so this row adds nothing to the totals.
inline constexpr std::uint16_t kCountedAtAnotherName = 0x8000;

class TGroupNode;
class TRootNode;
class TFileSystemNode;
class TFileSystemApi;
class THardLinkSet;

// An owning list of child nodes in insertion order. Guarded by its group's lock.
class TMemNodeList {
public:
    TFileSystemNode* Add(std::unique_ptr<TFileSystemNode> node);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int index);
    TFileSystemNode* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
    int IndexOf(const TFileSystemNode* node) const;
    // Byte-wise by name: names are bytes, and the view sorts for display anyway.
    void SortByName();
    // Hands every entry over and leaves the list empty.
    std::vector<std::unique_ptr<TFileSystemNode>> TakeAll() { return std::exchange(items_, {}); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<TFileSystemNode>> items_;
};

// Base of every node. Totals and flags are atomics: scan workers add to them while the window reads
// them without a lock (a reader may see a slightly stale figure, never a torn one).
// Name and attributes are set before a node is linked into the tree and never change while others
// can see it.
class TFileSystemNode {
public:
    TFileSystemNode() = default;
    TFileSystemNode(const TFileSystemNode&) = delete;
    TFileSystemNode& operator=(const TFileSystemNode&) = delete;
    virtual ~TFileSystemNode() = default;

    TGroupNode* Parent() const { return parent_; }
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    std::uint16_t Attributes() const { return attributes_; }
    void SetAttributes(std::uint16_t attributes) { attributes_ = attributes; }
    std::int16_t ErrorCode() const { return errorCode_.load(std::memory_order_relaxed); }
    // Codes outside the 16-bit range are stored as 1.
    void SetErrorCode(int code);
    std::int16_t ImageIndex() const { return imageIndex_.load(std::memory_order_relaxed); }
    void SetImageIndex(std::int16_t index) { imageIndex_.store(index, std::memory_order_relaxed); }
    std::int64_t StoredSize(TSizeKind kind = TSizeKind::Logical) const {
        return SizeField(kind).load(std::memory_order_relaxed);
    }
    void SetSize(std::int64_t size) { size_.store(size, std::memory_order_relaxed); }
    void SetAllocatedSize(std::int64_t size) { allocatedSize_.store(size, std::memory_order_relaxed); }
    // The IdentityStamp of what the scan found at this name, 0 when unknown: a deletion acts only on
    // that very item, not on whatever took its name since. The device is kept once per tree
    // (TRootDirNode).
    std::uint64_t Identity() const { return identity_.load(std::memory_order_relaxed); }
    void SetIdentity(std::uint64_t stamp) { identity_.store(stamp, std::memory_order_relaxed); }

    bool IsHidden() const { return (attributes_ & faHidden) != 0; }
    bool IsSystem() const { return (attributes_ & faSystem) != 0; }
    bool IsCompressed() const { return (attributes_ & faCompressed) != 0; }

    virtual std::int32_t GetFileCount() const = 0;
    virtual void SetFileCount(std::int32_t count) = 0;
    virtual void SetPath(const std::string& path);
    virtual void Clear();
    virtual TNodeType GetNodeType() const { return ntFile; }
    virtual std::string GetDisplayName() const { return name_; }
    virtual std::int64_t GetSize(TSizeKind kind = TSizeKind::Logical) const { return StoredSize(kind); }
    virtual void AddSize(std::int64_t n, std::int64_t allocated = 0);

protected:
    // Several scan workers may hand totals to one directory at once, so every add is one atomic
    // read-modify-write. Relaxed: readers only ever want some recent figure, never an ordering.
    template <typename T, typename U> static void Bump(std::atomic<T>& value, U n) {
        value.fetch_add(static_cast<T>(n), std::memory_order_relaxed);
    }
    const std::atomic<std::int64_t>& SizeField(TSizeKind kind) const {
        return kind == TSizeKind::Allocated ? allocatedSize_ : size_;
    }

private:
    friend class TGroupNode;
    friend TFileSystemNode* AddChild(TGroupNode* group, std::unique_ptr<TFileSystemNode> node);
    friend void AdoptListedFiles(TGroupNode* target, std::vector<std::unique_ptr<TFileSystemNode>> files);

    TGroupNode* parent_ = nullptr;
    std::string name_;
    std::atomic<std::int64_t> size_{0};
    std::atomic<std::int64_t> allocatedSize_{0};
    std::atomic<std::uint64_t> identity_{0};
    std::uint16_t attributes_ = 0;
    std::atomic<std::int16_t> errorCode_{0};
    std::atomic<std::int16_t> imageIndex_{-1};
};

class TFileNode final : public TFileSystemNode {
public:
    // A name the scan did not count is no file of the totals either.
    std::int32_t GetFileCount() const override { return (Attributes() & kCountedAtAnotherName) != 0 ? 0 : 1; }
    void SetFileCount(std::int32_t) override {}
};

// A node with children, a lock, totals and flags.
class TGroupNode : public TFileSystemNode {
public:
    using AcceptFunc = std::function<bool(std::int64_t size)>;

    TGroupNode() = default;
    ~TGroupNode() override;

    std::int32_t GetFileCount() const override;
    void SetFileCount(std::int32_t count) override { fileCount_.store(count, std::memory_order_relaxed); }
    void Clear() override;
    TNodeType GetNodeType() const override { return ntDirectory; }
    std::int64_t GetSize(TSizeKind kind = TSizeKind::Logical) const override;

    virtual bool IsScanning() const { return HasFlag(nfScanning); }
    virtual bool AcceptsFile(std::int64_t size) const = 0;
    virtual void SetScanning(bool on);
    virtual void AddFileCount(std::int32_t n);
    // Files of this node that are in no child node: for a directory, those outside its file group.
    virtual void AddOwnFiles(std::int32_t count, std::int64_t size, std::int64_t allocated = 0);
    // Lists the directory's own files as child nodes; -1 when they were listed before. A listing that
    // fails returns 0, changes no totals, stores the error in ErrorCode and may be tried again.
    virtual std::int32_t ListFiles();
    // Appends the files of the directory this node stands for that pass `accept` to `target` (this
    // node or its file group), as ScanForChildrenFiles does; a tree read from a scan file lists them
    // from what it kept instead of from the disk.
    virtual int ListDirectoryFiles(TGroupNode* target, const AcceptFunc& accept) const;
    // Totals from the children and the own files; waits for the child list, unlike the live readers.
    virtual void Recalculate();

    std::int32_t StoredFileCount() const { return fileCount_.load(std::memory_order_relaxed); }
    std::int64_t OwnFilesSize(TSizeKind kind = TSizeKind::Logical) const {
        return (kind == TSizeKind::Allocated ? ownFilesAllocated_ : ownFilesSize_)
            .load(std::memory_order_relaxed);
    }
    std::int32_t OwnFilesCount() const { return ownFilesCount_.load(std::memory_order_relaxed); }

    std::uint8_t Flags() const { return flags_.load(std::memory_order_relaxed); }
    bool HasFlag(TNodeFlag flag) const { return (Flags() & flag) != 0; }
    void SetFlag(TNodeFlag flag, bool on);

    // Readers that must not wait: the own files plus sums over the children taken with a try-lock.
    std::int64_t LiveSize(TSizeKind kind = TSizeKind::Logical) const;
    std::int32_t LiveFileCount() const;

    // Child list access. The list may change while a scan runs; hold a lock while iterating.
    int ChildCountUnlocked() const { return childCount_.load(std::memory_order_relaxed); }

protected:
    // Declared first, so the flags sit in the base's tail padding and the own-files count costs no
    // space: there is a node per directory, and a scan may hold millions.
    std::atomic<std::uint8_t> flags_{0};
    std::atomic<std::int32_t> fileCount_{0};

private:
    friend class TChildrenLock;
    friend TFileSystemNode* AddChild(TGroupNode* group, std::unique_ptr<TFileSystemNode> node);
    friend void RemoveChild(TGroupNode* group, TFileSystemNode* node);
    friend std::vector<std::unique_ptr<TFileSystemNode>> TakeChildren(TGroupNode& group);
    friend void AdoptListedFiles(TGroupNode* target, std::vector<std::unique_ptr<TFileSystemNode>> files);

    std::atomic<std::int32_t> ownFilesCount_{0};
    mutable TNodeLock lock_;
    std::atomic<std::int32_t> childCount_{0};
    std::atomic<std::int64_t> ownFilesSize_{0};
    std::atomic<std::int64_t> ownFilesAllocated_{0};
    TMemNodeList children_;
};

class TFileGroupNode;

class TDirNode : public TGroupNode {
public:
    TDirNode() { flags_.store(nfEmpty, std::memory_order_relaxed); }

    void Clear() override;
    bool AcceptsFile(std::int64_t size) const override;
    void SetScanning(bool on) override;

    TFileGroupNode* FileGroup() const { return fileGroup_.load(std::memory_order_acquire); }

private:
    friend TFileGroupNode* GetFileGroup(TDirNode* dir);
    friend void RemoveChild(TGroupNode* group, TFileSystemNode* node);
    friend std::vector<std::unique_ptr<TFileSystemNode>> TakeChildren(TGroupNode& group);
    std::atomic<TFileGroupNode*> fileGroup_{nullptr};
};

// The small files of the parent directory, as one node.
class TFileGroupNode final : public TGroupNode {
public:
    TNodeType GetNodeType() const override { return ntFileGroup; }
    void AddSize(std::int64_t n, std::int64_t allocated = 0) override;
    bool IsScanning() const override;
    bool AcceptsFile(std::int64_t size) const override;
    void AddFileCount(std::int32_t n) override;
    void AddOwnFiles(std::int32_t count, std::int64_t size, std::int64_t allocated = 0) override;
    std::int32_t ListFiles() override;
};

class TRootNode : public TDirNode {
public:
    TRootNode();
    ~TRootNode() override;

    std::int64_t GroupThreshold() const { return groupThreshold_.load(std::memory_order_relaxed); }
    void SetGroupThreshold(std::int64_t threshold) {
        groupThreshold_.store(threshold, std::memory_order_relaxed);
    }
    // Whether a scan of this tree counts a file with several names at the first name it meets and
    // not again; otherwise at every name. Read once when a walk starts; set before any walk.
    bool HardLinksOnce() const { return hardLinksOnce_.load(std::memory_order_relaxed); }
    void SetHardLinksOnce(bool once);
    // The files with several names the tree counted, and where; only while they are counted once.
    THardLinkSet* HardLinks() const { return HardLinksOnce() ? hardLinks_.get() : nullptr; }

private:
    std::atomic<std::int64_t> groupThreshold_{0};
    std::atomic<bool> hardLinksOnce_{false};
    std::unique_ptr<THardLinkSet> hardLinks_;
};

// The root of a scan of one directory or drive; also each drive under "Local Drives".
class TRootDirNode : public TRootNode {
public:
    void SetPath(const std::string& path) override;
    void Clear() override;
    TNodeType GetNodeType() const override;
    std::string GetDisplayName() const override;
    void Recalculate() override;

    std::string VolumeLabel() const;
    std::int64_t FreeSpace() const { return freeSpace_.load(std::memory_order_relaxed); }
    void UpdateFreeSpace();
    // How long UpdateFreeSpace waits for the file system to answer.
    static constexpr std::chrono::milliseconds kFreeSpaceTimeLimit{250};
    // A mount or unmount at this path changes whether it is a drive.
    void ForgetDriveKind() { driveKindCache_.store(0, std::memory_order_relaxed); }
    // The file system the walk of this tree stayed on; 0 before a walk.
    std::uint64_t Device() const { return device_.load(std::memory_order_relaxed); }
    void SetDevice(std::uint64_t device) { device_.store(device, std::memory_order_relaxed); }

private:
    mutable std::mutex labelMutex_; // one per root, so its size does not matter
    std::string volumeLabel_;
    std::atomic<std::int64_t> freeSpace_{0};
    mutable std::atomic<std::uint8_t> driveKindCache_{0};
    std::atomic<std::uint64_t> device_{0};
};

// The pseudo-root "Local Drives": its children are the fixed drives, listed at creation.
class TFixedDrivesNode final : public TRootNode {
public:
    TFixedDrivesNode();
    // For tests and callers that already know the drives: their mount points, in order.
    explicit TFixedDrivesNode(std::vector<std::string> mountPoints);

    TNodeType GetNodeType() const override { return ntFixedDrives; }
    std::string GetDisplayName() const override;
    std::int32_t ListFiles() override;

private:
    std::vector<std::string> mountPoints_;
};

// Holds a group's child-list lock for its lifetime. A try-lock that failed owns nothing.
class TChildrenLock {
public:
    explicit TChildrenLock(const TGroupNode* group);
    TChildrenLock(const TGroupNode* group, std::try_to_lock_t);
    TChildrenLock(const TChildrenLock&) = delete;
    TChildrenLock& operator=(const TChildrenLock&) = delete;
    ~TChildrenLock();

    bool OwnsLock() const { return owns_; }
    const TMemNodeList& Children() const { return group_->children_; }

private:
    const TGroupNode* group_;
    bool owns_;
};

// Operations on the tree. Paths are byte strings joined with "/".
std::string GetFullPath(const TFileSystemNode* node);
// Raises std::logic_error when the topmost node is not a root.
TRootNode* GetRoot(const TFileSystemNode* node);
TDirNode* AddDirNode(TGroupNode* group, std::string name, std::uint16_t attributes);
TFileSystemNode* AddChild(TGroupNode* group, std::unique_ptr<TFileSystemNode> node);
TFileGroupNode* GetFileGroup(TDirNode* dir);
void RemoveChild(TGroupNode* group, TFileSystemNode* node);
// Empties the child list under the lock and hands its nodes to the caller.
std::vector<std::unique_ptr<TFileSystemNode>> TakeChildren(TGroupNode& group);
// Destroys the node and recalculates its ancestors.
void RemoveFromParent(TFileSystemNode* node);
void RecalculateUpward(TFileSystemNode* node);
int ChildCount(const TGroupNode* group);
bool HasChildren(const TGroupNode* group);
// A directory a stopped walk never read (it was found, but not entered, or entered and left before
// its first entry): its totals are unknown, not zero. Every directory starts out empty and marked
// so until its first entry is read, and only a stop leaves it incomplete without an error.
bool WasNotScanned(const TFileSystemNode* node);
// No lock of its own: hold a TChildrenLock while a scan may change the list.
TFileSystemNode* ChildAt(const TGroupNode* group, int index);
// The node whose full path equals `path`, descending only through whole path components.
TFileSystemNode* FindNodeByPath(const TGroupNode* group, const std::string& path);
// The first later sibling that passes `matches`.
TFileSystemNode* FindNextSibling(const TFileSystemNode* node,
                                 const std::function<bool(const TFileSystemNode*)>& matches);
// Opens the directory `node` stands for (a file group: its directory's), relative to its ancestors'
// directories one level at a time, so at any depth; links below the root are never followed.
// Returns the descriptor, which the caller closes, or -errno.
int OpenNodeDirectory(const TFileSystemNode* node, TFileSystemApi& fs);
// The set of the topmost root above `node`, or null: a tree that counts every name keeps none.
THardLinkSet* CountedHardLinks(const TFileSystemNode* node);
// Drops from the tree's set what the directories of the subtree at `top` counted: erased before a
// walk counts them again, else kept as counted by a name gone (the subtree is being removed).
void ForgetCountedHardLinks(const TGroupNode* top, bool erase);
// Lists the non-directory entries of `directory` for which `accept(size)` holds, sorted by name, and
// appends them to `target`, which takes them out of its own files. When the tree counts a file with
// several names once, every name but the one the scan counted is listed at no size and marked with
// kCountedAtAnotherName; of two names in `directory` itself the first one listed counts, as in the
// walk. Returns how many were added, or -errno when the directory or one of its entries cannot be
// read; nothing is changed then.
int ScanForChildrenFiles(const TGroupNode* directory, TGroupNode* target,
                         const TGroupNode::AcceptFunc& accept);
// Appends `files`, in their order, to `target`, which takes them out of its own files.
void AdoptListedFiles(TGroupNode* target, std::vector<std::unique_ptr<TFileSystemNode>> files);

// The untranslated names of the two synthetic nodes.
inline constexpr const char* kFileGroupName = N_("<Files>");
inline constexpr const char* kLocalDrivesName = N_("Local Drives");

} // namespace quorvex
