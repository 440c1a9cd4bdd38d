#include "core/JsonFormatter.h"

#include <QChar>
#include <QStringEncoder>

#include <simdjson.h>

#include <algorithm>

namespace pelorin {

namespace {

constexpr int kIndentWidth = 2;

// Length of the UTF-8 sequence that starts with `lead`, or 0 for a byte that cannot start one.
int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

char32_t decodeAt(const char* data, int length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    switch (length) {
    case 1:
        return bytes[0];
    case 2:
        return char32_t(bytes[0] & 0x1F) << 6 | (bytes[1] & 0x3F);
    case 3:
        return char32_t(bytes[0] & 0x0F) << 12 | char32_t(bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
    default:
        return char32_t(bytes[0] & 0x07) << 18 | char32_t(bytes[1] & 0x3F) << 12 | char32_t(bytes[2] & 0x3F) << 6
            | (bytes[3] & 0x3F);
    }
}

// The same white space QString::trimmed() removes (Unicode separators and the ASCII and
// Latin-1 controls that break lines), so bytes from standard input and text from the
// clipboard are trimmed alike. Malformed UTF-8 is left for the parser to refuse.
QByteArrayView trimmed(QByteArrayView text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end) {
        const int length = sequenceLength(static_cast<unsigned char>(*begin));
        if (length == 0 || end - begin < length || !QChar::isSpace(decodeAt(begin, length)))
            break;
        begin += length;
    }
    while (end > begin) {
        const char* lead = end - 1;
        while (lead > begin && (static_cast<unsigned char>(*lead) & 0xC0) == 0x80 && end - lead < 4)
            --lead;
        const int length = sequenceLength(static_cast<unsigned char>(*lead));
        if (length != end - lead || !QChar::isSpace(decodeAt(lead, length)))
            break;
        end = lead;
    }
    return QByteArrayView(begin, end - begin);
}

// Output in the input's own encoding: bytes for UTF-8, code units for UTF-16. Writes go
// straight into the string's buffer; Qt's append per token costs more than the walk.
template <typename Char, typename String>
class Writer {
public:
    Writer(qsizetype reserve, qsizetype limit)
        : m_limit(limit)
    {
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
    // much faster than the input, so the limit is checked here.
    bool newline(int depth)
    {
        const qsizetype spaces = depth > 0 ? qsizetype(depth) * kIndentWidth : 0;
        if (m_size + 1 + spaces > m_limit)
            return false;
        ensure(1 + spaces);
        m_data[m_size] = Char('\n');
        std::fill(m_data + m_size + 1, m_data + m_size + 1 + spaces, Char(' '));
        m_size += 1 + spaces;
        return true;
    }

    bool withinLimit() const { return m_size <= m_limit; }

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
    qsizetype m_limit;
};

bool isJsonWhitespace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// One pass over validated JSON. Structural characters are ASCII, and ASCII values never
// occur inside a multi-byte UTF-8 sequence or a surrogate pair, so walking code units sees
// exactly the tokens a parser sees.
template <typename Char, typename String>
std::optional<String> reindent(const Char* p, const Char* const end, qsizetype maxOutputLength)
{
    Writer<Char, String> out((end - p) * 2, maxOutputLength);
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
    return out.take();
}

// A conforming RFC 8259 parser that validates everything, UTF-8 included, without
// recursion. Its limits are the ones the RFC leaves to implementations: numbers must fit a
// 64-bit integer or a double, nesting stops at 1024 levels, and escaped surrogates must come
// in pairs. `padded`: the memory after the text is readable for jsonInputPadding bytes.
bool validate(QByteArrayView utf8, bool padded)
{
    static_assert(jsonInputPadding >= qsizetype(simdjson::SIMDJSON_PADDING));
    simdjson::dom::parser parser;
    return parser.parse(reinterpret_cast<const uint8_t*>(utf8.data()), size_t(utf8.size()), !padded).error()
        == simdjson::SUCCESS;
}

std::optional<QByteArray> formatted(QByteArrayView utf8, qsizetype maxOutputBytes, bool padded)
{
    const QByteArrayView text = trimmed(utf8);
    if (text.isEmpty() || (text.front() != '{' && text.front() != '['))
        return std::nullopt;
    if (!validate(text, padded))
        return std::nullopt;
    return reindent<char, QByteArray>(text.data(), text.data() + text.size(), maxOutputBytes);
}

bool hasPadding(const QByteArray& buffer)
{
    return buffer.capacity() - buffer.size() >= jsonInputPadding;
}

} // namespace

bool isValidJson(QByteArrayView utf8)
{
    return validate(utf8, false);
}

std::optional<QByteArray> prettyPrintedJSON(QByteArrayView utf8, qsizetype maxOutputBytes)
{
    return formatted(utf8, maxOutputBytes, false);
}

std::optional<QByteArray> prettyPrintedJSON(const QByteArray& utf8, qsizetype maxOutputBytes)
{
    return formatted(utf8, maxOutputBytes, hasPadding(utf8));
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
    if (!hasPadding(utf8))
        utf8.reserve(utf8.size() + jsonInputPadding);
    if (!validate(utf8, true))
        return std::nullopt;
    // The text is walked as it is, so the result needs no conversion back from UTF-8.
    const auto* units = reinterpret_cast<const char16_t*>(trimmedText.utf16());
    return reindent<char16_t, QString>(units, units + trimmedText.size(), maxOutputLength);
}

} // namespace pelorin
