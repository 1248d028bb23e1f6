#pragma once

#include <QApplication>

#include <csignal>
#include <exception>
#include <string>

class QSocketNotifier;

namespace quorvex {

// The application object of the window process. An error that escapes an event handler is written to
// the log at error level and not shown; the event counts as unhandled and the program goes on.
//
// SIGTERM, SIGHUP and SIGINT do not end the process: they arrive as TerminationRequested on the
// user-interface thread, so the window can close as its Exit command closes it and keep what the user
// changed. The handlers are the process's while the object lives.
class TQxApplication : public QApplication {
    Q_OBJECT
public:
    TQxApplication(int& argc, char** argv);
    ~TQxApplication() override;
    TQxApplication(const TQxApplication&) = delete;
    TQxApplication& operator=(const TQxApplication&) = delete;

    bool notify(QObject* receiver, QEvent* event) override;

signals:
    void TerminationRequested(int signalNumber);

private:
    void ReadSignals();

    static constexpr int kSignalCount = 3;
    int signalPipe_[2] = {-1, -1};
    QSocketNotifier* signalNotifier_ = nullptr;
    struct sigaction previousActions_[kSignalCount] = {};
};

// The log line for an error that escaped an event handler.
void LogUnhandledError(const std::exception* error);

} // namespace quorvex
