#include "cli/LargeBlocks.h"

#include <cstdint>

#include <sys/mman.h>

namespace pelorin {

namespace {

size_t roundedUp(size_t size)
{
    return (size + largePage - 1) / largePage * largePage;
}

} // namespace

void* mapLargeBlock(size_t size)
{
    if (size == 0 || size > SIZE_MAX - 2 * largePage)
        return nullptr;
    const size_t length = roundedUp(size);
    // Mapped one large page longer, then trimmed to a boundary at both ends: the kernel
    // only puts a large page where the whole 2 MiB range is ours and aligned.
    char* area = static_cast<char*>(::mmap(nullptr, length + largePage, PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (area == MAP_FAILED)
        return nullptr;
    char* block = reinterpret_cast<char*>(roundedUp(reinterpret_cast<uintptr_t>(area)));
    if (block > area)
        ::munmap(area, size_t(block - area));
    if (char* tail = block + length; tail < area + length + largePage)
        ::munmap(tail, size_t(area + length + largePage - tail));
    ::madvise(block, length, MADV_HUGEPAGE);
    return block;
}

void unmapLargeBlock(void* block, size_t size)
{
    if (block)
        ::munmap(block, roundedUp(size));
}

} // namespace pelorin
