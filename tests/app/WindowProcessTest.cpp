// The window program as the desktop runs it: started through `quorvex DIRECTORY` on a display of its
// own (offscreen), and ended by the signals a logout, `kill` or Ctrl+C in a terminal send.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using quorvex::testing::Quorvex;
using quorvex::testing::ReadAll;
using quorvex::testing::ScopedEnv;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;

// Waits until process `pid` handles `signal` itself (the "SigCgt" mask of its status); false when it
// has not after a few seconds, or has ended.
bool AwaitCatching(pid_t pid, int signal) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) & (1ULL << (signal - 1))) != 0)
                return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(WindowProcess, TerminationSignalsCloseTheWindowAsExitDoesAndWriteItsState) {
    const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const TempTree scratch;
        scratch.Dir("scanned");
        Quorvex window({scratch / "scanned"}, scratch);
        // Before its handlers are in place the default action would end it, as it should.
        EXPECT_TRUE(AwaitCatching(window.Pid(), signal)) << strsignal(signal);
        std::this_thread::sleep_for(300ms);
        ::kill(window.Pid(), signal);
        const auto result = window.Wait(30s);
        EXPECT_EQ(result.exitCode, 0) << strsignal(signal) << "\n" << result.err;
        // A fresh profile: all there is was written at the close.
        const std::string ini = ReadAll(scratch / "config/Quorvex/Quorvex.ini");
        EXPECT_NE(ini.find("Position="), std::string::npos) << strsignal(signal) << ": the window state\n"
                                                            << ini;
        EXPECT_NE(ini.find("FileSizeRounding="), std::string::npos) << "the settings";
    }
}

TEST(WindowProcess, ASettingsFolderThatCannotBeMadeIsReportedAndTheWindowGoesOn) {
    const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
    const TempTree scratch;
    WriteAll(scratch / "config", "a file where the configuration folder should be\n");
    Quorvex window({scratch.Path()}, scratch);
    ASSERT_TRUE(AwaitCatching(window.Pid(), SIGTERM));
    std::this_thread::sleep_for(500ms);
    // The error box waits for the user; the signal answers it and closes the window that follows.
    ASSERT_EQ(::kill(window.Pid(), SIGTERM), 0) << "the program ended on its own";
    const auto result = window.Wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadAll(scratch / "config"), "a file where the configuration folder should be\n");
}

} // namespace
