#include "export/NcduExport.h"

#include "export/DirectoryReadAhead.h"
#include "export/NcduImport.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "model/PackedFiles.h"
#include "support/PosixDir.h"
#include "support/Version.h"

#include <algorithm>
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
    hardLinksOnce_ = !imported_ && topRoot != nullptr && topRoot->HardLinksOnce();
}

TNcduExport::~TNcduExport() {
    readAhead_.reset();
    for (const int fd : heldFds_) {
        if (fd >= 0)
            ::close(fd);
    }
}

int TNcduExport::ListDirectoryFiles(const TDirNode* dir, std::vector<TFileEntry>& files, int& held) {
    files.clear();
    held = -1;
    // An imported tree is not on this disk: its directories keep every file, listed or not.
    if (imported_) {
        if (const TPackedFiles* packed = PackedFilesOf(dir)) {
            packed->ForEach([&files, this](const TPackedFile& file) {
                std::optional<std::int64_t> allocated;
                if (allocatedKnown_)
                    allocated = file.AllocatedSize;
                files.push_back(
                    {std::string(file.Name), file.Size, allocated, (file.Attributes & faSystem) != 0});
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
    if (readAhead_) {
        if (listed)
            return 0;
        if (auto listing = readAhead_->Take(dir)) {
            files = std::move(listing->Files);
            return listing->Error;
        }
    }
    // A scanned tree is opened directory by directory, each relative to its parent's descriptor held
    // open on the way down, so that a directory costs one open instead of one per level of its path.
    // Deep below, descriptors are no longer held.
    TFileSystemApi& fs = DefaultFileSystem();
    // A drive of "Local Drives" written at its mount point is opened by its own path.
    const bool fromTop = heldFds_.empty() || dynamic_cast<const TRootDirNode*>(dir) != nullptr;
    const int parent = fromTop ? -1 : heldFds_.back();
    const int fd = parent >= 0 ? fs.OpenDirectory(parent, dir->Name().c_str()) : OpenNodeDirectory(dir, fs);
    if (fd < 0)
        return listed ? 0 : -fd;
    if (heldFds_.size() < kMaxHeldDirectories)
        held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (listed) {
        ::close(fd);
        return 0;
    }
    const int error = ReadDirectoryFiles(fs, fd, files);
    SortByName(files);
    return error;
}

void TNcduExport::StartReadAhead() {
    const auto* root = dynamic_cast<const TRootDirNode*>(Root());
    if (imported_ || readAheadThreads_ <= 0 || root == nullptr || root->Parent() != nullptr)
        return;
    // The directories whose files the writer reads from the disk, in the order it writes them.
    std::vector<const TDirNode*> order;
    std::vector<const TDirNode*> pending{root};
    while (!pending.empty()) {
        const TDirNode* dir = pending.back();
        pending.pop_back();
        if (dir != root && IsMountPoint(dir))
            continue;
        if (hardLinksOnce_ || !AllFilesAreNodes(dir))
            order.push_back(dir);
        const TChildrenLock guard(dir);
        const TMemNodeList& children = guard.Children();
        for (int i = children.Count() - 1; i >= 0; --i) {
            if (const auto* child = dynamic_cast<const TDirNode*>(children.Items(i)))
                pending.push_back(child);
        }
    }
    readAhead_ = std::make_unique<TDirectoryReadAhead>(*root, std::move(order), readAheadThreads_);
}

int TNcduExport::DefaultReadAheadThreads() {
    // Reading a directory mostly waits for the kernel, as a scan does: more readers than cores pay.
    return static_cast<int>(std::clamp(2 * std::thread::hardware_concurrency(), 2U, 8U));
}

void TNcduExport::WriteHeader(std::ostream& stream) {
    StartReadAhead();
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
        heldFds_.push_back(-1);
        return;
    }
    WriteText(stream, ",\n");
    if (node->GetNodeType() == ntFixedDrives) {
        WriteDrives(static_cast<const TGroupNode*>(node), stream);
        drivesWritten_ = true;
        opened_.push_back(false);
        heldFds_.push_back(-1);
        return;
    }
    const bool isRoot = opened_.empty();
    // The writers of the format record a file system they did not enter as an excluded entry.
    if (!isRoot && IsMountPoint(node)) {
        WriteText(stream, "{\"name\":" + JsonString(node->Name()) + ",\"excluded\":\"otherfs\"}");
        opened_.push_back(false);
        heldFds_.push_back(-1);
        return;
    }
    OpenDirectory(static_cast<const TDirNode*>(node), node->Name(), stream);
}

void TNcduExport::OpenDirectory(const TDirNode* dir, const std::string& name, std::ostream& stream) {
    int held = -1;
    files_.clear();
    const int listError = dir != nullptr ? ListDirectoryFiles(dir, files_, held) : 0;
    std::string text = "[{\"name\":" + JsonString(name);
    // A directory a stopped scan never read is as unknown to a reader as one it could not read.
    if (dir != nullptr && (dir->ErrorCode() != 0 || listError != 0 || WasNotScanned(dir)))
        text += ",\"read_error\":true";
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
    heldFds_.push_back(held);
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
    if (heldFds_.back() >= 0)
        ::close(heldFds_.back());
    heldFds_.pop_back();
}

} // namespace quorvex
