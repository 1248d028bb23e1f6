#include "diag/QxLogger.h"
#include "diag/QxProfiler.h"

#include "common/TempTree.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <log4cplus/logger.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

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

namespace {

// Configures the logging library from `config` and returns what each named log file received from one debug
// and one info message.
std::map<std::string, std::string> LogThrough(const quorvex::testing::TempTree& t, const std::string& config,
                                              const std::vector<std::string>& files) {
    {
        std::ofstream cfg(t / "log.cfg");
        cfg << config;
    }
    // Earlier configurations in this process may have given the program's logger a level of its own.
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).setLogLevel(log4cplus::NOT_SET_LOG_LEVEL);
    EXPECT_TRUE(ConfigureLogging(t / "log.cfg"));
    ProgramLogger().debug("a debug line");
    ProgramLogger().info("an info line");
    std::map<std::string, std::string> received;
    for (const auto& name : files) {
        std::ifstream in(t / name);
        std::stringstream text;
        text << in.rdbuf();
        received[name] = text.str();
    }
    return received;
}

std::string FileAppender(const std::string& name, const std::string& path) {
    return "log4d.appender." + name + "=TLogFileAppender\nlog4d.appender." + name + ".fileName=" + path +
           "\nlog4d.appender." + name + ".layout=TLogPatternLayout\nlog4d.appender." + name +
           ".layout.pattern=%m%n\n";
}

} // namespace

TEST(Logger, ThresholdAndAdditivityOfTheOldDialectTakeEffect) {
    quorvex::testing::TempTree t;
    // The threshold drops debug requests even where the logger itself allows them.
    auto got = LogThrough(
        t, "log4d.threshold=info\nlog4d.rootLogger=DEBUG,R\n" + FileAppender("R", t / "r.log"), {"r.log"});
    EXPECT_EQ(got["r.log"], "an info line\n");
    // A later configuration without a threshold lets everything through again.
    got = LogThrough(t, "log4d.rootLogger=DEBUG,R\n" + FileAppender("R", t / "r2.log"), {"r2.log"});
    EXPECT_EQ(got["r2.log"], "a debug line\nan info line\n");
    got = LogThrough(t, "log4d.threshold=OFF\nlog4d.rootLogger=DEBUG,R\n" + FileAppender("R", t / "r3.log"),
                     {"r3.log"});
    EXPECT_EQ(got["r3.log"], "");

    // Not additive: the program's logger writes to its own appender only, not also to the root's.
    got =
        LogThrough(t,
                   "log4d.rootLogger=DEBUG,R\nlog4d.logger.Quorvex=DEBUG,Q\nlog4d.additive.Quorvex=false\n" +
                       FileAppender("R", t / "root.log") + FileAppender("Q", t / "own.log"),
                   {"root.log", "own.log"});
    EXPECT_EQ(got["own.log"], "a debug line\nan info line\n");
    EXPECT_EQ(got["root.log"], "");
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).setAdditivity(true);
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).removeAllAppenders();
}

// The switch users are told about is a Qt logging rule, parsed exactly as QT_LOGGING_RULES is.
TEST(Profiler, TimingLinesAreDebugMessagesOfTheQuorvexCategory) {
    static QStringList seen;
    seen.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { seen << message; });
    LogElapsed(-5, "quiet");
    QLoggingCategory::setFilterRules(QStringLiteral("quorvex.debug=true"));
    LogElapsed(-5, "OnCreate");
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    EXPECT_EQ(seen, QStringList{QStringLiteral("OnCreate: 0.0 s")});
}
