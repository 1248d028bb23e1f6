#pragma once

#include "i18n/TranslationMarkers.h"
#include "model/FileSystemNode.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvex {

class THardLinkSet;

// The top of a tree: the grouping threshold and the hard-link rule hold for everything below it.
class TRootNode : public TDirNode {
public:
    TRootNode();
    ~TRootNode() override;

    std::int64_t GroupThreshold() const { return groupThreshold_.load(std::memory_order_relaxed); }
    void SetGroupThreshold(std::int64_t threshold) {
        groupThreshold_.store(threshold, std::memory_order_relaxed);
    }
    // Whether a scan of this tree counts a file with several names at the first name it meets and
    // not again; otherwise at every name. Read once when a walk starts; set before any walk.
    bool HardLinksOnce() const { return hardLinksOnce_.load(std::memory_order_relaxed); }
    void SetHardLinksOnce(bool once);
    // The files with several names the tree counted, and where; only while they are counted once.
    THardLinkSet* HardLinks() const { return HardLinksOnce() ? hardLinks_.get() : nullptr; }

private:
    std::atomic<std::int64_t> groupThreshold_{0};
    std::atomic<bool> hardLinksOnce_{false};
    std::unique_ptr<THardLinkSet> hardLinks_;
};

// The root of a scan of one directory or drive; also each drive under "Local Drives".
class TRootDirNode : public TRootNode {
public:
    void SetPath(const std::string& path) override;
    void Clear() override;
    TNodeType GetNodeType() const override;
    std::string GetDisplayName() const override;
    void Recalculate() override;

    std::string VolumeLabel() const;
    std::int64_t FreeSpace() const { return freeSpace_.load(std::memory_order_relaxed); }
    void UpdateFreeSpace();
    // How long UpdateFreeSpace waits for the file system to answer.
    static constexpr std::chrono::milliseconds kFreeSpaceTimeLimit{250};
    // A mount or unmount at this path changes whether it is a drive.
    void ForgetDriveKind() { driveKindCache_.store(0, std::memory_order_relaxed); }
    // The file system the walk of this tree stayed on; 0 before a walk.
    std::uint64_t Device() const { return device_.load(std::memory_order_relaxed); }
    void SetDevice(std::uint64_t device) { device_.store(device, std::memory_order_relaxed); }

private:
    mutable std::mutex labelMutex_; // one per root, so its size does not matter
    std::string volumeLabel_;
    std::atomic<std::int64_t> freeSpace_{0};
    mutable std::atomic<std::uint8_t> driveKindCache_{0};
    std::atomic<std::uint64_t> device_{0};
};

// The pseudo-root "Local Drives": its children are the fixed drives, listed at creation.
class TFixedDrivesNode final : public TRootNode {
public:
    TFixedDrivesNode();
    // For tests and callers that already know the drives: their mount points, in order.
    explicit TFixedDrivesNode(std::vector<std::string> mountPoints);

    TNodeType GetNodeType() const override { return ntFixedDrives; }
    std::string GetDisplayName() const override;
    // The drives come from the mount points, never from a listing of the disk.
    std::int32_t ListFiles() override;

private:
    std::vector<std::string> mountPoints_;
};

inline constexpr const char* kLocalDrivesName = N_("Local Drives");

} // namespace quorvex
