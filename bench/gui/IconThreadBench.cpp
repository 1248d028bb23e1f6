// How fast the icon thread serves file rows: 10,000 distinct file names of mixed types are asked for
// as a paint would ask, and the clock runs until every row has taken its answer on the window's thread.
//
//   bench_IconThreadBench [--files N]

#include "model/FileSystemNode.h"
#include "shell/IconRegistry.h"
#include "shell/ShellIcons.h"
#include "ui/QxApplication.h"

#include <QElapsedTimer>
#include <QIcon>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int files = 10000;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc)
            files = std::atoi(argv[++i]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quorvex::TQxApplication app(argc, argv);

    static const char* const kExtensions[] = {".txt", ".pdf",  ".mp3", ".png",    ".jpg", ".cpp",
                                              ".h",   ".html", ".zip", ".tar.gz", ".odt", ".mkv",
                                              ".py",  ".sh",   ".iso", ""};
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) {
        std::string path = "/bench/dir" + std::to_string(i % 97) + "/file" + std::to_string(i);
        path += kExtensions[static_cast<std::size_t>(i) % std::size(kExtensions)];
        paths.push_back(std::move(path));
    }

    quorvex::TShellIconsSystem system = quorvex::TShellIconsSystem::Live();
    system.ResolveSpecialFolders = false;
    quorvex::TShellIcons icons(system);
    icons.DefaultFileIcon();

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::vector<int> answers(paths.size(), -1);
    for (std::size_t i = 0; i < paths.size(); ++i)
        answers[i] = icons.GetFileIconIndex(paths[i]);
    const double askedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::size_t open = paths.size();
    QElapsedTimer guard;
    guard.start();
    while (open > 0 && guard.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Each row takes its answer as its next paint would.
        open = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (answers[i] < 0)
                answers[i] = icons.GetFileIconIndex(paths[i]);
            open += answers[i] < 0 ? 1 : 0;
        }
    }
    const double totalMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::set<int> distinct(answers.begin(), answers.end());
    std::printf("icon theme %s: %d file names asked in %.1f ms, all answered and taken after %.1f ms "
                "(%zu left open), %zu distinct icons\n",
                qPrintable(QIcon::themeName()), files, askedMs, totalMs, open, distinct.size());
    return open == 0 ? 0 : 1;
}
