#pragma once

// A real, tiny file system that runs out of space: how a full disk looks to the program; and a bind
// mount, which shows a folder a second time on the same device. Mounting needs the superuser; a test
// skips with Refusal() when the mount was refused.

#include "common/TempTree.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>

namespace quorvex::testing {

class TinyTmpfs {
public:
    explicit TinyTmpfs(const std::string& size = "64k") {
        if (::mount("tmpfs", dir_.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) ==
            0)
            mounted_ = true;
        else
            refusal_ = "cannot mount a tmpfs here: " + std::string(std::strerror(errno));
    }
    TinyTmpfs(const TinyTmpfs&) = delete;
    TinyTmpfs& operator=(const TinyTmpfs&) = delete;
    ~TinyTmpfs() {
        if (mounted_)
            ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }

    bool Mounted() const { return mounted_; }
    const std::string& Refusal() const { return refusal_; }
    const std::string& Path() const { return dir_.Path(); }
    std::string operator/(const std::string& relative) const { return dir_ / relative; }

    // Takes every free byte, so that the next block anyone asks for is refused.
    void Fill() const {
        const int fd = ::open((dir_ / "fill").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Check(fd >= 0, "create fill");
        const std::string zeros(4096, '\0');
        while (::write(fd, zeros.data(), zeros.size()) > 0) {
        }
        const int error = errno;
        ::close(fd);
        errno = error;
        Check(error == ENOSPC, "fill the tmpfs");
    }

private:
    TempTree dir_;
    bool mounted_ = false;
    std::string refusal_;
};

// A mount at a path the test chose, undone when it goes: an empty tmpfs, or `source` bound there.
class ScopedMount {
public:
    explicit ScopedMount(std::string at, const std::string& source = {}) : at_(std::move(at)) {
        const int done = source.empty()
                             ? ::mount("tmpfs", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k")
                             : ::mount(source.c_str(), at_.c_str(), nullptr, MS_BIND, nullptr);
        if (done == 0)
            mounted_ = true;
        else
            refusal_ = "cannot mount at " + at_ + ": " + std::strerror(errno);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount() {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }

    bool Mounted() const { return mounted_; }
    const std::string& Refusal() const { return refusal_; }

private:
    std::string at_;
    bool mounted_ = false;
    std::string refusal_;
};

} // namespace quorvex::testing
