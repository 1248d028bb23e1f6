#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace quorvex {

class TDirScanner;
class TFileSystemApi;
class TDirScanThreadList;
class TGroupNode;
class TWorkerBudget;

// Only the list creates threads.
class TDirScanThreadKey {
    friend class TDirScanThreadList;
    TDirScanThreadKey() = default;
};

// One thread that walks one root node with its own TDirScanner, at below-normal priority (nice +10
// relative to the process); the helpers the scanner adds from the list's budget run at the same. Created
// suspended by TDirScanThreadList::AddThread and owned by that list; the caller sets OnFinished and calls
// Resume.
//
// When the walk has ended the worker leaves its list and then runs OnFinished on the list's
// user-interface thread, waiting until it has returned. A pointer to the thread stays valid until
// its completion callback has returned; forget it there.
class TDirScanThread {
public:
    using FinishedCallback = std::function<void(TDirScanThread& thread)>;

    TDirScanThread(TDirScanThreadKey, TDirScanThreadList& owner, TGroupNode* root, std::int64_t threshold,
                   TFileSystemApi* fileSystem, std::shared_ptr<TWorkerBudget> budget);
    TDirScanThread(const TDirScanThread&) = delete;
    TDirScanThread& operator=(const TDirScanThread&) = delete;
    ~TDirScanThread();

    // Before Resume, on the user-interface thread. An empty callback clears it.
    void SetOnFinished(FinishedCallback callback);
    // Starts the worker; a second call does nothing. When the system cannot create the thread, the
    // error propagates and the thread is taken off its list.
    void Resume();
    // Ends the walk and returns once it has ended (the worker itself may still be finishing). A thread
    // stopped before its walk began never walks; a stop that crosses the start of the walk is not lost.
    void StopAndWait();

    std::string GetCurrentDir() const;
    TDirScanner& Scanner() { return *scanner_; }
    const TDirScanner& Scanner() const { return *scanner_; }
    TGroupNode* Root() const;
    bool IsTerminated() const;
    // The kernel thread id of the worker, 0 before it runs.
    pid_t WorkerId() const { return workerId_.load(std::memory_order_acquire); }

private:
    friend class TDirScanThreadList;

    // The completion call handed to the user-interface thread; either side may finish it.
    struct TCompletion {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };

    void Run();
    void Execute();
    void StopWalk(bool markUnreadRoot);
    bool HasStarted() const { return worker_.joinable(); }
    bool HasEnded() const { return ended_.load(std::memory_order_acquire); }
    // Under the list's lock: takes the callback away, so a later leave will not call it.
    FinishedCallback TakeOnFinished();
    // Releases a worker that waits for its completion call; the call, if still queued, does nothing.
    void CancelCompletion();
    void Join();

    std::atomic<TDirScanThreadList*> owner_;
    std::unique_ptr<TDirScanner> scanner_;
    const std::int64_t threshold_;

    mutable std::mutex mutex_; // guards the fields below
    std::condition_variable walkEnded_;
    bool terminated_ = false;
    bool walking_ = false;
    bool walkStarted_ = false;
    FinishedCallback onFinished_;
    std::shared_ptr<TCompletion> completion_;

    std::atomic<pid_t> workerId_{0};
    std::atomic<bool> ended_{false};
    std::thread worker_;
};

} // namespace quorvex
