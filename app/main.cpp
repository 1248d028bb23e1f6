#include "HeadlessCommand.h"

#include "diag/QxLogger.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    quorvex::ConfigureLogging(quorvex::DefaultLogConfigPath());
    const int code = quorvex::RunHeadlessCommand(argc, argv);
    if (code >= 0)
        return code;
    // No window yet: a bare directory argument gets the headless summary.
    if (argc == 2) {
        char* summaryArgs[] = {argv[0], const_cast<char*>("--summary"), argv[1]};
        return quorvex::RunHeadlessCommand(3, summaryArgs);
    }
    std::fprintf(stderr, "Usage: quorvex --summary PATH (see --help)\n");
    return 2;
}
