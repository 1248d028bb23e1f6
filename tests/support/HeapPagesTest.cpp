#include "support/HeapPages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace quorvex {
namespace {

// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps.
std::string FlagsOfMappingAt(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

// The tree's nodes come from the heap after the call: the mapping they land in must carry the advice,
// or every one of its pages faults in at 4 KiB.
TEST(HeapPages, NodesAllocatedAfterwardsLandInAMappingAdvisedForLargePages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator has no heap to advise";
#endif
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    PreferLargeHeapPages();
    // As many small blocks as a tree of 20,000 entries: past any holes the heap had before.
    std::vector<std::unique_ptr<char[]>> nodes;
    for (int i = 0; i < 20000; ++i)
        nodes.emplace_back(new char[150]);
    const std::string flags = FlagsOfMappingAt(nodes.back().get());
    ASSERT_FALSE(flags.empty());
    EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
}

} // namespace
} // namespace quorvex
