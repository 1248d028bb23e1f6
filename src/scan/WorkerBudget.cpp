#include "scan/WorkerBudget.h"

#include <algorithm>
#include <thread>

namespace quorvex {

TWorkerBudget::TWorkerBudget(int workers) : workers_(ScanWorkersFor(workers)), free_(workers_) {}

bool TWorkerBudget::TryTakeHelper() {
    int free = free_.load(std::memory_order_relaxed);
    while (free > 0) {
        if (free_.compare_exchange_weak(free, free - 1, std::memory_order_relaxed))
            return true;
    }
    return false;
}

int AutomaticScanWorkers() {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(4 * cores, 4, TWorkerBudget::kMaxWorkers);
}

int ScanWorkersFor(int jobs) {
    return jobs <= 0 ? AutomaticScanWorkers() : std::min(jobs, TWorkerBudget::kMaxWorkers);
}

} // namespace quorvex
