#pragma once

#include "export/TreeTypesExport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvex {

class TDirNode;
class TDirectoryReadAhead;

// The JSON interchange format other disk-usage tools read and write: every directory as an array
// led by its own object, every file as an object with its name and logical size. Directories carry
// no size of their own, so a reader's totals are the sums of the files, as ours are.
class TNcduExport : public TTextExport {
public:
    explicit TNcduExport(const TFileSystemNode* root);
    ~TNcduExport() override;

    static std::string GetFileExtension() { return ".json"; }
    static std::string GetDescription();
    static std::string GetCommandName() { return "ncdu"; }

    // One file as the format records it.
    struct TFileEntry {
        std::string Name;
        std::int64_t Size = 0;
        // Written as dsize only when known: a made-up figure would mislead the reader's disk usage.
        std::optional<std::int64_t> AllocatedSize;
        bool NotRegular = false;
        // Read from the disk in a tree that counts a file with several names once, so that the
        // reader can count it once too: 0 when not known.
        std::uint64_t Inode = 0;
        std::uint32_t Links = 1;
        std::uint64_t Device = 0;
    };

    // Threads that read a scanned tree's directories ahead of the writer; 0 reads them one by one.
    void SetReadAheadThreads(int threads) { readAheadThreads_ = threads; }
    static int DefaultReadAheadThreads();

protected:
    void WriteHeader(std::ostream& stream) override;
    void WriteFooter(std::ostream& stream) override;
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;
    void EndNode(std::ostream& stream) override;

private:
    // The most directory descriptors the writer holds; fewer when the process has fewer to spare.
    static constexpr int kMaxHeldDirectories = 256;

    // A directory being written, from the top down to the one written last. Its descriptor is opened
    // only when it or a directory below must be read from the disk, and kept for the next one.
    struct TLevel {
        const TDirNode* dir = nullptr; // none for what is not a directory on the disk
        bool fromTop = false;          // opened by its own path rather than from the level above
        int fd = -1;
        bool dropped = false; // closed to stay within the budget: reopened through ".." on the way up
        dev_t device = 0;
        ino_t inode = 0;
        std::uint64_t mount = 0;
    };

    // The files of the directory of the top level: its file nodes when all of them are listed
    // (always so in an imported tree), else read again from the directory on disk. Returns 0 or the
    // errno value of a failed listing.
    int ListDirectoryFiles(std::vector<TFileEntry>& files);
    void PushLevel(const TDirNode* dir);
    void PopLevel();
    // The descriptor of level `index`, opening it and the levels above it that are not open yet;
    // or -errno.
    int LevelDescriptor(std::size_t index);
    int OpenLevel(std::size_t index);
    // `open` (a descriptor or -errno), tried again when descriptors run short with every level but
    // `keep` closed, then without the readers ahead, then after a wait.
    int OpenOrMakeRoom(std::size_t keep, const std::function<int()>& open);
    // Closes the oldest levels' descriptors, never `keep`'s, until fewer than `limit` are open.
    void DropLevels(int limit, std::size_t keep);
    // Writes a directory's object under `name` and its files, and leaves its array open for the
    // subdirectories. Without a node, a directory that stands for nothing scanned: a path between a
    // drive and another one mounted deeper.
    void OpenDirectory(const TDirNode* dir, const std::string& name, std::ostream& stream);
    void CloseDirectory(std::ostream& stream);
    // "Local Drives" as one tree from "/", each drive at its mount point (NcduExportDrives.cpp), so
    // that the file holds no name with a "/" in it and reads back as the whole machine.
    void WriteDrives(const TGroupNode* drives, std::ostream& stream);
    void StartReadAhead(int threads);

    std::vector<bool> opened_;   // per open directory: whether it was written as an array
    std::vector<TLevel> levels_; // per open directory
    int openLevels_ = 0;
    std::size_t firstOpenLevel_ = 0; // no level below this one holds a descriptor
    int heldBudget_ = kMaxHeldDirectories;
    bool starved_ = false; // waited for a descriptor in vain
    // Per open directory, the device a reader takes it to be on: the last one written on the way down
    // (readers inherit it), 0 before any.
    std::vector<std::uint64_t> devices_;
    bool imported_ = false;
    bool allocatedKnown_ = true;
    bool hardLinksOnce_ = false;
    bool drivesWritten_ = false; // the nodes below "Local Drives" are written already
    std::vector<TFileEntry> files_;
    int readAheadThreads_ = DefaultReadAheadThreads();
    std::unique_ptr<TDirectoryReadAhead> readAhead_;
};

// `text` as a JSON string with its quotes. Bytes that are not UTF-8 stay as they are, as the other
// writers of the format leave them, so a name comes back byte for byte.
std::string JsonString(const std::string& text);

} // namespace quorvex
