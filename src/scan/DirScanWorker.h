#pragma once

// The private pieces of TDirScanner shared by its two source files.

#include "model/PackedFiles.h"
#include "scan/DirScanner.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvex {

// A directory that has been entered and has not finished. Its holds are the reading worker's own and
// one per subdirectory entered and not yet finished; the last to let go finishes it.
struct TDirScanner::TDirState {
    TDirState(TGroupNode* n, TDirState* p) : node(n), parent(p) {}

    TGroupNode* const node;
    TDirState* const parent;
    std::atomic<int> holds{1};
    std::atomic<bool> incomplete{false};
};

// A directory that has been read and has subdirectories still to enter, on its worker's stack.
struct TDirScanner::TFrame {
    TDirState* state = nullptr;
    int fd = -1; // -1 once given up to stay within the descriptor budget
    std::vector<TDirNode*> subdirs;
    // subdirs[next, end) are not entered yet: the owner takes from the front, thieves from the back.
    std::size_t next = 0;
    std::size_t end = 0;
    std::size_t pathLength = 0; // of this directory's path in the worker's path buffer
    dev_t device = 0;
    ino_t inode = 0;
};

struct TDirScanner::TWorker {
    // Guards what thieves and GetCurrentDir look at: the stack (frames' fd and end), path and active.
    std::mutex mutex;
    std::vector<TFrame> stack;
    std::string path; // of the directory entered last
    bool active = false;
    // Touched by the owner only.
    int openFrames = 0;
    std::size_t firstOpen = 0; // no frame below this one holds a descriptor
    std::vector<char> names;   // buffer for the directory entries being read
    std::string matchPath;     // an entry's absolute path, matched against the exclusions
    TPackedFilesWriter files;  // the records of the directory being read
};

// A directory taken from another worker's stack: a duplicate of its parent's descriptor to open it
// from, and its path.
struct TDirScanner::TTask {
    int parentFd = -1;
    TDirNode* node = nullptr;
    TDirState* parent = nullptr;
    std::string path;
};

} // namespace quorvex
