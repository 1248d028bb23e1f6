#include "export/NcduExport.h"

#include "export/DirectoryReadAhead.h"
#include "export/NcduImport.h"
#include "i18n/Translation.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DiskListing.h"
#include "support/PosixDir.h"
#include "support/Version.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

bool IsMountPoint(const TFileSystemNode* node) {
    return (node->Attributes() & faReparsePoint) != 0;
}

bool AllFilesAreNodes(const TDirNode* dir) {
    if (!dir->HasFlag(nfFilesListed))
        return false;
    const TFileGroupNode* group = dir->FileGroup();
    return group == nullptr || group->HasFlag(nfFilesListed);
}

// An imported tree knows the allocated sizes only when its file gave them for every file.
void AddFileNodes(const TGroupNode* group, bool withAllocated, std::vector<TNcduExport::TFileEntry>& files) {
    const TChildrenLock guard(group);
    for (const auto& child : guard.Children()) {
        if (child->GetNodeType() != ntFile)
            continue;
        std::optional<std::int64_t> allocated;
        if (withAllocated)
            allocated = child->GetSize(TSizeKind::Allocated);
        files.push_back({child->Name(), child->GetSize(), allocated, child->IsSystem()});
    }
}

} // namespace

std::string JsonString(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string TNcduExport::GetDescription() {
    return TranslateText("ncdu scan file (JSON)");
}

namespace {

// The order by name makes the file the same whether its files came from nodes or from the disk.
void SortByName(std::vector<TNcduExport::TFileEntry>& files) {
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
}

} // namespace

TNcduExport::TNcduExport(const TFileSystemNode* root) : TTextExport(root) {
    const auto* rootDir = dynamic_cast<const TRootDirNode*>(root);
    imported_ = rootDir != nullptr && IsImportedTree(*rootDir);
    allocatedKnown_ = !imported_ || !rootDir->HasFlag(nfAllocatedUnknown);
    const TFileSystemNode* top = root;
    while (top->Parent() != nullptr)
        top = top->Parent();
    const auto* topRoot = dynamic_cast<const TRootNode*>(top);
    hardLinksOnce_ = topRoot != nullptr && topRoot->HardLinksOnce();
}

TNcduExport::~TNcduExport() {
    readAhead_.reset();
    for (const TLevel& level : levels_) {
        if (level.fd >= 0)
            ::close(level.fd);
    }
}

int TNcduExport::ListDirectoryFiles(std::vector<TFileEntry>& files) {
    files.clear();
    const TDirNode* dir = levels_.back().dir;
    // Every directory keeps its files' records, listed or not: read from the disk by the walk, or
    // from the scan file the tree was opened from.
    if (dir != nullptr) {
        {
            dir->ForEachFile([&files, this](const TPackedFile& file) {
                std::optional<std::int64_t> allocated;
                if (allocatedKnown_)
                    allocated = file.AllocatedSize;
                // The identities the file was read with, so that counting once reads back the same.
                files.push_back(
                    {std::string(file.Name), file.Size, allocated, (file.Attributes & faSystem) != 0,
                     file.Inode,
                     static_cast<std::uint32_t>(std::clamp<std::uint64_t>(file.Links, 1, UINT32_MAX)),
                     file.Device});
            });
        }
        SortByName(files);
        return 0;
    }
    // Counting once, the reader needs the identities of the files, which only the disk knows.
    const bool listed = AllFilesAreNodes(dir) && !hardLinksOnce_;
    if (listed) {
        AddFileNodes(dir, allocatedKnown_, files);
        if (const TFileGroupNode* group = dir->FileGroup())
            AddFileNodes(group, allocatedKnown_, files);
        SortByName(files);
    }
    if (listed)
        return 0;
    if (readAhead_) {
        if (auto listing = readAhead_->Take(dir)) {
            files = std::move(listing->Files);
            return listing->Error;
        }
    }
    const int fd = LevelDescriptor(levels_.size() - 1);
    if (fd < 0)
        return -fd;
    // The level keeps its own descriptor to open the directories below from.
    const int copy = OpenOrMakeRoom(levels_.size() - 1, [fd] {
        const int copied = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        return copied >= 0 ? copied : -errno;
    });
    if (copy < 0)
        return -copy;
    const int error = ReadDirectoryFiles(DefaultFileSystem(), copy, files);
    SortByName(files);
    return error;
}

// A scanned tree is opened directory by directory, each relative to the one above, so that a directory
// costs one open instead of one per level of its path, at any depth.
void TNcduExport::PushLevel(const TDirNode* dir) {
    TLevel level;
    level.dir = dir;
    // A drive of "Local Drives" written at its mount point is opened by its own path.
    level.fromTop =
        levels_.empty() || levels_.back().dir == nullptr || dynamic_cast<const TRootDirNode*>(dir) != nullptr;
    levels_.push_back(level);
}

void TNcduExport::PopLevel() {
    const TLevel top = levels_.back();
    if (levels_.size() >= 2 && top.fd >= 0 && levels_[levels_.size() - 2].dropped) {
        // Back through "..", if that still leads to the directory that was given up; if not, it is
        // opened by its path should it be needed again.
        TLevel& below = levels_[levels_.size() - 2];
        TFileSystemApi& fs = DefaultFileSystem();
        const int fd = OpenOrMakeRoom(levels_.size() - 1, [&] { return fs.OpenDirectory(top.fd, ".."); });
        TEntryInfo info;
        if (fd >= 0 && fs.StatDescriptor(fd, info) == 0 && info.Device == below.device &&
            info.Inode == below.inode) {
            below.fd = fd;
            below.dropped = false;
            ++openLevels_;
            firstOpenLevel_ = std::min(firstOpenLevel_, levels_.size() - 2);
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    if (top.fd >= 0) {
        ::close(top.fd);
        --openLevels_;
    }
    levels_.pop_back();
    firstOpenLevel_ = std::min(firstOpenLevel_, levels_.size());
}

int TNcduExport::LevelDescriptor(std::size_t index) {
    std::size_t from = index;
    while (from > 0 && levels_[from].fd < 0 && !levels_[from].fromTop && !levels_[from].dropped)
        --from;
    for (std::size_t i = from; i <= index; ++i) {
        if (levels_[i].fd >= 0)
            continue;
        if (const int fd = OpenLevel(i); fd < 0)
            return fd;
    }
    return levels_[index].fd;
}

int TNcduExport::OpenLevel(std::size_t index) {
    TLevel& level = levels_[index];
    if (level.dir == nullptr)
        return -ENOTDIR;
    TFileSystemApi& fs = DefaultFileSystem();
    const bool fromTop = level.fromTop || level.dropped || index == 0;
    const std::size_t keep = fromTop ? index : index - 1;
    DropLevels(heldBudget_, keep);
    const auto open = [&] {
        return fromTop ? OpenNodeDirectory(level.dir, fs)
                       : fs.OpenDirectory(levels_[index - 1].fd, level.dir->Name().c_str());
    };
    const int fd = OpenOrMakeRoom(keep, open);
    if (fd < 0)
        return fd;
    TEntryInfo info;
    if (const int error = fs.StatDescriptor(fd, info); error != 0) {
        ::close(fd);
        return -error;
    }
    // The scan entered no mount point, so one found here now stands for nothing the tree holds.
    if (!fromTop && (info.Device != levels_[index - 1].device || info.MountId != levels_[index - 1].mount)) {
        ::close(fd);
        return -EXDEV;
    }
    level.fd = fd;
    level.dropped = false;
    level.device = info.Device;
    level.inode = info.Inode;
    level.mount = info.MountId;
    ++openLevels_;
    firstOpenLevel_ = std::min(firstOpenLevel_, index);
    return fd;
}

int TNcduExport::OpenOrMakeRoom(std::size_t keep, const std::function<int()>& open) {
    int fd = open();
    if (!IsOutOfDescriptors(fd))
        return fd;
    DropLevels(1, keep);
    fd = open();
    // The readers ahead hold the rest: the writer goes on alone, as it would with none.
    if (IsOutOfDescriptors(fd) && readAhead_) {
        readAhead_.reset();
        fd = open();
    }
    // Something else may give some back: a directory given up would be a hole in the file. Waited for
    // once only, since waiting again for each directory would look like a hang.
    if (IsOutOfDescriptors(fd) && !starved_) {
        fd = OpenWhenDescriptorsFree(open);
        starved_ = IsOutOfDescriptors(fd);
    }
    return fd;
}

void TNcduExport::DropLevels(int limit, std::size_t keep) {
    for (std::size_t i = firstOpenLevel_; openLevels_ >= limit && i < levels_.size() && i != keep; ++i) {
        firstOpenLevel_ = i;
        TLevel& level = levels_[i];
        if (level.fd < 0)
            continue;
        ::close(level.fd);
        level.fd = -1;
        level.dropped = true;
        --openLevels_;
    }
}

void TNcduExport::StartReadAhead(int threads) {
    const auto* root = dynamic_cast<const TRootDirNode*>(Root());
    if (imported_ || threads <= 0 || root == nullptr || root->Parent() != nullptr)
        return;
    // The directories whose files the writer reads from the disk, in the order it writes them. The
    // readers open each by its path below the root in one call, which cannot reach beyond PATH_MAX:
    // deeper ones are the writer's, which goes level by level.
    std::vector<const TDirNode*> order;
    std::vector<std::pair<const TDirNode*, std::size_t>> pending{{root, 0}};
    while (!pending.empty()) {
        const auto [dir, length] = pending.back();
        pending.pop_back();
        if ((dir != root && IsMountPoint(dir)) || length >= PATH_MAX)
            continue;
        if (hardLinksOnce_ || !AllFilesAreNodes(dir))
            order.push_back(dir);
        const TChildrenLock guard(dir);
        const TMemNodeList& children = guard.Children();
        for (int i = children.Count() - 1; i >= 0; --i) {
            if (const auto* child = dynamic_cast<const TDirNode*>(children.Items(i)))
                pending.emplace_back(child, length + (length > 0 ? 1 : 0) + child->Name().size());
        }
    }
    readAhead_ = std::make_unique<TDirectoryReadAhead>(*root, std::move(order), threads);
}

int TNcduExport::DefaultReadAheadThreads() {
    // Reading a directory mostly waits for the kernel, as a scan does: more readers than cores pay.
    return static_cast<int>(std::clamp(2 * std::thread::hardware_concurrency(), 2U, 8U));
}

void TNcduExport::WriteHeader(std::ostream& stream) {
    // A quarter of what is free for the levels held; besides them the writer needs a copy of the
    // level it reads and one more while it opens a directory by its path. Each reader ahead needs
    // one, and they share one for the root.
    const int free = FreeDescriptorCount();
    heldBudget_ = std::clamp(free / 4, 2, kMaxHeldDirectories);
    StartReadAhead(std::min(readAheadThreads_, free - heldBudget_ - 3));
    WriteText(stream, "[1,2,{\"progname\":\"quorvex\",\"progver\":");
    WriteText(stream, JsonString(kVersionText));
    WriteText(stream, ",\"timestamp\":" + std::to_string(static_cast<long long>(std::time(nullptr))) + "}");
}

void TNcduExport::WriteFooter(std::ostream& stream) {
    readAhead_.reset();
    WriteText(stream, "]\n");
}

void TNcduExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    if (drivesWritten_) {
        opened_.push_back(false);
        PushLevel(nullptr);
        return;
    }
    WriteText(stream, ",\n");
    if (node->GetNodeType() == ntFixedDrives) {
        WriteDrives(static_cast<const TGroupNode*>(node), stream);
        drivesWritten_ = true;
        opened_.push_back(false);
        PushLevel(nullptr);
        return;
    }
    const bool isRoot = opened_.empty();
    // The writers of the format record a file system they did not enter as an excluded entry.
    if (!isRoot && IsMountPoint(node)) {
        WriteText(stream, "{\"name\":" + JsonString(node->Name()) + ",\"excluded\":\"otherfs\"}");
        opened_.push_back(false);
        PushLevel(nullptr);
        return;
    }
    OpenDirectory(static_cast<const TDirNode*>(node), node->Name(), stream);
}

void TNcduExport::OpenDirectory(const TDirNode* dir, const std::string& name, std::ostream& stream) {
    files_.clear();
    PushLevel(dir);
    const int listError = dir != nullptr ? ListDirectoryFiles(files_) : 0;
    std::string text = "[{\"name\":" + JsonString(name);
    // A directory a stopped scan never read is as unknown to a reader as one it could not read.
    if (dir != nullptr && (dir->ErrorCode() != 0 || listError != 0 || WasNotScanned(dir)))
        text += ",\"read_error\":true";
    // One the scan could not read is named already.
    if (listError != 0 && dir->ErrorCode() == 0)
        AddReadFailure(dir, listError);
    // A file's identity is its inode on its device: without the device, files of two drives that
    // happen to share an inode number would be taken for names of one file. The directory is on the
    // device of its files; readers inherit the device of the directory above, so it is written
    // where it changes.
    std::uint64_t device = devices_.empty() ? 0 : devices_.back();
    if (hardLinksOnce_) {
        const auto linked =
            std::find_if(files_.begin(), files_.end(), [](const TFileEntry& f) { return f.Links > 1; });
        if (linked != files_.end() && linked->Device != device) {
            device = linked->Device;
            text += ",\"dev\":" + std::to_string(device);
        }
    }
    text += '}';
    for (const TFileEntry& file : files_) {
        text += ",\n{\"name\":" + JsonString(file.Name) + ",\"asize\":" + std::to_string(file.Size);
        if (file.AllocatedSize)
            text += ",\"dsize\":" + std::to_string(*file.AllocatedSize);
        if (file.NotRegular)
            text += ",\"notreg\":true";
        // Only when we count once: a reader that saw the identities would count once where we count
        // every name.
        if (hardLinksOnce_ && file.Links > 1)
            text += ",\"ino\":" + std::to_string(file.Inode) + ",\"nlink\":" + std::to_string(file.Links) +
                    ",\"hlnkc\":true";
        text += '}';
    }
    WriteText(stream, text);
    opened_.push_back(true);
    devices_.push_back(device);
}

void TNcduExport::EndNode(std::ostream& stream) {
    CloseDirectory(stream);
}

void TNcduExport::CloseDirectory(std::ostream& stream) {
    if (opened_.back()) {
        WriteText(stream, "]");
        devices_.pop_back();
    }
    opened_.pop_back();
    PopLevel();
}

} // namespace quorvex
