#include "host/setup/bulk_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace axis {

namespace {
// The size of a huge page on x86-64 and on most 64-bit ARM systems.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundedToHugePages(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* AllocateBulk(std::size_t bytes) {
    if (bytes < kHugePage) return ::operator new(bytes);
    // Mapped apart from the heap, so that it goes back to the system when freed, and
    // aligned to a huge page: map one more huge page than needed and trim both ends.
    const std::size_t rounded = RoundedToHugePages(bytes);
    void* mapped = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    char* const first = static_cast<char*>(mapped);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(first);
    char* const aligned = first + (kHugePage - address % kHugePage) % kHugePage;
    if (aligned != first) ::munmap(first, static_cast<std::size_t>(aligned - first));
    char* const end = first + rounded + kHugePage;
    if (aligned + rounded != end)
        ::munmap(aligned + rounded, static_cast<std::size_t>(end - (aligned + rounded)));
#ifdef MADV_HUGEPAGE
    // Only advice: where huge pages are not granted the memory works in small pages.
    ::madvise(aligned, rounded, MADV_HUGEPAGE);
#endif
    return aligned;
}

void FreeBulk(void* p, std::size_t bytes) noexcept {
    if (bytes < kHugePage)
        ::operator delete(p);
    else
        ::munmap(p, RoundedToHugePages(bytes));
}

}  // namespace axis
