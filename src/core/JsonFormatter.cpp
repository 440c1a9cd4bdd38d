#include "core/JsonFormatter.h"

#include "json/JsonReindent.h"

#include <QStringEncoder>

namespace pelorin {

namespace {

std::string_view view(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

// Room for the parser to read past the end, zeroed: it reads whole blocks, and its
// decisions must not depend on whatever the allocation happened to hold.
void addPadding(QByteArray& buffer)
{
    buffer.append(QByteArray(json::inputPadding, '\0'));
    buffer.chop(jsonInputPadding);
}

// The trimmed object or array, or none when the text is not one.
std::optional<QByteArrayView> validObjectOrArray(QByteArrayView utf8, bool padded)
{
    const std::optional<std::string_view> text = json::validObjectOrArray(view(utf8), padded);
    if (!text)
        return std::nullopt;
    return QByteArrayView(text->data(), qsizetype(text->size()));
}

// Free space after the bytes, not counting any before them: Qt 6's capacity() counts both.
bool hasPadding(const QByteArray& buffer)
{
    return const_cast<QByteArray&>(buffer).data_ptr().freeSpaceAtEnd() >= json::inputPadding;
}

} // namespace

bool isValidJson(QByteArrayView utf8)
{
    return json::isValid(view(utf8), false);
}

std::optional<QByteArray> prettyPrintedJSON(QByteArrayView utf8, qsizetype maxOutputBytes)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, false);
    if (!text)
        return std::nullopt;
    return json::reindent<char, QByteArray>(text->data(), text->data() + text->size(), maxOutputBytes);
}

std::optional<QByteArray> prettyPrintedJSON(const QByteArray& utf8, qsizetype maxOutputBytes)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, hasPadding(utf8));
    if (!text)
        return std::nullopt;
    return json::reindent<char, QByteArray>(text->data(), text->data() + text->size(), maxOutputBytes);
}

JsonWriteResult writePrettyPrintedJSON(const QByteArray& utf8, const std::function<bool(QByteArrayView)>& write)
{
    const std::optional<QByteArrayView> text = validObjectOrArray(utf8, hasPadding(utf8));
    if (!text)
        return JsonWriteResult::notJson;
    const auto sink = [&write](const char* data, qsizetype length) { return write(QByteArrayView(data, length)); };
    const bool written = json::reindent<char, QByteArray>(text->data(), text->data() + text->size(),
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
    if (!json::isValid(view(utf8), hasPadding(utf8)))
        return std::nullopt;
    // The text is walked as it is, so the result needs no conversion back from UTF-8.
    const auto* units = reinterpret_cast<const char16_t*>(trimmedText.utf16());
    return json::reindent<char16_t, QString>(units, units + trimmedText.size(), maxOutputLength);
}

} // namespace pelorin
