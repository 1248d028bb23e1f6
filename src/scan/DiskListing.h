#pragma once

#include "model/FileSystemNode.h"

namespace quorvex {

class TFileSystemApi;

// Opens the directory `node` stands for (a file group: its directory's), relative to its ancestors'
// directories one level at a time, so at any depth; links below the root are never followed.
// Returns the descriptor, which the caller closes, or -errno.
int OpenNodeDirectory(const TFileSystemNode* node, TFileSystemApi& fs);
// Lists the non-directory entries of `directory` for which `accept(size)` holds, sorted by name, and
// appends them to `target`, which takes them out of its own files. When the tree counts a file with
// several names once, every name but the one the scan counted is listed at no size and marked with
// kCountedAtAnotherName; of two names in `directory` itself the first one listed counts, as in the
// walk. Returns how many were added, or -errno when the directory or one of its entries cannot be
// read; nothing is changed then. This is the TGroupNode::DiskListFunc that ListFiles takes.
int ScanForChildrenFiles(const TGroupNode* directory, TGroupNode* target,
                         const TGroupNode::AcceptFunc& accept);

} // namespace quorvex
