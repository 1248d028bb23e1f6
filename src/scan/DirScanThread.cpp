#include "scan/DirScanThread.h"

#include "diag/QxLogger.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/DirScanner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace quorvex {
namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(10);

// Below normal: ten steps nicer than the process, so a scan never competes with the window.
void LowerCurrentThreadPriority(pid_t tid) {
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0)
        return;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::min(19, current + 10));
}

} // namespace

TDirScanThread::TDirScanThread(TDirScanThreadKey, TDirScanThreadList& owner, TGroupNode* root,
                               std::int64_t threshold, TFileSystemApi* fileSystem,
                               std::shared_ptr<TWorkerBudget> budget)
    : owner_(&owner), scanner_(std::make_unique<TDirScanner>(root, fileSystem, std::move(budget))),
      threshold_(threshold) {}

TDirScanThread::~TDirScanThread() {
    // The root may be gone by now: only a stop asked for while it lives may mark it.
    StopWalk(false);
    CancelCompletion();
    Join();
}

void TDirScanThread::SetOnFinished(FinishedCallback callback) {
    std::lock_guard lock(mutex_);
    onFinished_ = std::move(callback);
}

void TDirScanThread::Resume() {
    if (HasStarted())
        return;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (...) {
        // Never started, so it would never leave by itself.
        if (TDirScanThreadList* owner = owner_.load(std::memory_order_acquire))
            owner->Remove(this);
        throw;
    }
}

void TDirScanThread::StopAndWait() {
    StopWalk(true);
}

void TDirScanThread::StopWalk(bool markUnreadRoot) {
    std::unique_lock lock(mutex_);
    // A walk that never began read nothing of the root, which its readers must know. The mark is set here,
    // while the caller still holds the root alive, never by a worker that starts after the stop: the root
    // may already have been freed by then (a rescan clears the nodes it stopped the scans of).
    if (markUnreadRoot && !terminated_ && !walkStarted_)
        scanner_->Root()->SetFlag(nfIncomplete, true);
    terminated_ = true;
    // The scanner forgets a stop that arrives before its walk has begun, so it is repeated until
    // the walk is over.
    while (walking_) {
        scanner_->Stop();
        walkEnded_.wait_for(lock, kStopPollInterval);
    }
}

std::string TDirScanThread::GetCurrentDir() const {
    return scanner_->GetCurrentDir();
}

TGroupNode* TDirScanThread::Root() const {
    return scanner_->Root();
}

bool TDirScanThread::IsTerminated() const {
    std::lock_guard lock(mutex_);
    return terminated_;
}

TDirScanThread::FinishedCallback TDirScanThread::TakeOnFinished() {
    std::lock_guard lock(mutex_);
    return std::exchange(onFinished_, nullptr);
}

void TDirScanThread::CancelCompletion() {
    std::shared_ptr<TCompletion> completion;
    {
        std::lock_guard lock(mutex_);
        onFinished_ = nullptr;
        completion = completion_;
    }
    if (!completion)
        return;
    {
        std::lock_guard lock(completion->mutex);
        completion->done = true;
    }
    completion->changed.notify_all();
}

void TDirScanThread::Join() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

void TDirScanThread::Execute() {
    {
        std::lock_guard lock(mutex_);
        if (terminated_)
            return; // its stopper marked the root unread
        walking_ = true;
        walkStarted_ = true;
    }
    struct WalkEnd {
        TDirScanThread& self;
        ~WalkEnd() {
            {
                std::lock_guard lock(self.mutex_);
                self.walking_ = false;
            }
            self.walkEnded_.notify_all();
        }
    } walkEnd{*this};
    scanner_->Scan(GetFullPath(scanner_->Root()), threshold_);
}

void TDirScanThread::Run() {
    const pid_t tid = ::gettid();
    LowerCurrentThreadPriority(tid);
    workerId_.store(tid, std::memory_order_release);
    try {
        Execute();
    } catch (const std::exception& e) {
        ProgramLogger().error("Scan thread ended by an error", e);
    } catch (...) {
        ProgramLogger().error("Scan thread ended by an unknown error");
    }

    TDirScanThreadList* owner = owner_.load(std::memory_order_acquire);
    if (owner == nullptr) {
        ended_.store(true, std::memory_order_release);
        return;
    }
    if (const auto completion = owner->Leave(*this)) {
        std::unique_lock lock(completion->mutex);
        completion->changed.wait(lock, [&] { return completion->done; });
    }
    ended_.store(true, std::memory_order_release);
    // The list joins this worker before it goes away, so it is still there.
    owner->WorkerEnded(*this);
}

} // namespace quorvex
