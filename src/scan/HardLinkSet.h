#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <unordered_set>

namespace quorvex {

// The files with several names that one scan has counted, by device and inode. Every worker of the
// scan asks it; the first to insert an identity counts the file, every later name is skipped. Shards
// with locks of their own keep workers that meet different files from waiting on each other.
class THardLinkSet {
public:
    // True the first time an identity is offered.
    bool Insert(dev_t device, ino_t inode);
    std::size_t Count() const;

private:
    struct TKey {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const TKey&) const = default;
    };
    struct THash {
        std::size_t operator()(const TKey& key) const noexcept;
    };
    struct TShard {
        mutable std::mutex mutex;
        std::unordered_set<TKey, THash> keys;
    };
    static constexpr std::size_t kShards = 32;
    std::array<TShard, kShards> shards_;
};

} // namespace quorvex
