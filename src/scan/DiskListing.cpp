#include "scan/DiskListing.h"

#include "diag/QxLogger.h"
#include "model/HardLinkSet.h"
#include "model/TreeOperations.h"
#include "support/FileAttributes.h"
#include "support/PosixDir.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quorvex {

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
    target->AdoptListedFiles(std::move(found));
    return count;
}

} // namespace quorvex
