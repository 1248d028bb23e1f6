#include "diag/QxLogger.h"
#include "diag/QxProfiler.h"

#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

using namespace quorvex;

TEST(Profiler, StopsMeasureFromTheLastStart) {
    TLLProfiler profiler;
    EXPECT_THROW(profiler.StopTimer(7), ETimerException);
    profiler.StartTimer(7);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto first = profiler.StopTimer(7);
    const auto second = profiler.StopTimer(7);
    EXPECT_GT(first, 0);
    EXPECT_GE(second, first) << "a second stop measures from the same start";
    profiler.StartTimer(7);
    EXPECT_LT(profiler.StopTimer(7), second) << "a restart resets the start";
    EXPECT_EQ(profiler.IndexOfTimer(7), 0);
    EXPECT_EQ(profiler.IndexOfTimer(8), -1);
}

TEST(Profiler, ElapsedTextAndNeverStartedTimers) {
    EXPECT_EQ(ElapsedSeconds(123456), 0.0);
    EXPECT_EQ(FormatElapsed("OnCreate", 0.0), "OnCreate: 0.0 s");
    EXPECT_EQ(FormatElapsed("OnCreate", 0.12345), "OnCreate: 0.123 s");
    EXPECT_EQ(FormatElapsed("OnCreate", 2.0), "OnCreate: 2.0 s");
    EXPECT_EQ(FormatElapsed("x", 1234.5), "x: 1234.5 s");
}

TEST(Logger, OldDialectKeysAreTranslated) {
    const std::string out = TranslateLogProperties("# comment\n"
                                                   "log4d.rootLogger=DEBUG,F\n"
                                                   "log4d.appender.F=TLogFileAppender\n"
                                                   "log4d.appender.F.fileName=x.log\n"
                                                   "log4d.appender.F.layout=TLogPatternLayout\n"
                                                   "log4d.appender.F.layout.pattern=%m%n\n"
                                                   "log4cplus.logger.Other=INFO\n");
    EXPECT_NE(out.find("log4cplus.rootLogger=DEBUG,F"), std::string::npos);
    EXPECT_NE(out.find("log4cplus.appender.F=log4cplus::FileAppender"), std::string::npos);
    EXPECT_NE(out.find("log4cplus.appender.F.File=x.log"), std::string::npos);
    EXPECT_NE(out.find("log4cplus.appender.F.layout.ConversionPattern=%m%n"), std::string::npos);
    EXPECT_NE(out.find("log4cplus.logger.Other=INFO"), std::string::npos);
}

TEST(Logger, ConfiguredLevelFiltersMessages) {
    quorvex::testing::TempTree t;
    const std::string logFile = t / "out.log";
    ProgramLogger().info("before configuration is discarded");
    EXPECT_FALSE(ConfigureLogging(t / "missing.cfg"));
    {
        std::ofstream cfg(t / "log.cfg");
        cfg << "log4d.rootLogger=DEBUG,F\n"
               "log4d.logger.Quorvex=INFO\n"
               "log4d.appender.F=TLogFileAppender\n"
               "log4d.appender.F.fileName="
            << logFile
            << "\n"
               "log4d.appender.F.layout=TLogPatternLayout\n"
               "log4d.appender.F.layout.pattern=%p %m%n\n";
    }
    ASSERT_TRUE(ConfigureLogging(t / "log.cfg"));
    ProgramLogger().debug("hidden debug line");
    ProgramLogger().info("visible info line");
    ProgramLogger().error("visible error line", std::runtime_error("boom"));
    std::ifstream in(logFile);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("hidden debug line"), std::string::npos);
    EXPECT_EQ(text.str().find("before configuration"), std::string::npos);
    EXPECT_NE(text.str().find("INFO visible info line"), std::string::npos);
    EXPECT_NE(text.str().find("ERROR visible error line (boom)"), std::string::npos);
}
