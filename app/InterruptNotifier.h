#pragma once

#include <QObject>

#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace quorvex {

// Turns SIGINT (Ctrl+C), SIGTERM and SIGHUP into a call on the event loop of the thread that made
// this object: the signal handler only writes the signal's number to a pipe, and a socket notifier
// on the other end runs `onInterrupt`. Only the first of each is caught; a second one ends the
// process the usual way, so a stop that hangs can still be broken off. A signal the process was
// started with ignored (a background job of a script ignores SIGINT, nohup ignores SIGHUP) stays
// ignored. One instance at a time; the previous handling is restored on destruction.
class TInterruptNotifier {
public:
    explicit TInterruptNotifier(std::function<void()> onInterrupt);
    TInterruptNotifier(const TInterruptNotifier&) = delete;
    TInterruptNotifier& operator=(const TInterruptNotifier&) = delete;
    ~TInterruptNotifier();

    bool Interrupted() const { return signal_ != 0; }
    // Whether a signal has arrived, asked without the event loop (while the thread is busy
    // writing); `onInterrupt` is not called.
    bool Poll();
    // The signal that stopped the work, 0 when none did.
    int Signal() const { return signal_; }
    // The exit status of a process that a signal stopped, as the shell reports it: 128 + the signal.
    int ExitStatus() const { return 128 + signal_; }

private:
    void InstallHandlers();

    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

    std::function<void()> onInterrupt_;
    int readFd_ = -1;
    int writeFd_ = -1;
    int signal_ = 0;
    std::array<bool, kSignals.size()> caught_{};
    std::array<struct sigaction, kSignals.size()> previous_{};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quorvex
