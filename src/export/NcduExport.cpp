#include "export/NcduExport.h"

#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "support/PosixDir.h"
#include "support/Version.h"

#include <algorithm>
#include <ctime>

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

void AddFileNodes(const TGroupNode* group, std::vector<TNcduExport::TFileEntry>& files) {
    const TChildrenLock guard(group);
    for (const auto& child : guard.Children()) {
        if (child->GetNodeType() != ntFile)
            continue;
        files.push_back({child->Name(), child->GetSize(), std::nullopt, child->IsSystem()});
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
int SortedByName(std::vector<TNcduExport::TFileEntry>& files, int error) {
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return error;
}

int ReadDirectoryFiles(const TDirNode* dir, std::vector<TNcduExport::TFileEntry>& files);

} // namespace

int TNcduExport::ListDirectoryFiles(const TDirNode* dir, std::vector<TFileEntry>& files) {
    files.clear();
    if (AllFilesAreNodes(dir)) {
        AddFileNodes(dir, files);
        if (const TFileGroupNode* group = dir->FileGroup())
            AddFileNodes(group, files);
        return SortedByName(files, 0);
    }
    return SortedByName(files, ReadDirectoryFiles(dir, files));
}

namespace {

int ReadDirectoryFiles(const TDirNode* dir, std::vector<TNcduExport::TFileEntry>& files) {
    // The scan kept only totals for these files; the walk reads them again, one directory at a time.
    TFileSystemApi& fs = DefaultFileSystem();
    TDirStream stream(OpenNodeDirectory(dir, fs));
    if (stream.Fd() < 0)
        return stream.Error();
    unsigned char type = 0;
    while (const char* name = stream.Next(type)) {
        TEntryInfo info;
        if (const int error = fs.StatEntry(stream.Fd(), name, info); error != 0) {
            if (error == ENOENT)
                continue;
            files.clear();
            return error;
        }
        if (info.IsDirectory)
            continue;
        const bool regular = (info.Attributes & (faSystem | faReparsePoint)) == 0;
        files.push_back({name, info.Size, std::nullopt, !regular});
    }
    if (stream.Error() != 0)
        files.clear();
    return stream.Error();
}

} // namespace

void TNcduExport::WriteHeader(std::ostream& stream) {
    WriteText(stream, "[1,2,{\"progname\":\"quorvex\",\"progver\":");
    WriteText(stream, JsonString(kVersionText));
    WriteText(stream, ",\"timestamp\":" + std::to_string(static_cast<long long>(std::time(nullptr))) + "}");
}

void TNcduExport::WriteFooter(std::ostream& stream) {
    WriteText(stream, "]\n");
}

void TNcduExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    WriteText(stream, ",\n");
    const bool isRoot = opened_.empty();
    // The writers of the format record a file system they did not enter as an excluded entry.
    if (!isRoot && IsMountPoint(node)) {
        WriteText(stream, "{\"name\":" + JsonString(node->Name()) + ",\"excluded\":\"otherfs\"}");
        opened_.push_back(false);
        return;
    }
    const auto* dir = static_cast<const TDirNode*>(node);
    const int listError = ListDirectoryFiles(dir, files_);
    std::string text = "[{\"name\":" + JsonString(node->Name());
    if (dir->ErrorCode() != 0 || listError != 0)
        text += ",\"read_error\":true";
    text += '}';
    for (const TFileEntry& file : files_) {
        text += ",\n{\"name\":" + JsonString(file.Name) + ",\"asize\":" + std::to_string(file.Size);
        if (file.AllocatedSize)
            text += ",\"dsize\":" + std::to_string(*file.AllocatedSize);
        if (file.NotRegular)
            text += ",\"notreg\":true";
        text += '}';
    }
    WriteText(stream, text);
    opened_.push_back(true);
}

void TNcduExport::EndNode(std::ostream& stream) {
    if (opened_.back())
        WriteText(stream, "]");
    opened_.pop_back();
}

} // namespace quorvex
