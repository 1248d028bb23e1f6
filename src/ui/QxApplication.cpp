#include "ui/QxApplication.h"

#include "diag/QxLogger.h"
#include "ui/ApplicationIcon.h"

namespace quorvex {

TQxApplication::TQxApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quorvex"));
    setWindowIcon(ApplicationIcon());
    setDesktopFileName(QString::fromLatin1(kApplicationId));
    // No display name: the platform would append it to every window title, and the caption already
    // begins with the program's name.
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
