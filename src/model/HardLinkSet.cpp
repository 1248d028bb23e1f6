#include "model/HardLinkSet.h"

namespace quorvex {

std::size_t THardLinkSet::THash::operator()(const TKey& key) const noexcept {
    // Inodes of one file system are dense small numbers: mix them so that shards and buckets spread.
    std::uint64_t h = key.inode * 0x9E3779B97F4A7C15ULL ^ (key.device + 0x632BE59BD9B4E019ULL);
    h ^= h >> 29;
    return static_cast<std::size_t>(h);
}

bool THardLinkSet::Insert(dev_t device, ino_t inode, const TGroupNode* owner) {
    const TKey key{static_cast<std::uint64_t>(device), static_cast<std::uint64_t>(inode)};
    TShard& shard = shards_[THash{}(key) % kShards];
    std::lock_guard guard(shard.mutex);
    return shard.owners.emplace(key, owner).second;
}

void THardLinkSet::Forget(const std::unordered_set<const TGroupNode*>& owners, bool erase) {
    if (owners.empty())
        return;
    for (TShard& shard : shards_) {
        std::lock_guard guard(shard.mutex);
        for (auto it = shard.owners.begin(); it != shard.owners.end();) {
            if (owners.count(it->second) == 0) {
                ++it;
            } else if (erase) {
                it = shard.owners.erase(it);
            } else {
                it->second = nullptr;
                ++it;
            }
        }
    }
}

std::size_t THardLinkSet::Count() const {
    std::size_t count = 0;
    for (const TShard& shard : shards_) {
        std::lock_guard guard(shard.mutex);
        count += shard.owners.size();
    }
    return count;
}

} // namespace quorvex
