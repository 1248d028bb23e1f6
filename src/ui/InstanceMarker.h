#pragma once

#include <string>

namespace quorvex {

// Marks the program as running for as long as it lives, for installers and the like: a shared lock on
// the file "Quorvex.Mutex" in $XDG_RUNTIME_DIR (else the temp folder). Any number of instances hold
// it together; whoever needs them all gone asks for an exclusive lock.
class TInstanceMarker {
public:
    explicit TInstanceMarker(const std::string& folder = DefaultFolder());
    TInstanceMarker(const TInstanceMarker&) = delete;
    TInstanceMarker& operator=(const TInstanceMarker&) = delete;
    ~TInstanceMarker();

    bool IsHeld() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    static std::string DefaultFolder();

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace quorvex
