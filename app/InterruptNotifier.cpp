#include "InterruptNotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvex {
namespace {

// The signal handler can reach nothing else: the write end of the current notifier's pipe.
std::atomic<int> signalPipeWriteFd{-1};
struct sigaction previousAction {};

void OnSignal(int) {
    const int savedErrno = errno;
    const int fd = signalPipeWriteFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TInterruptNotifier::TInterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the interrupt pipe");
    readFd_ = fds[0];
    writeFd_ = fds[1];
    signalPipeWriteFd.store(writeFd_);

    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        char buffer[16];
        while (::read(readFd_, buffer, sizeof buffer) > 0) {
        }
        if (interrupted_)
            return;
        interrupted_ = true;
        if (onInterrupt_)
            onInterrupt_();
    });

    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, &previousAction);
}

TInterruptNotifier::~TInterruptNotifier() {
    ::sigaction(SIGINT, &previousAction, nullptr);
    signalPipeWriteFd.store(-1);
    notifier_.reset();
    ::close(readFd_);
    ::close(writeFd_);
}

} // namespace quorvex
