#pragma once

namespace quorvex {

// Lets the heap that is about to hold a large tree fault in 2 MiB pages where the kernel allows them
// (transparent huge pages in "madvise" mode, as Debian ships). A tree of 150,000 entries otherwise
// takes some 2,500 faults of 4 KiB, each several microseconds in a virtual machine: a third of the
// time it takes to read a scan file. The price is resident memory rounded up to 2 MiB steps, so only
// the one-shot commands ask for it, not the long-lived window. Harmless where the kernel refuses.
void PreferLargeHeapPages();

} // namespace quorvex
