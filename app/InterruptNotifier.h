#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quorvex {

// Turns SIGINT (Ctrl+C) into a call on the event loop of the thread that made this object: the
// signal handler only writes a byte to a pipe, and a socket notifier on the other end runs
// `onInterrupt`. Only the first SIGINT is caught; a second one ends the process the usual way,
// so a stop that hangs can still be broken off. One instance at a time; the previous handling is
// restored on destruction.
class TInterruptNotifier {
public:
    explicit TInterruptNotifier(std::function<void()> onInterrupt);
    TInterruptNotifier(const TInterruptNotifier&) = delete;
    TInterruptNotifier& operator=(const TInterruptNotifier&) = delete;
    ~TInterruptNotifier();

    bool Interrupted() const { return interrupted_; }

private:
    std::function<void()> onInterrupt_;
    int readFd_ = -1;
    int writeFd_ = -1;
    bool interrupted_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quorvex
