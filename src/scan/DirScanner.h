#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace quorvex {

class TGroupNode;
class TDirNode;
class TFileSystemApi;
class TWorkerBudget;
class THardLinkSet;
class TScanExclusions;

// Walks one directory tree into a node tree: one TDirNode per subdirectory, files only added to their
// directory's totals (and to its file group when smaller than the threshold).
//
// Several workers may walk one tree. Each directory is read completely by one worker, which creates
// its subdirectory nodes in the order the file system lists them; the subdirectories are then
// entered depth-first by that worker, and an idle worker takes the oldest unentered ones of another.
// A directory's totals are handed up when it and everything below it has finished, by whichever
// worker finishes last. At most kMaxOpenDirs directory descriptors are open at once for the whole
// scan, whatever its depth and however many workers walk, and fewer when the process has fewer to
// spare; should the process run out all the same, the walk gives up what it holds and waits rather
// than skip a directory. Symbolic links below the root are never followed and no mount point is
// entered, a bind mount of the same file system included.
class TDirScanner {
public:
    static constexpr int kMaxOpenDirs = 128;

    // Without a budget the scanner walks with one thread, the caller's.
    explicit TDirScanner(TGroupNode* root, TFileSystemApi* fileSystem = nullptr,
                         std::shared_ptr<TWorkerBudget> budget = nullptr);
    TDirScanner(const TDirScanner&) = delete;
    TDirScanner& operator=(const TDirScanner&) = delete;
    ~TDirScanner();

    // Runs the whole walk; the calling thread is one of its workers. Helper threads start at the
    // caller's priority and have all ended when this returns.
    void Scan(const std::string& path, std::int64_t threshold);
    // Before Scan: what the walk neither enters nor counts. Null or empty: nothing.
    void SetExclusions(std::shared_ptr<const TScanExclusions> exclusions);
    // Any thread; returns at once. Every worker ends after the entry it is on.
    void Stop() { stopped_.store(true, std::memory_order_relaxed); }
    bool IsStopped() const { return stopped_.load(std::memory_order_relaxed); }
    bool IsBusy() const { return busy_.load(std::memory_order_acquire); }
    // A directory that a worker has entered most recently; any thread.
    std::string GetCurrentDir() const;
    double ElapsedSeconds() const { return elapsedSeconds_; }
    TGroupNode* Root() const { return root_; }
    // The most workers this scanner walks with (its own thread included).
    int MaxWorkers() const;

private:
    struct TDirState;
    struct TFrame;
    struct TWorker;
    struct TTask;

    // Coordination (DirScanner.cpp).
    void RunWorker(TWorker& worker);
    bool Steal(TWorker& thief, TTask& task);
    bool WaitForWork(TWorker& worker, TTask& task);
    void OfferWork();
    void MaybeAddHelper();
    void AddHelper();
    void JoinHelpers();
    void Fail(std::exception_ptr error);
    void WalkEnded();
    bool Ending() const { return IsStopped() || failed_.load(std::memory_order_relaxed); }
    // Drops a hold on a directory; the last one finishes it and hands its totals up, level by level.
    void Release(TDirState* state);

    // One worker's walk (DirScanWorker.cpp).
    void Enter(TWorker& worker, int fd, TGroupNode* node, TDirState* parent);
    void Step(TWorker& worker);
    void PopTop(TWorker& worker);
    // Closes the descriptors of the worker's oldest frames (never the top's) until fewer than
    // `limit` are open.
    void MakeRoomForDescriptor(TWorker& worker, int limit);
    // Called when `open` (which returns a descriptor or -errno) failed for want of a descriptor:
    // retries it once this worker's spare descriptors are given up, then while the other workers
    // close theirs. Returns what the last try returned.
    int OpenWhenDescriptorsFree(TWorker& worker, const std::function<int()>& open);
    // Reads the whole directory; returns whether a stop cut it short.
    bool ReadDirectory(TWorker& worker, int fd, TGroupNode* node, std::vector<TDirNode*>& subdirs);
    void WalkOwnStack(TWorker& worker);

    TGroupNode* root_;
    TFileSystemApi* fs_;
    std::shared_ptr<TWorkerBudget> budget_;
    std::int64_t groupThreshold_ = 0;
    // The tree's set, for a walk that counts a file with several names once (its root asks for it).
    THardLinkSet* hardLinks_ = nullptr;
    // Null unless there are patterns, so that a walk without them builds no paths to match.
    std::shared_ptr<const TScanExclusions> exclusions_;
    // The root's absolute path, with symbolic links resolved as the patterns see it, and the length of
    // the root's path as the walk spells it.
    std::string matchRoot_;
    std::size_t walkRootLength_ = 0;
    dev_t rootDevice_ = 0;
    std::uint64_t rootMount_ = 0; // 0 when the kernel does not tell mounts apart
    int descriptorsPerWorker_ = kMaxOpenDirs;
    int workerLimit_ = 1; // MaxWorkers(), or fewer when descriptors are scarce
    int nice_ = 0;        // of the scan's own thread, for its helpers
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> failed_{false};
    double elapsedSeconds_ = 0;

    // Created before the walk and kept until the scanner goes: GetCurrentDir may look at any of them.
    std::vector<std::unique_ptr<TWorker>> workers_;
    std::atomic<int> activeWorkers_{0}; // how many of workers_ have been started

    mutable std::mutex poolMutex_; // guards the fields below
    std::condition_variable workOffered_;
    std::uint64_t offers_ = 0;
    bool done_ = false;
    std::vector<std::thread> helpers_;
    std::exception_ptr error_;
    std::atomic<int> idle_{0};
};

} // namespace quorvex
