#include "diag/QxLogger.h"

#include "support/DataLocations.h"

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/loglog.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/nullappender.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>
#include <vector>

namespace quorvex {
namespace {

constexpr const char* kLoggerName = "Quorvex";

// Configuration files in the "log4d." key dialect name their classes and options differently.
struct Rename {
    std::string_view from;
    std::string_view to;
};
constexpr std::array kClassNames{
    Rename{"TLogFileAppender", "log4cplus::FileAppender"},
    Rename{"TLogRollingFileAppender", "log4cplus::RollingFileAppender"},
    Rename{"TLogODSAppender", "log4cplus::ConsoleAppender"},
    Rename{"TLogStreamAppender", "log4cplus::ConsoleAppender"},
    Rename{"TLogNullAppender", "log4cplus::NullAppender"},
    Rename{"TLogPatternLayout", "log4cplus::PatternLayout"},
    Rename{"TLogSimpleLayout", "log4cplus::SimpleLayout"},
    Rename{"TLogHTMLLayout", "log4cplus::TTCCLayout"},
};
constexpr std::array kOptionNames{
    Rename{".layout.pattern", ".layout.ConversionPattern"},
    Rename{".fileName", ".File"},
    Rename{".append", ".Append"},
    Rename{".maxFileSize", ".MaxFileSize"},
    Rename{".maxBackupIndex", ".MaxBackupIndex"},
    Rename{".createDirs", ".CreateDirs"},
};

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

log4cplus::Logger TheLogger() {
    return log4cplus::Logger::getInstance(kLoggerName);
}

void EnsureInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        log4cplus::initialize();
        // Quiet until configured: the library must not print its "no appenders" warning.
        log4cplus::helpers::LogLog::getLogLog()->setQuietMode(true);
        auto root = log4cplus::Logger::getRoot();
        root.setLogLevel(log4cplus::OFF_LOG_LEVEL);
        root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
    });
}

// The library reads no threshold key of its own; the hierarchy's disable level gives the same effect: every
// request below the threshold is dropped whatever its logger's level.
void ApplyThreshold(const log4cplus::tstring& value) {
    auto& hierarchy = log4cplus::Logger::getDefaultHierarchy();
    hierarchy.enableAll();
    if (Trim(value).empty())
        return;
    const log4cplus::LogLevel level = log4cplus::getLogLevelManager().fromString(Trim(value));
    if (level == log4cplus::NOT_SET_LOG_LEVEL || level <= log4cplus::ALL_LOG_LEVEL)
        return;
    if (level >= log4cplus::OFF_LOG_LEVEL)
        hierarchy.disableAll();
    else
        hierarchy.disable(level - 1);
}

} // namespace

std::string TranslateLogProperties(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream out;
    std::string line;
    while (std::getline(in, line)) {
        const std::string trimmed = Trim(line);
        const auto eq = trimmed.find('=');
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == '!' || eq == std::string::npos) {
            out << line << '\n';
            continue;
        }
        std::string key = Trim(std::string_view(trimmed).substr(0, eq));
        std::string value = Trim(std::string_view(trimmed).substr(eq + 1));
        if (key.rfind("log4d.", 0) == 0) {
            key = "log4cplus." + key.substr(6);
            if (key.rfind("log4cplus.additive.", 0) == 0)
                key = "log4cplus.additivity." + key.substr(19);
            for (const auto& r : kOptionNames) {
                if (key.size() > r.from.size() && key.ends_with(r.from))
                    key = key.substr(0, key.size() - r.from.size()) + std::string(r.to);
            }
            for (const auto& r : kClassNames) {
                if (value == r.from)
                    value = r.to;
            }
            // That dialect's debugger-output appender maps onto stderr.
            if (value == "log4cplus::ConsoleAppender")
                out << key << ".logToStdErr=true\n";
        }
        out << key << '=' << value << '\n';
    }
    return out.str();
}

void TProgramLogger::debug(const std::string& message) const {
    EnsureInitialised();
    LOG4CPLUS_DEBUG(TheLogger(), message);
}

void TProgramLogger::info(const std::string& message) const {
    EnsureInitialised();
    LOG4CPLUS_INFO(TheLogger(), message);
}

void TProgramLogger::error(const std::string& message) const {
    EnsureInitialised();
    LOG4CPLUS_ERROR(TheLogger(), message);
}

void TProgramLogger::error(const std::string& message, const std::exception& error) const {
    EnsureInitialised();
    LOG4CPLUS_ERROR(TheLogger(), message << " (" << error.what() << ")");
}

bool TProgramLogger::isDebugEnabled() const {
    EnsureInitialised();
    return TheLogger().isEnabledFor(log4cplus::DEBUG_LOG_LEVEL);
}

TProgramLogger& ProgramLogger() {
    static TProgramLogger logger;
    return logger;
}

std::string DefaultLogConfigPath() {
    const auto beside = ProgramFolder() / "log.cfg";
    std::vector<std::filesystem::path> candidates;
    if (const auto config = UserConfigFolder(); !config.empty())
        candidates.push_back(config / "quorvex" / "log.cfg");
    candidates.emplace_back("/etc/quorvex/log.cfg");
    candidates.push_back(beside);
    std::error_code error;
    for (const auto& candidate : candidates) {
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate.string();
    }
    return beside.string();
}

bool ConfigureLogging(const std::string& configFile) {
    EnsureInitialised();
    std::ifstream file(configFile);
    if (!file)
        return false;
    std::stringstream raw;
    raw << file.rdbuf();
    std::istringstream translated(TranslateLogProperties(raw.str()));
    log4cplus::helpers::Properties props(translated);
    auto root = log4cplus::Logger::getRoot();
    root.removeAllAppenders();
    root.setLogLevel(log4cplus::DEBUG_LOG_LEVEL);
    log4cplus::PropertyConfigurator configurator(props);
    configurator.configure();
    ApplyThreshold(props.getProperty(LOG4CPLUS_TEXT("log4cplus.threshold")));
    return true;
}

} // namespace quorvex
