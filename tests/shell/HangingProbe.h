#pragma once

// The system's mount look-ups, except that those of the paths in `hang` block until Release(), as on a
// dead network mount. Counts the calls.

#include "shell/MountProbe.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quorvex::testing {

class HangingProbe final : public TMountProbe {
public:
    explicit HangingProbe(std::vector<std::string> hang) : hang_(std::move(hang)) {}
    bool IsDirectory(const std::string& path) const override {
        ++directoryCalls;
        Wait(path);
        return SystemMountProbe()->IsDirectory(path);
    }
    std::string Label(const TMountEntry& drive) const override {
        ++labelCalls;
        Wait(drive.MountPoint);
        return SystemMountProbe()->Label(drive);
    }
    void Release() {
        const std::lock_guard guard(lock_);
        released_ = true;
        wake_.notify_all();
    }
    mutable std::atomic<int> directoryCalls{0};
    mutable std::atomic<int> labelCalls{0};

private:
    void Wait(const std::string& path) const {
        if (std::find(hang_.begin(), hang_.end(), path) == hang_.end())
            return;
        std::unique_lock guard(lock_);
        wake_.wait(guard, [this] { return released_; });
    }
    std::vector<std::string> hang_;
    mutable std::mutex lock_;
    mutable std::condition_variable wake_;
    bool released_ = false;
};

} // namespace quorvex::testing
