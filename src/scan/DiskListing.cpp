#include "scan/DiskListing.h"

#include "support/PosixDir.h"

#include <cerrno>
#include <string>
#include <unistd.h>
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

} // namespace quorvex
