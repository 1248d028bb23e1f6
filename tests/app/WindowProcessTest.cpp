// The window program as the desktop runs it: started through `quorvex DIRECTORY` on a display of its
// own (offscreen), and ended by the signals a logout, `kill` or Ctrl+C in a terminal send.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

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

// A small screen at twice the scale, 700x450 to the program: a fresh profile's window fits below the
// screen's top, and a saved place the title bar cannot be grabbed at is brought back on the screen.
TEST(WindowProcess, TheWindowStartsOnASmallScaledScreen) {
    const TempTree scratch;
    WriteAll(scratch / "screens.json", R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1400,
                                          "height": 900, "logicalDpi": 96, "logicalBaseDpi": 96}]})");
    const std::string platform = "offscreen:configfile=" + scratch / "screens.json";
    const ScopedEnv display("QT_QPA_PLATFORM", platform.c_str());
    const ScopedEnv scale("QT_SCALE_FACTOR", "2");
    const std::string iniPath = scratch / "config/Quorvex/Quorvex.ini";
    const auto placed = [&] {
        Quorvex window({scratch.Path()}, scratch);
        EXPECT_TRUE(AwaitCatching(window.Pid(), SIGTERM));
        std::this_thread::sleep_for(300ms);
        ::kill(window.Pid(), SIGTERM);
        EXPECT_EQ(window.Wait(30s).exitCode, 0);
        const std::string ini = ReadAll(iniPath);
        const auto at = ini.find("[700x450]\nPosition=");
        int left = 0, top = 0, right = 0, bottom = 0;
        EXPECT_NE(at, std::string::npos) << ini;
        std::sscanf(ini.c_str() + at, "[700x450]\nPosition=%d,%d,%d,%d", &left, &top, &right, &bottom);
        return std::tuple{left, top, right, bottom, ini};
    };
    for (const char* saved : {"", "-3000,-3000,-2300,-2550", "100,-20,500,300"}) {
        SCOPED_TRACE(saved);
        if (*saved != '\0') {
            std::string ini = ReadAll(iniPath);
            const auto at = ini.find("[700x450]\nPosition=") + std::strlen("[700x450]\nPosition=");
            WriteAll(iniPath, ini.replace(at, ini.find('\n', at) - at, saved));
        }
        const auto [left, top, right, bottom, ini] = placed();
        EXPECT_GT(top, 0) << ini;
        EXPECT_GE(left, 0) << ini;
        EXPECT_LE(bottom, 450) << ini;
        EXPECT_LE(right - left, 700) << ini;
    }
}

} // namespace
