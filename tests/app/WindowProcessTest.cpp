// The window program as the desktop runs it: started through `quorvex DIRECTORY` offscreen, and ended by
// the signals a logout, `kill` or Ctrl+C in a terminal send.

#include "app/QuorvexProcess.h"
#include "common/FileText.h"
#include "common/ScopedEnv.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

namespace {

using namespace std::chrono_literals;
using namespace quorvex::testing;

// The signal goes once the program handles it (before that the default action would rightly end it).
Result OpenAndSignal(const TempTree& scratch, int signal, std::chrono::milliseconds settle = 300ms) {
    Quorvex window({scratch.Path()}, scratch);
    EXPECT_TRUE(AwaitCatching(window.Pid(), signal)) << strsignal(signal);
    std::this_thread::sleep_for(settle);
    EXPECT_EQ(::kill(window.Pid(), signal), 0) << "the program ended on its own";
    return window.Wait(30s);
}

TEST(WindowProcess, TerminationSignalsCloseTheWindowAsExitDoesAndWriteItsState) {
    const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const TempTree scratch;
        const Result result = OpenAndSignal(scratch, signal);
        EXPECT_EQ(result.exitCode, 0) << strsignal(signal) << "\n" << result.err;
        // A fresh profile: all there is was written at the close.
        const std::string ini = ReadAll(scratch / "config/Quorvex/Quorvex.ini");
        for (const char* key : {"Position=", "FileSizeRounding="})
            EXPECT_NE(ini.find(key), std::string::npos) << strsignal(signal) << ": " << key << "\n" << ini;
    }

    // The error box for a settings folder that cannot be made waits for the user; the signal answers it.
    const TempTree scratch;
    WriteAll(scratch / "config", "a file in the way\n");
    const Result result = OpenAndSignal(scratch, SIGTERM, 500ms);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadAll(scratch / "config"), "a file in the way\n");
}

} // namespace
