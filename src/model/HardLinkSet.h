#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>

namespace quorvex {

class TGroupNode;

// The files with several names that a tree has counted, by device and inode, each with the directory
// whose name counted it. Every worker of a scan asks it; the first to insert an identity counts the
// file, every later name is skipped. It outlives the walk, held by the tree's root, so that a
// rescan of a subtree does not count again what was counted outside it. Shards with locks of their own keep
// workers that meet different files from waiting on each other.
class THardLinkSet {
public:
    // True the first time an identity is offered; `owner` is the directory that counts it then.
    bool Insert(dev_t device, ino_t inode, const TGroupNode* owner);
    // Of the identities counted in one of `owners`: erased when `erase`, so that a walk of those
    // directories counts them again; else kept as counted by a name gone, so that the other names
    // still add nothing.
    void Forget(const std::unordered_set<const TGroupNode*>& owners, bool erase);
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
        std::unordered_map<TKey, const TGroupNode*, THash> owners;
    };
    static constexpr std::size_t kShards = 32;
    std::array<TShard, kShards> shards_;
};

} // namespace quorvex
