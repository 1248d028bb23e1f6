#include "model/HardLinkSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

namespace quorvex {
namespace {

// Workers that meet the names of the same files at the same moment: each identity is won once, and
// the same inode on another device is another file.
TEST(HardLinkSet, EachIdentityIsWonByExactlyOneOfManyThreads) {
    constexpr int kThreads = 8;
    constexpr int kInodes = 20000;
    THardLinkSet set;
    std::barrier start(kThreads);
    std::vector<std::atomic<int>> wins(2 * kInodes);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kInodes; ++i) {
                // Different starting points, so that the threads collide all over the range.
                const int inode = (i + t * 997) % kInodes;
                for (dev_t device : {dev_t{1}, dev_t{2}}) {
                    if (set.Insert(device, static_cast<ino_t>(inode), nullptr))
                        wins[static_cast<std::size_t>((device - 1) * kInodes + inode)].fetch_add(1);
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    int wrong = 0;
    for (const auto& count : wins)
        wrong += count.load() != 1 ? 1 : 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(set.Count(), static_cast<std::size_t>(2 * kInodes));
    EXPECT_FALSE(set.Insert(2, 5, nullptr));
}

} // namespace
} // namespace quorvex
