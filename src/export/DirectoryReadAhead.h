#pragma once

#include "export/NcduExport.h"
#include "model/RootNodes.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorvex {

class TDirNode;
class TFileSystemApi;
class TRootDirNode;

// The files of an open directory, its subdirectories left out (the tree has them), sorted by name.
// Owns the descriptor. Returns 0 or the errno value of a failed listing, with no files then.
int ReadDirectoryFiles(TFileSystemApi& fs, int fd, std::vector<TNcduExport::TFileEntry>& files);

// Reads the files of a scanned tree's directories on a few threads ahead of the writer, which asks
// for them in the tree's order: the second walk of an export then costs about what a parallel scan
// does, instead of a directory at a time. A directory it could not open in one call (a link on the
// way, a path too long, an old kernel) is left to the writer's own level-by-level reading, so the
// file is the same either way. A reader that finds no descriptor free leaves its directory to the
// writer too, and stops: fewer readers then share what the process has.
class TDirectoryReadAhead {
public:
    struct TListing {
        int Error = 0;
        std::vector<TNcduExport::TFileEntry> Files;
    };

    // `order`: the directories below and including `root`, in the order they will be asked for.
    TDirectoryReadAhead(const TRootDirNode& root, std::vector<const TDirNode*> order, int threads);
    TDirectoryReadAhead(const TDirectoryReadAhead&) = delete;
    TDirectoryReadAhead& operator=(const TDirectoryReadAhead&) = delete;
    ~TDirectoryReadAhead();

    // The listing of `dir`, waiting for it if need be; none when `dir` was not read ahead.
    std::optional<TListing> Take(const TDirNode* dir);

private:
    // How far the readers may run ahead of the writer, in directories: bounds the memory held.
    static constexpr std::size_t kAhead = 2048;

    struct TSlot {
        bool Ready = false;
        bool Opened = false;
        TListing Listing;
    };

    void Read();
    // Sets `outOfDescriptors` when the directory could not be opened for want of a descriptor.
    TSlot ReadOne(const TDirNode* dir, bool& outOfDescriptors) const;

    int rootFd_;
    const TRootDirNode& root_;
    std::vector<const TDirNode*> order_;
    std::unordered_map<const TDirNode*, std::size_t> index_;
    std::vector<TSlot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;     // the next directory a reader takes
    std::size_t consumed_ = 0; // directories before this one were taken or passed by the writer
    int reading_ = 0;          // readers that have not stopped
    bool stop_ = false;
    std::vector<std::thread> readers_;
};

} // namespace quorvex
