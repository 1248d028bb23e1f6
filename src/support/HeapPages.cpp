#include "support/HeapPages.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

namespace quorvex {
namespace {

constexpr std::size_t kPad = std::size_t{64} << 20;
// Below the allocator's mmap threshold (128 KiB), so it comes from the heap's top.
constexpr std::size_t kProbe = std::size_t{120} << 10;

using TBlock = std::unique_ptr<void, decltype(&std::free)>;

// The first page boundary at or after `address`.
char* PageUp(char* address) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto into = reinterpret_cast<std::uintptr_t>(address) % page;
    return into == 0 ? address : address + (page - into);
}

} // namespace

void PreferLargeHeapPages() {
    // Each growth of the heap now reserves 64 MiB beyond the request, so the tree grows inside one
    // mapping that can be marked once; reserving costs address space, not memory.
    if (::mallopt(M_TOP_PAD, static_cast<int>(kPad)) == 0)
        return;
    // Two probes larger than half the old padding use up the top that is left and make the heap grow
    // now, by the new padding. Freed at the end, they go back to the heap's top.
    const TBlock first(std::malloc(kProbe), &std::free);
    const TBlock second(std::malloc(kProbe), &std::free);
    if (first == nullptr || second == nullptr)
        return;
    char* const from = PageUp(static_cast<char*>(second.get()) + kProbe);
    char* const to = static_cast<char*>(::sbrk(0));
    if (to <= from || static_cast<std::size_t>(to - from) < kPad / 2)
        return;
    // Advice only: where it is refused the pages stay 4 KiB, as before.
    ::madvise(from, static_cast<std::size_t>(to - from), MADV_HUGEPAGE);
}

} // namespace quorvex
