#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace quorvex {

// One background thread that runs the jobs handed to it in order. Destroying it waits for every job
// handed over, so that work such as writing a file is finished, not cut short, when its owner goes.
// Standard primitives only, so that the thread sanitizer sees every hand-over.
class TSerialWorker {
public:
    TSerialWorker() : thread_([this] { Run(); }) {}
    TSerialWorker(const TSerialWorker&) = delete;
    TSerialWorker& operator=(const TSerialWorker&) = delete;
    ~TSerialWorker() {
        {
            const std::lock_guard guard(mutex_);
            closing_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    void Post(std::function<void()> job) {
        {
            const std::lock_guard guard(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

private:
    void Run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool closing_ = false;
    std::thread thread_; // last: started once the rest is ready
};

} // namespace quorvex
