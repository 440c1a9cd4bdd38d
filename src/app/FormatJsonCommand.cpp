#include "app/FormatJsonCommand.h"

#include "core/JsonFormatter.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {

namespace {

constexpr const char* usage =
    "usage: pelorin format-json < IN.json > OUT.json\n"
    "Re-indents a JSON object or array with two spaces per level, keeping keys, numbers and\n"
    "strings exactly as written. Exits 1 when the input is not a JSON object or array.\n";

// Reads into one buffer sized up front when the input is a file, leaving the padding that
// lets the validator work in place.
bool readAll(int fd, QByteArray& data)
{
    struct stat info {};
    qsizetype chunk = 1 << 16;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        chunk = std::max<qsizetype>(chunk, qsizetype(info.st_size) + 1);
    for (;;) {
        if (data.capacity() - data.size() < chunk + jsonInputPadding)
            data.reserve(std::max(data.size() * 2, data.size() + chunk + jsonInputPadding));
        const qsizetype old = data.size();
        data.resize(old + chunk);
        const ssize_t count = ::read(fd, data.data() + old, size_t(chunk));
        if (count < 0 && errno == EINTR) {
            data.resize(old);
            continue;
        }
        // What the read left unfilled becomes the validator's padding: zeroed, not stale.
        const qsizetype filled = std::max<qsizetype>(count, 0);
        std::memset(data.data() + old + filled, 0, size_t(chunk - filled));
        data.resize(old + filled);
        if (count <= 0)
            return count == 0;
    }
}

} // namespace

int runFormatJsonCommand(int argc, char** argv)
{
    if (argc > 0 && (qstrcmp(argv[0], "--help") == 0 || qstrcmp(argv[0], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc > 0) {
        std::fprintf(stderr, "pelorin format-json: unexpected argument \"%s\" (the JSON is read from standard input)\n", argv[0]);
        return 2;
    }
    QByteArray input;
    if (!readAll(STDIN_FILENO, input)) {
        std::fputs("pelorin format-json: cannot read standard input\n", stderr);
        return 2;
    }
    // Deep nesting turns a few kilobytes into hundreds of megabytes of indentation: the text
    // goes out as it is produced instead of being built up in memory first.
    const auto write = [](QByteArrayView piece) {
        return std::fwrite(piece.data(), 1, size_t(piece.size()), stdout) == size_t(piece.size());
    };
    const JsonWriteResult result = writePrettyPrintedJSON(input, write);
    if (result == JsonWriteResult::notJson) {
        std::fputs("pelorin format-json: the input is not a JSON object or array\n", stderr);
        return 1;
    }
    if (result == JsonWriteResult::writeFailed || std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0) {
        std::fputs("pelorin format-json: cannot write standard output\n", stderr);
        return 2;
    }
    return 0;
}

} // namespace pelorin
