// The style forms read from settings and from `pelorin render --style-json`: any input is
// refused or decoded, and what is decoded can be written and read back unchanged.

#include "FuzzSupport.h"

#include "core/StylingJson.h"

using namespace pelorin;

namespace {

template <typename T>
void roundTrip(const QByteArray& input, std::optional<T> (*decode)(const QByteArray&, QString*),
               QByteArray (*encode)(const T&))
{
    QString error;
    const std::optional<T> decoded = decode(input, &error);
    PELORIN_FUZZ_CHECK(decoded.has_value() || !error.isEmpty());
    if (!decoded)
        return;
    // Numbers may lose digits on the first write; after that the form is stable.
    const std::optional<T> once = decode(encode(*decoded), nullptr);
    PELORIN_FUZZ_CHECK(once.has_value());
    const std::optional<T> twice = decode(encode(*once), nullptr);
    PELORIN_FUZZ_CHECK(twice == once);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    roundTrip(input, decodeStylingConfiguration, encodeStylingConfiguration);
    roundTrip(input, decodeBackgroundStyle, encodeBackgroundStyle);
    roundTrip(input, decodeBrowserChromeSettings, encodeBrowserChromeSettings);
    roundTrip(input, decodeGradientDefinition, encodeGradientDefinition);
    return 0;
}
