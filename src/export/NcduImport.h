#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace quorvex {

class TRootDirNode;

// A scan file that cannot be read. The message names the file and, for a fault in its content, the
// byte offset at which reading stopped; it is meant for the user as it stands.
class EImportError : public std::runtime_error {
public:
    EImportError(const std::string& message, std::uint64_t offset)
        : std::runtime_error(message), offset_(offset) {}
    // Bytes of the file read before the fault; 0 when the file could not be opened at all.
    std::uint64_t Offset() const { return offset_; }

private:
    std::uint64_t offset_;
};

// Reads a scan in the JSON interchange format (`ncdu -o`, `gdu -o`, our own ncdu export) into a
// finished tree as a scan leaves one: every directory as a node, files smaller than `groupThreshold`
// counted in their directory's file group, totals from the entries (a directory's own size not at
// all). A file with several names counts at every name, or, with `hardLinksOnce`, at the first one
// read of those whose identity the file records, as a scan counting once leaves it. The files are
// kept packed in their directories and become nodes when a directory is listed, from the packed list,
// so nothing below the root, which is marked imported, ever reads the local disk. `fileName` is a
// byte path.
// Raises EImportError.
std::unique_ptr<TRootDirNode> ImportNcduFile(const std::string& fileName, std::int64_t groupThreshold,
                                             bool hardLinksOnce = false);

// Whether `root` came from a file rather than from a scan of this machine.
bool IsImportedTree(const TRootDirNode& root);

} // namespace quorvex
