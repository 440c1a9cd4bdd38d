#pragma once

// The clipboard formatter's engine without Qt, so that `pelorin format-json` can run from
// the small launcher that loads no Qt library at all. core/JsonFormatter.h wraps it for
// Qt strings.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>

namespace pelorin::json {

// Spare capacity after the text that lets a buffer be validated in place, without the
// parser copying it first. The parser reads it, so it should hold zeros.
inline constexpr std::ptrdiff_t inputPadding = 64;

// Whether `c` is white space as QChar::isSpace() sees it: the ASCII and Latin-1 controls
// that break lines, and Unicode's space, line and paragraph separators.
bool isUnicodeSpace(char32_t c);

// The UTF-8 text without the white space isUnicodeSpace() names at either end. A malformed
// sequence is never white space: it stays, and the parser refuses it.
std::string_view trimmed(std::string_view utf8);

// The deepest nesting a document may have.
inline constexpr int maxDepth = 1024;

// Whether the text is one strict RFC 8259 JSON text. Nesting stops at maxDepth levels
// (`tooDeep`, when given, then says so), escaped surrogates must come in pairs, numbers of
// any size are accepted. `padded`: the memory after the text is readable and zeroed for
// inputPadding bytes.
bool isValid(std::string_view utf8, bool padded, bool* tooDeep = nullptr);

// The trimmed object or array, or none when the text is not one; `tooDeep` as for isValid().
std::optional<std::string_view> validObjectOrArray(std::string_view utf8, bool padded, bool* tooDeep = nullptr);

inline constexpr int indentWidth = 2;

// Output in the input's own encoding: bytes for UTF-8, code units for UTF-16. Writes go
// straight into the string's buffer; appending per token costs more than the walk. With a
// sink, the buffer is handed over whenever it fills, so memory stays bounded however much
// indentation deep nesting produces.
template <typename Char, typename String>
class Writer {
public:
    using Sink = std::function<bool(const Char*, std::ptrdiff_t)>;
    using Size = typename String::size_type;
    static constexpr std::ptrdiff_t chunkSize = 1 << 16;

    Writer(std::ptrdiff_t reserve, std::ptrdiff_t limit, Sink sink)
        : m_limit(limit)
        , m_sink(std::move(sink))
    {
        if (m_sink)
            reserve = chunkSize;
        resize(std::max<std::ptrdiff_t>(16, std::min(reserve, limit)));
    }

    void append(Char c)
    {
        ensure(1);
        m_data[m_size++] = c;
    }

    void append(const Char* data, std::ptrdiff_t length)
    {
        ensure(length);
        std::copy(data, data + length, m_data + m_size);
        m_size += length;
    }

    // A line feed and the indentation of `depth` levels. Only here can the output grow
    // much faster than the input, so the limit is checked (and a full chunk handed on) here.
    bool newline(int depth)
    {
        const std::ptrdiff_t spaces = depth > 0 ? std::ptrdiff_t(depth) * indentWidth : 0;
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
        m_out.resize(Size(m_size));
        return std::move(m_out);
    }

private:
    void resize(std::ptrdiff_t size)
    {
        m_out.resize(Size(size));
        m_capacity = size;
        m_data = reinterpret_cast<Char*>(m_out.data());
    }

    void ensure(std::ptrdiff_t extra)
    {
        if (m_size + extra > m_capacity)
            resize(std::max(m_capacity * 2, m_size + extra));
    }

    String m_out;
    Char* m_data = nullptr;
    std::ptrdiff_t m_capacity = 0;
    std::ptrdiff_t m_size = 0;
    std::ptrdiff_t m_written = 0;
    std::ptrdiff_t m_limit;
    Sink m_sink;
};

inline bool isJsonWhitespace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// One past the quote that ends the string whose text starts at `p`: the first quote after
// an even run of backslashes (an odd run escapes it). Bytes are searched quote to quote with
// memchr, many at a time: in text-heavy documents most of the length is inside strings.
template <typename Char>
const Char* stringEnd(const Char* p, const Char* const end)
{
    if constexpr (sizeof(Char) == 1) {
        for (const Char* from = p;;) {
            const auto* quote = static_cast<const Char*>(std::memchr(from, '"', size_t(end - from)));
            if (!quote)
                return end;
            const Char* run = quote;
            while (run > p && run[-1] == '\\')
                --run;
            if ((quote - run) % 2 == 0)
                return quote + 1;
            from = quote + 1;
        }
    } else {
        while (p < end) {
            const Char c = *p++;
            if (c == '\\')
                ++p;
            else if (c == '"')
                break;
        }
        return std::min(p, end);
    }
}

// Re-indents validated JSON in one pass: two spaces per level, one member per line, a
// space after each colon; keys, numbers and string escapes keep their exact characters and
// empty containers stay {} and []. Structural characters are ASCII, and ASCII values never
// occur inside a multi-byte UTF-8 sequence or a surrogate pair, so walking code units sees
// exactly the tokens a parser sees. None when the output would pass `maxOutputLength` or
// the sink refused a piece.
template <typename Char, typename String>
std::optional<String> reindent(const Char* p, const Char* const end, std::ptrdiff_t maxOutputLength,
                               typename Writer<Char, String>::Sink sink = {})
{
    Writer<Char, String> out((end - p) * 2, maxOutputLength, std::move(sink));
    const auto copy = [&out](const Char* from, const Char* to) { out.append(from, to - from); };
    int depth = 0;

    while (p < end) {
        const Char c = *p++;
        switch (c) {
        case '"': {
            // Copy the whole string at once.
            const Char* start = p - 1;
            p = stringEnd(p, end);
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

} // namespace pelorin::json
