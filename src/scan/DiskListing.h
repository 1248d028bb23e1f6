#pragma once

#include "model/FileSystemNode.h"

namespace quorvex {

class TFileSystemApi;

// Opens the directory `node` stands for (a file group: its directory's), relative to its ancestors'
// directories one level at a time, so at any depth; links below the root are never followed.
// Returns the descriptor, which the caller closes, or -errno.
int OpenNodeDirectory(const TFileSystemNode* node, TFileSystemApi& fs);

} // namespace quorvex
