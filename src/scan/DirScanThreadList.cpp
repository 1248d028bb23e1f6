#include "scan/DirScanThreadList.h"

#include "diag/QxLogger.h"
#include "model/FileSystemNode.h"
#include "scan/DirScanner.h"
#include "scan/WorkerBudget.h"
#include "settings/QxSettings.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <thread>

namespace quorvex {
namespace {

constexpr auto kEmptyPollInterval = std::chrono::milliseconds(50);

std::int64_t ThresholdFromSettings() {
    return GlobalSettings().GroupThreshold();
}

bool IsStrictlyBelow(const TFileSystemNode* node, const TGroupNode* ancestor) {
    for (const TGroupNode* p = node->Parent(); p != nullptr; p = p->Parent()) {
        if (p == ancestor)
            return true;
    }
    return false;
}

} // namespace

// Receives the queued calls of the workers on the thread that made the list. Called by name, so no
// functor made on a worker is run here.
class TDirScanThreadListInbox : public QObject {
    Q_OBJECT
public:
    explicit TDirScanThreadListInbox(std::function<void()> deliver) : deliver_(std::move(deliver)) {}

    Q_INVOKABLE void Deliver() { deliver_(); }

private:
    std::function<void()> deliver_;
};

TDirScanThreadList::TDirScanThreadList(int maxThreads, ThresholdSource thresholdSource,
                                       TFileSystemApi* fileSystem)
    : maxThreads_(maxThreads), thresholdSource_(thresholdSource ? std::move(thresholdSource)
                                                                : ThresholdSource(&ThresholdFromSettings)),
      fileSystem_(fileSystem), budget_(std::make_shared<TWorkerBudget>(0)),
      context_(std::make_unique<TDirScanThreadListInbox>([this] { Deliver(); })) {}

TDirScanThreadList::~TDirScanThreadList() {
    std::vector<std::unique_ptr<TDirScanThread>> all;
    {
        std::lock_guard lock(mutex_);
        for (TDirScanThread* thread : threads_)
            thread->StopAndWait();
        for (const auto& thread : owned_)
            thread->owner_.store(nullptr, std::memory_order_release);
        CancelCompletionsLocked();
        threads_.clear();
        all = std::move(owned_);
    }
    // Outside the lock: a worker may still need it to leave.
    all.clear();
}

TDirScanThread* TDirScanThreadList::AddThread(TGroupNode* root) {
    ReapEnded();
    const std::int64_t threshold = thresholdSource_();
    std::lock_guard lock(mutex_);
    if (static_cast<int>(threads_.size()) >= maxThreads_)
        return nullptr;
    auto thread =
        std::make_unique<TDirScanThread>(TDirScanThreadKey{}, *this, root, threshold, fileSystem_, budget_);
    thread->Scanner().SetExclusions(exclusions_);
    threads_.push_back(thread.get());
    owned_.push_back(std::move(thread));
    return threads_.back();
}

void TDirScanThreadList::SetJobs(int jobs) {
    budget_ = std::make_shared<TWorkerBudget>(jobs);
}

int TDirScanThreadList::Jobs() const {
    return budget_->Workers();
}

void TDirScanThreadList::Remove(TDirScanThread* thread) {
    std::lock_guard lock(mutex_);
    std::erase(threads_, thread);
}

bool TDirScanThreadList::IsEmpty() const {
    std::lock_guard lock(mutex_);
    return threads_.empty();
}

bool TDirScanThreadList::IsFull() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(threads_.size()) >= maxThreads_;
}

int TDirScanThreadList::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(threads_.size());
}

std::string TDirScanThreadList::GetCurrentDir() const {
    std::lock_guard lock(mutex_);
    return threads_.empty() ? std::string() : threads_.front()->GetCurrentDir();
}

void TDirScanThreadList::StopAll() {
    std::lock_guard lock(mutex_);
    for (TDirScanThread* thread : threads_)
        thread->StopAndWait();
}

int TDirScanThreadList::StopThreadsBelow(const TGroupNode* node) {
    return StopThreadsWhere([node](const TGroupNode* root) { return IsStrictlyBelow(root, node); });
}

int TDirScanThreadList::StopThreadsWithin(const TGroupNode* node) {
    return StopThreadsWhere(
        [node](const TGroupNode* root) { return root == node || IsStrictlyBelow(root, node); });
}

int TDirScanThreadList::StopThreadsWhere(const std::function<bool(const TGroupNode* root)>& matches) {
    std::lock_guard lock(mutex_);
    int stopped = 0;
    for (TDirScanThread* thread : threads_) {
        if (matches(thread->Root())) {
            thread->StopAndWait();
            ++stopped;
        }
    }
    return stopped;
}

void TDirScanThreadList::StopAllAndWait() {
    std::vector<std::unique_ptr<TDirScanThread>> unstarted;
    {
        std::lock_guard lock(mutex_);
        CancelCompletionsLocked();
        for (TDirScanThread* thread : threads_)
            thread->StopAndWait();
        unstarted = TakeUnstartedLocked();
    }
    unstarted.clear();
    while (!IsEmpty())
        std::this_thread::sleep_for(kEmptyPollInterval);
    // Every worker has left and none waits for this thread any more: join them all now.
    std::vector<std::unique_ptr<TDirScanThread>> all;
    {
        std::lock_guard lock(mutex_);
        all = std::move(owned_);
        owned_.clear();
    }
    all.clear();
}

std::shared_ptr<TDirScanThread::TCompletion> TDirScanThreadList::Leave(TDirScanThread& thread) {
    std::lock_guard lock(mutex_);
    if (thread.owner_.load(std::memory_order_acquire) != this)
        return nullptr;
    std::erase(threads_, &thread);
    TDirScanThread::FinishedCallback callback = thread.TakeOnFinished();
    if (!callback)
        return nullptr;
    auto completion = std::make_shared<TDirScanThread::TCompletion>();
    {
        std::lock_guard threadLock(thread.mutex_);
        thread.completion_ = completion;
    }
    pending_.push_back({&thread, std::move(callback), completion});
    PostDeliverLocked();
    return completion;
}

void TDirScanThreadList::WorkerEnded(TDirScanThread& thread) {
    std::lock_guard lock(mutex_);
    if (thread.owner_.load(std::memory_order_acquire) == this)
        PostDeliverLocked();
}

void TDirScanThreadList::PostDeliverLocked() {
    QMetaObject::invokeMethod(context_.get(), "Deliver", Qt::QueuedConnection);
}

void TDirScanThreadList::Deliver() {
    for (;;) {
        TPendingCompletion next;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty())
                break;
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        {
            // Cancelled by shutdown: the thread may already be gone.
            std::lock_guard guard(next.completion->mutex);
            if (next.completion->done)
                continue;
        }
        struct Release {
            TDirScanThread::TCompletion& call;
            ~Release() {
                {
                    std::lock_guard guard(call.mutex);
                    call.done = true;
                }
                call.changed.notify_all();
            }
        } release{*next.completion};
        // An error must not unwind through the event loop: it is logged, and the worker released.
        try {
            next.callback(*next.thread);
        } catch (const std::exception& e) {
            ProgramLogger().error("Scan completion failed", e);
        }
    }
    ReapEnded();
}

void TDirScanThreadList::ReapEnded() {
    std::vector<std::unique_ptr<TDirScanThread>> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = owned_.begin(); it != owned_.end();) {
            if ((*it)->HasEnded() &&
                std::find(threads_.begin(), threads_.end(), it->get()) == threads_.end()) {
                ended.push_back(std::move(*it));
                it = owned_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined outside the lock; each worker has already returned or is about to.
    ended.clear();
}

std::vector<std::unique_ptr<TDirScanThread>> TDirScanThreadList::TakeUnstartedLocked() {
    std::vector<std::unique_ptr<TDirScanThread>> unstarted;
    for (auto it = owned_.begin(); it != owned_.end();) {
        if (!(*it)->HasStarted()) {
            std::erase(threads_, it->get());
            unstarted.push_back(std::move(*it));
            it = owned_.erase(it);
        } else {
            ++it;
        }
    }
    return unstarted;
}

void TDirScanThreadList::CancelCompletionsLocked() {
    for (const auto& thread : owned_)
        thread->CancelCompletion();
    pending_.clear();
}

} // namespace quorvex

#include "DirScanThreadList.moc"
