#pragma once

#include <QApplication>

#include <exception>
#include <string>

namespace quorvex {

// The application object of the window process. An error that escapes an event handler is written to
// the log at error level and not shown; the event counts as unhandled and the program goes on.
class TQxApplication : public QApplication {
    Q_OBJECT
public:
    TQxApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The log line for an error that escaped an event handler.
void LogUnhandledError(const std::exception* error);

} // namespace quorvex
