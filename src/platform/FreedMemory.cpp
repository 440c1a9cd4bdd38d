#include "platform/FreedMemory.h"

// Any C library header defines __GLIBC__; without one the check below is always false.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pelorin {

void returnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void returnLargeBlocksWhenFreed()
{
#if defined(__GLIBC__)
    // Setting it also ends the allocator's own raising of it.
    mallopt(M_MMAP_THRESHOLD, 2 << 20);
#endif
}

} // namespace pelorin
