#include "platform/FreedMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace pelorin {
namespace {

long residentBytes()
{
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

void* touched(size_t bytes)
{
    void* block = std::malloc(bytes);
    std::memset(block, 1, bytes);
    asm volatile("" : : "r"(block) : "memory"); // the compiler may not skip the pair
    return block;
}

constexpr long mb = 1 << 20;

// The allocator keeps what a closed screenshot freed unless asked: blocks in the middle of the
// heap, and picture-sized blocks once it has raised its own bar for handing them back.
TEST(FreedMemory, FreedBlocksGoBackToTheSystem)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed blocks on purpose";
#endif
    returnLargeBlocksWhenFreed();
    const long before = residentBytes();
    for (int round = 0; round < 3; ++round)
        std::free(touched(20 * mb));
    EXPECT_LT(residentBytes(), before + 8 * mb);

    std::vector<void*> blocks;
    for (int i = 0; i < 512; ++i)
        blocks.push_back(touched(64 << 10));
    void* pin = touched(64); // keeps them off the heap's top, which free() itself trims
    for (void* block : blocks)
        std::free(block);
    const long held = residentBytes();
    returnFreedMemory();
    EXPECT_LT(residentBytes(), held - 16 * mb);
    std::free(pin);
}

} // namespace
} // namespace pelorin
