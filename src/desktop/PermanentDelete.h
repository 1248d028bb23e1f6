#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvex {

class TFileSystemApi;

struct TDeletionFailure {
    std::string Path; // bytes, as on disk
    int Error = 0;    // errno value
};

struct TDeletionResult {
    std::vector<TDeletionFailure> Failures; // every entry that stayed, with the reason
    std::uint64_t EntriesRemoved = 0;
    bool TopRemoved = false; // the path given no longer exists
    bool Cancelled = false;
};

struct TDeletionControl {
    std::stop_token Stop;                                // checked between entries
    std::function<void(std::uint64_t removed)> Progress; // after every entry removed
    TFileSystemApi* FileSystem = nullptr;                // null: the real one
};

// Removes `path` for good: a file or symbolic link as it is, a directory with everything inside it.
// Links are removed, never followed; another mount inside (a bind mount too) is neither entered nor
// unmounted and is reported with EXDEV. The walk goes on past failures; a directory kept only because
// something inside it failed is not reported again. Depth is bounded neither by PATH_MAX nor by the
// number of descriptors.
TDeletionResult DeletePermanently(const std::string& path, const TDeletionControl& control = {});

} // namespace quorvex
