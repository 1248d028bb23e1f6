#pragma once

#include <atomic>

namespace quorvex {

// How many threads may walk at once, shared by every scan that draws on it: the drives of "Local
// Drives" and any rescans run side by side on one budget rather than each on its own. A scan's own
// thread always walks; the helpers it adds take what is left.
class TWorkerBudget {
public:
    static constexpr int kMaxWorkers = 16;

    // 0 or less: the automatic count.
    explicit TWorkerBudget(int workers);
    TWorkerBudget(const TWorkerBudget&) = delete;
    TWorkerBudget& operator=(const TWorkerBudget&) = delete;

    int Workers() const { return workers_; }
    // A scan's own thread: counted even when the budget is spent, so that it can never be refused.
    void TakeOwn() { free_.fetch_sub(1, std::memory_order_relaxed); }
    // A helper thread: only while some of the budget is left.
    bool TryTakeHelper();
    bool HasRoom() const { return free_.load(std::memory_order_relaxed) > 0; }
    void Give() { free_.fetch_add(1, std::memory_order_relaxed); }

private:
    const int workers_;
    std::atomic<int> free_;
};

// The number of walking threads when the user has not chosen one. A cold walk waits on the disk far
// more than it computes, so it gains from more threads than there are cores; a warm one stops gaining
// once every core is busy, and loses little beyond that.
int AutomaticScanWorkers();

// `jobs` as asked for (0 = automatic), within 1..kMaxWorkers.
int ScanWorkersFor(int jobs);

} // namespace quorvex
