#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvex {

class ETimerException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TLLTimer {
    std::int32_t ID = 0;
    std::int64_t StartTicks = 0;
    std::int64_t StopTicks = 0;
};

// Wall-clock timers keyed by caller-chosen numbers, on the monotonic clock (ticks are nanoseconds).
class TLLProfiler {
public:
    TLLProfiler();

    std::int64_t Frequency() const { return frequency_; }
    void StartTimer(std::int32_t id);
    // Stop minus start of the timer, in ticks; the timer stays and may be stopped again.
    std::int64_t StopTimer(std::int32_t id);
    int IndexOfTimer(std::int32_t id) const;

private:
    static std::int64_t Now();

    std::int64_t frequency_;
    mutable std::mutex mutex_; // the shared profiler is used by the UI and the special-folder thread
    std::vector<std::unique_ptr<TLLTimer>> timers_;
};

TLLProfiler& GlobalProfiler();

void StartTimer(std::int32_t id);
// Seconds since the timer's start on the shared profiler; 0 on any error (e.g. never started).
double ElapsedSeconds(std::int32_t id);
// "<label>: 0.123 s" with the user's decimal separator; one to three decimals.
std::string FormatElapsed(const std::string& label, double seconds);
// Writes FormatElapsed(label, ElapsedSeconds(id)) to the debug channel (debug messages of the Qt category
// "quorvex").
void LogElapsed(std::int32_t id, const std::string& label);

} // namespace quorvex
