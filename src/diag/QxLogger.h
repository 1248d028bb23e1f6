#pragma once

#include <exception>
#include <string>

namespace quorvex {

// The program's one logger, "Quorvex". Where its lines go is decided by a "log.cfg"
// (DefaultLogConfigPath); without one every call is discarded. Safe to call from any thread.
class TProgramLogger {
public:
    void debug(const std::string& message) const;
    void info(const std::string& message) const;
    void error(const std::string& message) const;
    void error(const std::string& message, const std::exception& error) const;
    bool isDebugEnabled() const;
};

TProgramLogger& ProgramLogger();

// Configures the logging library once from `configFile`. Keys may use the "log4d." prefix (and its
// class names) or log4cplus's own. A missing or unreadable file leaves logging off, silently.
// Returns true when a configuration file was read.
bool ConfigureLogging(const std::string& configFile);

// The first regular file of: <user config folder>/quorvex/log.cfg, /etc/quorvex/log.cfg, "log.cfg"
// beside the running executable (the build tree); that last path when there is none.
std::string DefaultLogConfigPath();

// Rewrites a property text written for the "log4d." dialect into log4cplus's own; keys already in
// log4cplus form pass unchanged. Exposed for tests.
std::string TranslateLogProperties(const std::string& text);

} // namespace quorvex
