#pragma once

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
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

// The progress line of a running scan, redrawn from a timer on this thread's event loop while the
// object lives, and cleared when it goes. `sample` tells the directory being read and the files
// and bytes found so far. Nothing is drawn, and no timer runs, when `fd` is not a terminal.
class TScanProgressTicker {
public:
    using TSample = std::function<void(std::string& directory, std::int64_t& files, std::int64_t& bytes)>;

    TScanProgressTicker(int fd, TSample sample);
    TScanProgressTicker(const TScanProgressTicker&) = delete;
    TScanProgressTicker& operator=(const TScanProgressTicker&) = delete;
    ~TScanProgressTicker() = default;

    // Stops the redraws and clears the line, so that the results start on a clean one.
    void Finish();

private:
    void Draw();

    TScanProgress progress_;
    TSample sample_;
    QTimer timer_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The columns UTF-8 `text` takes on a terminal.
int TerminalColumns(const std::string& text);

// `text` made safe and short for one terminal line: escaped as every printed name is, and when it
// takes more than `width` columns its middle gives way to "...".
std::string TerminalText(const std::string& text, int width);

} // namespace quorvex
