#include "export/NcduExport.h"

#include "export/NcduImport.h"
#include "i18n/Translation.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "support/Version.h"

#include <algorithm>
#include <ctime>
#include <string_view>

namespace quorvex {
namespace {

bool IsMountPoint(const TFileSystemNode* node) {
    return (node->Attributes() & faReparsePoint) != 0;
}

// A directory's records, copied out of its lock (a deletion may replace them meanwhile), their names
// into `names`, and ordered by name, so that the file is the same whether the records came from a
// walk in the disk's order or from a scan file.
std::vector<TPackedFile> SortedFiles(const TDirNode& dir, std::vector<std::string>& names) {
    std::vector<TPackedFile> files;
    names.clear();
    dir.ForEachFile([&](const TPackedFile& file) {
        files.push_back(file);
        names.emplace_back(file.Name);
    });
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i].Name = names[i];
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return files;
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

TNcduExport::TNcduExport(const TFileSystemNode* root) : TTextExport(root) {
    const auto* rootDir = dynamic_cast<const TRootDirNode*>(root);
    allocatedKnown_ =
        rootDir == nullptr || !IsImportedTree(*rootDir) || !rootDir->HasFlag(nfAllocatedUnknown);
    const TFileSystemNode* top = root;
    while (top->Parent() != nullptr)
        top = top->Parent();
    const auto* topRoot = dynamic_cast<const TRootNode*>(top);
    hardLinksOnce_ = topRoot != nullptr && topRoot->HardLinksOnce();
    if (rootDir != nullptr)
        rootDevice_ = rootDir->Device();
}

void TNcduExport::WriteHeader(std::ostream& stream) {
    WriteText(stream, "[1,2,{\"progname\":\"quorvex\",\"progver\":");
    WriteText(stream, JsonString(kVersionText));
    WriteText(stream, ",\"timestamp\":" + std::to_string(static_cast<long long>(std::time(nullptr))) + "}");
}

void TNcduExport::WriteFooter(std::ostream& stream) {
    WriteText(stream, "]\n");
}

void TNcduExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    if (drivesWritten_) {
        opened_.push_back(false);
        return;
    }
    WriteText(stream, ",\n");
    if (node->GetNodeType() == ntFixedDrives) {
        WriteDrives(static_cast<const TGroupNode*>(node), stream);
        drivesWritten_ = true;
        opened_.push_back(false);
        return;
    }
    const bool isRoot = opened_.empty();
    // The writers of the format record a file system they did not enter as an excluded entry.
    if (!isRoot && IsMountPoint(node)) {
        WriteText(stream, "{\"name\":" + JsonString(node->Name()) + ",\"excluded\":\"otherfs\"}");
        opened_.push_back(false);
        return;
    }
    OpenDirectory(static_cast<const TDirNode*>(node), node->Name(), stream);
}

void TNcduExport::OpenDirectory(const TDirNode* dir, const std::string& name, std::ostream& stream) {
    std::vector<std::string> names;
    const std::vector<TPackedFile> files =
        dir != nullptr ? SortedFiles(*dir, names) : std::vector<TPackedFile>();
    std::string text = "[{\"name\":" + JsonString(name);
    // A directory a stopped scan never read is as unknown to a reader as one it could not read.
    if (dir != nullptr && (dir->ErrorCode() != 0 || WasNotScanned(dir)))
        text += ",\"read_error\":true";
    // A file's identity is its inode on its device: without the device, files of two drives that
    // happen to share an inode number would be taken for names of one file. The directory is on the
    // device of its files; readers inherit the device of the directory above, so it is written
    // where it changes.
    std::uint64_t device = devices_.empty() ? 0 : devices_.back();
    if (identities_ && devices_.empty() && rootDevice_ != 0) {
        device = rootDevice_;
        text += ",\"dev\":" + std::to_string(device);
    }
    // The identity stamp rather than the bare inode number, which a file system hands on to the next
    // folder made: a comparison must not take a new folder for an old one moved.
    if (identities_ && dir != nullptr && dir->Identity() != 0)
        text += ",\"ino\":" + std::to_string(dir->Identity());
    if (hardLinksOnce_) {
        const auto linked =
            std::find_if(files.begin(), files.end(), [](const TPackedFile& f) { return f.Links > 1; });
        if (linked != files.end() && linked->Device != device) {
            device = linked->Device;
            text += ",\"dev\":" + std::to_string(device);
        }
    }
    text += '}';
    for (const TPackedFile& file : files) {
        text +=
            ",\n{\"name\":" + JsonString(std::string(file.Name)) + ",\"asize\":" + std::to_string(file.Size);
        // Written only when known: a made-up figure would mislead the reader's disk usage.
        if (allocatedKnown_)
            text += ",\"dsize\":" + std::to_string(file.AllocatedSize);
        if ((file.Attributes & faSystem) != 0)
            text += ",\"notreg\":true";
        // The format's time is unsigned: a time before 1970 is left out, as an unknown one, rather than
        // make the file unreadable.
        if (file.ModifyTime > 0)
            text += ",\"mtime\":" + std::to_string(file.ModifyTime);
        // Only when we count once: a reader that saw the identities would count once where we count
        // every name.
        if (hardLinksOnce_ && file.Links > 1)
            text += ",\"ino\":" + std::to_string(file.Inode) +
                    ",\"nlink\":" + std::to_string(std::min<std::uint64_t>(file.Links, UINT32_MAX)) +
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
}

} // namespace quorvex
