#include "common/TempTree.h"

#include "shell/BrowseForFolder.h"
#include "ui/FormInfo.h"
#include "ui/InstanceMarker.h"
#include "ui/SaveScanResult.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvex {
namespace {

using testing::TempTree;

TEST(FormInfo, ShowsMajorMinorAndReleaseOnlyWhenNotZero) {
    EXPECT_EQ(TFormInfo(nullptr, "2.1.0.55").VersionText(), "Version 2.1");
    EXPECT_EQ(TFormInfo(nullptr, "2.1.3.55").VersionText(), "Version 2.1.3");
    EXPECT_TRUE(TFormInfo(nullptr).VersionText().startsWith("Version ")) << "the compiled-in version";
    EXPECT_EQ(TFormInfo(nullptr).WebsiteText().toStdString(), "https://quorvex.example.org/")
        << "the address the exports name (the worked examples) and the package's home page";
}

TEST(BrowseForFolder, PreselectsTheStartAndReturnsTheChosenNamesBytes) {
    // The toolkit's dialog works in Unicode: a non-ASCII name comes back as the same UTF-8 bytes.
    const std::string bytes = "/tmp/caf\xc3\xa9 \xec\x9e\x90\xeb\xb0\xb1";
    QUrl asked;
    std::string path;
    EXPECT_TRUE(
        BrowseForFolder(nullptr, "Pick", "/srv/data", path, [&](QWidget*, const QString&, const QUrl& start) {
            asked = start;
            return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(bytes)));
        }));
    EXPECT_EQ(asked, QUrl::fromLocalFile("/srv/data"));
    EXPECT_EQ(path, bytes);

    // A name that is not UTF-8 is preselected and handed back byte for byte.
    const std::string latin1 = "/tmp/caf\xe9";
    EXPECT_TRUE(
        BrowseForFolder(nullptr, "Pick", latin1, path, [&](QWidget*, const QString&, const QUrl& start) {
            asked = start;
            return start;
        }));
    EXPECT_EQ(asked.toEncoded(), "file:///tmp/caf%E9");
    EXPECT_EQ(path, latin1);
}

TEST(SaveScanResult, ProposedNamesHaveNoColonsBlanksOrSlashes) {
    EXPECT_EQ(ProposedExportName("System (C:)"), "System_(C)");
    EXPECT_EQ(ProposedExportName("/home/user/My Data"), "_home_user_My_Data");
}

TEST(InstanceMarker, HeldSharedWhileAliveSoAnExclusiveLockWaits) {
    TempTree folder;
    const std::string path = folder / "Quorvex.Mutex";
    const auto exclusiveLockTaken = [&] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return taken;
    };
    {
        TInstanceMarker first(folder.Path());
        TInstanceMarker second(folder.Path());
        EXPECT_TRUE(first.IsHeld() && second.IsHeld()) << "a second instance just goes on";
        EXPECT_FALSE(exclusiveLockTaken());
    }
    EXPECT_TRUE(exclusiveLockTaken()) << "released when the program ends";
}

TEST(QxApplication, AnErrorEscapingAnEventHandlerIsContainedAndTheLoopGoesOn) {
    struct Throwing : QObject {
        bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
    } target;
    QEvent event(QEvent::User);
    EXPECT_NO_THROW(EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event)));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    EXPECT_NO_THROW(QCoreApplication::sendPostedEvents(&target));
}

// Qt appends a display name that was set to every title it hands the window manager ("Quorvex - /
// — Quorvex"). Without one, the display name follows the application name, and titles go out as they are.
TEST(QxApplication, SetsNoDisplayNameForThePlatformToAppendToWindowTitles) {
    const QString name = QCoreApplication::applicationName();
    EXPECT_EQ(name, "Quorvex");
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    EXPECT_EQ(display, "probe");
}

// The run command without a display must explain itself instead of failing inside the toolkit.
TEST(WindowStart, WithoutADisplayNamesTheHeadlessCommandAndXvfb) {
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") +
                                QUORVEX_BINARY + "' /tmp 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    for (const char* part : {"no graphical display", "quorvex --summary", "xvfb-run"})
        EXPECT_NE(output.find(part), std::string::npos) << output;
}

} // namespace
} // namespace quorvex
