#include "scan/DirScanner.h"

#include "diag/QxProfiler.h"
#include "model/HardLinkSet.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "scan/DirScanWorker.h"
#include "scan/DiskListing.h"
#include "scan/ScanExclusions.h"
#include "scan/WorkerBudget.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quorvex {

namespace {
constexpr std::int32_t kScanTimerId = 8192;
// Descriptors a scan leaves to the rest of the program (its windows, files being written, other scans).
constexpr int kReservedDescriptors = 8;

int CurrentThreadNice() {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    return errno == 0 ? nice : 0;
}
} // namespace

TDirScanner::TDirScanner(TGroupNode* root, TFileSystemApi* fileSystem, std::shared_ptr<TWorkerBudget> budget)
    : root_(root), fs_(fileSystem != nullptr ? fileSystem : &DefaultFileSystem()),
      budget_(budget ? std::move(budget) : std::make_shared<TWorkerBudget>(1)) {}

TDirScanner::~TDirScanner() = default;

int TDirScanner::MaxWorkers() const {
    return budget_->Workers();
}

std::string TDirScanner::GetCurrentDir() const {
    const int started = activeWorkers_.load(std::memory_order_acquire);
    for (int i = 0; i < started; ++i) {
        TWorker& worker = *workers_[static_cast<std::size_t>(i)];
        std::lock_guard guard(worker.mutex);
        if (worker.active)
            return worker.path;
    }
    if (started == 0)
        return {};
    std::lock_guard guard(workers_.front()->mutex);
    return workers_.front()->path;
}

void TDirScanner::SetExclusions(std::shared_ptr<const TScanExclusions> exclusions) {
    exclusions_ = exclusions && !exclusions->IsEmpty() ? std::move(exclusions) : nullptr;
}

void TDirScanner::Scan(const std::string& path, std::int64_t threshold) {
    busy_.store(true, std::memory_order_release);
    elapsedSeconds_ = 0;
    groupThreshold_ = threshold;
    TLLProfiler profiler;
    profiler.StartTimer(kScanTimerId);

    const std::string p = ExcludeTrailingPathDelimiter(path);
    root_->Clear();
    root_->SetPath(p);
    if (auto* rootNode = dynamic_cast<TRootNode*>(root_))
        rootNode->SetGroupThreshold(threshold);
    // A rescanned directory follows its tree's choice and shares its set: the clear above dropped
    // what this subtree counted, and a file counted outside it stays counted there.
    hardLinks_ = CountedHardLinks(root_);
    walkRootLength_ = p.size();
    matchRoot_.clear();
    if (exclusions_) {
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(p.c_str(), nullptr), &std::free);
        matchRoot_ = real ? std::string(real.get()) : p;
    }
    stopped_.store(false, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
    {
        std::lock_guard lock(poolMutex_);
        done_ = false;
        error_ = nullptr;
    }

    const int maxWorkers = MaxWorkers();
    // Each worker holds at least two descriptors at its busiest (a directory and the one it opens
    // from it), so a low limit on open files means fewer workers rather than failed opens. Some are
    // left for the rest of the program.
    const int spare = std::clamp(FreeDescriptorCount() - kReservedDescriptors, 2, kMaxOpenDirs);
    workerLimit_ = std::clamp(spare / 2, 1, maxWorkers);
    // Each worker keeps one descriptor spare for the directory it reads or reopens.
    descriptorsPerWorker_ = std::max(1, spare / workerLimit_ - 1);
    while (static_cast<int>(workers_.size()) < maxWorkers)
        workers_.push_back(std::make_unique<TWorker>());
    TWorker& first = *workers_.front();
    {
        std::lock_guard guard(first.mutex);
        first.path = p;
        first.active = true;
    }
    activeWorkers_.store(1, std::memory_order_release);
    nice_ = CurrentThreadNice();

    budget_->TakeOwn();
    bool entered = false;
    if (!IsStopped()) {
        int rootFd = -ENOENT;
        try {
            // A root the user named may be a symbolic link, and that one link is followed. A directory of
            // the tree rescanned on its own is reached through its ancestors, as deep as it may lie.
            const TGroupNode* above = root_->Parent();
            const std::function<int()> open = [&] {
                return above == nullptr || above->GetNodeType() == ntFixedDrives
                           ? fs_->OpenRootDirectory(p.c_str())
                           : OpenNodeDirectory(root_, *fs_);
            };
            rootFd = open();
            if (IsOutOfDescriptors(rootFd))
                rootFd = OpenWhenDescriptorsFree(first, open);
        } catch (...) {
            Fail(std::current_exception());
        }
        if (!Ending()) {
            entered = true;
            Enter(first, rootFd, root_, nullptr);
            RunWorker(first);
        } else if (rootFd >= 0) {
            ::close(rootFd);
        }
        JoinHelpers();
    }
    // A stop that came after the clear above but before the root was entered read nothing of it: its
    // zero totals are not a count. The stopper waits for this walk to end, so the root is alive here.
    if (IsStopped() && !entered)
        root_->SetFlag(nfIncomplete, true);
    budget_->Give();
    {
        std::lock_guard guard(first.mutex);
        first.active = false;
    }

    busy_.store(false, std::memory_order_release);
    const std::int64_t ticks = profiler.StopTimer(kScanTimerId);
    elapsedSeconds_ = profiler.Frequency() > 0
                          ? static_cast<double>(ticks) / static_cast<double>(profiler.Frequency())
                          : 0.0;
    std::exception_ptr error;
    {
        std::lock_guard lock(poolMutex_);
        error = error_;
    }
    if (error)
        std::rethrow_exception(error);
}

void TDirScanner::RunWorker(TWorker& worker) {
    for (;;) {
        WalkOwnStack(worker);
        TTask task;
        if (!WaitForWork(worker, task))
            return;
        int fd = -1;
        try {
            fd = fs_->OpenDirectory(task.parentFd, task.node->Name().c_str());
            if (IsOutOfDescriptors(fd))
                fd = OpenWhenDescriptorsFree(
                    worker, [&] { return fs_->OpenDirectory(task.parentFd, task.node->Name().c_str()); });
        } catch (...) {
            Fail(std::current_exception());
        }
        ::close(task.parentFd);
        if (Ending() && fd < 0) {
            task.node->SetFlag(nfIncomplete, true);
            task.node->SetScanning(false);
            task.parent->incomplete.store(true, std::memory_order_relaxed);
            Release(task.parent);
            continue;
        }
        {
            std::lock_guard guard(worker.mutex);
            worker.path.swap(task.path);
            worker.active = true;
        }
        Enter(worker, fd, task.node, task.parent);
    }
}

// The oldest unentered subdirectory of any other worker: near the top of the tree, so the most work.
bool TDirScanner::Steal(TWorker& thief, TTask& task) {
    const int started = activeWorkers_.load(std::memory_order_acquire);
    for (int i = 0; i < started; ++i) {
        TWorker& victim = *workers_[static_cast<std::size_t>(i)];
        if (&victim == &thief)
            continue;
        std::lock_guard guard(victim.mutex);
        for (TFrame& frame : victim.stack) {
            if (frame.fd < 0 || frame.next == frame.end)
                continue;
            TDirNode* child = frame.subdirs[frame.end - 1];
            std::string path(victim.path, 0, frame.pathLength);
            if (path.back() != PathDelim)
                path.push_back(PathDelim);
            path.append(child->Name());
            const int fd = ::fcntl(frame.fd, F_DUPFD_CLOEXEC, 0);
            if (fd < 0)
                continue;
            --frame.end;
            frame.state->holds.fetch_add(1, std::memory_order_relaxed);
            task.parentFd = fd;
            task.node = child;
            task.parent = frame.state;
            task.path = std::move(path);
            return true;
        }
    }
    return false;
}

// Returns false when the walk is over. Idle workers count in idle_, so that one who publishes work
// knows to say so; an offer made between a failed steal and the wait is seen in `offers_`.
bool TDirScanner::WaitForWork(TWorker& worker, TTask& task) {
    {
        std::lock_guard guard(worker.mutex);
        worker.active = false;
    }
    std::unique_lock lock(poolMutex_);
    idle_.fetch_add(1, std::memory_order_seq_cst);
    for (;;) {
        if (done_)
            break;
        const std::uint64_t seen = offers_;
        lock.unlock();
        bool got = false;
        try {
            got = !Ending() && Steal(worker, task);
        } catch (...) {
            Fail(std::current_exception());
        }
        lock.lock();
        if (got) {
            idle_.fetch_sub(1, std::memory_order_seq_cst);
            return true;
        }
        workOffered_.wait(lock, [&] { return done_ || offers_ != seen; });
    }
    idle_.fetch_sub(1, std::memory_order_seq_cst);
    return false;
}

void TDirScanner::OfferWork() {
    if (idle_.load(std::memory_order_seq_cst) > 0) {
        {
            std::lock_guard lock(poolMutex_);
            ++offers_;
        }
        workOffered_.notify_all();
        return;
    }
    MaybeAddHelper();
}

void TDirScanner::MaybeAddHelper() {
    if (activeWorkers_.load(std::memory_order_relaxed) < workerLimit_ && budget_->HasRoom() &&
        budget_->TryTakeHelper())
        AddHelper();
}

void TDirScanner::AddHelper() {
    std::lock_guard lock(poolMutex_);
    const int index = activeWorkers_.load(std::memory_order_relaxed);
    if (done_ || index >= workerLimit_) {
        budget_->Give();
        return;
    }
    TWorker& worker = *workers_[static_cast<std::size_t>(index)];
    try {
        helpers_.emplace_back([this, &worker] {
            // As nice as the scan's own thread, whichever worker started this one.
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice_);
            RunWorker(worker);
            budget_->Give();
        });
    } catch (...) {
        budget_->Give(); // no thread: the others walk on without it
        return;
    }
    activeWorkers_.store(index + 1, std::memory_order_release);
}

void TDirScanner::JoinHelpers() {
    std::vector<std::thread> helpers;
    {
        std::lock_guard lock(poolMutex_);
        helpers.swap(helpers_);
    }
    for (std::thread& helper : helpers)
        helper.join();
}

void TDirScanner::Fail(std::exception_ptr error) {
    {
        std::lock_guard lock(poolMutex_);
        if (!error_)
            error_ = std::move(error);
    }
    failed_.store(true, std::memory_order_relaxed);
}

void TDirScanner::WalkEnded() {
    {
        std::lock_guard lock(poolMutex_);
        done_ = true;
    }
    workOffered_.notify_all();
}

void TDirScanner::Release(TDirState* state) {
    while (state != nullptr) {
        if (state->holds.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        TGroupNode* node = state->node;
        TDirState* parent = state->parent;
        const bool incomplete = state->incomplete.load(std::memory_order_relaxed);
        std::unique_ptr<TDirState>{state}.reset();
        node->SetFlag(nfIncomplete, incomplete);
        node->SetScanning(false);
        if (parent == nullptr) {
            WalkEnded();
            return;
        }
        // Finished, so these are its stored totals, or its live ones when it is incomplete.
        parent->node->AddSize(node->GetSize(), node->GetSize(TSizeKind::Allocated));
        parent->node->AddFileCount(node->GetFileCount());
        if (incomplete)
            parent->incomplete.store(true, std::memory_order_relaxed);
        state = parent;
    }
}

} // namespace quorvex
