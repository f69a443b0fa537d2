#include "archive/sql/big_memory.h"

#include <sys/mman.h>
#include <new>

namespace sql::memory {

void* allocate(size_t bytes) {
    if (bytes < kHugePage) {
        if (void* p = std::malloc(bytes ? bytes : 1)) return p;
        throw std::bad_alloc();
    }
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Advice only: where it is refused, the pages are ordinary ones.
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

}  // namespace sql::memory
