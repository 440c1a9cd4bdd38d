#include "RunPelorin.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using pelorin::test::PelorinRun;

namespace {

// `pelorin format-json` the way a script runs it: no display, input on a pipe.
PelorinRun formatJson(const QByteArray& input)
{
    return pelorin::test::runPelorin({QStringLiteral("format-json")}, input);
}

// `pelorin format-json < FILE` after something else read the first `skip` bytes of FILE.
PelorinRun formatJsonFile(const QString& path, int skip)
{
    QProcess process;
    process.setStandardInputFile(path);
    const QString script = (skip > 0 ? QStringLiteral("dd bs=%1 count=1 of=/dev/null 2>/dev/null; ").arg(skip) : QString())
        + QStringLiteral("exec \"$0\" format-json");
    process.start(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral(PELORIN_BINARY)});
    if (!process.waitForFinished(60'000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

} // namespace

TEST(FormatJsonCommand, WritesTheFormattedTextOrNothing)
{
    struct Case { QByteArray input; int exitCode; QByteArray out; const char* error = ""; };
    const QByteArray deep = QByteArray(1025, '[') + QByteArray(1025, ']');
    const Case cases[] = {
        {R"({"b":1,"a":[true,{}]})", 0, "{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ]\n}\n"},
        {"\r\n[ 1.50 , \"x, y\" ]\r\n", 0, "[\n  1.50,\n  \"x, y\"\n]\n"},
        {"42", 1, ""},
        {"[1,]", 1, ""},
        {"", 1, ""},
        {"[\"\xc3\x28\"]", 1, ""}, // not UTF-8
        {"\xc0I[1]", 1, ""},         // an overlong tab is not white space
        {"[18446744073709551616, 1e309]", 0, "[\n  18446744073709551616,\n  1e309\n]\n"},
        {"\xEF\xBB\xBF{\"a\":1}", 0, "{\n  \"a\": 1\n}\n"}, // a byte-order mark, as jq takes it
        {deep, 1, "", "nests more deeply than 1024 levels"},
    };
    for (const Case& c : cases) {
        const PelorinRun run = formatJson(c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.input.constData();
        EXPECT_EQ(run.out, c.out) << c.input.constData();
        if (c.exitCode != 0) {
            EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
            EXPECT_TRUE(run.err.contains(c.error)) << run.err.constData();
        }
    }
}

// A file on standard input is mapped rather than read, a pipe read into a buffer that grows:
// both must see exactly the bytes after the caller's position, whatever the page boundaries.
TEST(FormatJsonCommand, ReadsFilesFromTheirPositionAndPipesOfAnySize)
{
    const auto records = [](int count) {
        QByteArray json = "[", formatted = "[\n";
        for (int i = 0; i < count; ++i) {
            json += i > 0 ? ",{\"k\":\"v\xc3\xa9\"}" : "{\"k\":\"v\xc3\xa9\"}";
            formatted += i > 0 ? ",\n  {\n    \"k\": \"v\xc3\xa9\"\n  }" : "  {\n    \"k\": \"v\xc3\xa9\"\n  }";
        }
        return std::pair{json + "]", formatted + "\n]\n"};
    };
    const auto [small, smallFormatted] = records(3);
    const auto [big, bigFormatted] = records(400'000); // 4.8 MB, past the first buffer
    // Leading white space puts the document's last byte just before or at a page's end.
    const auto endingAt = [&](qsizetype size) { return QByteArray(size - small.size(), ' ') + small; };
    const struct {
        const char* name;
        QByteArray file;
        int skip;
        int exitCode;
        QByteArray out;
    } cases[] = {
        {"whole file", small, 0, 0, smallFormatted},
        {"ends a byte before a page boundary", endingAt(8191), 0, 0, smallFormatted},
        {"ends on a page boundary", endingAt(8192), 0, 0, smallFormatted},
        {"after what the caller read", QByteArray(5000, '#') + small, 5000, 0, smallFormatted},
        {"all read by the caller", small, int(small.size()), 1, ""},
        {"not JSON", "[1,]", 0, 1, ""},
        {"empty", "", 0, 1, ""},
        {"larger than the first buffer", big, 0, 0, bigFormatted},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.json"));
    for (const auto& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(c.file) == c.file.size());
        file.close();
        const PelorinRun fromFile = formatJsonFile(path, c.skip);
        EXPECT_EQ(fromFile.exitCode, c.exitCode) << c.name << ": " << fromFile.err.constData();
        EXPECT_TRUE(fromFile.out == c.out) << c.name;
        if (c.skip == 0) {
            const PelorinRun fromPipe = formatJson(c.file);
            EXPECT_EQ(fromPipe.exitCode, c.exitCode) << c.name << " (pipe)";
            EXPECT_TRUE(fromPipe.out == c.out) << c.name << " (pipe)";
        }
    }
}
