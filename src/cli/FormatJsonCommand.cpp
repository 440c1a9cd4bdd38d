#include "cli/FormatJsonCommand.h"

#include "json/JsonReindent.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {

namespace {

constexpr const char* usage =
    "usage: pelorin format-json < IN.json > OUT.json\n"
    "Re-indents a JSON object or array with two spaces per level, keeping keys, numbers and\n"
    "strings exactly as written. Exits 1 when the input is not a JSON object or array.\n";

struct FreeDeleter {
    void operator()(char* data) const { std::free(data); }
};

// Standard input in one buffer followed by the zeroed padding that lets the validator work
// in place. A file is read into a buffer sized up front; the memory is left uninitialised,
// as the read fills it anyway.
struct Input {
    std::unique_ptr<char, FreeDeleter> data;
    size_t size = 0;
};

bool readAll(int fd, Input& input)
{
    constexpr size_t padding = size_t(json::inputPadding);
    struct stat info {};
    size_t chunk = size_t(1) << 16;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        chunk = std::max(chunk, size_t(info.st_size) + 1);
    size_t capacity = 0;
    for (;;) {
        if (capacity - input.size < chunk + padding) {
            const size_t wanted = std::max(capacity * 2, input.size + chunk + padding);
            char* grown = static_cast<char*>(std::realloc(input.data.get(), wanted));
            if (!grown)
                return false;
            input.data.release();
            input.data.reset(grown);
            capacity = wanted;
        }
        const ssize_t count = ::read(fd, input.data.get() + input.size, chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            std::memset(input.data.get() + input.size, 0, padding);
            return count == 0;
        }
        input.size += size_t(count);
    }
}

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
    if (!readAll(STDIN_FILENO, input)) {
        std::fputs("pelorin format-json: cannot read standard input\n", stderr);
        return 2;
    }
    // A byte-order mark is no part of the document; editors on other systems put one there.
    std::string_view document(input.data.get(), input.size);
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
