#pragma once

#include "support/MountTable.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quorvex {

// The look-ups that touch a mounted file system and can hang for minutes on a dead network mount.
// Tests substitute one that blocks.
class TMountProbe {
public:
    virtual ~TMountProbe() = default;
    virtual bool IsDirectory(const std::string& path) const = 0;
    // The file system's label, or "" when it has none.
    virtual std::string Label(const TMountEntry& drive) const = 0;
};

// stat(2), and the labels udev publishes in /dev/disk/by-label.
std::shared_ptr<const TMountProbe> SystemMountProbe();

enum class TPathState : unsigned char { Directory, Missing, Unknown };

// Runs mount probes on threads of their own and waits for them at most a time limit per call, so a
// hanging file system costs the caller that limit once. A probe still hanging from an earlier call is
// not started again nor waited for: its path reads as unknown and its drive as unlabelled until it
// returns. Labels are kept once known; directory answers are asked afresh each call.
// Use from one thread; the probe threads share only reference-counted state with it.
class TTimedProber {
public:
    TTimedProber(std::shared_ptr<const TMountProbe> probe, std::chrono::milliseconds limit);
    ~TTimedProber();
    TTimedProber(const TTimedProber&) = delete;
    TTimedProber& operator=(const TTimedProber&) = delete;

    std::vector<TPathState> Directories(const std::vector<std::string>& paths);
    std::vector<std::string> Labels(const std::vector<TMountEntry>& drives);

    void SetProbe(std::shared_ptr<const TMountProbe> probe);

private:
    struct TShared;
    std::shared_ptr<TShared> shared_;
    std::shared_ptr<const TMountProbe> probe_;
    std::chrono::milliseconds limit_;
};

} // namespace quorvex
