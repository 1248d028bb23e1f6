#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvex {

enum class TTrashOutcome {
    Trashed,
    NoTrash, // this file system has no trash we may use; the item is untouched and may be deleted for good
    Failed,
};

struct TTrashResult {
    TTrashOutcome Outcome = TTrashOutcome::Failed;
    int Error = 0;       // errno value; 0 when trashed
    std::string Message; // UTF-8, for the user; names the item

    bool Ok() const { return Outcome == TTrashOutcome::Trashed; }
};

// Moves `path` (bytes, as on disk; absolute) to the freedesktop trash of the user: the home trash, or the
// trash folder of the file system holding it. A directory goes with everything inside it. Never deletes
// anything when no trash can take it: the caller decides what to do with NoTrash.
TTrashResult MoveToTrash(const std::string& path);

struct TTrashedPath {
    std::string Path;
    TTrashResult Result;
};

using TTrashFunction = std::function<TTrashResult(const std::string& path)>;

struct TTrashControl {
    std::stop_token Stop;                           // checked between paths
    std::function<void(std::size_t done)> Progress; // after every path tried
    TTrashFunction Trash;                           // empty: MoveToTrash
};

// Tries every path in order, going on past failures. Paths not tried because of a stop request are
// reported as Failed with ECANCELED.
std::vector<TTrashedPath> MoveAllToTrash(const std::vector<std::string>& paths,
                                         const TTrashControl& control = {});

} // namespace quorvex
