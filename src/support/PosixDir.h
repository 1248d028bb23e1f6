#pragma once

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvex {

struct TEntryInfo {
    std::int64_t Size = 0;          // logical length (st_size); 0 for a directory
    std::int64_t AllocatedSize = 0; // st_blocks x 512; 0 for a directory
    std::uint16_t Attributes = 0;   // faDirectory, faHidden, faSystem, faReparsePoint, faCompressed
    bool IsDirectory = false;       // a real directory, not a link to one
    dev_t Device = 0;
    ino_t Inode = 0;
    std::uint32_t Links = 1; // st_nlink
    // Which mount the entry belongs to (0 when the kernel does not say). Tells a bind mount of the
    // same file system from an ordinary directory, which the device number cannot.
    std::uint64_t MountId = 0;
    // When the file system made this inode, in nanoseconds since the epoch; 0 when it does not say.
    std::uint64_t Birth = 0;
    // Last change of the content, in seconds since the epoch (st_mtime).
    std::int64_t ModifyTime = 0;
};

// What tells this item from one that took its name since: its inode number and, where the file system
// records it, its birth time. Inode numbers alone are not enough: ext4 and tmpfs hand a freed number
// to the next file made, so a folder removed and made again often has the old number. Never 0, which
// stands for "not known".
std::uint64_t IdentityStamp(std::uint64_t inode, std::uint64_t birth);
inline std::uint64_t IdentityStamp(const TEntryInfo& info) {
    return IdentityStamp(info.Inode, info.Birth);
}

// The file-system calls the walkers make, behind one seam so tests can inject failures
// (permission denied, entries that vanish) without needing an unprivileged user.
class TFileSystemApi {
public:
    virtual ~TFileSystemApi() = default;
    // Opens directory `name` relative to `parentFd` (AT_FDCWD for absolute paths) without following a
    // final symbolic link. Returns the descriptor or -errno.
    virtual int OpenDirectory(int parentFd, const char* name);
    // Opens the directory the user named, following its own symbolic link too. Returns the descriptor
    // or -errno.
    virtual int OpenRootDirectory(const char* path);
    // Opens the directory at `relativePath` below `rootFd` in one call, refusing every symbolic link
    // and every mount point on the way, and any way out of the root. Returns the descriptor or -errno;
    // -ENOSYS where the kernel cannot, so that the caller goes level by level instead.
    virtual int OpenDirectoryBeneath(int rootFd, const char* relativePath);
    // lstat-like information on `name` relative to `dirFd`. Returns 0 or an errno value.
    virtual int StatEntry(int dirFd, const char* name, TEntryInfo& info);
    // Information on an open descriptor. Returns 0 or an errno value.
    virtual int StatDescriptor(int fd, TEntryInfo& info);
    // Removes `name` relative to `dirFd` (unlinkat; rmdir when `directory`). Returns 0 or an errno value.
    virtual int RemoveEntry(int dirFd, const char* name, bool directory);
    // Gives the owner read, write and search rights on directory `name` relative to `dirFd` ("." for
    // `dirFd` itself); refuses anything that is not a directory, a symbolic link above all. Returns 0
    // or an errno value.
    virtual int GrantOwnerAccess(int dirFd, const char* name);
};

TFileSystemApi& DefaultFileSystem();

// Opens `base` as a root, then each of `names` in turn below it, one level at a time, so the depth
// is not bounded by PATH_MAX; the names' own links are never followed. At most two descriptors are
// open at any moment. Returns the last directory's descriptor or -errno.
int OpenDirectoryBelow(TFileSystemApi& fs, const std::string& base,
                       const std::vector<const std::string*>& names);

// Reads the names of an open directory, skipping "." and "..". Owns the descriptor it is given.
class TDirStream {
public:
    explicit TDirStream(int fd);
    TDirStream(const TDirStream&) = delete;
    TDirStream& operator=(const TDirStream&) = delete;
    ~TDirStream();

    int Fd() const { return fd_; }
    // The next entry's name, or nullptr at the end. `type` gets d_type (DT_UNKNOWN when not known).
    // A read error ends the stream and is kept in Error().
    const char* Next(unsigned char& type);
    int Error() const { return error_; }
    // Closes the stream; Fd() becomes -1.
    void Close();

private:
    DIR* dir_ = nullptr;
    int fd_ = -1;
    int error_ = 0;
};

// Whether a failed open (-errno) failed only because the process or the system has no descriptor left.
inline bool IsOutOfDescriptors(int result) {
    return result == -EMFILE || result == -ENFILE;
}

// Calls `open` (a descriptor or -errno) again while it fails only for want of descriptors, waiting a
// little longer each time for others to be closed elsewhere. Gives up after some seconds, or as soon
// as `stop` says so, with the last result.
int OpenWhenDescriptorsFree(const std::function<int()>& open, const std::function<bool()>& stop = {});

// Raises the process's soft limit on open files to its hard one, so that a low default does not
// cut deep or parallel walks short. Called once at start-up.
void RaiseOpenFileLimit();

// How many more descriptors the process may open now: its soft limit less those already open.
int FreeDescriptorCount();

// The C library's text for an errno value.
std::string SystemErrorMessage(int code);

} // namespace quorvex
