// The clipboard and `format-json` formatter: whatever it accepts it lays out the same way
// through every entry point, and its output is valid JSON that formats to itself.

#include "FuzzSupport.h"

#include "core/JsonFormatter.h"

#include <QStringDecoder>

using namespace pelorin;

namespace {
// Deep nesting multiplies the input by up to two thousand; this keeps each run quick.
constexpr qsizetype maxOutput = 1 << 20;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const std::optional<QByteArray> fromView = prettyPrintedJSON(QByteArrayView(input), maxOutput);
    QByteArray padded = input;
    padded.reserve(padded.size() + jsonInputPadding);
    const std::optional<QByteArray> fromPadded = prettyPrintedJSON(padded, maxOutput);
    PELORIN_FUZZ_CHECK(fromView == fromPadded);

    if (fromView) {
        PELORIN_FUZZ_CHECK(isValidJson(*fromView));
        PELORIN_FUZZ_CHECK(prettyPrintedJSON(QByteArrayView(*fromView)) == fromView);
        QByteArray streamed;
        const JsonWriteResult result = writePrettyPrintedJSON(input, [&streamed](QByteArrayView piece) {
            streamed.append(piece);
            return true;
        });
        PELORIN_FUZZ_CHECK(result == JsonWriteResult::written && streamed == *fromView);
    }

    // Text from the clipboard: the same verdict and layout for any input that is UTF-8.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(input);
    if (!decoder.hasError() && !input.startsWith("\xef\xbb\xbf")) {
        // Its limit counts UTF-16 code units, never more than the UTF-8 bytes.
        const std::optional<QString> fromText = prettyPrintedJSON(text, maxOutput);
        if (fromView)
            PELORIN_FUZZ_CHECK(fromText && fromText->toUtf8() == *fromView);
        else if (fromText)
            PELORIN_FUZZ_CHECK(fromText->toUtf8().size() > maxOutput);
    }
    return 0;
}
