#include "core/JsonFormatter.h"
#include "json/JsonReindent.h"

#include <gtest/gtest.h>

using namespace pelorin;

namespace {

// Formats through every entry point, which must agree: clipboard text, raw bytes, and a byte
// array with free space in front, which Qt 6's capacity() counts (the parser may only look
// past the end where there really is room).
std::optional<QString> format(const char* utf8)
{
    const std::optional<QString> fromText = prettyPrintedJSON(QString::fromUtf8(utf8));
    QByteArray shifted;
    shifted.reserve(4096 + qstrlen(utf8));
    shifted.append(4096, ' ').append(utf8).remove(0, 4096);
    EXPECT_GE(shifted.capacity() - shifted.size(), 4096);
    const std::optional<QByteArray> expected = fromText ? std::optional(fromText->toUtf8()) : std::nullopt;
    EXPECT_EQ(prettyPrintedJSON(QByteArrayView(utf8)), expected) << utf8;
    EXPECT_EQ(prettyPrintedJSON(shifted), expected) << utf8;
    return fromText;
}

} // namespace

// Every token on its own line; strings and numbers as they were written.
TEST(JsonFormatter, LaysOutEveryTokenOnItsOwnLineAndKeepsTheirWrittenForm)
{
    struct Case { const char* input; const char* expected; };
    const Case cases[] = {
        // Keys keep their copied order; empty containers stay on one line.
        {R"({"b":1,"a":[true,{}]})", "{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ]\n}"},
        {"{}", "{}"},
        {"[ ]", "[]"},
        {"{ \r\n\t }", "{}"},
        {"[[],[[ ]]]", "[\n  [],\n  [\n    []\n  ]\n]"},
        {R"([null,false,true])", "[\n  null,\n  false,\n  true\n]"},
        // White space between tokens is replaced, whatever it was; CR LF included.
        {"{\r\n\t\"k\" :\r\n  \"v\"  ,\n\"n\"\t:\t[ 1 , 2 ]\r\n}", "{\n  \"k\": \"v\",\n  \"n\": [\n    1,\n    2\n  ]\n}"},
        // Surrounding white space, Unicode spaces too, is dropped along with the trailing line feed.
        {"\n\n  [1]  \n", "[\n  1\n]"},
        {"\u00a0\u2003[1]\u3000", "[\n  1\n]"},
        // Nothing inside a string causes a line break or an added space.
        {R"({"s":"a,b:{c}[d]"})", "{\n  \"s\": \"a,b:{c}[d]\"\n}"},
        {R"({"s":"say \"hi\", ok"})", "{\n  \"s\": \"say \\\"hi\\\", ok\"\n}"},
        {R"(["a\\",1])", "[\n  \"a\\\\\",\n  1\n]"},
        {R"(["\\\"]\\"])", "[\n  \"\\\\\\\"]\\\\\"\n]"},
        {"[\"  two  spaces\",\"tab\\tescaped\"]", "[\n  \"  two  spaces\",\n  \"tab\\tescaped\"\n]"},
        {R"(["\u00e9\n\/"])", "[\n  \"\\u00e9\\n\\/\"\n]"},
        // Multi-byte text, and a combining mark right after an opening quote, stay inside
        // the string they belong to.
        {"{\"k\":\"\u0301x y\",\"z\":\"日本, 語\"}", "{\n  \"k\": \"\u0301x y\",\n  \"z\": \"日本, 語\"\n}"},
        {"[\"😀,👍🏽\"]", "[\n  \"😀,👍🏽\"\n]"},
        // Numbers are copied as written, never re-serialised.
        {"[1.50,1e5,-0,0.1E-07,12345678901234567]", "[\n  1.50,\n  1e5,\n  -0,\n  0.1E-07,\n  12345678901234567\n]"},
        {R"({"n":-0.0})", "{\n  \"n\": -0.0\n}"},
        // Valid however large or precise: the digits are kept, never converted.
        {"[18446744073709551616,1e309,-1E-400]", "[\n  18446744073709551616,\n  1e309,\n  -1E-400\n]"},
        {R"({"big":-123456789012345678901234567890.5e+99999,"s":"1e999"})",
         "{\n  \"big\": -123456789012345678901234567890.5e+99999,\n  \"s\": \"1e999\"\n}"},
        // Duplicate keys are valid JSON and both stay.
        {R"({"a":1,"a":2})", "{\n  \"a\": 1,\n  \"a\": 2\n}"},
    };
    for (const Case& c : cases) {
        const std::optional<QString> out = format(c.input);
        ASSERT_TRUE(out.has_value()) << c.input;
        EXPECT_EQ(out->toStdString(), c.expected) << c.input;
    }
}

TEST(JsonFormatter, RefusesWhatIsNotAJsonObjectOrArray)
{
    const char* cases[] = {
        "", "   \n", "42", "\"text\"", "true", "null", "-1.5",
        "[1,]", "{\"a\":1,}", "['a']", "{'a':1}", "[NaN]", "[Infinity]", "[01]", "[1.]", "[.5]", "[+1]",
        "[1", "{\"a\":1", "[\"open]", "{\"a\"}", "{a:1}", "[1 2]", "[1]]", "[1][2]", "{\"a\":1}x",
        "[\"tab\there\"]", "[\"line\nbreak\"]", "[\"\\x41\"]", "[\"\\u12\"]", "/*c*/[1]", "[1]//c",
        "[true false]", "[tru]", "[\"a\":1]", "{\"a\" 1}", "x[1]", "[1e]", "[-]",
        // Malformed large numbers are still malformed.
        "[1e999x]", "[01e999]", "[1e999 2]", "[-1e999.5]", "{1e999:1}", "[\"x\"1e999]",
    };
    for (const char* input : cases)
        EXPECT_FALSE(format(input).has_value()) << input;
    // Bytes that are not UTF-8, or start with a byte order mark, as standard input may carry.
    // Malformed sequences around the text are not white space, whatever they would decode to
    // (C0 49 is an overlong tab, E0 80 A0 an overlong space).
    const char* bytes[] = {"\xef\xbb\xbf[1]", "[\"\xff\"]", "[\"\xc3\"]", "[\"\xed\xa0\x80\"]",
                           "\xc0I[1]", "[1]\xc0I", "\xe0\x80\xa0[1]", "[1]\xe0\x80\xa0", "[1]\xc2", "\x80[1]"};
    for (const char* input : bytes)
        EXPECT_FALSE(prettyPrintedJSON(QByteArrayView(input)).has_value()) << input;
    // Text with a lone surrogate has no UTF-8 form.
    QString text = QStringLiteral("[\"x\"]");
    text.insert(2, QChar(0xD800));
    EXPECT_FALSE(prettyPrintedJSON(text).has_value());
}

// Streamed, the output comes in bounded pieces and matches.
TEST(JsonFormatter, DeepNestingIsBoundedByTheOutputLimitAndStreamedInPieces)
{
    // 500 levels: valid, but every level adds a line of ever longer indentation.
    const QByteArray deep = QByteArray(500, '[') + QByteArray(500, ']');
    const std::optional<QByteArray> unlimited = prettyPrintedJSON(QByteArrayView(deep));
    ASSERT_TRUE(unlimited.has_value());
    EXPECT_GT(unlimited->size(), 400'000);
    EXPECT_FALSE(prettyPrintedJSON(QByteArrayView(deep), 100'000).has_value());
    EXPECT_TRUE(prettyPrintedJSON(QByteArrayView(deep), unlimited->size()).has_value());
    EXPECT_FALSE(prettyPrintedJSON(QString::fromLatin1(deep), 100'000).has_value());

    QByteArray joined;
    qsizetype largest = 0;
    const auto result = writePrettyPrintedJSON(deep, [&](QByteArrayView piece) {
        joined.append(piece);
        largest = std::max(largest, piece.size());
        return true;
    });
    ASSERT_EQ(result, JsonWriteResult::written);
    EXPECT_EQ(joined, *unlimited);
    EXPECT_LT(largest, 70'000);
    EXPECT_EQ(writePrettyPrintedJSON("[1,]", [](QByteArrayView) { return true; }), JsonWriteResult::notJson);
    EXPECT_EQ(writePrettyPrintedJSON(deep, [](QByteArrayView) { return false; }), JsonWriteResult::writeFailed);
}

// The launcher trims standard input without Qt; it must agree with QString::trimmed(), which
// the clipboard's text goes through, on every code point.
TEST(JsonFormatter, WhiteSpaceIsWhatQtCallsWhiteSpace)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        ASSERT_EQ(json::isUnicodeSpace(c), QChar::isSpace(c)) << std::hex << uint32_t(c);
}

// A document larger than the parser takes at once is validated a run of members at a time:
// the verdict is the same as for the whole, wherever the fault sits.
TEST(JsonFormatter, LargeDocumentsAreJudgedAsAWhole)
{
    std::string members;
    for (int i = 0; members.size() < (size_t(40) << 20); ++i)
        members += "{\"n\":" + std::to_string(i) + ",\"s\":\"a, [b] {c} \\\" d\"},";
    members.pop_back();
    const struct { const char* name; std::string text; bool valid; bool tooDeep = false; } cases[] = {
        {"array", "[" + members + "]", true},
        {"object", "{\"a\":[" + members + "],\"b\":[" + members + "]}", true},
        {"trailing comma", "[" + members + ", ]", false},
        {"bad value late", "[" + members + ",tru]", false},
        {"too deep late", "[" + members + "," + std::string(1024, '[') + std::string(1024, ']') + "]", false, true},
        {"unclosed", "[" + members, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool tooDeep = false;
        EXPECT_EQ(json::isValid(c.text, false, &tooDeep), c.valid);
        EXPECT_EQ(tooDeep, c.tooDeep);
    }
}
