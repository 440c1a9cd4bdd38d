#include "cli/FormatJsonCommand.h"

#include "cli/LargeBlocks.h"
#include "json/JsonReindent.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {

namespace {

constexpr const char* usage =
    "usage: pelorin format-json < IN.json > OUT.json\n"
    "Re-indents a JSON object or array with two spaces per level, keeping keys, numbers and\n"
    "strings exactly as written. Exits 1 when the input is not a JSON object or array.\n";

// Standard input in one block followed by the zeroed padding that lets the validator work
// in place. A regular file is mapped, not read: the kernel hands over the pages it already
// caches, without a copy and without a fresh page to fault in for every 4 KiB, which on a
// virtual machine cost more than formatting the text. Anything else (a pipe, a terminal, a
// file the kernel will not map) is read in large pieces into one growing buffer.
class Input {
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input()
    {
        if (m_mapped)
            ::munmap(m_mapped, m_mappedLength);
        unmapLargeBlock(m_buffer, m_bufferSize);
    }

    bool readAll(int fd) { return map(fd) || read(fd); }
    std::string_view text() const { return {m_data, m_size}; }

private:
    static constexpr size_t padding = size_t(json::inputPadding);

    bool map(int fd)
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            return false;
        // Whatever the caller already consumed from the file is no part of the input.
        const off_t position = ::lseek(fd, 0, SEEK_CUR);
        if (position < 0 || position >= info.st_size)
            return false;
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        const off_t start = position - position % off_t(page);
        const size_t skipped = size_t(position - start);
        const size_t size = size_t(info.st_size - position);
        // Zeroed memory behind the file's pages holds the padding: the file is mapped over
        // the front of it, and the rest of its last page reads as zeros too.
        m_mappedLength = (skipped + size + padding + page - 1) / page * page;
        void* area = ::mmap(nullptr, m_mappedLength, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            return false;
        m_mapped = area;
        if (::mmap(area, skipped + size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, start) == MAP_FAILED)
            return false;
        // Readers after this one (`{ pelorin format-json; cat; } < file`) see it consumed.
        ::lseek(fd, 0, SEEK_END);
        // A file cut short while mapped raises SIGBUS at the first page past its new end:
        // that is an input that changed under us, not a crash.
        struct sigaction shrunk {};
        shrunk.sa_handler = [](int) {
            constexpr char message[] = "pelorin format-json: the input file was shortened while it was read\n";
            [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(2);
        };
        ::sigaction(SIGBUS, &shrunk, nullptr);
        m_data = static_cast<const char*>(area) + skipped;
        m_size = size;
        return true;
    }

    bool read(int fd)
    {
        size_t capacity = 0;
        for (;;) {
            if (capacity - m_size < padding + 1) {
                // Large pages (cli/LargeBlocks.h), so a grown buffer is copied, not remapped:
                // doubling keeps the copies under the input's own size in all.
                const size_t wanted = std::max(capacity * 2, size_t(4) << 20);
                char* grown = static_cast<char*>(mapLargeBlock(wanted));
                if (!grown)
                    return false;
                if (m_buffer) {
                    std::memcpy(grown, m_buffer, m_size);
                    unmapLargeBlock(m_buffer, m_bufferSize);
                }
                m_buffer = grown;
                m_bufferSize = capacity = wanted;
            }
            const ssize_t count = ::read(fd, m_buffer + m_size, capacity - m_size - padding);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                // The block came zeroed, and the bytes past the text were never written.
                m_data = m_buffer;
                return count == 0;
            }
            m_size += size_t(count);
        }
    }

    void* m_mapped = nullptr;
    size_t m_mappedLength = 0;
    char* m_buffer = nullptr;
    size_t m_bufferSize = 0;
    const char* m_data = nullptr;
    size_t m_size = 0;
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        data += count;
        size -= size_t(count);
    }
    return true;
}

} // namespace

int runFormatJsonCommand(int argc, char** argv)
{
    if (argc > 0 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc > 0) {
        std::fprintf(stderr, "pelorin format-json: unexpected argument \"%s\" (the JSON is read from standard input)\n", argv[0]);
        return 2;
    }
    Input input;
    if (!input.readAll(STDIN_FILENO)) {
        std::fputs("pelorin format-json: cannot read standard input\n", stderr);
        return 2;
    }
    // A byte-order mark is no part of the document; editors on other systems put one there.
    std::string_view document = input.text();
    if (document.substr(0, 3) == "\xEF\xBB\xBF")
        document.remove_prefix(3);
    bool tooDeep = false;
    const std::optional<std::string_view> text = json::validObjectOrArray(document, true, &tooDeep);
    if (!text) {
        if (tooDeep)
            std::fprintf(stderr, "pelorin format-json: the input nests more deeply than %d levels, the most it formats\n",
                         json::maxDepth);
        else
            std::fputs("pelorin format-json: the input is not a JSON object or array\n", stderr);
        return 1;
    }
    // Deep nesting turns a few kilobytes into hundreds of megabytes of indentation: the text
    // goes out as it is produced instead of being built up in memory first.
    const auto sink = [](const char* data, std::ptrdiff_t size) { return writeAll(STDOUT_FILENO, data, size_t(size)); };
    const bool written = json::reindent<char, std::string>(text->data(), text->data() + text->size(),
                                                           std::numeric_limits<std::ptrdiff_t>::max(), sink)
                             .has_value();
    if (!written || !writeAll(STDOUT_FILENO, "\n", 1)) {
        std::fputs("pelorin format-json: cannot write standard output\n", stderr);
        return 2;
    }
    return 0;
}

} // namespace pelorin
