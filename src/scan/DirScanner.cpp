#include "scan/DirScanner.h"

#include "diag/QxProfiler.h"
#include "model/FileSystemNode.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace quorvex {

namespace {
constexpr std::int32_t kScanTimerId = 8192;
}

// One directory being walked. While fewer than kMaxOpenDirs directories are open, `stream` reads
// the directory. Past that, the oldest open frames are "spilled": their remaining names are read
// into `pending` and the descriptor closed; a spilled frame gets a descriptor back through ".." of
// its child when the walk returns to it.
struct TDirScanner::Frame {
    TGroupNode* node = nullptr;
    std::unique_ptr<TDirStream> stream;
    int fd = -1; // descriptor of a reopened spilled frame (not owned by a stream)
    std::vector<std::string> pending;
    std::size_t pendingPos = 0;
    bool spilled = false;
    std::size_t pathLength = 0; // length of this directory's path in the shared path buffer
    dev_t device = 0;
    ino_t inode = 0;

    int Fd() const { return stream ? stream->Fd() : fd; }
    bool IsOpen() const { return Fd() >= 0; }

    void CloseDescriptor() {
        if (stream)
            stream->Close();
        stream.reset();
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // The next name, or nullptr when the directory is done.
    const char* Next() {
        if (!spilled) {
            unsigned char type = 0;
            return stream ? stream->Next(type) : nullptr;
        }
        return pendingPos < pending.size() ? pending[pendingPos++].c_str() : nullptr;
    }

    void Spill() {
        if (!spilled && stream) {
            unsigned char type = 0;
            while (const char* name = stream->Next(type))
                pending.emplace_back(name);
        }
        spilled = true;
        CloseDescriptor();
    }

    Frame() = default;
    Frame(Frame&&) noexcept = default;
    Frame& operator=(Frame&&) noexcept = default;
    ~Frame() { CloseDescriptor(); }
};

TDirScanner::TDirScanner(TGroupNode* root, TFileSystemApi* fileSystem)
    : root_(root), fs_(fileSystem != nullptr ? fileSystem : &DefaultFileSystem()) {}

TDirScanner::~TDirScanner() = default;

std::string TDirScanner::GetCurrentDir() const {
    std::lock_guard guard(lock_);
    return currentDir_;
}

void TDirScanner::SetCurrentDir(const std::string& path) {
    std::lock_guard guard(lock_);
    currentDir_.assign(path); // reuses the capacity: no allocation per directory once it has grown
}

void TDirScanner::Scan(const std::string& path, std::int64_t threshold) {
    busy_.store(true, std::memory_order_release);
    elapsedSeconds_ = 0;
    groupThreshold_ = threshold;
    TLLProfiler profiler;
    profiler.StartTimer(kScanTimerId);

    const std::string p = ExcludeTrailingPathDelimiter(path);
    root_->Clear();
    root_->SetPath(p);
    if (auto* rootNode = dynamic_cast<TRootNode*>(root_))
        rootNode->SetGroupThreshold(threshold);
    stopped_.store(false, std::memory_order_relaxed);

    try {
        Walk(p);
    } catch (...) {
        busy_.store(false, std::memory_order_release);
        throw;
    }
    busy_.store(false, std::memory_order_release);
    const std::int64_t ticks = profiler.StopTimer(kScanTimerId);
    elapsedSeconds_ = profiler.Frequency() > 0
                          ? static_cast<double>(ticks) / static_cast<double>(profiler.Frequency())
                          : 0.0;
}

bool TDirScanner::EnsureDescriptorBudget(std::vector<Frame>& stack) {
    if (stack.size() < static_cast<std::size_t>(kMaxOpenDirs))
        return true;
    int open = 0;
    for (const Frame& f : stack)
        open += f.IsOpen() ? 1 : 0;
    // Spill the oldest open frames; the newest (the parent of what we open next) stays open.
    for (std::size_t i = 0; open >= kMaxOpenDirs && i + 1 < stack.size(); ++i) {
        if (stack[i].IsOpen()) {
            stack[i].Spill();
            --open;
        }
    }
    return open < kMaxOpenDirs;
}

void TDirScanner::Walk(const std::string& rootPath) {
    if (IsStopped())
        return;
    std::string path = rootPath; // grows and shrinks with the walk; one buffer for every directory
    std::vector<Frame> stack;
    stack.reserve(64);

    // Whatever escapes (out of memory, say), every directory on the way out stops "scanning".
    struct Unwind {
        std::vector<Frame>& stack;
        ~Unwind() {
            for (Frame& f : stack)
                f.node->SetScanning(false);
        }
    } unwind{stack};

    auto pushFrame = [&](TGroupNode* node, int fd) {
        Frame frame;
        frame.node = node;
        frame.pathLength = path.size();
        node->SetScanning(true);
        node->SetErrorCode(fd >= 0 ? 0 : -fd);
        TEntryInfo self;
        if (fd >= 0 && fs_->StatDescriptor(fd, self) == 0) {
            frame.device = self.Device;
            frame.inode = self.Inode;
        }
        frame.stream = std::make_unique<TDirStream>(fd);
        stack.push_back(std::move(frame));
        depth_ = static_cast<int>(stack.size()) - 1;
    };

    // The top directory is finished: its flags set, its descriptor closed, its totals handed up.
    auto finishTop = [&]() {
        Frame& top = stack.back();
        TGroupNode* node = top.node;
        if (stack.size() >= 2) {
            Frame& parent = stack[stack.size() - 2];
            if (parent.spilled && !parent.IsOpen() && top.IsOpen()) {
                const int fd = fs_->OpenDirectory(top.Fd(), "..");
                TEntryInfo info;
                if (fd >= 0 && fs_->StatDescriptor(fd, info) == 0 && info.Device == parent.device &&
                    info.Inode == parent.inode)
                    parent.fd = fd;
                else if (fd >= 0)
                    ::close(fd);
            }
        }
        node->SetFlag(nfIncomplete, IsStopped());
        top.CloseDescriptor();
        node->SetScanning(false);
        stack.pop_back();
        depth_ = std::max(0, static_cast<int>(stack.size()) - 1);
        if (stack.empty())
            return;
        Frame& parent = stack.back();
        path.resize(parent.pathLength);
        parent.node->AddSize(node->GetSize());
        parent.node->AddFileCount(node->GetFileCount());
    };

    SetCurrentDir(path);
    // A root the user named may be a symbolic link, and that one link is followed. A directory of the
    // tree rescanned on its own is reached through its ancestors, as deep as it may lie.
    const TGroupNode* above = root_->Parent();
    const int rootFd = above == nullptr || above->GetNodeType() == ntFixedDrives
                           ? fs_->OpenRootDirectory(path.c_str())
                           : OpenNodeDirectory(root_, *fs_);
    pushFrame(root_, rootFd);
    if (rootFd < 0) {
        finishTop();
        return;
    }
    const dev_t rootDevice = stack.front().device;

    while (!stack.empty()) {
        Frame& top = stack.back();
        if (IsStopped()) {
            finishTop();
            continue;
        }
        const char* name = top.Next();
        if (name == nullptr) {
            if (!top.spilled && top.stream && top.stream->Error() != 0)
                top.node->SetErrorCode(top.stream->Error());
            finishTop();
            continue;
        }
        if (!top.IsOpen()) {
            // Spilled, and the way back through ".." failed: the directory moved away meanwhile.
            top.node->SetErrorCode(ESTALE);
            finishTop();
            continue;
        }
        TEntryInfo info;
        const int statError = fs_->StatEntry(top.Fd(), name, info);
        if (statError == ENOENT)
            continue; // vanished between readdir and stat: it no longer exists, count nothing
        top.node->SetFlag(nfEmpty, false);
        if (statError != 0) {
            // Listed but not searchable (no x permission), say: the entry cannot be counted, and the
            // directory's totals are short of it. The first such error stays on the directory.
            if (top.node->ErrorCode() == 0)
                top.node->SetErrorCode(statError);
            continue;
        }

        if (!info.IsDirectory) {
            top.node->AddFileCount(1);
            top.node->AddSize(info.Size);
            auto* dir = groupThreshold_ > info.Size ? dynamic_cast<TDirNode*>(top.node) : nullptr;
            if (dir != nullptr) {
                TFileGroupNode* group = GetFileGroup(dir);
                group->AddFileCount(1);
                group->AddSize(info.Size);
                group->AddOwnFiles(1, info.Size);
            } else {
                top.node->AddOwnFiles(1, info.Size);
            }
            continue;
        }

        if (info.Device != rootDevice) {
            // Another file system is mounted here: listed, not entered.
            AddDirNode(top.node, name, static_cast<std::uint16_t>(info.Attributes | faReparsePoint));
            continue;
        }
        if (path.back() != PathDelim)
            path.push_back(PathDelim);
        path.append(name);
        SetCurrentDir(path);
        TDirNode* child = AddDirNode(top.node, name, info.Attributes);
        EnsureDescriptorBudget(stack);
        const int fd = fs_->OpenDirectory(stack.back().Fd(), name); // `top` may have moved: re-read
        pushFrame(child, fd);
        if (fd < 0)
            finishTop();
    }
}

} // namespace quorvex
