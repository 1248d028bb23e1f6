#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvex {

class TDirNode;
class TRootDirNode;

// One scan kept in the history, as its file name tells it: nothing inside the file is read to list
// it, so a damaged file is still listed and reports its fault only when opened.
struct THistoryScan {
    std::string File; // the full byte path
    std::string RootKey;
    std::int64_t TimeMs = 0; // when the scan was saved, milliseconds since the epoch
    std::int64_t Size = 0;   // the root's total, logical
    std::int64_t Files = 0;
    std::uint64_t Bytes = 0; // the file's own length on the disk
};

// How much history is kept: the newest `ScansPerRoot` of each root, and of those, oldest first
// dropped until all of them fit `BudgetBytes`; the newest scan of all is never dropped.
struct THistoryLimits {
    int ScansPerRoot = 10;
    std::uint64_t BudgetBytes = std::uint64_t{256} << 20;
};

// <user data folder>/history.
std::string HistoryFolder();

// What a root's scans share in their file names: a hash of the root's path bytes.
std::string HistoryRootKey(const std::string& rootPath);

// What a history file is written from: a copy of a finished tree, its directories and their
// records, without file nodes and totals below the root, which the writer may take to another thread
// while the tree itself changes or goes.
struct THistorySnapshot {
    std::string RootPath;
    std::int64_t Size = 0;
    std::int64_t Files = 0;
    // When the copy was taken, which is when the scan ended, in milliseconds since the epoch: the
    // scan is dated by it, not by when its file is written.
    std::int64_t TimeMs = 0;
    std::shared_ptr<const TRootDirNode> Tree;
};

// Takes a THistorySnapshot a few directories at a time. The window copies on its own thread, where
// alone its trees change, between events: copying the tree of a scan of millions of files at once
// would freeze it for most of a second. Between calls the copier holds pointers into the tree, so
// whatever changes or destroys the tree must complete the copy first.
class THistoryCopier {
public:
    explicit THistoryCopier(const TRootDirNode& root);
    // Copies directories until `deadline` has passed, checked after each; true once all are copied.
    bool CopyUntil(std::chrono::steady_clock::time_point deadline);
    bool Done() const { return pending_.empty(); }
    std::int64_t TimeMs() const { return snapshot_.TimeMs; }
    // The finished copy; only once Done.
    THistorySnapshot Take();

private:
    THistorySnapshot snapshot_;
    std::shared_ptr<TRootDirNode> copy_;
    std::vector<std::pair<const TDirNode*, TDirNode*>> pending_;
};

// The whole copy at once, where no window waits on it.
THistorySnapshot TakeHistorySnapshot(const TRootDirNode& root);

// Writes the snapshot as the ncdu JSON with every directory's device and identity, gzip-compressed,
// into `folder` (made if missing) as one new file, atomically,
// then drops what the limits no longer allow. Returns the file's path. Safe from any thread and
// from several processes at once. Raises EExportError.
std::string SaveToHistory(const std::string& folder, const THistorySnapshot& snapshot,
                          const THistoryLimits& limits);

// The history's scans of `rootPath`, or of every root when it is empty; newest first.
std::vector<THistoryScan> ListHistory(const std::string& folder, const std::string& rootPath = {});

// Drops files as THistoryLimits says; returns how many went.
int PruneHistory(const std::string& folder, const THistoryLimits& limits);

// Scans closer together than this tell no growth a day worth a figure: two scans an hour apart that
// differ by a download would claim gigabytes a day.
inline constexpr std::int64_t kShortestGrowthSpanMs = std::int64_t{24} * 60 * 60 * 1000;

// The scans' average growth in bytes a day: the least-squares slope of size against time, so one
// odd scan moves it less than it would move the first and last alone. Nothing when fewer than two
// scans span kShortestGrowthSpanMs.
std::optional<double> GrowthPerDay(const std::vector<THistoryScan>& scans);

} // namespace quorvex
