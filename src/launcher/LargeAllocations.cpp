// The launcher's own operator new and delete: blocks of a megabyte or more, in practice the
// JSON parser's buffers during format-json (string copies, the tape, the structure index,
// each about the document's size), come from large pages (cli/LargeBlocks.h); everything
// else from malloc as usual. Only the launcher replaces them; the full program keeps the
// standard ones.
#include "cli/LargeBlocks.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

constexpr size_t largeAllocation = size_t(1) << 20;

// The large blocks handed out and not yet returned. The parser holds a handful at a time;
// when every slot is taken, a request is served by malloc like a small one.
struct Block {
    void* address = nullptr;
    size_t size = 0;
};
std::array<Block, 32> blocks;
std::mutex blocksMutex;

void* allocate(size_t size) noexcept
{
    if (size >= largeAllocation) {
        const std::lock_guard lock(blocksMutex);
        for (Block& slot : blocks) {
            if (slot.address)
                continue;
            void* block = pelorin::mapLargeBlock(size);
            if (!block)
                return nullptr;
            slot = {block, size};
            return block;
        }
    }
    return std::malloc(size == 0 ? 1 : size);
}

void release(void* pointer) noexcept
{
    if (!pointer)
        return;
    // Large blocks start on a large-page boundary; malloc's blocks rarely do, and the few
    // that do are simply not found among the large ones.
    if (reinterpret_cast<uintptr_t>(pointer) % pelorin::largePage == 0) {
        const std::lock_guard lock(blocksMutex);
        for (Block& slot : blocks) {
            if (slot.address == pointer) {
                pelorin::unmapLargeBlock(pointer, slot.size);
                slot = {};
                return;
            }
        }
    }
    std::free(pointer);
}

void* allocateOrThrow(size_t size)
{
    if (void* block = allocate(size))
        return block;
    throw std::bad_alloc();
}

} // namespace

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
