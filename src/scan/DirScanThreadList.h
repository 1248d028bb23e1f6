#pragma once

#include "scan/DirScanThread.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QObject;

namespace quorvex {

class TFileSystemApi;
class TGroupNode;
class TScanExclusions;
class TWorkerBudget;

// The running scan threads, at most MaxThreads at a time, in order of creation.
//
// Create, use and destroy the list on one thread: the user-interface thread, which must run a Qt
// event loop (QApplication in the window, QCoreApplication on the command line and in tests).
// Completion callbacks and the clean-up of ended workers arrive there as queued calls.
//
// The list owns its thread objects. Its destructor stops every walk, cancels every completion call
// that has not run yet and joins every worker, so no thread outlives the list or touches it later.
class TDirScanThreadList {
public:
    // The grouping threshold for a new scan; asked on the user-interface thread in AddThread, so
    // workers never read the settings object while the settings dialog may change it.
    using ThresholdSource = std::function<std::int64_t()>;

    // Without a source the threshold comes from GlobalSettings(). `fileSystem` (not owned) is what
    // the scanners walk with; tests pass one that is slow or fails.
    explicit TDirScanThreadList(int maxThreads, ThresholdSource thresholdSource = {},
                                TFileSystemApi* fileSystem = nullptr);
    TDirScanThreadList(const TDirScanThreadList&) = delete;
    TDirScanThreadList& operator=(const TDirScanThreadList&) = delete;
    ~TDirScanThreadList();

    // A suspended thread for `root`, listed; null when the list is full. The caller sets the
    // completion callback and resumes it.
    TDirScanThread* AddThread(TGroupNode* root);
    // Takes the thread off the list if it is there (it stays owned until it has ended).
    void Remove(TDirScanThread* thread);
    bool IsEmpty() const;
    bool IsFull() const;
    int Count() const;
    int MaxThreads() const { return maxThreads_; }
    // How many threads may walk at once, all listed scans together (0 = automatic). Scans added
    // afterwards share the new budget; running ones keep theirs.
    void SetJobs(int jobs);
    int Jobs() const;
    // What scans added afterwards neither enter nor count.
    void SetExclusions(std::shared_ptr<const TScanExclusions> exclusions) {
        exclusions_ = std::move(exclusions);
    }

    // The current directory of the first listed thread; empty when none is listed.
    std::string GetCurrentDir() const;

    // Ends every listed walk and returns once they have ended; the threads then leave the list
    // and run their completion callbacks as usual.
    void StopAll();
    // Ends the walks whose root lies strictly below `node`; returns how many were stopped.
    int StopThreadsBelow(const TGroupNode* node);
    // Ends the walks whose root is `node` or lies below it; returns how many were stopped.
    int StopThreadsWithin(const TGroupNode* node);
    // Shutdown: no completion callback runs any more (not even one already queued), every walk
    // ends, and every worker has finished when this returns.
    void StopAllAndWait();

private:
    friend class TDirScanThread;

    // A completion handed from a worker to the user-interface thread. It travels through a queue
    // under the list's lock rather than inside the queued call, so the hand-over is visible to the
    // thread sanitizer (Qt's own event queue is not).
    struct TPendingCompletion {
        TDirScanThread* thread = nullptr;
        TDirScanThread::FinishedCallback callback;
        std::shared_ptr<TDirScanThread::TCompletion> completion;
    };

    int StopThreadsWhere(const std::function<bool(const TGroupNode* root)>& matches);
    // Worker side: leaves the list; returns the completion call to wait for, or null.
    std::shared_ptr<TDirScanThread::TCompletion> Leave(TDirScanThread& thread);
    void WorkerEnded(TDirScanThread& thread);
    // Under the lock: asks the user-interface thread to run Deliver.
    void PostDeliverLocked();
    // User-interface thread: runs the queued completions, then joins the workers that have ended.
    void Deliver();
    void ReapEnded();
    // Under the lock: drops listed threads that were never resumed; they would never leave.
    std::vector<std::unique_ptr<TDirScanThread>> TakeUnstartedLocked();
    // Under the lock: no completion callback will run; waiting workers are released.
    void CancelCompletionsLocked();

    const int maxThreads_;
    ThresholdSource thresholdSource_;
    TFileSystemApi* fileSystem_;
    std::shared_ptr<TWorkerBudget> budget_; // only on the user-interface thread
    std::shared_ptr<const TScanExclusions> exclusions_;
    std::unique_ptr<QObject> context_; // lives on the user-interface thread; receives queued calls

    mutable std::mutex mutex_;                           // guards the two lists
    std::vector<TDirScanThread*> threads_;               // listed, in order of creation
    std::vector<std::unique_ptr<TDirScanThread>> owned_; // listed, and left but not yet joined
    std::deque<TPendingCompletion> pending_;
};

} // namespace quorvex
