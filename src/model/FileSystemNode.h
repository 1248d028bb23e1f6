#pragma once

#include "i18n/TranslationMarkers.h"
#include "model/NodeLock.h"
#include "model/PackedFiles.h"
#include "support/FileAttributes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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
class TFileSystemNode;

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

// The four size getters, and why there are four:
// - GetSize is the figure to show, sort, paint, export and sum up; every reader outside the model
//   wants this one. A file answers its stored size. A group answers its stored total once its walk
//   has finished, and its live total while it is being walked or after a stop, when the stored one
//   is short of what lies below.
// - StoredSize is the size field itself: a file's length, a group's total as the walk (or a
//   Recalculate) last handed it up. The writers that add to it, and checks of what was added, read it.
// - LiveSize (a group's, private) is OwnFilesSize plus GetSize of every child, summed now under a
//   try-lock: children are skipped while a worker holds the list, so a reader never waits. Only
//   GetSize asks for it.
// - OwnFilesSize (a group's) is the size of its files that are in no child node: a directory's files
//   outside its file group, added by the walk, until a listing turns them into nodes
//   (AdoptListedFiles zeroes it then). LiveSize, Recalculate and the dissolving of a one-file group
//   read it.
// StoredSize and GetSize agree for a file and for a finished directory only; none can stand in for
// another.
//
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
    // A node's parent is the group whose child list owns it, and only that list sets it.
    friend class TGroupNode;

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
    // node or its file group) and returns how many, or -errno with nothing changed. Only a directory
    // has files of its own: any other group lists none.
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

    // Child list access. The list may change while a scan runs; hold a lock while iterating.
    int ChildCountUnlocked() const { return childCount_.load(std::memory_order_relaxed); }

    // Changes to the child list, each under this node's lock alone. The list owns what it holds.
    TFileSystemNode* AddChild(std::unique_ptr<TFileSystemNode> node);
    // Destroys `node` when it is a child; nothing otherwise.
    void RemoveChild(const TFileSystemNode* node);
    // Appends a listing's files, in their order, and takes them out of the own files.
    void AdoptListedFiles(std::vector<std::unique_ptr<TFileSystemNode>> files);

protected:
    // Called before `child` (null: every child) leaves the list, outside the lock.
    virtual void ForgetChild(const TFileSystemNode* /*child*/) {}

    // Declared first, so the flags sit in the base's tail padding and the own-files count costs no
    // space: there is a node per directory, and a scan may hold millions.
    std::atomic<std::uint8_t> flags_{0};
    std::atomic<std::int32_t> fileCount_{0};

private:
    friend class TChildrenLock;

    // Readers that must not wait: the own files plus sums over the children taken with a try-lock.
    std::int64_t LiveSize(TSizeKind kind) const;
    std::int32_t LiveFileCount() const;
    // Empties the child list under the lock and hands its nodes to the caller.
    std::vector<std::unique_ptr<TFileSystemNode>> TakeChildren();
    // Destroys subtrees level by level instead of through nested destructors, so that a tree as deep
    // as a scan file may describe (100,000 levels) cannot exhaust the stack.
    static void DestroyFlat(std::vector<std::unique_ptr<TFileSystemNode>> pending);

    std::atomic<std::int32_t> ownFilesCount_{0};
    mutable TNodeLock lock_;
    std::atomic<std::int32_t> childCount_{0};
    std::atomic<std::int64_t> ownFilesSize_{0};
    std::atomic<std::int64_t> ownFilesAllocated_{0};
    TMemNodeList children_;
};

class TFileGroupNode;

// A directory: its subdirectories are nodes, its files are records (TPackedFiles) until a listing
// makes nodes of them.
class TDirNode : public TGroupNode {
public:
    TDirNode() { flags_.store(nfEmpty, std::memory_order_relaxed); }

    void Clear() override;
    bool AcceptsFile(std::int64_t size) const override;
    void SetScanning(bool on) override;
    // Makes the file nodes from the records, never from the disk: the walk (or the scan file) saw
    // every file. A file marked kCountedAtAnotherName becomes a node of no size.
    int ListDirectoryFiles(TGroupNode* target, const AcceptFunc& accept) const override;

    // The files of this directory, listed or not, as the walk met them or the scan file held them.
    // Replaced whole, under the directory's lock, so that readers on other threads see the old list
    // or the new one.
    void SetFiles(TPackedFiles files);
    // Calls visit(const TPackedFile&) for every recorded file, holding this directory's lock.
    template <typename F> void ForEachFile(F&& visit) const;
    std::uint32_t RecordedFileCount() const;
    // Drops the record of a file deleted from the disk, so that the tree keeps matching it.
    void ForgetFile(std::string_view name);

    TFileGroupNode* FileGroup() const { return fileGroup_.load(std::memory_order_acquire); }
    // The file group, made and added on first use.
    TFileGroupNode* GetFileGroup();

protected:
    void ForgetChild(const TFileSystemNode* child) override;

private:
    std::atomic<TFileGroupNode*> fileGroup_{nullptr};
    TPackedFiles files_;
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

template <typename F> void TDirNode::ForEachFile(F&& visit) const {
    const TChildrenLock guard(this);
    files_.ForEach(visit);
}

// The untranslated name of the file group nodes.
inline constexpr const char* kFileGroupName = N_("<Files>");

} // namespace quorvex
