#include "support/FreeSpaceProbe.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>

namespace quorvex {
namespace {

int SystemStatvfs(const std::string& path, struct statvfs& out) {
    return ::statvfs(path.c_str(), &out);
}

// Shared with the helper threads, which may outlive every caller (and static destruction): each
// holds its own reference.
struct TProbeRegistry {
    std::mutex mutex;
    TStatvfsFunction function = SystemStatvfs;
    std::unordered_set<std::string> stuck;
};

std::shared_ptr<TProbeRegistry> Registry() {
    static const auto registry = std::make_shared<TProbeRegistry>();
    return registry;
}

struct TProbeAnswer {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    std::optional<struct statvfs> result;
};

} // namespace

std::optional<struct statvfs> TimedStatvfs(const std::string& path, std::chrono::milliseconds limit) {
    std::shared_ptr<TProbeRegistry> registry = Registry();
    TStatvfsFunction function;
    {
        std::lock_guard guard(registry->mutex);
        if (!registry->stuck.insert(path).second)
            return std::nullopt;
        function = registry->function;
    }
    auto answer = std::make_shared<TProbeAnswer>();
    std::thread([registry, answer, path, function = std::move(function)] {
        struct statvfs st {};
        const bool ok = function(path, st) == 0;
        {
            // Before the answer: a caller woken by it may ask again at once.
            std::lock_guard guard(registry->mutex);
            registry->stuck.erase(path);
        }
        {
            std::lock_guard guard(answer->mutex);
            if (ok)
                answer->result = st;
            answer->answered = true;
        }
        answer->done.notify_all();
    }).detach();

    std::unique_lock lock(answer->mutex);
    if (!answer->done.wait_for(lock, limit, [&] { return answer->answered; }))
        return std::nullopt;
    return answer->result;
}

TStatvfsFunction SetStatvfsFunction(TStatvfsFunction function) {
    std::shared_ptr<TProbeRegistry> registry = Registry();
    std::lock_guard guard(registry->mutex);
    TStatvfsFunction previous =
        std::exchange(registry->function, function ? std::move(function) : TStatvfsFunction(SystemStatvfs));
    return previous;
}

} // namespace quorvex
