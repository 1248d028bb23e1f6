#include "export/DirectoryReadAhead.h"

#include "model/FileSystemNode.h"
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
            return;
        const std::size_t at = next_++;
        if (at < consumed_)
            continue; // the writer has gone past it
        lock.unlock();
        TSlot slot = ReadOne(order_[at]);
        lock.lock();
        slot.Ready = true;
        slots_[at] = std::move(slot);
        changed_.notify_all();
    }
}

// Names only: nodes' names never change while a tree is written, and no child list is touched, so
// the readers take none of the tree's locks.
TDirectoryReadAhead::TSlot TDirectoryReadAhead::ReadOne(const TDirNode* dir) const {
    TSlot slot;
    TFileSystemApi& fs = DefaultFileSystem();
    int fd = -1;
    if (dir == &root_) {
        fd = ::fcntl(rootFd_, F_DUPFD_CLOEXEC, 0);
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
    changed_.wait(lock, [&] { return slots_[at].Ready; });
    std::optional<TListing> listing;
    if (slots_[at].Ready && slots_[at].Opened)
        listing = std::move(slots_[at].Listing);
    slots_[at] = {};
    consumed_ = at + 1;
    changed_.notify_all();
    return listing;
}

} // namespace quorvex
