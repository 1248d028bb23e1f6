#include "model/NodeLock.h"

namespace quorvex {

std::uint32_t TNodeLock::ThreadToken() noexcept {
    static std::atomic<std::uint32_t> next{1};
    thread_local const std::uint32_t token = next.fetch_add(1, std::memory_order_relaxed);
    return token;
}

void TNodeLock::lock() noexcept {
    const std::uint32_t me = ThreadToken();
    if (owner_.load(std::memory_order_relaxed) == me) {
        ++depth_;
        return;
    }
    std::uint32_t expected = 0;
    while (
        !owner_.compare_exchange_weak(expected, me, std::memory_order_acquire, std::memory_order_relaxed)) {
        if (expected != 0) {
            waiters_.fetch_add(1, std::memory_order_seq_cst);
            owner_.wait(expected, std::memory_order_seq_cst);
            waiters_.fetch_sub(1, std::memory_order_relaxed);
        }
        expected = 0;
    }
    depth_ = 1;
}

bool TNodeLock::try_lock() noexcept {
    const std::uint32_t me = ThreadToken();
    if (owner_.load(std::memory_order_relaxed) == me) {
        ++depth_;
        return true;
    }
    std::uint32_t expected = 0;
    if (!owner_.compare_exchange_strong(expected, me, std::memory_order_acquire, std::memory_order_relaxed))
        return false;
    depth_ = 1;
    return true;
}

void TNodeLock::unlock() noexcept {
    if (--depth_ != 0)
        return;
    owner_.store(0, std::memory_order_seq_cst);
    if (waiters_.load(std::memory_order_seq_cst) != 0)
        owner_.notify_all();
}

} // namespace quorvex
