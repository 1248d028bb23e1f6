#pragma once

// Builds throw-away directory trees for tests, by byte names, relative to open descriptors so that
// trees deeper than PATH_MAX can be made and removed.

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvex::testing {

// Descriptors this process holds open now.
inline int OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<int>(std::distance(begin(fds), end(fds)));
}

inline void Check(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error(what + ": errno " + std::to_string(errno));
}

// Removes everything below and including `name` in `parentFd`, without following links, iteratively.
inline void RemoveTreeAt(int parentFd, const std::string& name) {
    struct Level {
        int fd;
        std::string name;
    };
    std::vector<Level> stack;
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(parentFd, name.c_str(), 0);
        return;
    }
    ::fchmod(fd, 0700);
    stack.push_back({fd, name});
    while (!stack.empty()) {
        const int dirFd = stack.back().fd;
        int dup = ::dup(dirFd);
        DIR* dir = ::fdopendir(dup);
        // A duplicate shares the position of the last pass, which may have stopped at the end.
        ::rewinddir(dir);
        std::string childDir;
        while (dirent* e = ::readdir(dir)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (::unlinkat(dirFd, n.c_str(), 0) == 0)
                continue;
            childDir = n;
            break;
        }
        ::closedir(dir);
        if (!childDir.empty()) {
            const int childFd =
                ::openat(dirFd, childDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                ::unlinkat(dirFd, childDir.c_str(), AT_REMOVEDIR);
                continue;
            }
            ::fchmod(childFd, 0700);
            stack.push_back({childFd, childDir});
            continue;
        }
        const Level done = stack.back();
        stack.pop_back();
        ::close(done.fd);
        ::unlinkat(stack.empty() ? parentFd : stack.back().fd, done.name.c_str(), AT_REMOVEDIR);
    }
}

class TempTree {
public:
    TempTree() {
        std::string templ =
            std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/quorvex-test-XXXXXX";
        Check(::mkdtemp(templ.data()) != nullptr, "mkdtemp");
        path_ = templ;
        ::chmod(path_.c_str(), 0755);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;
    ~TempTree() {
        const auto slash = path_.rfind('/');
        const int parent = ::open(path_.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        RemoveTreeAt(parent, path_.substr(slash + 1));
        ::close(parent);
    }

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    void Dir(const std::string& relative) const {
        Check(::mkdir((*this / relative).c_str(), 0755) == 0, "mkdir " + relative);
    }
    void File(const std::string& relative, long long size) const {
        const int fd = ::open((*this / relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Check(fd >= 0, "create " + relative);
        Check(::ftruncate(fd, size) == 0, "truncate " + relative);
        ::close(fd);
    }
    // A chain of `depth` directories named "level", each made through its parent's descriptor so the
    // chain may reach beyond PATH_MAX; `atEachLevel` gets each level's parent descriptor and number.
    void Chain(int depth, const std::function<void(int fd, int level)>& atEachLevel) const {
        int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Check(fd >= 0, "open " + path_);
        for (int i = 0; i < depth; ++i) {
            Check(::mkdirat(fd, "level", 0755) == 0, "mkdir level");
            atEachLevel(fd, i);
            const int next = ::openat(fd, "level", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            Check(next >= 0, "open level");
            fd = next;
        }
        ::close(fd);
    }
    void Link(const std::string& target, const std::string& relative) const {
        Check(::symlink(target.c_str(), (*this / relative).c_str()) == 0, "symlink " + relative);
    }

private:
    std::string path_;
};

} // namespace quorvex::testing
