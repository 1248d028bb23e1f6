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

// A mount at a path the test chose, undone when it goes: an empty tmpfs, or `source` bound there.
class ScopedMount {
public:
    explicit ScopedMount(std::string at, const std::string& source = {}, const std::string& size = "64k")
        : at_(std::move(at)) {
        mounted_ = (source.empty() ? ::mount("tmpfs", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                                             ("size=" + size).c_str())
                                   : ::mount(source.c_str(), at_.c_str(), nullptr, MS_BIND, nullptr)) == 0;
        if (!mounted_)
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

// A tmpfs on a folder of its own, with the folder's tree builders; unmounted before the folder goes.
class TinyTmpfs : public TempTree {
public:
    explicit TinyTmpfs(const std::string& size = "64k") : mount_(Path(), {}, size) {}

    bool Mounted() const { return mount_.Mounted(); }
    const std::string& Refusal() const { return mount_.Refusal(); }

    // Takes every free byte, so that the next block anyone asks for is refused.
    void Fill() const {
        const int fd = ::open((*this / "fill").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Check(fd >= 0, "create fill");
        const std::string zeros(4096, '\0');
        while (::write(fd, zeros.data(), zeros.size()) > 0) {
        }
        const int error = errno;
        ::close(fd);
        Check(error == ENOSPC, "fill the tmpfs");
    }

private:
    ScopedMount mount_;
};

} // namespace quorvex::testing
