#include "desktop/PermanentDelete.h"

#include "support/PosixDir.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <optional>
#include <unistd.h>
#include <unordered_set>

namespace quorvex {
namespace {

// Directories deeper than this many levels below the current one have their descriptors closed and
// are reopened through ".." on the way back, so any depth fits in the process's descriptor limit.
constexpr std::size_t kOpenFrames = 16;

struct TFrame {
    TFrame(std::string name, int fd, const TEntryInfo& info)
        : Name(std::move(name)), Fd(fd), Device(info.Device), Inode(info.Inode) {}

    std::string Name; // relative to the frame above; the top's own last component
    int Fd = -1;
    dev_t Device = 0;
    ino_t Inode = 0;
    bool Kept = false;     // something inside stays, so this directory stays too
    bool Unlocked = false; // owner rights were granted once already
    // Entries that stay; the listing is read again after every descent and must not retry them.
    std::unordered_set<std::string> Skip;
};

class TDeleter {
public:
    TDeleter(const std::string& path, const TDeletionControl& control)
        : control_(control), fs_(control.FileSystem ? *control.FileSystem : DefaultFileSystem()), top_(path) {
        while (top_.size() > 1 && top_.back() == '/')
            top_.pop_back();
    }
    TDeleter(const TDeleter&) = delete;
    TDeleter& operator=(const TDeleter&) = delete;
    ~TDeleter() {
        for (const TFrame& frame : frames_)
            if (frame.Fd >= 0)
                ::close(frame.Fd);
        if (topParentFd_ >= 0)
            ::close(topParentFd_);
    }

    TDeletionResult Run() {
        const auto slash = top_.rfind('/');
        const std::string name = slash == std::string::npos ? top_ : top_.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") {
            Fail(top_, EINVAL);
            return std::move(result_);
        }
        topParentFd_ = OpenParent(slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : top_.substr(0, slash));
        if (topParentFd_ < 0) {
            Fail(top_, -topParentFd_);
            return std::move(result_);
        }
        TEntryInfo info;
        if (const int error = fs_.StatEntry(topParentFd_, name.c_str(), info); error != 0) {
            Fail(top_, error);
            return std::move(result_);
        }
        if (!info.IsDirectory) {
            RemoveTop(name, false);
            return std::move(result_);
        }
        if (!EnterTop(name))
            return std::move(result_);
        while (!frames_.empty() && !Cancelled()) {
            const std::optional<std::string> below = ClearEntries();
            if (result_.Cancelled)
                break;
            if (below)
                Enter(*below);
            else
                Leave();
        }
        return std::move(result_);
    }

private:
    int OpenParent(const std::string& parent) {
        const int fd = fs_.OpenRootDirectory(parent.c_str());
        if (fd != -ENAMETOOLONG)
            return fd;
        std::vector<std::string> names;
        for (std::size_t start = 1; start < parent.size();) {
            const auto end = std::min(parent.find('/', start), parent.size());
            if (end > start)
                names.push_back(parent.substr(start, end - start));
            start = end + 1;
        }
        std::vector<const std::string*> pointers;
        pointers.reserve(names.size());
        for (const std::string& n : names)
            pointers.push_back(&n);
        return OpenDirectoryBelow(fs_, "/", pointers);
    }

    bool EnterTop(const std::string& name) {
        int fd = fs_.OpenDirectory(topParentFd_, name.c_str());
        if (fd == -EACCES && fs_.GrantOwnerAccess(topParentFd_, name.c_str()) == 0)
            fd = fs_.OpenDirectory(topParentFd_, name.c_str());
        TEntryInfo info;
        const int error = fd < 0 ? -fd : fs_.StatDescriptor(fd, info);
        if (error != 0) {
            if (fd >= 0)
                ::close(fd);
            Fail(top_, error);
            return false;
        }
        device_ = info.Device;
        mount_ = info.MountId;
        frames_.emplace_back(name, fd, info);
        return true;
    }

    void RemoveTop(const std::string& name, bool directory) {
        // The directory holding the top is not ours to change, so no rights are granted here.
        const int error = fs_.RemoveEntry(topParentFd_, name.c_str(), directory);
        if (error != 0) {
            Fail(top_, error);
            return;
        }
        result_.TopRemoved = true;
        Removed();
    }

    // Removes what can go at once from the deepest directory; returns a directory to descend into.
    std::optional<std::string> ClearEntries() {
        TFrame& frame = frames_.back();
        // A fresh open file description, so each reading starts at the beginning.
        TDirStream stream(fs_.OpenDirectory(frame.Fd, "."));
        unsigned char type = DT_UNKNOWN;
        while (const char* name = stream.Next(type)) {
            if (Cancelled())
                return std::nullopt;
            if (frame.Skip.count(name) != 0)
                continue;
            bool directory = type == DT_DIR;
            if (type == DT_UNKNOWN) {
                TEntryInfo info;
                if (const int error = fs_.StatEntry(frame.Fd, name, info); error != 0) {
                    if (error != ENOENT)
                        Keep(name, error);
                    continue;
                }
                directory = info.IsDirectory;
            }
            // An empty directory goes without being opened; a mount point answers EBUSY here.
            const int error = RemoveIn(frame, name, directory);
            if (error == 0)
                Removed();
            else if (directory && (error == ENOTEMPTY || error == EEXIST || error == EBUSY))
                return std::string(name);
            else if (error != ENOENT)
                Keep(name, error);
        }
        if (stream.Error() != 0) {
            Fail(PathOf(frames_.size() - 1, nullptr), stream.Error());
            frame.Kept = true;
        }
        return std::nullopt;
    }

    int RemoveIn(TFrame& frame, const char* name, bool directory) {
        int error = fs_.RemoveEntry(frame.Fd, name, directory);
        if (error == EACCES && !frame.Unlocked) {
            // A read-only directory of the user's own: removing its entries needs its write right.
            frame.Unlocked = true;
            if (fs_.GrantOwnerAccess(frame.Fd, ".") == 0)
                error = fs_.RemoveEntry(frame.Fd, name, directory);
        }
        return error;
    }

    void Enter(const std::string& name) {
        const int parentFd = frames_.back().Fd;
        int fd = fs_.OpenDirectory(parentFd, name.c_str());
        if (fd == -EACCES && fs_.GrantOwnerAccess(parentFd, name.c_str()) == 0)
            fd = fs_.OpenDirectory(parentFd, name.c_str());
        TEntryInfo info;
        int error = fd < 0 ? -fd : fs_.StatDescriptor(fd, info);
        if (error == 0 && (info.Device != device_ || info.MountId != mount_))
            error = EXDEV;
        if (error != 0) {
            if (fd >= 0)
                ::close(fd);
            Keep(name.c_str(), error);
            return;
        }
        frames_.emplace_back(name, fd, info);
        if (frames_.size() > kOpenFrames) {
            TFrame& far = frames_[frames_.size() - 1 - kOpenFrames];
            if (far.Fd >= 0)
                ::close(far.Fd);
            far.Fd = -1;
        }
    }

    void Leave() {
        TFrame done = std::move(frames_.back());
        frames_.pop_back();
        if (frames_.empty()) {
            ::close(done.Fd);
            if (done.Kept)
                return;
            RemoveTop(done.Name, true);
            return;
        }
        TFrame& parent = frames_.back();
        if (parent.Fd < 0)
            parent.Fd = Reopen(done.Fd, frames_.size() - 1);
        ::close(done.Fd);
        if (parent.Fd < 0) {
            // Without a safe way back up the walk cannot go on; what is left stays as it is.
            Fail(PathOf(frames_.size() - 1, nullptr), -parent.Fd);
            parent.Fd = -1;
            for (TFrame& frame : frames_)
                if (frame.Fd >= 0)
                    ::close(frame.Fd);
            frames_.clear();
            return;
        }
        if (done.Kept) {
            parent.Kept = true;
            parent.Skip.insert(done.Name);
            return;
        }
        const int error = RemoveIn(parent, done.Name.c_str(), true);
        if (error == 0)
            Removed();
        else if (error != ENOENT)
            Keep(done.Name.c_str(), error);
    }

    // Reopens the directory at `depth` from its child, checking it is still the one walked down.
    int Reopen(int childFd, std::size_t depth) {
        const TFrame& frame = frames_[depth];
        const auto same = [&](int fd) {
            TEntryInfo info;
            return fs_.StatDescriptor(fd, info) == 0 && info.Device == frame.Device &&
                   info.Inode == frame.Inode;
        };
        int fd = fs_.OpenDirectory(childFd, "..");
        if (fd >= 0 && same(fd))
            return fd;
        if (fd >= 0)
            ::close(fd);
        std::vector<const std::string*> names;
        for (std::size_t i = 1; i <= depth; ++i)
            names.push_back(&frames_[i].Name);
        fd = OpenDirectoryBelow(fs_, top_, names);
        if (fd >= 0 && same(fd))
            return fd;
        if (fd >= 0)
            ::close(fd);
        return fd < 0 ? fd : -ESTALE;
    }

    std::string PathOf(std::size_t depth, const char* name) const {
        std::string path = top_;
        for (std::size_t i = 1; i <= depth && i < frames_.size(); ++i)
            path.append("/").append(frames_[i].Name);
        if (name != nullptr)
            path.append("/").append(name);
        return path;
    }

    void Keep(const char* name, int error) {
        Fail(PathOf(frames_.size() - 1, name), error);
        frames_.back().Kept = true;
        frames_.back().Skip.insert(name);
    }

    void Fail(std::string path, int error) { result_.Failures.push_back({std::move(path), error}); }

    bool Cancelled() {
        if (control_.Stop.stop_requested())
            result_.Cancelled = true;
        return result_.Cancelled;
    }

    void Removed() {
        ++result_.EntriesRemoved;
        if (control_.Progress)
            control_.Progress(result_.EntriesRemoved);
    }

    const TDeletionControl& control_;
    TFileSystemApi& fs_;
    std::string top_;
    int topParentFd_ = -1;
    dev_t device_ = 0;
    std::uint64_t mount_ = 0;
    std::vector<TFrame> frames_;
    TDeletionResult result_;
};

} // namespace

TDeletionResult DeletePermanently(const std::string& path, const TDeletionControl& control) {
    return TDeleter(path, control).Run();
}

} // namespace quorvex
