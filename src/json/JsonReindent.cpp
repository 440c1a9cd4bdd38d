#include "json/JsonReindent.h"

#include <simdjson.h>

#include <string>

namespace pelorin::json {

namespace {

// The code point of the well-formed UTF-8 sequence of `length` bytes at `data`, or none for
// a malformed one (bad continuation bytes, an overlong form, a surrogate, past U+10FFFF).
// Only sequences of up to three bytes are decoded: every white-space character is below U+10000.
std::optional<char32_t> decodeAt(const char* data, std::ptrdiff_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::ptrdiff_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return std::nullopt;
    }
    switch (length) {
    case 1:
        return bytes[0] < 0x80 ? std::optional<char32_t>(bytes[0]) : std::nullopt;
    case 2: {
        if ((bytes[0] & 0xE0) != 0xC0)
            return std::nullopt;
        const char32_t c = char32_t(bytes[0] & 0x1F) << 6 | (bytes[1] & 0x3F);
        return c >= 0x80 ? std::optional<char32_t>(c) : std::nullopt;
    }
    case 3: {
        if ((bytes[0] & 0xF0) != 0xE0)
            return std::nullopt;
        const char32_t c = char32_t(bytes[0] & 0x0F) << 12 | char32_t(bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
        return c >= 0x800 && (c < 0xD800 || c > 0xDFFF) ? std::optional<char32_t>(c) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::ptrdiff_t sequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
}

bool isSpaceAt(const char* data, std::ptrdiff_t length)
{
    const std::optional<char32_t> c = decodeAt(data, length);
    return c && isUnicodeSpace(*c);
}

// The end of the RFC 8259 number that starts at `p`, or `p` when none starts there.
const char* numberEnd(const char* p, const char* end)
{
    const auto digits = [end](const char* q) {
        while (q < end && *q >= '0' && *q <= '9')
            ++q;
        return q;
    };
    const char* const start = p;
    if (p < end && *p == '-')
        ++p;
    if (p < end && *p == '0')
        ++p;
    else if (p < end && *p >= '1' && *p <= '9')
        p = digits(p);
    else
        return start;
    if (p < end && *p == '.') {
        const char* fraction = digits(p + 1);
        if (fraction == p + 1)
            return start;
        p = fraction;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* exponent = p + 1;
        if (exponent < end && (*exponent == '+' || *exponent == '-'))
            ++exponent;
        const char* last = digits(exponent);
        if (last == exponent)
            return start;
        p = last;
    }
    return p;
}

// The text with every well-formed number outside strings replaced by a 0 and spaces of the
// same length, followed by zeroed padding. The parser converts numbers and refuses those
// that fit neither 64 bits nor a double, which RFC 8259 allows (it leaves the range to the
// reader); the formatter never reads a value, so only the number's form matters. Strings
// are delimited exactly as a parser delimits them, so a replacement can only make a
// document valid whose sole fault was a number's size.
std::string withPlainNumbers(std::string_view utf8)
{
    std::string copy;
    copy.reserve(utf8.size() + size_t(inputPadding));
    copy.assign(utf8);
    char* p = copy.data();
    char* const end = p + copy.size();
    const auto delimits = [end](const char* q) {
        return q == end || *q == ',' || *q == ']' || *q == '}' || *q == ' ' || *q == '\t' || *q == '\n' || *q == '\r';
    };
    const auto startsValue = [](char before) {
        return before == '[' || before == ':' || before == ',' || before == ' ' || before == '\t' || before == '\n'
            || before == '\r';
    };
    while (p < end) {
        const char c = *p;
        if (c == '"') {
            for (++p; p < end && *p != '"'; ++p) {
                if (*p == '\\')
                    ++p;
            }
            ++p;
        } else if ((c == '-' || (c >= '0' && c <= '9')) && (p == copy.data() || startsValue(p[-1]))) {
            char* last = const_cast<char*>(numberEnd(p, end));
            if (last != p && delimits(last)) {
                *p = '0';
                std::fill(p + 1, last, ' ');
                p = last;
            } else {
                ++p;
            }
        } else {
            ++p;
        }
    }
    copy.resize(utf8.size() + size_t(inputPadding), '\0');
    return copy;
}

} // namespace

bool isUnicodeSpace(char32_t c)
{
    if (c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0)
        return true;
    if (c < 0x1680)
        return false;
    // Unicode's Zs, Zl and Zp characters above Latin-1; the set has not changed since 6.3.
    return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F
        || c == 0x3000;
}

std::string_view trimmed(std::string_view text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end) {
        const std::ptrdiff_t length = sequenceLength(static_cast<unsigned char>(*begin));
        if (length == 0 || end - begin < length || !isSpaceAt(begin, length))
            break;
        begin += length;
    }
    while (end > begin) {
        const char* lead = end - 1;
        while (lead > begin && (static_cast<unsigned char>(*lead) & 0xC0) == 0x80 && end - lead < 3)
            --lead;
        if (!isSpaceAt(lead, end - lead))
            break;
        end = lead;
    }
    return std::string_view(begin, size_t(end - begin));
}

namespace {

bool isValidWhole(simdjson::dom::parser& parser, std::string_view utf8, bool padded, bool* tooDeep);

// Above this size a document's top-level members are validated a run at a time: the parser's
// buffers grow with what it is given, and a whole document of a gigabyte would take two
// more gigabytes on top of the text itself.
constexpr size_t wholeDocumentLimit = size_t(32) << 20;

// One run of top-level members, wrapped in the document's own brackets so that it is a JSON
// text of the same depth: the run is valid exactly when that text is. The parser and `run`
// are kept from one run to the next: fresh buffers of this size cost more to fault in than
// the parse itself.
bool isValidRun(simdjson::dom::parser& parser, std::string& run, char open, std::string_view members, char close,
                bool only, bool* tooDeep)
{
    run.clear();
    run.reserve(members.size() + 2 + size_t(inputPadding));
    run += open;
    run += members;
    run += close;
    // A run of nothing but white space would hide a stray comma ("[1, ]").
    if (!only && trimmed(members).empty())
        return false;
    const size_t size = run.size();
    run.resize(size + size_t(inputPadding), '\0');
    return isValidWhole(parser, std::string_view(run.data(), size), true, tooDeep);
}

// `text` (an object or array larger than wholeDocumentLimit) cut at top-level commas into
// runs of about that size, each validated on its own. The cuts need only be right for valid
// text: a wrong cut makes a run invalid, never an invalid document valid, because the runs
// joined by their commas are the document.
bool isValidInRuns(std::string_view whole, bool* tooDeep)
{
    const std::string_view text = trimmed(whole);
    const char open = text.front();
    const char close = open == '{' ? '}' : ']';
    if (text.size() < 2 || text.back() != close)
        return false;
    const std::string_view inside = text.substr(1, text.size() - 2);
    simdjson::dom::parser parser;
    std::string run;
    size_t runStart = 0;
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < inside.size(); ++i) {
        const char c = inside[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 0 && i - runStart >= wholeDocumentLimit) {
            if (!isValidRun(parser, run, open, inside.substr(runStart, i - runStart), close, false, tooDeep))
                return false;
            runStart = i + 1;
        }
    }
    return isValidRun(parser, run, open, inside.substr(runStart), close, runStart == 0, tooDeep);
}

bool isValidWhole(simdjson::dom::parser& parser, std::string_view utf8, bool padded, bool* tooDeep)
{
    static_assert(inputPadding >= std::ptrdiff_t(simdjson::SIMDJSON_PADDING));
    static_assert(maxDepth == int(simdjson::DEFAULT_MAX_DEPTH));
    const simdjson::error_code error =
        parser.parse(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), !padded).error();
    if (tooDeep)
        *tooDeep = error == simdjson::DEPTH_ERROR;
    if (error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE) {
        const std::string plain = withPlainNumbers(utf8);
        return parser.parse(reinterpret_cast<const uint8_t*>(plain.data()), utf8.size(), false).error()
            == simdjson::SUCCESS;
    }
    return error == simdjson::SUCCESS;
}

} // namespace

bool isValid(std::string_view utf8, bool padded, bool* tooDeep)
{
    if (utf8.size() > wholeDocumentLimit && (utf8.front() == '{' || utf8.front() == '['))
        return isValidInRuns(utf8, tooDeep);
    simdjson::dom::parser parser;
    return isValidWhole(parser, utf8, padded, tooDeep);
}

std::optional<std::string_view> validObjectOrArray(std::string_view utf8, bool padded, bool* tooDeep)
{
    if (tooDeep)
        *tooDeep = false;
    const std::string_view text = trimmed(utf8);
    if (text.empty() || (text.front() != '{' && text.front() != '['))
        return std::nullopt;
    if (!isValid(text, padded, tooDeep))
        return std::nullopt;
    return text;
}

} // namespace pelorin::json
