#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

class QTimer;

namespace quorvex {

class TDirNode;
class TDirScanThread;
class TDirScanThreadList;
class TFileSystemApi;
class TFileSystemNode;
class TGroupNode;
class TScanExclusions;

// What the scan controller asks of the window that shows the tree.
struct TScanHooks {
    // The grouping threshold of a new walk, asked on the user-interface thread.
    std::function<std::int64_t()> GroupThreshold;
    // The last running walk has ended; `last` is the one that ended last.
    std::function<void(TDirScanThread& last)> Finished;
    // A subdirectory's rescan has ended and the totals of this node changed.
    std::function<void(const TFileSystemNode* node)> RefreshNode;
    // The scan asked for while others still ran, once they have stopped.
    std::function<void(const std::string& path)> StartPending;
    // While walks run: the scanning icon's next frame, the tree with the live totals, and the
    // directory being walked.
    std::function<void()> Animate;
    std::function<void()> RefreshTree;
    std::function<void(const std::string& dir)> ShowProgress;
    // The patterns a new walk leaves out, asked on the user-interface thread; null for none.
    std::function<std::shared_ptr<const TScanExclusions>()> Exclusions;
};

// The window's scan threads and what it must remember about them: which walks rescan a subdirectory,
// which of those lost their root to a later rescan or a deletion (their completion must not touch the
// tree), the scan to start once the running ones have stopped, and the timers that show a scan's
// progress. Lives on the user-interface thread; the roots it is given must outlive it.
class TScanController : public QObject {
public:
    TScanController(int maxThreads, TScanHooks hooks);
    ~TScanController() override;

    bool IsRunning() const;
    bool IsFull() const;
    // Stops the running walks (and waits for them) and walks with `fileSystem` from now on.
    void UseFileSystem(TFileSystemApi* fileSystem, int jobs);
    // For the scans started from now on.
    void SetJobs(int jobs);

    // When walks run, keeps `path` as the scan to start after them, asks them to stop and says so.
    bool DeferWhileRunning(const std::string& path);
    void ClearPending() { pendingPath_.clear(); }
    const std::string& PendingPath() const { return pendingPath_; }
    // The directory of the last whole scan, where the folder picker starts.
    const std::string& LastDir() const { return lastDir_; }
    void SetLastDir(const std::string& path) { lastDir_ = path; }

    // Each starts a walk of a root already marked as scanning; false when every thread is taken.
    bool StartRootScan(TGroupNode* root);
    bool StartDriveScan(TGroupNode* drive);
    bool StartSubScan(TDirNode* dir);

    // Before `dir` is cleared for its rescan, or `group` deleted: walks inside end, and the
    // completions of rescans below leave the tree alone. Both say how many walks they stopped.
    int StopBelow(const TDirNode* dir);
    int StopWithin(const TGroupNode* group);
    // Whether a running rescan is still counting something inside `node`.
    bool IsCountingWithin(const TFileSystemNode* node) const;
    void StopAll();
    void StopAllAndWait();

    std::string CurrentDir() const;
    int AnimationFrame() const { return aniFrame_; }
    void SetRefreshInterval(int milliseconds);
    void StartTimers();
    void StopTimers();

private:
    std::unique_ptr<TDirScanThreadList> MakeList(TFileSystemApi* fileSystem) const;
    TDirScanThread* AddThread(TGroupNode* root);
    bool Start(TGroupNode* root, bool subScan);
    void OnRootScanDone(TDirScanThread& thread);
    void OnSubScanDone(TDirScanThread& thread);
    void QueuePending();

    const int maxThreads_;
    TScanHooks hooks_;
    std::unique_ptr<TDirScanThreadList> threads_;
    // Running rescans of subdirectories, and those whose root a rescan of an ancestor or a deletion
    // has destroyed meanwhile.
    std::unordered_set<TDirScanThread*> runningSubScans_;
    std::unordered_set<const TDirScanThread*> orphanedScans_;
    std::string pendingPath_;
    std::string lastDir_;
    QTimer* timerAniSearch_;
    QTimer* timerTreeRefresh_;
    QTimer* timerStatusBar_;
    int aniFrame_ = 0;
};

} // namespace quorvex
