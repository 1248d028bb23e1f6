#pragma once

#include <atomic>
#include <cstdint>

namespace quorvex {

// A recursive lock of 12 bytes. Every directory node carries one, and a scan holds hundreds of
// thousands of directories in memory: a pthread recursive mutex (40 bytes) would be a fifth of a node.
// Waiting uses the futex behind std::atomic::wait, so a contended lock sleeps rather than spins.
class TNodeLock {
public:
    TNodeLock() = default;
    TNodeLock(const TNodeLock&) = delete;
    TNodeLock& operator=(const TNodeLock&) = delete;

    void lock() noexcept;
    bool try_lock() noexcept;
    void unlock() noexcept;

private:
    static std::uint32_t ThreadToken() noexcept;

    std::atomic<std::uint32_t> owner_{0}; // token of the holding thread, 0 = free
    std::uint32_t depth_ = 0;             // touched only by the holder
    std::atomic<std::uint32_t> waiters_{0};
};

} // namespace quorvex
