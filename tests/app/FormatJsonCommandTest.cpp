#include "RunPelorin.h"

#include <gtest/gtest.h>

using pelorin::test::PelorinRun;

namespace {

// `pelorin format-json` the way a script runs it: no display, input on a pipe.
PelorinRun formatJson(const QByteArray& input)
{
    return pelorin::test::runPelorin({QStringLiteral("format-json")}, input);
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
