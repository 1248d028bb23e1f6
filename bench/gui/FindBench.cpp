// The find bar's answer time on a real scan: the window scans PATH (/ by default), then types a few
// queries into the find bar as a user would and reports, per query, the time from the keystroke to
// the updated list (the pause that gathers a burst of typing included) and the search alone. Then the
// time the file types and ages docks take to fill, from showing them to their last slice.
//
//   bench_FindBench [PATH]

#include "model/FileSystemNode.h"
#include "model/FindFiles.h"
#include "model/RootNodes.h"
#include "settings/QxSettings.h"
#include "ui/FileViews.h"
#include "ui/FindBar.h"
#include "ui/FormMain.h"
#include "ui/QxApplication.h"

#include <QAction>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>
#include <time.h>

namespace {

// The window thread's own processor time, which other processes on a busy machine do not inflate.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "/";
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quorvex::TQxApplication app(argc, argv);
    QTemporaryDir config;
    quorvex::TSettings settings((config.path() + "/Quorvex.ini").toStdString());
    quorvex::TFormMain form(settings);
    form.show();
    bool done = false;
    QObject::connect(&form, &quorvex::TFormMain::ScanFinishedSignal, [&] { done = true; });
    QElapsedTimer clock;
    clock.start();
    form.StartDirScan(path);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("scan of %s: %lld ms, %d files\n", path.c_str(), static_cast<long long>(clock.elapsed()),
                form.RootNode()->GetFileCount());

    form.findChild<QAction*>("ActFind")->trigger();
    quorvex::TFindBar& bar = *form.FindBar();
    bool updated = false;
    QObject::connect(bar.Model(), &QAbstractItemModel::modelReset, [&] { updated = true; });
    for (const char* typed : {"l", "li", "lib", "libc", "*.so", "*.so.[0-9]*", "zzzq", "e"}) {
        bar.NameField()->clear();
        bar.NameField()->setText(QString::fromLatin1(typed).chopped(1));
        bar.Refresh();
        updated = false;
        clock.restart();
        const QString last(QChar::fromLatin1(typed[std::strlen(typed) - 1]));
        QKeyEvent press(QEvent::KeyPress, last.toUpper().at(0).unicode(), Qt::NoModifier, last);
        QCoreApplication::sendEvent(bar.NameField(), &press);
        while (!updated)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const qint64 keystroke = clock.nsecsElapsed() / 1000;
        clock.restart();
        const double cpuStart = ThreadCpuMs();
        bar.Refresh();
        const double cpu = ThreadCpuMs() - cpuStart;
        const qint64 search = clock.nsecsElapsed() / 1000;
        std::printf("%-14s keystroke to list %6.1f ms, search and list %6.1f ms (processor %6.1f ms), %zu "
                    "matches\n",
                    typed, static_cast<double>(keystroke) / 1000.0, static_cast<double>(search) / 1000.0, cpu,
                    bar.Model()->Result().Total);
    }
    for (const char* action : {"ActShowFileTypes", "ActShowFileAges"}) {
        clock.restart();
        const double cpuStart = ThreadCpuMs();
        form.findChild<QAction*>(action)->trigger();
        QCoreApplication::processEvents();
        while (form.FileViews()->IsFilling())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::printf("%-16s filled in %6.1f ms (processor %6.1f ms)\n", action,
                    static_cast<double>(clock.nsecsElapsed()) / 1e6, ThreadCpuMs() - cpuStart);
    }
    return 0;
}
