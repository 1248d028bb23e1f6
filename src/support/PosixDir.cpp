#include "support/PosixDir.h"

#include "support/FileAttributes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace quorvex {
namespace {

std::uint16_t AttributesFromStatx(const struct statx& st, const char* name) {
    std::uint16_t attributes = 0;
    const mode_t type = st.stx_mode & S_IFMT;
    if (type == S_IFDIR)
        attributes |= faDirectory;
    else if (type == S_IFLNK)
        attributes |= faReparsePoint;
    else if (type != S_IFREG)
        attributes |= faSystem;
    if (name != nullptr && name[0] == '.')
        attributes |= faHidden;
    if ((st.stx_attributes_mask & STATX_ATTR_COMPRESSED) && (st.stx_attributes & STATX_ATTR_COMPRESSED))
        attributes |= faCompressed;
    return attributes;
}

void FillInfo(const struct statx& st, const char* name, TEntryInfo& info) {
    info.Attributes = AttributesFromStatx(st, name);
    info.IsDirectory = (st.stx_mode & S_IFMT) == S_IFDIR;
    info.Size = info.IsDirectory ? 0 : static_cast<std::int64_t>(st.stx_size);
    // st_blocks counts 512-byte units whatever the file system's block size.
    info.AllocatedSize = info.IsDirectory ? 0 : static_cast<std::int64_t>(st.stx_blocks) * 512;
    info.Links = st.stx_nlink;
    info.Device = makedev(st.stx_dev_major, st.stx_dev_minor);
    info.Inode = st.stx_ino;
    info.MountId = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
    info.Birth = (st.stx_mask & STATX_BTIME) != 0
                     ? static_cast<std::uint64_t>(st.stx_btime.tv_sec) * 1'000'000'000U + st.stx_btime.tv_nsec
                     : 0;
    info.ModifyTime = st.stx_mtime.tv_sec;
}

} // namespace

std::uint64_t IdentityStamp(std::uint64_t inode, std::uint64_t birth) {
    // The birth time is spread over all 64 bits (a splitmix step) so that two items that share an
    // inode number but were born apart never end up with the same stamp by the XOR.
    std::uint64_t mixed = birth + 0x9E3779B97F4A7C15U;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9U;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBU;
    mixed ^= mixed >> 31;
    const std::uint64_t stamp = birth == 0 ? inode : inode ^ mixed;
    return stamp != 0 ? stamp : 1;
}

int TFileSystemApi::OpenDirectory(int parentFd, const char* name) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 ? fd : -errno;
}

int TFileSystemApi::OpenRootDirectory(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 ? fd : -errno;
}

int TFileSystemApi::OpenDirectoryBeneath(int rootFd, const char* relativePath) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
    const long fd = ::syscall(SYS_openat2, rootFd, relativePath, &how, sizeof how);
    return fd >= 0 ? static_cast<int>(fd) : -errno;
}

int TFileSystemApi::StatEntry(int dirFd, const char* name, TEntryInfo& info) {
    struct statx st {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_BLOCKS | STATX_NLINK | STATX_INO | STATX_MNT_ID |
                    STATX_BTIME | STATX_MTIME,
                &st) != 0)
        return errno;
    FillInfo(st, name, info);
    return 0;
}

int TFileSystemApi::StatDescriptor(int fd, TEntryInfo& info) {
    struct statx st {};
    if (::statx(fd, "", AT_EMPTY_PATH,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_BLOCKS | STATX_INO | STATX_MNT_ID | STATX_BTIME,
                &st) != 0)
        return errno;
    FillInfo(st, nullptr, info);
    return 0;
}

int TFileSystemApi::RemoveEntry(int dirFd, const char* name, bool directory) {
    return ::unlinkat(dirFd, name, directory ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
}

int TFileSystemApi::GrantOwnerAccess(int dirFd, const char* name) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    // Should the entry become a link in between, the no-follow change fails instead of reaching its target.
    return ::fchmodat(dirFd, name, (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

TFileSystemApi& DefaultFileSystem() {
    static TFileSystemApi api;
    return api;
}

int OpenDirectoryBelow(TFileSystemApi& fs, const std::string& base,
                       const std::vector<const std::string*>& names) {
    int fd = fs.OpenRootDirectory(base.c_str());
    for (auto name = names.begin(); fd >= 0 && name != names.end(); ++name) {
        const int next = fs.OpenDirectory(fd, (*name)->c_str());
        ::close(fd);
        fd = next;
    }
    return fd;
}

TDirStream::TDirStream(int fd) : fd_(fd) {
    if (fd_ < 0) {
        error_ = -fd_;
        fd_ = -1;
        return;
    }
    dir_ = ::fdopendir(fd_);
    if (dir_ == nullptr) {
        error_ = errno;
        ::close(fd_);
        fd_ = -1;
    }
}

TDirStream::~TDirStream() {
    Close();
}

void TDirStream::Close() {
    if (dir_ != nullptr)
        ::closedir(dir_); // also closes fd_
    dir_ = nullptr;
    fd_ = -1;
}

const char* TDirStream::Next(unsigned char& type) {
    if (dir_ == nullptr)
        return nullptr;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir_);
        if (entry == nullptr) {
            if (errno != 0)
                error_ = errno;
            return nullptr;
        }
        const char* n = entry->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        type = entry->d_type;
        return n;
    }
}

int OpenWhenDescriptorsFree(const std::function<int()>& open, const std::function<bool()>& stop) {
    // Short waits at first: other threads give descriptors back as their directories end.
    constexpr auto kFirstWait = std::chrono::milliseconds(1);
    constexpr auto kLastWait = std::chrono::milliseconds(50);
    constexpr auto kLongestWait = std::chrono::seconds(10);
    int fd = open();
    auto pause = kFirstWait;
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (IsOutOfDescriptors(fd) && !(stop && stop()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(pause);
        pause = std::min(2 * pause, kLastWait);
        fd = open();
    }
    return fd;
}

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit); // refused: the walk sizes its budget from the lower limit
}

int FreeDescriptorCount() {
    constexpr int kAssumedOpen = 16; // when /proc is not there to count them
    constexpr rlim_t kEnough = 1 << 20;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    const int soft = static_cast<int>(std::min(limit.rlim_cur, kEnough));
    int open = kAssumedOpen;
    TDirStream fds(::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fds.Fd() >= 0) {
        open = -1; // the stream's own descriptor
        unsigned char type = 0;
        // The limit bounds descriptor numbers: one inherited above it takes no room below.
        while (const char* name = fds.Next(type)) {
            if (std::strtol(name, nullptr, 10) < soft)
                ++open;
        }
    }
    return std::max(0, soft - open);
}

std::string SystemErrorMessage(int code) {
    char buffer[256];
    // GNU strerror_r returns the message pointer, which may or may not be `buffer`.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return text;
}

} // namespace quorvex
