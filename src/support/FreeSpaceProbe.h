#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include <sys/statvfs.h>

namespace quorvex {

// A statvfs of a dead network mount can hang for minutes; the user-interface thread must not wait
// for it. The call runs on a helper thread and the caller waits at most `limit`; a path whose earlier
// call is still stuck is not asked again until that call returns, so no helper threads pile up.
// Returns nullopt when the call failed or did not answer in time.
std::optional<struct statvfs> TimedStatvfs(const std::string& path, std::chrono::milliseconds limit);

// Stands in for the system call; tests pass one that blocks. An empty function restores the real
// one. Returns the previous function.
using TStatvfsFunction = std::function<int(const std::string& path, struct statvfs& out)>;
TStatvfsFunction SetStatvfsFunction(TStatvfsFunction function);

} // namespace quorvex
