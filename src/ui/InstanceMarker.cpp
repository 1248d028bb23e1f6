#include "ui/InstanceMarker.h"

#include "support/PathText.h"
#include "support/Utilities.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvex {

std::string TInstanceMarker::DefaultFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0')
        return runtime;
    return EncodePath(QDir::tempPath());
}

TInstanceMarker::TInstanceMarker(const std::string& folder) : path_(JoinPath(folder, "Quorvex.Mutex")) {
    // The marker never stops the program: without it we just run unmarked.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TInstanceMarker::~TInstanceMarker() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace quorvex
