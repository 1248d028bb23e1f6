#include "support/HeapPages.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace quorvex {
namespace {

constexpr std::size_t kPad = std::size_t{64} << 20;
// Below the allocator's mmap threshold (128 KiB), so it comes from the heap's top.
constexpr std::size_t kProbe = std::size_t{120} << 10;

std::uintptr_t PageUp(std::uintptr_t address) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    return (address + page - 1) & ~(page - 1);
}

} // namespace

void PreferLargeHeapPages() {
    // Each growth of the heap now reserves 64 MiB beyond the request, so the tree grows inside one
    // mapping that can be marked once; reserving costs address space, not memory.
    if (::mallopt(M_TOP_PAD, static_cast<int>(kPad)) == 0)
        return;
    // Two probes larger than half the old padding use up the top that is left and make the heap grow
    // now, by the new padding.
    void* first = std::malloc(kProbe);
    void* second = std::malloc(kProbe);
    const auto from = PageUp(reinterpret_cast<std::uintptr_t>(second) + kProbe);
    std::free(second);
    std::free(first);
    const auto to = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    if (second == nullptr || to <= from || to - from < kPad / 2)
        return;
    // Advice only: where it is refused the pages stay 4 KiB, as before.
    ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

} // namespace quorvex
