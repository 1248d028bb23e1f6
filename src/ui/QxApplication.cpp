#include "ui/QxApplication.h"

#include "diag/QxLogger.h"
#include "ui/ApplicationIcon.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorvex {
namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

// A signal handler gets no context, so the write end of the pipe has to be where it can find it.
std::atomic<int> signalWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void OnTerminationSignal(int number) {
    const int savedErrno = errno;
    if (const int fd = signalWriteEnd.load(std::memory_order_relaxed); fd >= 0) {
        const auto byte = static_cast<unsigned char>(number);
        // A full pipe already holds a request the event loop has not read yet: nothing is lost.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TQxApplication::TQxApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quorvex"));
    setWindowIcon(ApplicationIcon());
    setDesktopFileName(QString::fromLatin1(kApplicationId));
    // No display name: the platform would append it to every window title, and the caption already
    // begins with the program's name.

    if (::pipe2(signalPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        ProgramLogger().error("no pipe for termination signals: they end the program at once");
        signalPipe_[0] = signalPipe_[1] = -1;
        return;
    }
    signalNotifier_ = new QSocketNotifier(signalPipe_[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, &TQxApplication::ReadSignals);
    signalWriteEnd.store(signalPipe_[1], std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kTerminationSignals[i], &action, &previousActions_[i]);
}

TQxApplication::~TQxApplication() {
    if (signalPipe_[1] < 0)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kTerminationSignals[i], &previousActions_[i], nullptr);
    signalWriteEnd.store(-1, std::memory_order_relaxed);
    signalNotifier_->setEnabled(false); // it goes with its parent, after the descriptor
    ::close(signalPipe_[0]);
    ::close(signalPipe_[1]);
}

void TQxApplication::ReadSignals() {
    unsigned char numbers[16];
    ssize_t count = 0;
    int last = 0;
    while ((count = ::read(signalPipe_[0], numbers, sizeof numbers)) > 0)
        last = numbers[count - 1];
    if (last == 0)
        return;
    ProgramLogger().info("signal " + std::to_string(last) + " received: closing");
    emit TerminationRequested(last);
}

bool TQxApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        LogUnhandledError(&error);
    } catch (...) {
        LogUnhandledError(nullptr);
    }
    return false;
}

void LogUnhandledError(const std::exception* error) {
    if (error != nullptr)
        ProgramLogger().error(std::string("Unhandled error: ") + error->what(), *error);
    else
        ProgramLogger().error("Unhandled error of unknown type");
}

} // namespace quorvex
