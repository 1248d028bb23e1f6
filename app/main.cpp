#include "HeadlessCommand.h"

#include "diag/QxLogger.h"
#include "ui/WindowMain.h"

int main(int argc, char** argv) {
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    const int code = quorvex::RunHeadlessCommand(argc, argv);
    if (code >= 0)
        return code;
    // No headless option: the window, with an optional directory to scan at once.
    return quorvex::RunMainWindow(argc, argv);
}
