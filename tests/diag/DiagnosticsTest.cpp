#include "diag/QxLogger.h"

#include "common/FileText.h"
#include "common/TempTree.h"

#include <gtest/gtest.h>
#include <log4cplus/logger.h>

using namespace quorvex;
using quorvex::testing::ReadAll;
using quorvex::testing::TempTree;
using quorvex::testing::WriteAll;

namespace {

std::string FileAppender(const std::string& name, const std::string& path,
                         const std::string& pattern = "%m%n") {
    const std::string key = "log4d.appender." + name;
    return key + "=TLogFileAppender\n" + key + ".fileName=" + path + "\n" + key +
           ".layout=TLogPatternLayout\n" + key + ".layout.pattern=" + pattern + "\n";
}

// What `file` received from one debug and one info line, logged under the configuration `config`.
std::string LogThrough(const TempTree& t, const std::string& config, const std::string& file) {
    WriteAll(t / "log.cfg", config);
    // Earlier configurations in this process may have given the program's logger a level of its own.
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).setLogLevel(log4cplus::NOT_SET_LOG_LEVEL);
    EXPECT_TRUE(ConfigureLogging(t / "log.cfg"));
    ProgramLogger().debug("a debug line");
    ProgramLogger().info("an info line");
    return ReadAll(t / file);
}

} // namespace

// Configuration files in the old dialect keep working: its keys (mixed with the library's own), levels,
// threshold and additivity.
TEST(Logger, TheOldDialectsLevelsThresholdAndAdditivityTakeEffect) {
    const TempTree t;
    EXPECT_EQ(LogThrough(t,
                         "log4d.rootLogger=DEBUG,F\nlog4cplus.logger.Quorvex=INFO\n" +
                             FileAppender("F", t / "out.log", "%p %m%n"),
                         "out.log"),
              "INFO an info line\n");
    ProgramLogger().error("an error line", std::runtime_error("boom"));
    EXPECT_NE(ReadAll(t / "out.log").find("ERROR an error line (boom)"), std::string::npos);
    // The threshold drops debug requests even where the logger itself allows them.
    EXPECT_EQ(LogThrough(t,
                         "log4d.threshold=info\nlog4d.rootLogger=DEBUG,R\n" + FileAppender("R", t / "r.log"),
                         "r.log"),
              "an info line\n");
    // Not additive: the program's logger writes to its own appender only, not also to the root's.
    EXPECT_EQ(
        LogThrough(t,
                   "log4d.rootLogger=DEBUG,R\nlog4d.logger.Quorvex=DEBUG,Q\nlog4d.additive.Quorvex=false\n" +
                       FileAppender("R", t / "root.log") + FileAppender("Q", t / "own.log"),
                   "own.log"),
        "a debug line\nan info line\n");
    EXPECT_EQ(ReadAll(t / "root.log"), "");
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).setAdditivity(true);
    log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("Quorvex")).removeAllAppenders();
}
