#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

// NOTE: a large text is touched page by page as it is filled; in 2 MiB pages
// instead of 4 KiB ones that costs the kernel a few dozen faults, not tens of
// thousands, which is most of the time a large text takes.
inline void AskForHugePages(const void* start, size_t size)
{
    constexpr uintptr_t HugePage = uintptr_t{2} << 20;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(start) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(start) + size) & ~(HugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
