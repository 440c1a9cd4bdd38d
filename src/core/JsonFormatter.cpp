#include "core/JsonFormatter.h"

#include <QChar>
#include <QStringEncoder>

#include <simdjson.h>

#include <algorithm>
#include <functional>

namespace pelorin {

namespace {

constexpr int kIndentWidth = 2;

// The code point of the well-formed UTF-8 sequence of `length` bytes at `data`, or none for
// a malformed one (bad continuation bytes, an overlong form, a surrogate, past U+10FFFF).
// Only sequences of up to three bytes are decoded: every white-space character is below U+10000.
std::optional<char32_t> decodeAt(const char* data, qsizetype length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 1; i < length; ++i) {
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

qsizetype sequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
}

bool isSpaceAt(const char* data, qsizetype length)
{
    const std::optional<char32_t> c = decodeAt(data, length);
    return c && QChar::isSpace(*c);
}

// The same white space QString::trimmed() removes (Unicode separators and the ASCII and
// Latin-1 controls that break lines), so bytes from standard input and text from the
// clipboard are trimmed alike. A malformed sequence is never white space: it stays, and
// the parser refuses it.
QByteArrayView trimmed(QByteArrayView text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end) {
        const qsizetype length = sequenceLength(static_cast<unsigned char>(*begin));
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
    return QByteArrayView(begin, end - begin);
}

// Output in the input's own encoding: bytes for UTF-8, code units for UTF-16. Writes go
// straight into the string's buffer; Qt's append per token costs more than the walk. With a
// sink, the buffer is handed over whenever it fills, so memory stays bounded however much
// indentation deep nesting produces.
template <typename Char, typename String>
class Writer {
public:
    using Sink = std::function<bool(const Char*, qsizetype)>;
    static constexpr qsizetype chunkSize = 1 << 16;

    Writer(qsizetype reserve, qsizetype limit, Sink sink)
        : m_limit(limit)
        , m_sink(std::move(sink))
    {
        if (m_sink)
            reserve = chunkSize;
        m_out.resize(std::max<qsizetype>(16, std::min(reserve, limit)));
        m_data = reinterpret_cast<Char*>(m_out.data());
    }

    void append(Char c)
    {
        ensure(1);
        m_data[m_size++] = c;
    }

    void append(const Char* data, qsizetype length)
    {
        ensure(length);
        std::copy(data, data + length, m_data + m_size);
        m_size += length;
    }

    // A line feed and the indentation of `depth` levels. Only here can the output grow
    // much faster than the input, so the limit is checked (and a full chunk handed on) here.
    bool newline(int depth)
    {
        const qsizetype spaces = depth > 0 ? qsizetype(depth) * kIndentWidth : 0;
        if (m_written + m_size + 1 + spaces > m_limit)
            return false;
        ensure(1 + spaces);
        m_data[m_size] = Char('\n');
        std::fill(m_data + m_size + 1, m_data + m_size + 1 + spaces, Char(' '));
        m_size += 1 + spaces;
        return m_size < chunkSize || !m_sink || flush();
    }

    bool withinLimit() const { return m_written + m_size <= m_limit; }
    bool streams() const { return bool(m_sink); }

    // Hands what is left to the sink; false when the sink refused it.
    bool flush()
    {
        if (m_size > 0 && !m_sink(m_data, m_size))
            return false;
        m_written += m_size;
        m_size = 0;
        return true;
    }

    String take()
    {
        m_out.resize(m_size);
        return std::move(m_out);
    }

private:
    void ensure(qsizetype extra)
    {
        if (m_size + extra <= m_out.size())
            return;
        m_out.resize(std::max(m_out.size() * 2, m_size + extra));
        m_data = reinterpret_cast<Char*>(m_out.data());
    }

    String m_out;
    Char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_written = 0;
    qsizetype m_limit;
    Sink m_sink;
};

bool isJsonWhitespace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// One pass over validated JSON. Structural characters are ASCII, and ASCII values never
// occur inside a multi-byte UTF-8 sequence or a surrogate pair, so walking code units sees
// exactly the tokens a parser sees.
template <typename Char, typename String>
std::optional<String> reindent(const Char* p, const Char* const end, qsizetype maxOutputLength,
                               typename Writer<Char, String>::Sink sink = {})
{
    Writer<Char, String> out((end - p) * 2, maxOutputLength, std::move(sink));
    const auto copy = [&out](const Char* from, const Char* to) { out.append(from, to - from); };
    int depth = 0;

    while (p < end) {
        const Char c = *p++;
        switch (c) {
        case '"': {
            // Copy the whole string at once; only an unescaped quote ends it.
            const Char* start = p - 1;
            while (p < end) {
                const Char s = *p++;
                if (s == '\\')
                    ++p;
                else if (s == '"')
                    break;
            }
            copy(start, p);
            break;
        }
        case '{':
        case '[': {
            const Char* next = p;
            while (next < end && isJsonWhitespace(*next))
                ++next;
            const Char closing = c == '{' ? '}' : ']';
            if (next < end && *next == closing) {
                out.append(c);
                out.append(closing);
                p = next + 1;
                break;
            }
            out.append(c);
            ++depth;
            if (!out.newline(depth))
                return std::nullopt;
            break;
        }
        case '}':
        case ']':
            --depth;
            if (!out.newline(depth))
                return std::nullopt;
            out.append(c);
            break;
        case ',':
            out.append(c);
            if (!out.newline(depth))
                return std::nullopt;
            break;
        case ':':
            out.append(Char(':'));
            out.append(Char(' '));
            break;
        case ' ':
        case '\t':
        case '\n':
        case '\r':
            break;
        default: {
            // Numbers and literals: copy the run up to the next structural character.
            const Char* start = p - 1;
            while (p < end && *p != ',' && *p != '}' && *p != ']' && !isJsonWhitespace(*p))
                ++p;
            copy(start, p);
            break;
        }
        }
    }
    if (!out.withinLimit())
        return std::nullopt;
    if (out.streams() && !out.flush())
        return std::nullopt;
    return out.take();
}

// Room for the parser to read past the end, zeroed: it reads whole blocks, and its
// decisions must not depend on whatever the allocation happened to hold.
void addPadding(QByteArray& buffer)
{
    buffer.append(QByteArray(jsonInputPadding, '\0'));
    buffer.chop(jsonInputPadding);
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
// same length. The parser converts numbers and refuses those that fit neither 64 bits nor a
// double, which RFC 8259 allows (it leaves the range to the reader); the formatter never
// reads a value, so only the number's form matters. Strings are delimited exactly as a
// parser delimits them, so a replacement can only make a document valid whose sole fault
// was a number's size.
QByteArray withPlainNumbers(QByteArrayView utf8)
{
    QByteArray copy(utf8.data(), utf8.size());
    addPadding(copy);
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
    return copy;
}

// A conforming RFC 8259 parser that validates everything, UTF-8 included, without
// recursion. Its limits are the ones the RFC leaves to implementations: nesting stops at
// 1024 levels and escaped surrogates must come in pairs. Numbers of any size are accepted.
// `padded`: the memory after the text is readable for jsonInputPadding bytes.
bool validate(QByteArrayView utf8, bool padded)
{
    static_assert(jsonInputPadding >= qsizetype(simdjson::SIMDJSON_PADDING));
    simdjson::dom::parser parser;
    const simdjson::error_code error =
        parser.parse(reinterpret_cast<const uint8_t*>(utf8.data()), size_t(utf8.size()), !padded).error();
    if (error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE) {
        const QByteArray plain = withPlainNumbers(utf8);
        return parser.parse(reinterpret_cast<const uint8_t*>(plain.constData()), size_t(plain.size()), false).error()
            == simdjson::SUCCESS;
    }
    return error == simdjson::SUCCESS;
}

// The trimmed object or array, or none when the text is not one.
std::optional<QByteArrayView> validObjectOrArray(QByteArrayView utf8, bool padded)
{
    const QByteArrayView text = trimmed(utf8);
    if (text.isEmpty() || (text.front() != '{' && text.front() != '['))
        return std::nullopt;
    if (!validate(text, padded))
        return std::nullopt;
    return text;
}

// Free space after the bytes, not counting any before them: Qt 6's capacity() counts both.
bool hasPadding(const QByteArray& buffer)
{
    return const_cast<QByteArray&>(buffer).data_ptr().freeSpaceAtEnd() >= jsonInputPadding;
}

} // namespace

bool isValidJson(QByteArrayView utf8)
{
    return validate(utf8, false);
}

std::optional<QByteArray> prettyPrintedJSON(QByteArrayView utf8, qsizetype maxOutputBytes)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, false);
    if (!text)
        return std::nullopt;
    return reindent<char, QByteArray>(text->data(), text->data() + text->size(), maxOutputBytes);
}

std::optional<QByteArray> prettyPrintedJSON(const QByteArray& utf8, qsizetype maxOutputBytes)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, hasPadding(utf8));
    if (!text)
        return std::nullopt;
    return reindent<char, QByteArray>(text->data(), text->data() + text->size(), maxOutputBytes);
}

JsonWriteResult writePrettyPrintedJSON(const QByteArray& utf8, const std::function<bool(QByteArrayView)>& write)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, hasPadding(utf8));
    if (!text)
        return JsonWriteResult::notJson;
    const auto sink = [&write](const char* data, qsizetype length) { return write(QByteArrayView(data, length)); };
    const bool written = reindent<char, QByteArray>(text->data(), text->data() + text->size(),
                                                    std::numeric_limits<qsizetype>::max(), sink)
                             .has_value();
    return written ? JsonWriteResult::written : JsonWriteResult::writeFailed;
}

std::optional<QString> prettyPrintedJSON(const QString& text, qsizetype maxOutputLength)
{
    const QString trimmedText = text.trimmed();
    if (trimmedText.isEmpty() || (trimmedText.front() != u'{' && trimmedText.front() != u'['))
        return std::nullopt;
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    QByteArray utf8 = encoder.encode(trimmedText);
    if (encoder.hasError())
        return std::nullopt;
    addPadding(utf8);
    if (!validate(utf8, hasPadding(utf8)))
        return std::nullopt;
    // The text is walked as it is, so the result needs no conversion back from UTF-8.
    const auto* units = reinterpret_cast<const char16_t*>(trimmedText.utf16());
    return reindent<char16_t, QString>(units, units + trimmedText.size(), maxOutputLength);
}

} // namespace pelorin
