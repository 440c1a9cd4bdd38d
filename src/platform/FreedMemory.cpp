#include "platform/FreedMemory.h"

// Any C library header defines __GLIBC__; without one the check below is always false.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__linux__)
#include <sys/mman.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>
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

#if defined(__linux__)
namespace {

struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool candidate = false;
    long resident = 0;
    long ownCopies = -1;
    bool locked = false;
};

// A library's read-only mapping holds exactly the file's bytes unless the process once wrote
// to it: the dynamic loader writes relocations into a segment before it makes that segment
// read-only, and those pages are the process's own copies ("Anonymous" in smaps). Dropping
// such a page would bring back the unrelocated bytes, so only mappings with none qualify.
// Only libraries: this program loads and unloads them on its GUI thread alone, so a range read
// here cannot have become other memory by the time it is dropped.
std::vector<Mapping> droppableLibraryMappings()
{
    std::vector<Mapping> found;
    FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (!smaps)
        return found;
    static const std::regex header(R"(^([0-9a-f]+)-([0-9a-f]+) (\S{4}) \S+ \S+ \S+\s*(.*)$)");
    static const std::regex library(R"(^/.*\.so(\.[0-9]+)*$)");
    Mapping current;
    const auto finish = [&] {
        if (current.candidate && current.resident > 0 && current.ownCopies == 0 && !current.locked)
            found.push_back(current);
    };
    char* line = nullptr;
    std::size_t capacity = 0;
    std::smatch match;
    while (getline(&line, &capacity, smaps) > 0) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        const bool isHeader = !text.empty() && (std::isdigit(text[0]) || (text[0] >= 'a' && text[0] <= 'f'));
        if (isHeader && std::regex_match(text, match, header)) {
            finish();
            const std::string perms = match[3];
            current = Mapping{std::stoull(match[1], nullptr, 16), std::stoull(match[2], nullptr, 16),
                              perms[1] != 'w' && perms[3] == 'p' && std::regex_match(match[4].str(), library)};
        } else if (text.starts_with("Rss:")) {
            current.resident = std::atol(text.c_str() + 4);
        } else if (text.starts_with("Anonymous:")) {
            current.ownCopies = std::atol(text.c_str() + 10);
        } else if (text.starts_with("VmFlags:")) {
            current.locked = text.find(" lo") != std::string::npos;
        }
    }
    finish();
    std::free(line);
    std::fclose(smaps);
    return found;
}

} // namespace
#endif

void returnLibraryPages()
{
#if defined(__linux__)
    for (const Mapping& mapping : droppableLibraryMappings())
        ::madvise(reinterpret_cast<void*>(mapping.start), mapping.end - mapping.start, MADV_DONTNEED);
#endif
}

} // namespace pelorin
