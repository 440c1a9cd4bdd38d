#include "platform/FreedMemory.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
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

// Resident kilobytes of the mapping that starts at `start`, from the kernel's own account.
long residentKb(const void* start)
{
    std::ostringstream prefix;
    prefix << std::hex << reinterpret_cast<std::uintptr_t>(start) << '-';
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        if (line.starts_with(prefix.str()))
            inside = true;
        else if (inside && line.starts_with("Rss:"))
            return std::atol(line.c_str() + 4);
    }
    return -1;
}

// A library's pages that hold the file's own bytes leave the process and read back the same;
// pages the process changed (the loader's relocations, made read-only after) and files that are
// not libraries stay as they are.
TEST(FreedMemory, LibraryPagesAsTheFileHasThemLeaveAndReadBackTheSame)
{
    QTemporaryDir dir;
    constexpr size_t size = 16 << 12;
    struct Case { const char* name; bool changedThenReadOnly; bool dropped; };
    for (const Case& c : {Case{"libplain.so.1", false, true}, Case{"librelocated.so", true, false},
                          Case{"fonts.cache", false, false}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.filePath(QString::fromLatin1(c.name)).toStdString();
        std::ofstream(path, std::ios::binary) << std::string(size, 'f');
        const int fd = ::open(path.c_str(), O_RDONLY);
        auto* page = static_cast<char*>(::mmap(nullptr, size, PROT_READ | (c.changedThenReadOnly ? PROT_WRITE : 0),
                                               MAP_PRIVATE, fd, 0));
        ::close(fd);
        ASSERT_NE(page, MAP_FAILED);
        if (c.changedThenReadOnly) {
            std::memset(page, 'r', size);
            ::mprotect(page, size, PROT_READ);
        }
        const std::string expected(size, c.changedThenReadOnly ? 'r' : 'f');
        ASSERT_EQ(std::memcmp(page, expected.data(), size), 0); // reads every page in
        ASSERT_EQ(residentKb(page), 64);
        returnLibraryPages();
        EXPECT_EQ(residentKb(page), c.dropped ? 0 : 64);
        EXPECT_EQ(std::memcmp(page, expected.data(), size), 0);
        ::munmap(page, size);
    }
}

} // namespace
} // namespace pelorin
