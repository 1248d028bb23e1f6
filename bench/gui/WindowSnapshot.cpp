// Runs the real main window on a directory under whatever display is set (xvfb-run, say) and saves
// pictures of it: one while the scan runs and one when it has ended, for checking the look by eye.
//
//   xvfb-run -s "-screen 0 1280x800x24" bench_WindowSnapshot DIR OUT_PREFIX [SECONDS_INTO_SCAN]

#include "settings/QxSettings.h"
#include "ui/FormMain.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"
#include "ui/QxApplication.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR OUT_PREFIX [SECONDS_INTO_SCAN]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int liveMs = argc > 3 ? std::atoi(argv[3]) * 1000 : 1500;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    quorvex::TQxApplication app(argc, argv);
    quorvex::TSettings settings(QFile::encodeName(config.path()).toStdString() + "/Quorvex.ini");
    quorvex::TFormMain form(settings);
    form.resize(1000, 640);
    form.move(20, 20);
    form.show();

    bool done = false;
    QObject::connect(&form, &quorvex::TFormMain::ScanFinishedSignal, [&] { done = true; });
    form.ProcessCommandLine({dir});
    QElapsedTimer clock;
    clock.start();
    bool liveTaken = false;
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!liveTaken && clock.elapsed() >= liveMs) {
            // Show some depth: the largest directory of the root, opened.
            const QModelIndex root = form.TreeModel()->index(0, 0);
            form.TreeView()->expand(form.TreeModel()->index(0, 0, root));
            QCoreApplication::processEvents();
            form.grab().save(prefix + "-live.png");
            liveTaken = true;
        }
    }
    const QModelIndex root = form.TreeModel()->index(0, 0);
    form.TreeView()->expand(form.TreeModel()->index(0, 0, root));
    form.TreeView()->setCurrentIndex(form.TreeModel()->index(1, 0, root));
    QCoreApplication::processEvents();
    form.grab().save(prefix + "-done.png");
    std::printf("scan %s: live picture %s, final picture %s\n", dir.c_str(),
                liveTaken ? "taken" : "not taken", qPrintable(prefix + "-done.png"));
    form.close();
    return 0;
}
