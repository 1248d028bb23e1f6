#include "shell/MountProbe.h"

#include "shell/DriveNames.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <sys/stat.h>

namespace quorvex {
namespace {

class TSystemMountProbe final : public TMountProbe {
public:
    bool IsDirectory(const std::string& path) const override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    std::string Label(const TMountEntry& drive) const override {
        return FileSystemLabel(drive, "/dev/disk/by-label");
    }
};

// Keys of the two kinds of answer, in one map: 'd' + path, 'l' + mount point + NUL + source.
std::string DirectoryKey(const std::string& path) {
    return 'd' + path;
}

std::string LabelKey(const TMountEntry& drive) {
    return 'l' + drive.MountPoint + '\0' + drive.Source;
}

} // namespace

std::shared_ptr<const TMountProbe> SystemMountProbe() {
    static const auto probe = std::make_shared<const TSystemMountProbe>();
    return probe;
}

struct TTimedProber::TShared {
    std::mutex lock;
    std::condition_variable answered;
    std::map<std::string, std::string> answers;
    std::set<std::string> running;
};

TTimedProber::TTimedProber(std::shared_ptr<const TMountProbe> probe, std::chrono::milliseconds limit)
    : shared_(std::make_shared<TShared>()), probe_(std::move(probe)), limit_(limit) {}

// Hanging probe threads are detached, not joined: they end on their own and then drop the shared state.
TTimedProber::~TTimedProber() = default;

// Answers of the old probe are forgotten; its probes still running end unseen.
void TTimedProber::SetProbe(std::shared_ptr<const TMountProbe> probe) {
    probe_ = std::move(probe);
    shared_ = std::make_shared<TShared>();
}

namespace {

using TAsk = std::function<std::string()>;

// Starts each key's ask unless it is still running, then waits until all answered or `deadline`.
// Keys that were already running before this call are not waited for.
template <typename Shared>
std::vector<std::optional<std::string>> AskAll(const std::shared_ptr<Shared>& shared,
                                               const std::vector<std::pair<std::string, TAsk>>& asks,
                                               std::chrono::steady_clock::time_point deadline) {
    std::vector<bool> waitFor(asks.size(), false);
    std::unique_lock guard(shared->lock);
    for (std::size_t i = 0; i < asks.size(); ++i) {
        const std::string& key = asks[i].first;
        if (shared->running.count(key) != 0 || shared->answers.count(key) != 0)
            continue;
        shared->running.insert(key);
        waitFor[i] = true;
        std::thread([shared, key, ask = asks[i].second] {
            std::string answer = ask();
            const std::lock_guard done(shared->lock);
            shared->answers[key] = std::move(answer);
            shared->running.erase(key);
            shared->answered.notify_all();
        }).detach();
    }
    const auto allAnswered = [&] {
        for (std::size_t i = 0; i < asks.size(); ++i) {
            if (waitFor[i] && shared->running.count(asks[i].first) != 0)
                return false;
        }
        return true;
    };
    shared->answered.wait_until(guard, deadline, allAnswered);
    std::vector<std::optional<std::string>> result(asks.size());
    for (std::size_t i = 0; i < asks.size(); ++i) {
        if (const auto found = shared->answers.find(asks[i].first); found != shared->answers.end())
            result[i] = found->second;
    }
    return result;
}

} // namespace

std::vector<TPathState> TTimedProber::Directories(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, TAsk>> asks;
    asks.reserve(paths.size());
    {
        // An answer left by a probe that returned late is stale by now.
        const std::lock_guard guard(shared_->lock);
        for (const std::string& path : paths)
            shared_->answers.erase(DirectoryKey(path));
    }
    for (const std::string& path : paths)
        asks.emplace_back(DirectoryKey(path),
                          [probe = probe_, path] { return probe->IsDirectory(path) ? "1" : "0"; });
    const auto answers = AskAll(shared_, asks, std::chrono::steady_clock::now() + limit_);
    std::vector<TPathState> states;
    states.reserve(paths.size());
    for (const auto& answer : answers) {
        if (!answer)
            states.push_back(TPathState::Unknown);
        else
            states.push_back(*answer == "1" ? TPathState::Directory : TPathState::Missing);
    }
    const std::lock_guard guard(shared_->lock);
    for (const std::string& path : paths)
        shared_->answers.erase(DirectoryKey(path));
    return states;
}

std::vector<std::string> TTimedProber::Labels(const std::vector<TMountEntry>& drives) {
    std::vector<std::pair<std::string, TAsk>> asks;
    asks.reserve(drives.size());
    for (const TMountEntry& drive : drives)
        asks.emplace_back(LabelKey(drive), [probe = probe_, drive] { return probe->Label(drive); });
    const auto answers = AskAll(shared_, asks, std::chrono::steady_clock::now() + limit_);
    std::vector<std::string> labels;
    labels.reserve(drives.size());
    for (const auto& answer : answers)
        labels.push_back(answer.value_or(std::string()));
    return labels;
}

} // namespace quorvex
