#include "export/DirectoryReadAhead.h"

#include "model/RootNodes.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace quorvex {

int ReadDirectoryFiles(TFileSystemApi& fs, int fd, std::vector<TNcduExport::TFileEntry>& files) {
    TDirStream stream(fd);
    if (stream.Fd() < 0)
        return stream.Error();
    // A file mounted here is written at size 0, as the scan counted it.
    TEntryInfo self;
    const std::uint64_t mount = fs.StatDescriptor(stream.Fd(), self) == 0 ? self.MountId : 0;
    unsigned char type = 0;
    while (const char* name = stream.Next(type)) {
        if (type == DT_DIR)
            continue;
        TEntryInfo info;
        if (const int error = fs.StatEntry(stream.Fd(), name, info); error != 0) {
            if (error == ENOENT)
                continue; // deleted since the scan
            files.clear();
            return error;
        }
        if (info.IsDirectory)
            continue;
        if (mount != 0 && info.MountId != mount) {
            info.Size = info.AllocatedSize = 0;
            info.Links = 1; // its identity is the source's, which this tree does not count
        }
        const bool regular = (info.Attributes & (faSystem | faReparsePoint)) == 0;
        files.push_back({name, info.Size, info.AllocatedSize, !regular, info.Inode, info.Links, info.Device});
    }
    if (stream.Error() != 0) {
        files.clear();
        return stream.Error();
    }
    // The order by name makes the file the same whether its files came from nodes or from the disk.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return 0;
}

TDirectoryReadAhead::TDirectoryReadAhead(const TRootDirNode& root, std::vector<const TDirNode*> order,
                                         int threads)
    : rootFd_(DefaultFileSystem().OpenRootDirectory(root.Name().c_str())), root_(root),
      order_(std::move(order)), slots_(order_.size()) {
    for (std::size_t i = 0; i < order_.size(); ++i)
        index_.emplace(order_[i], i);
    if (rootFd_ < 0)
        return; // the writer reads every directory itself and reports the error
    reading_ = threads;
    for (int i = 0; i < threads; ++i)
        readers_.emplace_back([this] { Read(); });
}

TDirectoryReadAhead::~TDirectoryReadAhead() {
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (auto& reader : readers_)
        reader.join();
    if (rootFd_ >= 0)
        ::close(rootFd_);
}

void TDirectoryReadAhead::Read() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || next_ >= order_.size() || next_ < consumed_ + kAhead; });
        if (stop_ || next_ >= order_.size())
            break;
        const std::size_t at = next_++;
        if (at < consumed_)
            continue; // the writer has gone past it
        lock.unlock();
        bool outOfDescriptors = false;
        TSlot slot = ReadOne(order_[at], outOfDescriptors);
        lock.lock();
        slot.Ready = true;
        slots_[at] = std::move(slot);
        changed_.notify_all();
        // Waiting here for a descriptor could wait for the writer's, which waits for this reader.
        if (outOfDescriptors)
            break;
    }
    --reading_;
    changed_.notify_all();
}

// Names only: nodes' names never change while a tree is written, and no child list is touched, so
// the readers take none of the tree's locks.
TDirectoryReadAhead::TSlot TDirectoryReadAhead::ReadOne(const TDirNode* dir, bool& outOfDescriptors) const {
    TSlot slot;
    TFileSystemApi& fs = DefaultFileSystem();
    int fd = -1;
    if (dir == &root_) {
        fd = ::fcntl(rootFd_, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            fd = -errno;
    } else {
        std::vector<const std::string*> names;
        std::size_t length = 0;
        for (const TFileSystemNode* node = dir; node != &root_ && node != nullptr; node = node->Parent()) {
            if (node->GetNodeType() != ntFileGroup) {
                names.push_back(&node->Name());
                length += node->Name().size() + 1;
            }
        }
        std::string path;
        path.reserve(length);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            if (!path.empty())
                path += PathDelim;
            path += **name;
        }
        fd = fs.OpenDirectoryBeneath(rootFd_, path.c_str());
    }
    outOfDescriptors = IsOutOfDescriptors(fd);
    if (fd < 0)
        return slot;
    slot.Opened = true;
    slot.Listing.Error = ReadDirectoryFiles(fs, fd, slot.Listing.Files);
    return slot;
}

std::optional<TDirectoryReadAhead::TListing> TDirectoryReadAhead::Take(const TDirNode* dir) {
    const auto found = index_.find(dir);
    if (found == index_.end() || readers_.empty())
        return std::nullopt;
    const std::size_t at = found->second;
    std::unique_lock lock(mutex_);
    if (at < consumed_)
        return std::nullopt;
    consumed_ = at;
    changed_.notify_all();
    // With every reader stopped, what none of them took is the writer's.
    changed_.wait(lock, [&] { return slots_[at].Ready || reading_ == 0; });
    std::optional<TListing> listing;
    if (slots_[at].Ready && slots_[at].Opened)
        listing = std::move(slots_[at].Listing);
    slots_[at] = {};
    consumed_ = at + 1;
    changed_.notify_all();
    return listing;
}

} // namespace quorvex
