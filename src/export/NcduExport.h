#pragma once

#include "export/TreeTypesExport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

class TDirNode;

// The JSON interchange format other disk-usage tools read and write: every directory as an array
// led by its own object, every file as an object with its name and logical size. Directories carry
// no size of their own, so a reader's totals are the sums of the files, as ours are. The files are
// the directories' records, never read from the disk again.
class TNcduExport : public TTextExport {
public:
    explicit TNcduExport(const TFileSystemNode* root);

    static std::string GetFileExtension() { return ".json"; }
    static std::string GetDescription();
    static std::string GetCommandName() { return "ncdu"; }

    // Writes every directory's device and identity ("dev", "ino", which other readers of the format
    // pass over), so that a comparison of two scans knows a folder renamed or moved.
    void SetIdentities(bool on) { identities_ = on; }

protected:
    void WriteHeader(std::ostream& stream) override;
    void WriteFooter(std::ostream& stream) override;
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;
    void EndNode(std::ostream& stream) override;

private:
    // Writes a directory's object under `name` and its files, and leaves its array open for the
    // subdirectories. Without a node, a directory that stands for nothing scanned: a path between a
    // drive and another one mounted deeper.
    void OpenDirectory(const TDirNode* dir, const std::string& name, std::ostream& stream);
    void CloseDirectory(std::ostream& stream);
    // "Local Drives" as one tree from "/", each drive at its mount point (NcduExportDrives.cpp), so
    // that the file holds no name with a "/" in it and reads back as the whole machine.
    void WriteDrives(const TGroupNode* drives, std::ostream& stream);

    std::vector<bool> opened_; // per open directory: whether it was written as an array
    // Per open directory, the device a reader takes it to be on: the last one written on the way down
    // (readers inherit it), 0 before any.
    std::vector<std::uint64_t> devices_;
    bool allocatedKnown_ = true;
    bool hardLinksOnce_ = false;
    bool drivesWritten_ = false; // the nodes below "Local Drives" are written already
    bool identities_ = false;
    std::uint64_t rootDevice_ = 0;
};

// `text` as a JSON string with its quotes. Bytes that are not UTF-8 stay as they are, as the other
// writers of the format leave them, so a name comes back byte for byte.
std::string JsonString(const std::string& text);

} // namespace quorvex
