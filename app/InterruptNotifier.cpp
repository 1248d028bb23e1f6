#include "InterruptNotifier.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvex {
namespace {

// The signal handler can reach nothing else: the write end of the current notifier's pipe, or,
// polled, the first signal caught.
std::atomic<int> signalPipeWriteFd{-1};
std::atomic<int> polledSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int number) {
    const int savedErrno = errno;
    int none = 0;
    polledSignal.compare_exchange_strong(none, number);
    const int fd = signalPipeWriteFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TInterruptNotifier::TInterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    polledSignal.store(0);
    // Without an application object there is no event loop to run `onInterrupt`: Poll asks instead,
    // and needs no pipe, whose two descriptors a walk short of them could use.
    if (QCoreApplication::instance() != nullptr) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error("cannot create the interrupt pipe");
        readFd_ = fds[0];
        writeFd_ = fds[1];
        signalPipeWriteFd.store(writeFd_);
        notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            const bool before = signal_ != 0;
            if (!Poll() || before) // drained either way, or the notifier would fire again at once
                return;
            if (onInterrupt_)
                onInterrupt_();
        });
    }
    InstallHandlers();
}

void TInterruptNotifier::InstallHandlers() {
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler == SIG_IGN)
            continue;
        caught_[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

bool TInterruptNotifier::Poll() {
    unsigned char buffer[16];
    for (ssize_t n; readFd_ >= 0 && (n = ::read(readFd_, buffer, sizeof buffer)) > 0;)
        signal_ = signal_ != 0 ? signal_ : buffer[0];
    if (signal_ == 0)
        signal_ = polledSignal.load();
    return signal_ != 0;
}

TInterruptNotifier::~TInterruptNotifier() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (caught_[i])
            ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    signalPipeWriteFd.store(-1);
    notifier_.reset();
    if (readFd_ >= 0) {
        ::close(readFd_);
        ::close(writeFd_);
    }
}

} // namespace quorvex
