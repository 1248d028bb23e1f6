// The window program as the desktop runs it: started through `quorvex DIRECTORY` on a display of its
// own (offscreen), and ended by the signals a logout, `kill` or Ctrl+C in a terminal send.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

// Starts the window, sends `signal` once the program handles it and the window had time to come up.
Result OpenAndSignal(const TempTree& scratch, const std::string& directory, int signal = SIGTERM,
                     std::chrono::milliseconds settle = 300ms) {
    Quorvex window({directory}, scratch);
    // Before its handlers are in place the default action would end it, as it should.
    EXPECT_TRUE(AwaitCatching(window.Pid(), signal)) << strsignal(signal);
    std::this_thread::sleep_for(settle);
    EXPECT_EQ(::kill(window.Pid(), signal), 0) << "the program ended on its own";
    return window.Wait(30s);
}

TEST(WindowProcess, TerminationSignalsCloseTheWindowAsExitDoesAndWriteItsState) {
    const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const TempTree scratch;
        scratch.Dir("scanned");
        const Result result = OpenAndSignal(scratch, scratch / "scanned", signal);
        EXPECT_EQ(result.exitCode, 0) << strsignal(signal) << "\n" << result.err;
        // A fresh profile: all there is was written at the close.
        const std::string ini = ReadAll(scratch / "config/Quorvex/Quorvex.ini");
        EXPECT_NE(ini.find("Position="), std::string::npos) << strsignal(signal) << ": the window state\n"
                                                            << ini;
        EXPECT_NE(ini.find("FileSizeRounding="), std::string::npos) << "the settings";
    }
}

// The error box waits for the user; the signal answers it and closes the window that follows.
TEST(WindowProcess, ASettingsFolderThatCannotBeMadeIsReportedAndTheWindowGoesOn) {
    const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
    const TempTree scratch;
    WriteAll(scratch / "config", "a file where the configuration folder should be\n");
    const Result result = OpenAndSignal(scratch, scratch.Path(), SIGTERM, 500ms);
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
    const std::string key = "[700x450]\nPosition=";
    for (const char* saved : {"", "-3000,-3000,-2300,-2550", "100,-20,500,300"}) {
        SCOPED_TRACE(saved);
        if (*saved != '\0') {
            std::string ini = ReadAll(iniPath);
            const auto at = ini.find(key) + key.size();
            WriteAll(iniPath, ini.replace(at, ini.find('\n', at) - at, saved));
        }
        EXPECT_EQ(OpenAndSignal(scratch, scratch.Path()).exitCode, 0);
        const std::string ini = ReadAll(iniPath);
        int left = 0, top = 0, right = 0, bottom = 0;
        ASSERT_EQ(std::sscanf(ini.c_str() + std::min(ini.find(key), ini.size()),
                              "[700x450]\nPosition=%d,%d,%d,%d", &left, &top, &right, &bottom),
                  4)
            << ini;
        EXPECT_TRUE(top > 0 && left >= 0 && bottom <= 450 && right - left <= 700) << ini;
    }
}

} // namespace
