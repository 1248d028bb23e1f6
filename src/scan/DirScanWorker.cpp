#include "scan/DirScanWorker.h"

#include "model/HardLinkSet.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/ScanExclusions.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <unistd.h>
#include <utility>

namespace quorvex {
namespace {

constexpr std::size_t kNameBufferSize = std::size_t{32} * 1024;
// Totals of a directory being read reach its node in batches: each addition is an atomic one now
// that several workers may hand totals to the same node.
constexpr int kFlushEvery = 1024;

// The names of an open directory, straight from getdents64 into the worker's buffer: no allocation
// per directory, and the descriptor stays the caller's, to open the subdirectories from later.
class TNameReader {
public:
    TNameReader(int fd, std::vector<char>& buffer) : fd_(fd), buffer_(buffer) {}

    const char* Next() {
        for (;;) {
            if (pos_ >= length_) {
                const ssize_t n = ::getdents64(fd_, buffer_.data(), buffer_.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    error_ = n < 0 ? errno : 0;
                    return nullptr;
                }
                length_ = static_cast<std::size_t>(n);
                pos_ = 0;
            }
            const auto* entry = reinterpret_cast<const dirent64*>(buffer_.data() + pos_);
            pos_ += entry->d_reclen;
            const char* n = entry->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
                continue;
            return n;
        }
    }
    int Error() const { return error_; }

private:
    int fd_;
    std::vector<char>& buffer_;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
    int error_ = 0;
};

// Files counted but not yet added to the directory and its file group.
struct TPendingTotals {
    TGroupNode* node;
    TFileGroupNode* group = nullptr;
    std::int32_t files = 0;
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int32_t ownFiles = 0;
    std::int64_t ownSize = 0;
    std::int64_t ownAllocated = 0;
    std::int32_t groupFiles = 0;
    std::int64_t groupSize = 0;
    std::int64_t groupAllocated = 0;
    int batched = 0;

    void Flush() {
        if (files != 0) {
            node->AddFileCount(files);
            node->AddSize(size, allocated);
        }
        if (ownFiles != 0)
            node->AddOwnFiles(ownFiles, ownSize, ownAllocated);
        if (groupFiles != 0) {
            group->AddFileCount(groupFiles);
            group->AddSize(groupSize, groupAllocated);
            group->AddOwnFiles(groupFiles, groupSize, groupAllocated);
        }
        files = ownFiles = groupFiles = batched = 0;
        size = ownSize = groupSize = 0;
        allocated = ownAllocated = groupAllocated = 0;
    }
    ~TPendingTotals() { Flush(); }
};

// A subdirectory found while reading its parent, linked in the parent's listing order. It counts as
// being scanned from now on, so that the window does not list its files before the walk reaches it.
TDirNode* AddScanningDir(TGroupNode* parent, const char* name, const TEntryInfo& info) {
    auto dir = std::make_unique<TDirNode>();
    dir->SetName(name);
    dir->SetAttributes(info.Attributes);
    dir->SetIdentity(IdentityStamp(info));
    dir->SetScanning(true);
    return static_cast<TDirNode*>(parent->AddChild(std::move(dir)));
}

// A subdirectory the walk will not enter (a stop, or its parent moved away meanwhile).
void FinishUnentered(TDirNode* dir, int errorCode) {
    if (errorCode != 0)
        dir->SetErrorCode(errorCode);
    dir->SetFlag(nfIncomplete, errorCode == 0);
    dir->SetScanning(false);
}

} // namespace

void TDirScanner::WalkOwnStack(TWorker& worker) {
    while (!worker.stack.empty()) {
        try {
            Step(worker);
        } catch (...) {
            // The frame is still consistent; from now on every step only winds the stack down.
            Fail(std::current_exception());
        }
    }
}

void TDirScanner::Enter(TWorker& worker, int fd, TGroupNode* node, TDirState* parent) {
    TDirState* state = nullptr;
    try {
        state = std::make_unique<TDirState>(node, parent).release();
    } catch (...) {
        Fail(std::current_exception());
        if (fd >= 0)
            ::close(fd);
        node->SetFlag(nfIncomplete, true);
        node->SetScanning(false);
        if (parent == nullptr) {
            WalkEnded();
            return;
        }
        parent->incomplete.store(true, std::memory_order_relaxed);
        Release(parent);
        return;
    }
    node->SetScanning(true);
    node->SetErrorCode(fd >= 0 ? 0 : -fd);
    if (fd < 0) {
        Release(state);
        return;
    }
    if (parent == nullptr) {
        TEntryInfo self;
        if (fs_->StatDescriptor(fd, self) == 0) {
            rootDevice_ = self.Device;
            node->SetIdentity(IdentityStamp(self));
            if (auto* root = dynamic_cast<TRootDirNode*>(node))
                root->SetDevice(self.Device);
            rootMount_ = self.MountId;
        }
    }

    TFrame frame;
    frame.state = state;
    frame.fd = fd;
    bool cut = false;
    try {
        cut = ReadDirectory(worker, fd, node, frame.subdirs);
    } catch (...) {
        Fail(std::current_exception());
        cut = true;
    }
    if (cut)
        state->incomplete.store(true, std::memory_order_relaxed);
    if (!frame.subdirs.empty() && !Ending()) {
        const std::size_t count = frame.subdirs.size();
        frame.end = count;
        frame.pathLength = worker.path.size();
        bool pushed = false;
        try {
            std::lock_guard guard(worker.mutex);
            worker.stack.push_back(std::move(frame)); // moves nothing when it throws
            pushed = true;
        } catch (...) {
            Fail(std::current_exception());
        }
        if (pushed) {
            ++worker.openFrames;
            if (count >= 2)
                OfferWork();
            return;
        }
    }
    ::close(fd);
    // Reached with subdirectories only when push_back threw, which leaves the frame as it was.
    for (TDirNode* dir : frame.subdirs) // NOLINT(bugprone-use-after-move)
        FinishUnentered(dir, 0);
    if (!frame.subdirs.empty())
        state->incomplete.store(true, std::memory_order_relaxed);
    Release(state);
}

namespace {

// The files read so far become the directory's records however the reading ends: a stop keeps what
// the totals counted.
class TRecordsOnExit {
public:
    TRecordsOnExit(TPackedFilesWriter& writer, TGroupNode* node)
        : writer_(writer), dir_(dynamic_cast<TDirNode*>(node)) {
        writer_.Clear();
    }
    TRecordsOnExit(const TRecordsOnExit&) = delete;
    TRecordsOnExit& operator=(const TRecordsOnExit&) = delete;
    ~TRecordsOnExit() {
        if (dir_ != nullptr && writer_.Count() > 0) {
            try {
                dir_->SetFiles(TPackedFiles(writer_));
            } catch (...) {
                // Out of memory: the directory's totals stand, its files cannot be listed.
                dir_->SetErrorCode(ENOMEM);
            }
        }
    }
    void Add(const char* name, const TEntryInfo& info, bool counted) {
        if (dir_ == nullptr)
            return;
        TPackedFile file;
        file.Name = name;
        file.Size = info.Size;
        file.AllocatedSize = info.AllocatedSize;
        file.ModifyTime = info.ModifyTime;
        file.Attributes = static_cast<std::uint16_t>(info.Attributes | (counted ? 0 : kCountedAtAnotherName));
        file.Stamp = IdentityStamp(info);
        if (info.Links > 1) {
            file.Device = info.Device;
            file.Inode = info.Inode;
            file.Links = info.Links;
        }
        writer_.Add(file);
    }

private:
    TPackedFilesWriter& writer_;
    TDirNode* dir_;
};

} // namespace

bool TDirScanner::ReadDirectory(TWorker& worker, int fd, TGroupNode* node, std::vector<TDirNode*>& subdirs) {
    if (worker.names.empty())
        worker.names.resize(kNameBufferSize);
    TNameReader reader(fd, worker.names);
    auto* dir = groupThreshold_ > 0 ? dynamic_cast<TDirNode*>(node) : nullptr;
    TPendingTotals totals{node};
    TRecordsOnExit records(worker.files, node);
    bool empty = true;
    std::size_t dirLength = 0;
    if (exclusions_) {
        worker.matchPath.assign(matchRoot_);
        worker.matchPath.append(worker.path, std::min(walkRootLength_, worker.path.size()));
        if (worker.matchPath.empty() || worker.matchPath.back() != PathDelim)
            worker.matchPath.push_back(PathDelim);
        dirLength = worker.matchPath.size();
    }
    while (const char* name = reader.Next()) {
        if (Ending())
            return true;
        // An excluded entry is matched by its name alone, before it costs a stat; it still makes its
        // directory not empty.
        if (exclusions_) {
            worker.matchPath.resize(dirLength);
            worker.matchPath.append(name);
            if (exclusions_->Matches(worker.matchPath)) {
                if (std::exchange(empty, false))
                    node->SetFlag(nfEmpty, false);
                continue;
            }
        }
        TEntryInfo info;
        const int statError = fs_->StatEntry(fd, name, info);
        if (statError == ENOENT)
            continue; // vanished between readdir and stat: it no longer exists, count nothing
        if (std::exchange(empty, false))
            node->SetFlag(nfEmpty, false);
        if (statError != 0) {
            // Listed but not searchable (no x permission), say: the entry cannot be counted, and the
            // directory's totals are short of it. The first such error stays on the directory.
            if (node->ErrorCode() == 0)
                node->SetErrorCode(statError);
            continue;
        }
        // Something is mounted here, a bind mount of this file system or another one: the edge of the
        // tree. A file's device alone does not tell, as an overlay gives its files their layer's.
        const bool mounted = rootMount_ != 0 && info.MountId != rootMount_;
        if (!info.IsDirectory) {
            // A file mounted here is listed, as a directory mounted here is, but its bytes are those of
            // the mount's source, counted where that lies if anywhere.
            if (mounted)
                info.Size = info.AllocatedSize = 0;
            // Only files with several names are remembered, so a tree without hard links pays nothing.
            else if (hardLinks_ != nullptr && info.Links > 1 &&
                     !hardLinks_->Insert(info.Device, info.Inode, node)) {
                records.Add(name, info, false);
                continue;
            }
            records.Add(name, info, true);
            ++totals.files;
            totals.size += info.Size;
            totals.allocated += info.AllocatedSize;
            if (dir != nullptr && groupThreshold_ > info.Size) {
                if (totals.group == nullptr)
                    totals.group = dir->GetFileGroup();
                ++totals.groupFiles;
                totals.groupSize += info.Size;
                totals.groupAllocated += info.AllocatedSize;
            } else {
                ++totals.ownFiles;
                totals.ownSize += info.Size;
                totals.ownAllocated += info.AllocatedSize;
            }
            if (++totals.batched == kFlushEvery)
                totals.Flush();
            continue;
        }
        if (mounted || info.Device != rootDevice_) {
            // Listed, not entered.
            AddDirNode(node, name, static_cast<std::uint16_t>(info.Attributes | faReparsePoint))
                ->SetIdentity(IdentityStamp(info));
            continue;
        }
        // Room first: a node linked into the tree must also be in the list that finishes it.
        subdirs.push_back(nullptr);
        try {
            subdirs.back() = AddScanningDir(node, name, info);
        } catch (...) {
            subdirs.pop_back();
            throw;
        }
    }
    if (reader.Error() != 0)
        node->SetErrorCode(reader.Error());
    return false;
}

void TDirScanner::Step(TWorker& worker) {
    TFrame& top = worker.stack.back();
    if (Ending() || top.fd < 0) {
        // A stop, or the way back up through ".." led elsewhere: the directory moved away meanwhile.
        const int errorCode = Ending() ? 0 : ESTALE;
        if (errorCode != 0)
            top.state->node->SetErrorCode(errorCode);
        std::size_t from = 0;
        std::size_t to = 0;
        {
            std::lock_guard guard(worker.mutex);
            from = top.next;
            to = top.end;
            top.next = top.end;
        }
        for (std::size_t i = from; i < to; ++i)
            FinishUnentered(top.subdirs[i], errorCode);
        if (errorCode == 0 && from < to)
            top.state->incomplete.store(true, std::memory_order_relaxed);
        PopTop(worker);
        return;
    }
    TDirNode* child = nullptr;
    {
        std::lock_guard guard(worker.mutex);
        if (top.next < top.end) {
            child = top.subdirs[top.next];
            worker.path.resize(top.pathLength);
            if (worker.path.back() != PathDelim)
                worker.path.push_back(PathDelim);
            worker.path.append(child->Name()); // before the child is taken: it may throw
            ++top.next;
            top.state->holds.fetch_add(1, std::memory_order_relaxed);
            worker.active = true;
        }
    }
    if (child == nullptr) {
        PopTop(worker);
        return;
    }
    TDirState* parent = top.state;
    MakeRoomForDescriptor(worker, descriptorsPerWorker_);
    int fd = -1;
    try {
        fd = fs_->OpenDirectory(worker.stack.back().fd, child->Name().c_str());
        if (IsOutOfDescriptors(fd))
            fd = OpenWhenDescriptorsFree(
                worker, [&] { return fs_->OpenDirectory(worker.stack.back().fd, child->Name().c_str()); });
    } catch (...) {
        Fail(std::current_exception());
        FinishUnentered(child, 0);
        parent->incomplete.store(true, std::memory_order_relaxed);
        Release(parent);
        return;
    }
    Enter(worker, fd, child, parent);
}

void TDirScanner::PopTop(TWorker& worker) {
    TFrame& top = worker.stack.back();
    if (worker.stack.size() >= 2) {
        TFrame& below = worker.stack[worker.stack.size() - 2];
        if (below.fd < 0 && top.fd >= 0) {
            // Given up for the budget: back through "..", if that still leads to the same directory.
            int fd = -1;
            TEntryInfo info;
            try {
                fd = fs_->OpenDirectory(top.fd, "..");
                if (IsOutOfDescriptors(fd))
                    fd = OpenWhenDescriptorsFree(worker, [&] { return fs_->OpenDirectory(top.fd, ".."); });
                if (fd >= 0 && (fs_->StatDescriptor(fd, info) != 0 || info.Device != below.device ||
                                info.Inode != below.inode)) {
                    ::close(fd);
                    fd = -1;
                }
            } catch (...) {
                Fail(std::current_exception());
                if (fd >= 0)
                    ::close(fd);
                fd = -1;
            }
            if (fd >= 0) {
                std::lock_guard guard(worker.mutex);
                below.fd = fd;
                ++worker.openFrames;
                worker.firstOpen = std::min(worker.firstOpen, worker.stack.size() - 2);
            }
        }
    }
    TDirState* state = top.state;
    const int fd = top.fd;
    {
        std::lock_guard guard(worker.mutex);
        worker.stack.pop_back();
        worker.firstOpen = std::min(worker.firstOpen, worker.stack.size());
    }
    if (fd >= 0) {
        ::close(fd);
        --worker.openFrames;
    }
    Release(state);
}

// Each frame given up is looked at first, so that the way back through ".." can be checked.
void TDirScanner::MakeRoomForDescriptor(TWorker& worker, int limit) {
    if (worker.openFrames < limit)
        return;
    std::lock_guard guard(worker.mutex);
    for (std::size_t i = worker.firstOpen; worker.openFrames >= limit && i + 1 < worker.stack.size(); ++i) {
        TFrame& frame = worker.stack[i];
        worker.firstOpen = i;
        if (frame.fd < 0)
            continue;
        TEntryInfo self;
        bool known = false;
        try {
            known = fs_->StatDescriptor(frame.fd, self) == 0;
        } catch (...) {
            Fail(std::current_exception());
        }
        // Unknown, the way back will not match, and the rest of the directory is given up.
        frame.device = known ? self.Device : 0;
        frame.inode = known ? self.Inode : 0;
        ::close(frame.fd);
        frame.fd = -1;
        --worker.openFrames;
    }
}

int TDirScanner::OpenWhenDescriptorsFree(TWorker& worker, const std::function<int()>& open) {
    MakeRoomForDescriptor(worker, 1);
    // Other workers, other scans or the rest of the program hold the rest, and give them back as
    // their directories end: a skipped directory would be missing from the totals for good.
    return quorvex::OpenWhenDescriptorsFree(open, [this] { return Ending(); });
}

} // namespace quorvex
