#include "support/SafeFileWriter.h"

#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <optional>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

namespace quorvex {
namespace {

// As many hops as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor `path` names when it is an entry of this process's descriptor folder in /proc,
// reached under any of its names (/proc/self/fd, /proc/thread-self/fd, /dev/fd, /proc/<pid>/fd).
// Opening such an entry would open the file afresh, at offset 0 and without the append mode of
// the descriptor, so it has to be written through the descriptor itself.
std::optional<int> OwnDescriptor(const std::string& path) {
    const std::string name = NameOf(path);
    if (!AllDigits(name) || name.size() > 9)
        return std::nullopt;
    const std::string folder = FolderOf(path);
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC)
        return std::nullopt;
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr)
        return std::nullopt;
    const std::string own = "/proc/" + std::to_string(::getpid());
    std::string_view rest = resolved;
    if (!rest.starts_with(own + "/"))
        return std::nullopt;
    rest.remove_prefix(own.size());
    const bool processFolder = rest == "/fd";
    const bool threadFolder = rest.starts_with("/task/") && rest.ends_with("/fd") && rest.size() > 9 &&
                              AllDigits(rest.substr(6, rest.size() - 9));
    if (!processFolder && !threadFolder)
        return std::nullopt;
    return std::stoi(name);
}

std::optional<std::string> ReadLink(const std::string& path) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n >= 0 && static_cast<std::size_t>(n) >= target.size())
        errno = ENAMETOOLONG;
    if (n < 0 || static_cast<std::size_t>(n) >= target.size())
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    return target;
}

// 0, or why a new file cannot be put into the folder of `path`. A folder without any write
// permission bit is refused even for the superuser, whom access() would let through.
int FolderProblem(const std::string& path) {
    const std::string folder = FolderOf(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// In a sticky folder (/tmp) only the owner of a file, the folder's owner and the superuser may
// rename over it: the rename at the end would be refused, after all the work.
int StickyProblem(const std::string& path, const struct stat& file) {
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0)
        return errno;
    const uid_t user = ::geteuid();
    const bool mayReplace =
        (folder.st_mode & S_ISVTX) == 0 || user == 0 || file.st_uid == user || folder.st_uid == user;
    return mayReplace ? 0 : EPERM;
}

// The same rule for the file itself: a read-only file is one its owner meant to keep.
int FileProblem(const std::string& path, const struct stat& st) {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

// Where the bytes for a file name go.
struct TPlan {
    enum class TKind { Replace, InPlace, Descriptor };
    TKind kind = TKind::Replace;
    std::string path;                // the file replaced, or the one opened in place
    int descriptor = -1;             // TKind::Descriptor
    std::optional<struct stat> file; // the file being replaced, if there is one
};

// Follows the name's symbolic links one at a time, so that a link to a descriptor is seen as
// such before the kernel turns it into the file behind it. Returns 0 or an errno value.
int MakePlan(const std::string& fileName, TPlan& plan) {
    std::string path = fileName;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        if (const std::optional<int> fd = OwnDescriptor(path)) {
            plan.kind = TPlan::TKind::Descriptor;
            plan.descriptor = *fd;
            return ::fcntl(*fd, F_GETFL) == -1 ? EBADF : 0;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return errno;
            plan.path = path; // a new file, or the missing target of a link
            return FolderProblem(path);
        }
        if (S_ISLNK(st.st_mode)) {
            const std::optional<std::string> target = ReadLink(path);
            if (!target)
                return errno;
            path = !target->empty() && target->front() == '/' ? *target : JoinPath(FolderOf(path), *target);
            continue;
        }
        plan.path = path;
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            plan.kind = TPlan::TKind::InPlace; // a device, a pipe or a socket is never replaced
            return 0;
        }
        plan.file = st;
        if (const int problem = FileProblem(path, st); problem != 0)
            return problem;
        if (const int problem = FolderProblem(path); problem != 0)
            return problem;
        return StickyProblem(path, st);
    }
    return ELOOP;
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char text[64];
    std::snprintf(text, sizeof text, "%x%x%llx", static_cast<unsigned>(::getpid()), counter++,
                  ticks & 0xffffffULL);
    return text;
}

// A replaced file keeps its permission bits and, where we may set them, its owner and group: an
// export run by the superuser over a user's file leaves it the user's. Set-id bits are not carried
// over to a file we wrote.
int KeepOwnerAndMode(int fd, const struct stat& st) {
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Only the superuser gives files away: for anyone else the new file is theirs, as
            // with any editor that saves through a temporary file.
        }
    }
    return ::fchmod(fd, st.st_mode & 0777) == 0 ? 0 : errno;
}

// A file without a name in `folder`, or -1 where the file system has none to give (or /proc, through
// which it gets its name, is missing). A process killed while writing it leaves nothing behind.
int OpenUnnamed(const std::string& folder) {
    if (::access("/proc/self/fd", X_OK) != 0)
        return -1;
    for (;;) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

int OpenInPlace(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

} // namespace

EFileWriteError::EFileWriteError(TStep step, std::string fileName, int errorCode)
    : std::runtime_error(fileName + ": " + SystemErrorMessage(errorCode)), step_(step),
      fileName_(std::move(fileName)), errorCode_(errorCode) {}

std::string EFileWriteError::Reason() const {
    return SystemErrorMessage(errorCode_);
}

TSafeFileWriter::TSafeFileWriter(std::string fileName) : fileName_(std::move(fileName)) {
    using TStep = EFileWriteError::TStep;
    TPlan plan;
    if (const int problem = MakePlan(fileName_, plan); problem != 0)
        throw EFileWriteError(TStep::Create, fileName_, problem);
    switch (plan.kind) {
    case TPlan::TKind::Descriptor:
        fd_ = ::fcntl(plan.descriptor, F_DUPFD_CLOEXEC, 0);
        break;
    case TPlan::TKind::InPlace:
        fd_ = OpenInPlace(plan.path);
        break;
    case TPlan::TKind::Replace: {
        target_ = plan.path;
        fd_ = OpenUnnamed(FolderOf(target_));
        unnamed_ = fd_ >= 0;
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            const std::string name = TemporaryName();
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd_ >= 0)
                temporary_ = name;
            else if (errno != EEXIST)
                break;
        }
        if (fd_ >= 0 && plan.file) {
            if (const int error = KeepOwnerAndMode(fd_, *plan.file); error != 0) {
                Discard();
                throw EFileWriteError(TStep::Create, fileName_, error);
            }
        }
        break;
    }
    }
    if (fd_ < 0)
        throw EFileWriteError(TStep::Create, fileName_, errno);
}

std::string TSafeFileWriter::TemporaryName() const {
    // Hidden, and short enough to stay within NAME_MAX beside a long file name.
    return JoinPath(FolderOf(target_), std::string(".").append(NameOf(target_), 0, 200).append(".")) +
           UniqueSuffix();
}

int TSafeFileWriter::NameUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = std::move(name);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

TSafeFileWriter::TSafeFileWriter(int fd, std::string displayName)
    : fileName_(std::move(displayName)), fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
    if (fd_ < 0)
        throw EFileWriteError(EFileWriteError::TStep::Create, fileName_, errno);
}

TSafeFileWriter::~TSafeFileWriter() {
    Discard();
}

void TSafeFileWriter::Discard() noexcept {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!temporary_.empty())
        ::unlink(std::exchange(temporary_, std::string()).c_str());
}

void TSafeFileWriter::Write(std::string_view bytes) {
    if (fd_ < 0)
        throw std::logic_error("write after commit: " + fileName_);
    if (stopRequested_ && stopRequested_())
        throw EFileWriteError(EFileWriteError::TStep::Write, fileName_, EINTR);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EFileWriteError(EFileWriteError::TStep::Write, fileName_, n < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TSafeFileWriter::Commit() {
    if (fd_ < 0)
        throw std::logic_error("commit twice: " + fileName_);
    auto fail = [this](int error) {
        Discard();
        throw EFileWriteError(EFileWriteError::TStep::Write, fileName_, error);
    };
    if (stopRequested_ && stopRequested_())
        fail(EINTR);
    const bool replacing = !temporary_.empty() || unnamed_;
    // Some file systems report a lost write only here (delayed allocation, quotas, network).
    if (replacing && ::fsync(fd_) != 0)
        fail(errno);
    // The whole content is on the disk: now it may get a name, the one the rename takes away.
    if (unnamed_) {
        if (const int error = NameUnnamed(); error != 0)
            fail(error);
    }
    // A close that fails (other than by a signal, after which the descriptor is gone anyway)
    // may have lost the last bytes.
    if (::close(std::exchange(fd_, -1)) != 0 && errno != EINTR)
        fail(errno);
    if (!replacing)
        return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        fail(errno);
    temporary_.clear();
    // So that the new name, not only the new content, survives a power cut.
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

int SafeWriteProblem(const std::string& fileName) {
    TPlan plan;
    return MakePlan(fileName, plan);
}

void WriteFileSafely(const std::string& fileName, std::string_view bytes) {
    TSafeFileWriter writer(fileName);
    writer.Write(bytes);
    writer.Commit();
}

} // namespace quorvex
