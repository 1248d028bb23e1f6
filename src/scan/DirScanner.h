#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvex {

class TGroupNode;
class TFileSystemApi;

// Walks one directory tree depth-first into a node tree: one TDirNode per subdirectory, files only
// added to their directory's totals (and to its file group when smaller than the threshold).
// The walk is iterative, so depth is bounded by memory, not by the stack; at most kMaxOpenDirs
// directory descriptors are held at once, whatever the depth. Symbolic links below the root are never
// followed and other mounted file systems are not entered.
class TDirScanner {
public:
    static constexpr int kMaxOpenDirs = 64;

    explicit TDirScanner(TGroupNode* root, TFileSystemApi* fileSystem = nullptr);
    TDirScanner(const TDirScanner&) = delete;
    TDirScanner& operator=(const TDirScanner&) = delete;
    ~TDirScanner();

    // Runs the whole walk on the calling thread.
    void Scan(const std::string& path, std::int64_t threshold);
    // Any thread; returns at once. The walk ends after the entry it is on.
    void Stop() { stopped_.store(true, std::memory_order_relaxed); }
    bool IsStopped() const { return stopped_.load(std::memory_order_relaxed); }
    bool IsBusy() const { return busy_.load(std::memory_order_acquire); }
    std::string GetCurrentDir() const;
    double ElapsedSeconds() const { return elapsedSeconds_; }
    TGroupNode* Root() const { return root_; }
    int Depth() const { return depth_; }

private:
    struct Frame;

    void Walk(const std::string& path);
    void SetCurrentDir(const std::string& path);
    bool EnsureDescriptorBudget(std::vector<Frame>& stack);

    TGroupNode* root_;
    TFileSystemApi* fs_;
    mutable std::mutex lock_; // guards currentDir_
    std::string currentDir_;
    std::int64_t groupThreshold_ = 0;
    int depth_ = 0;
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopped_{false};
    double elapsedSeconds_ = 0;
};

} // namespace quorvex
