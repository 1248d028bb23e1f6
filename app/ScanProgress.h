#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quorvex {

// The one-line progress display of a command-line scan: directory, files and bytes so far, elapsed
// time. Draws only when the descriptor is a terminal, and at most ten times a second however often
// it is told; a pipe or a file never receives a byte of it.
class TScanProgress {
public:
    explicit TScanProgress(int fd);
    TScanProgress(const TScanProgress&) = delete;
    TScanProgress& operator=(const TScanProgress&) = delete;
    ~TScanProgress();

    bool Enabled() const { return enabled_; }
    void Update(const std::string& directory, std::int64_t files, std::int64_t bytes, double elapsedSeconds);
    // Clears the line so that later messages start on a clean one.
    void Finish();

    static constexpr std::chrono::milliseconds kInterval{100};

private:
    void Write(const std::string& text) const;
    int Columns() const;

    int fd_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// `text` made safe and short for one terminal line: invalid UTF-8 and control characters become "?",
// and when it has more than `width` characters its middle gives way to "...".
std::string TerminalText(const std::string& text, int width);

} // namespace quorvex
