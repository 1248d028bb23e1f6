// Live totals read while writers work, and the set that decides which name of a linked file counts.

#include "model/FileSystemNode.h"
#include "model/HardLinkSet.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace quorvex {
namespace {

// A scan thread may hold a directory's lock for a while; the window's reads must not wait for it.
TEST(NodeTreeThreads, LiveTotalsNeverBlockOnAHeldLock) {
    TRootDirNode root;
    root.SetScanning(true);
    root.AddOwnFiles(1, 40);
    AddDirNode(&root, "sub", faDirectory)->AddSize(2);

    std::promise<void> locked, release;
    std::thread holder([&] {
        TChildrenLock guard(&root);
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    auto reading = std::async(std::launch::async, [&] { return root.GetSize(); });
    const auto status = reading.wait_for(std::chrono::seconds(5));
    release.set_value();
    holder.join();
    ASSERT_EQ(status, std::future_status::ready) << "reader waited for the scanner's lock";
    EXPECT_EQ(reading.get(), 40) << "children skipped while the lock is busy";
    EXPECT_EQ(root.GetSize(), 42);
}

// No torn lists, no lost nodes.
TEST(NodeTreeThreads, ConcurrentAppendAndLiveReads) {
    TRootDirNode root;
    root.SetScanning(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            AddDirNode(&root, std::string("d").append(std::to_string(i)), faDirectory)->AddSize(1);
        done = true;
    });
    while (!done)
        EXPECT_LE(root.GetSize(), 2000);
    writer.join();
    EXPECT_EQ(root.GetSize(), 2000);
    EXPECT_EQ(ChildCount(&root), 2000);
}

// Workers finishing subdirectories of one parent hand their totals up at once while the window reads.
TEST(NodeTreeThreads, TotalsAddedByManyWritersAtOnceAreExact) {
    TRootDirNode root;
    TDirNode* dir = AddDirNode(&root, "shared", faDirectory);
    constexpr int kWriters = 4;
    constexpr int kAdds = 100000;
    std::barrier start(kWriters);
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    writers.reserve(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&] {
            start.arrive_and_wait();
            for (int i = 0; i < kAdds; ++i) {
                dir->AddSize(3);
                dir->AddFileCount(1);
                dir->AddOwnFiles(1, 5);
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            EXPECT_LE(dir->StoredSize(), 3LL * kWriters * kAdds);
            EXPECT_LE(dir->OwnFilesCount(), kWriters * kAdds);
        }
    });
    for (auto& writer : writers)
        writer.join();
    done = true;
    reader.join();
    EXPECT_EQ(dir->StoredSize(), 3LL * kWriters * kAdds);
    EXPECT_EQ(dir->StoredFileCount(), kWriters * kAdds);
    EXPECT_EQ(dir->OwnFilesCount(), kWriters * kAdds);
    EXPECT_EQ(dir->OwnFilesSize(), 5LL * kWriters * kAdds);
}

// Each identity is won once, and the same inode on another device is another file.
TEST(HardLinkSet, EachIdentityIsWonByExactlyOneOfManyThreads) {
    constexpr int kThreads = 8;
    constexpr int kInodes = 20000;
    THardLinkSet set;
    std::barrier start(kThreads);
    std::vector<std::atomic<int>> wins(std::size_t{2} * kInodes);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
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
    EXPECT_EQ(std::ranges::count_if(wins, [](const auto& count) { return count.load() != 1; }), 0);
    EXPECT_EQ(set.Count(), static_cast<std::size_t>(2 * kInodes));
}

} // namespace
} // namespace quorvex
