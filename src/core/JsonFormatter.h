#pragma once

#include "json/JsonReindent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <limits>
#include <optional>

namespace pelorin {

// Re-indents a JSON object or array without re-serialising it: two spaces per level, one
// member per line, a space after each colon. Keys, numbers and string escapes keep the exact
// characters they were written with; only white space between tokens changes, and empty
// containers stay {} and []. White space around the whole text is ignored.
//
// Returns nothing when the trimmed text is not a JSON object or array that a strict RFC 8259
// parser accepts (nesting deeper than the parser's limit of 1024 levels counts as invalid;
// numbers of any size and precision are valid and keep their digits),
// or when the result would exceed `maxOutputBytes` of UTF-8: a few kilobytes of deeply
// nested brackets can otherwise turn into hundreds of megabytes of indentation.
//
// The output has single line feeds and no trailing line feed.
std::optional<QByteArray> prettyPrintedJSON(QByteArrayView utf8,
                                            qsizetype maxOutputBytes = std::numeric_limits<qsizetype>::max());

// Spare capacity after the text that lets a QByteArray be validated in place, without the
// parser copying it first. The parser reads it, so it should hold zeros.
inline constexpr qsizetype jsonInputPadding = json::inputPadding;

// The same for a buffer that may carry that padding after its bytes.
std::optional<QByteArray> prettyPrintedJSON(const QByteArray& utf8,
                                            qsizetype maxOutputBytes = std::numeric_limits<qsizetype>::max());

enum class JsonWriteResult { written, notJson, writeFailed };

// The same without a limit, handed to `write` in pieces of about 64 KiB as it is produced,
// so that memory stays bounded. Nothing is written unless the whole text is valid; a
// `write` that returns false stops the output (writeFailed).
JsonWriteResult writePrettyPrintedJSON(const QByteArray& utf8, const std::function<bool(QByteArrayView)>& write);

// The same for text in memory; the limit counts UTF-16 code units. Text that cannot be
// encoded as UTF-8 (a lone surrogate) is refused, as the parser could only see it with a
// replacement character.
std::optional<QString> prettyPrintedJSON(const QString& text,
                                         qsizetype maxOutputLength = std::numeric_limits<qsizetype>::max());

// Whether the text is one strict RFC 8259 JSON text (any value at the top, as the RFC allows).
bool isValidJson(QByteArrayView utf8);

} // namespace pelorin
