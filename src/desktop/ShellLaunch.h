#pragma once

#include <functional>
#include <string>

namespace quorvex {

struct TLaunchResult {
    bool Ok = false;
    int Error = 0;       // the GIO error code, or an errno value
    std::string Message; // UTF-8, for the user and the log
};

// Opens `path` (absolute; bytes as on disk) with the desktop's default application for its type, or,
// when that is this program, with the next application the desktop knows for the type. The handler
// gets a file:// URI made from the exact bytes, so names that are not valid UTF-8 open too.
TLaunchResult OpenWithDefaultHandler(const std::string& path);

// Shows `path` in the desktop's file manager: a directory is opened, anything else is selected inside
// its opened folder. Without a file manager service on the session bus, the directory (or the folder
// holding the item) is opened with the default handler instead.
TLaunchResult ShellExplore(const std::string& path, bool isDirectory);

// How the window reaches the desktop; tests put recorders in its place.
struct TShellLauncher {
    std::function<TLaunchResult(const std::string& path)> Open;
    std::function<TLaunchResult(const std::string& path, bool isDirectory)> Explore;
};

TShellLauncher DefaultShellLauncher();

} // namespace quorvex
