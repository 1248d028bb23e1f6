#include "desktop/ShellLaunch.h"

#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

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

// A name with a space and bytes that are not UTF-8, inside a directory whose name has a space.
const std::string kDir = "files/dir with space";
const std::string kFile = kDir + "/a b\xff\xfe.txt";

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

// Runs in the child; the parent shows only its stderr, so its failed expectations go there.
[[noreturn]] void RunAndExit(void (*scenario)()) {
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
    EXPECT_NE(result.Message.find("No application"), std::string::npos) << result.Message;

    // No session bus at all: the folder holding the file is opened instead.
    result = ShellExplore(desktop.Tree / kFile, false);
    EXPECT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(desktop.TakeOpened(), desktop.Tree / kDir);
}

} // namespace

TEST(ShellLaunch, DefaultHandlerGetsTheExactBytesAndMissingHandlersAreReported) {
    RunInFreshProcess(DefaultHandlerScenario);
}
