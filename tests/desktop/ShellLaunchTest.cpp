#include "desktop/ShellLaunch.h"

#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

using namespace quorvex;
using quorvex::testing::Exists;
using quorvex::testing::ReadAll;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;

namespace {

bool WaitFor(const std::string& path) {
    for (int i = 0; i < 500 && !Exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Exists(path);
}

// A process this test started, ended with it.
struct Child : QProcess {
    Child(const std::string& program, const QStringList& args) {
        start(QString::fromStdString(program), args);
    }
    ~Child() override {
        terminate();
        waitForFinished();
    }
};

// A name with a space and bytes that are not UTF-8, inside a directory whose name has a space.
const std::string kDir = "files/dir with space";
const std::string kFile = kDir + "/a b\xff\xfe.txt";
const std::string kFileUriTail = "/files/dir%20with%20space/a%20b%FF%FE.txt";

// A desktop that knows one application, a script recording the path it was given, as the default for
// plain text and for directories, and nothing else: no system directory is consulted. It holds kFile.
struct ProbeDesktop {
    TempTree Tree;
    std::string Opened = Tree / "opened";

    ProbeDesktop() {
        for (const char* dir : {"data", "data/applications", "config", "sys", "sysconf", "files"})
            Tree.Dir(dir);
        Tree.Dir(kDir);
        WriteAll(Tree / kFile, "plain text\n");
        const std::string script = Tree / "handler.sh";
        WriteAll(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + Opened + ".part' && mv '" + Opened +
                             ".part' '" + Opened + "'\n");
        ::chmod(script.c_str(), 0755);
        WriteAll(Tree / "data/applications/quorvex-probe.desktop",
                 "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + script +
                     " %f\nMimeType=text/plain;inode/directory;\nNoDisplay=true\n");
        WriteAll(Tree / "config/mimeapps.list", "[Default Applications]\ntext/plain=quorvex-probe.desktop\n"
                                                "inode/directory=quorvex-probe.desktop\n");
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"HOME", Tree.Path()},
                                          {"XDG_DATA_HOME", Tree / "data"},
                                          {"XDG_CONFIG_HOME", Tree / "config"},
                                          {"XDG_DATA_DIRS", Tree / "sys"},
                                          {"XDG_CONFIG_DIRS", Tree / "sysconf"}})
            ::setenv(name, value.c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        // Until a case starts its own bus, none answers.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + Tree / "no-bus").c_str(), 1);
    }

    // The path the handler received from the last launch; empty when it did not run.
    std::string TakeOpened() const {
        if (!WaitFor(Opened))
            return {};
        std::string path = ReadAll(Opened);
        ::unlink(Opened.c_str());
        return path;
    }
};

// Runs in the child: its temporary files are gone before it exits, and its exit code tells the outcome.
[[noreturn]] void RunAndExit(void (*scenario)()) {
    // The parent shows only what the child wrote to stderr; that includes its failed expectations.
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    {
        int argc = 1;
        char name[] = "test_support";
        char* argv[] = {name, nullptr};
        const QCoreApplication app(argc, argv);
        scenario();
    }
    std::fflush(nullptr);
    std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
}

// GIO and Qt D-Bus read the environment once per process: each case runs in a fresh copy of this
// program (the re-executing death-test style) with its own desktop and bus.
void RunInFreshProcess(void (*scenario)()) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(scenario), ::testing::ExitedWithCode(0), "");
}

void DefaultHandlerScenario() {
    const ProbeDesktop desktop;
    desktop.Tree.File("files/blob.bin", 64);

    for (const std::string& path : {desktop.Tree / kFile, desktop.Tree / kDir}) {
        const TLaunchResult opened = OpenWithDefaultHandler(path);
        EXPECT_TRUE(opened.Ok) << opened.Message;
        EXPECT_EQ(desktop.TakeOpened(), path);
    }

    // Binary data has no application here; the user learns why.
    TLaunchResult result = OpenWithDefaultHandler(desktop.Tree / "files/blob.bin");
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Error, 0);
    EXPECT_NE(result.Message.find("No application"), std::string::npos) << result.Message;
    result = OpenWithDefaultHandler("files/blob.bin");
    EXPECT_FALSE(result.Ok);
    EXPECT_FALSE(result.Message.empty());

    // No session bus at all: the folder holding the file is opened instead.
    result = ShellExplore(desktop.Tree / kFile, false);
    EXPECT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);
    EXPECT_TRUE(ShellExplore(desktop.Tree / kDir, true).Ok);
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);
}

void FileManagerScenario() {
    const ProbeDesktop desktop;
    const std::string socket = desktop.Tree / "bus";
    WriteAll(desktop.Tree / "bus.conf",
             "<busconfig><type>session</type><listen>unix:path=" + socket +
                 "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                 "<allow own=\"*\"/></policy>"
                 "</busconfig>\n");
    const Child bus("dbus-daemon", {QString::fromStdString("--config-file=" + desktop.Tree / "bus.conf"),
                                    "--nofork", "--nopidfile"});
    ASSERT_TRUE(WaitFor(socket)) << "the private bus did not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);

    // A bus without a file manager: the default handler opens the folder.
    EXPECT_TRUE(ShellExplore(desktop.Tree / kFile, false).Ok);
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);
    EXPECT_TRUE(ShellExplore(desktop.Tree / kDir, true).Ok);
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);

    const std::string log = desktop.Tree / "calls";
    const Child manager(QUORVEX_FAKE_FILE_MANAGER, {QString::fromStdString(log)});
    ASSERT_TRUE(WaitFor(log + ".ready")) << "the file manager did not start";
    TLaunchResult result = ShellExplore(desktop.Tree / kFile, false);
    EXPECT_TRUE(result.Ok) << result.Message;
    result = ShellExplore(desktop.Tree / kDir, true);
    EXPECT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(ReadAll(log), "ShowItems file://" + desktop.Tree.Path() + kFileUriTail +
                                "\nShowFolders file://" + desktop.Tree.Path() +
                                "/files/dir%20with%20space\n");
    // The file manager answered, so nothing else was launched.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Exists(desktop.Opened));
}

// Our own desktop entry is the folders' default, as installing the package may make it; the
// desktop's cache of registrations (what update-desktop-database writes) names `others` too.
std::string MakeOwnEntryTheDefault(const ProbeDesktop& desktop, const std::string& others) {
    std::string ours = desktop.Tree / "ours-opened";
    WriteAll(desktop.Tree / "data/applications/org.quorvex.Quorvex.desktop",
             "[Desktop Entry]\nType=Application\nName=Quorvex\nExec=touch " + ours +
                 "\nMimeType=inode/directory;\n");
    WriteAll(desktop.Tree / "data/applications/mimeinfo.cache",
             "[MIME Cache]\ninode/directory=org.quorvex.Quorvex.desktop;" + others + "\n");
    WriteAll(desktop.Tree / "config/mimeapps.list",
             "[Default Applications]\ntext/plain=quorvex-probe.desktop\n"
             "inode/directory=org.quorvex.Quorvex.desktop\n");
    return ours;
}

void OwnEntryScenario() {
    const ProbeDesktop desktop;
    const std::string ours = MakeOwnEntryTheDefault(desktop, "quorvex-probe.desktop;");
    EXPECT_TRUE(ShellExplore(desktop.Tree / kDir, true).Ok);
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir) << "the other application the desktop knows";
    EXPECT_TRUE(OpenWithDefaultHandler(desktop.Tree / kDir).Ok);
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);
    EXPECT_FALSE(Exists(ours));
}

void OnlyOwnEntryScenario() {
    const ProbeDesktop desktop;
    const std::string ours = MakeOwnEntryTheDefault(desktop, "");
    const TLaunchResult result = ShellExplore(desktop.Tree / kDir, true);
    EXPECT_FALSE(result.Ok);
    EXPECT_NE(result.Message.find("No application other than Quorvex"), std::string::npos) << result.Message;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Exists(ours));
}

} // namespace

TEST(ShellLaunch, OurOwnEntryIsPassedOverForFoldersAndNeverLaunched) {
    RunInFreshProcess(OwnEntryScenario);
    RunInFreshProcess(OnlyOwnEntryScenario);
}

TEST(ShellLaunch, DefaultHandlerGetsTheExactBytesAndMissingHandlersAreReported) {
    RunInFreshProcess(DefaultHandlerScenario);
}

TEST(ShellLaunch, FileManagerServiceShowsTheItemAndItsAbsenceOpensTheFolder) {
    if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "dbus-daemon is not installed; a private session bus cannot be started";
    RunInFreshProcess(FileManagerScenario);
}
