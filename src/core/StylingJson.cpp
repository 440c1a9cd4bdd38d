#include "core/StylingJson.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

namespace pelorin {

namespace {

// Thrown inside the decoders and turned into an empty result at the boundary.
struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const QString& message)
{
    throw DecodeError(message.toStdString());
}

QJsonValue required(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        fail(QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(key)));
    return value;
}

double number(const QJsonObject& object, const char* key)
{
    const QJsonValue value = required(object, key);
    if (!value.isDouble())
        fail(QStringLiteral("Expected a number for key \"%1\".").arg(QLatin1String(key)));
    return value.toDouble();
}

bool boolean(const QJsonObject& object, const char* key)
{
    const QJsonValue value = required(object, key);
    if (!value.isBool())
        fail(QStringLiteral("Expected a bool for key \"%1\".").arg(QLatin1String(key)));
    return value.toBool();
}

QString string(const QJsonValue& value, const char* key)
{
    if (!value.isString())
        fail(QStringLiteral("Expected a string for key \"%1\".").arg(QLatin1String(key)));
    return value.toString();
}

QJsonObject object(const QJsonValue& value, const char* key)
{
    if (!value.isObject())
        fail(QStringLiteral("Expected an object for key \"%1\".").arg(QLatin1String(key)));
    return value.toObject();
}

template <typename Enum>
Enum enumeration(const QJsonValue& value, const char* key, std::optional<Enum> (*parse)(const QString&))
{
    const QString raw = string(value, key);
    const std::optional<Enum> parsed = parse(raw);
    if (!parsed)
        fail(QStringLiteral("Cannot initialize from invalid value %1").arg(raw));
    return *parsed;
}

QJsonObject colorToJson(const CodableColor& c)
{
    return {{QStringLiteral("red"), c.red}, {QStringLiteral("green"), c.green}, {QStringLiteral("blue"), c.blue},
            {QStringLiteral("alpha"), c.alpha}};
}

CodableColor colorFromJson(const QJsonObject& o)
{
    return {number(o, "red"), number(o, "green"), number(o, "blue"), number(o, "alpha")};
}

QJsonObject pointToJson(const UnitPoint& p)
{
    return {{QStringLiteral("x"), p.x}, {QStringLiteral("y"), p.y}};
}

UnitPoint pointFromJson(const QJsonObject& o)
{
    return {number(o, "x"), number(o, "y")};
}

QJsonObject gradientToJson(const GradientDefinition& g)
{
    QJsonArray colors;
    for (const CodableColor& c : g.colors)
        colors.append(colorToJson(c));
    return {{QStringLiteral("colors"), colors},
            {QStringLiteral("startPoint"), pointToJson(g.startPoint)},
            {QStringLiteral("endPoint"), pointToJson(g.endPoint)},
            {QStringLiteral("type"), rawValue(g.type)}};
}

GradientDefinition gradientFromJson(const QJsonObject& o)
{
    const QJsonValue colorsValue = required(o, "colors");
    if (!colorsValue.isArray())
        fail(QStringLiteral("Expected an array for key \"colors\"."));
    GradientDefinition g;
    for (const QJsonValue& c : colorsValue.toArray())
        g.colors.push_back(colorFromJson(object(c, "colors")));
    g.startPoint = pointFromJson(object(required(o, "startPoint"), "startPoint"));
    g.endPoint = pointFromJson(object(required(o, "endPoint"), "endPoint"));
    g.type = enumeration<GradientType>(required(o, "type"), "type", gradientTypeFromRawValue);
    return g;
}

QJsonObject backgroundToJson(const BackgroundStyle& style)
{
    const QString payloadKey = QStringLiteral("_0");
    return std::visit(
        [&](const auto& v) -> QJsonObject {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, BackgroundPreset>)
                return {{QStringLiteral("preset"), QJsonObject{{payloadKey, rawValue(v)}}}};
            else if constexpr (std::is_same_v<V, CodableColor>)
                return {{QStringLiteral("solidColor"), QJsonObject{{payloadKey, colorToJson(v)}}}};
            else if constexpr (std::is_same_v<V, GradientDefinition>)
                return {{QStringLiteral("customGradient"), QJsonObject{{payloadKey, gradientToJson(v)}}}};
            else if constexpr (std::is_same_v<V, WallpaperBackground>)
                return {{QStringLiteral("wallpaper"), QJsonObject{}}};
            else
                return {{QStringLiteral("transparent"), QJsonObject{}}};
        },
        style.value);
}

BackgroundStyle backgroundFromJson(const QJsonObject& o)
{
    if (o.size() != 1)
        fail(QStringLiteral("Invalid number of keys found, expected one."));
    const QString caseName = o.begin().key();
    const QJsonObject body = object(o.begin().value(), "background");
    if (caseName == u"preset")
        return BackgroundStyle::preset(enumeration<BackgroundPreset>(required(body, "_0"), "_0", backgroundPresetFromRawValue));
    if (caseName == u"solidColor")
        return BackgroundStyle::solidColor(colorFromJson(object(required(body, "_0"), "_0")));
    if (caseName == u"customGradient")
        return BackgroundStyle::customGradient(gradientFromJson(object(required(body, "_0"), "_0")));
    if (caseName == u"wallpaper")
        return BackgroundStyle::wallpaper();
    if (caseName == u"transparent")
        return BackgroundStyle::transparent();
    fail(QStringLiteral("Unknown background case \"%1\".").arg(caseName));
}

QJsonObject shadowToJson(const ShadowConfiguration& s)
{
    return {{QStringLiteral("radius"), s.radius},   {QStringLiteral("opacity"), s.opacity},
            {QStringLiteral("offsetX"), s.offsetX}, {QStringLiteral("offsetY"), s.offsetY},
            {QStringLiteral("color"), colorToJson(s.color)}};
}

ShadowConfiguration shadowFromJson(const QJsonObject& o)
{
    return {number(o, "radius"), number(o, "opacity"), number(o, "offsetX"), number(o, "offsetY"),
            colorFromJson(object(required(o, "color"), "color"))};
}

QJsonObject stylingToJson(const StylingConfiguration& s)
{
    return {{QStringLiteral("background"), backgroundToJson(s.background)},
            {QStringLiteral("cornerRadius"), s.cornerRadius},
            {QStringLiteral("shadow"), shadowToJson(s.shadow)},
            {QStringLiteral("padding"), s.padding},
            {QStringLiteral("dimming"),
             QJsonObject{{QStringLiteral("isEnabled"), s.dimming.isEnabled}, {QStringLiteral("amount"), s.dimming.amount}}}};
}

StylingConfiguration stylingFromJson(const QJsonObject& o)
{
    StylingConfiguration s;
    s.background = backgroundFromJson(object(required(o, "background"), "background"));
    s.cornerRadius = number(o, "cornerRadius");
    s.shadow = shadowFromJson(object(required(o, "shadow"), "shadow"));
    s.padding = number(o, "padding");
    const QJsonObject dimming = object(required(o, "dimming"), "dimming");
    s.dimming = {boolean(dimming, "isEnabled"), number(dimming, "amount")};
    return s;
}

QJsonObject chromeToJson(const BrowserChromeSettings& b)
{
    return {{QStringLiteral("isEnabled"), b.isEnabled},
            {QStringLiteral("style"), rawValue(b.style)},
            {QStringLiteral("showsAddressBar"), b.showsAddressBar},
            {QStringLiteral("urlText"), b.urlText}};
}

BrowserChromeSettings chromeFromJson(const QJsonObject& o)
{
    BrowserChromeSettings b;
    b.isEnabled = boolean(o, "isEnabled");
    b.style = enumeration<BrowserChromeStyle>(required(o, "style"), "style", browserChromeStyleFromRawValue);
    b.showsAddressBar = boolean(o, "showsAddressBar");
    b.urlText = string(required(o, "urlText"), "urlText");
    return b;
}

QByteArray toBytes(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

template <typename T>
std::optional<T> decode(const QByteArray& json, QString* error, T (*fromJson)(const QJsonObject&))
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    try {
        if (parseError.error != QJsonParseError::NoError)
            fail(QStringLiteral("The given data was not valid JSON: %1").arg(parseError.errorString()));
        if (!document.isObject())
            fail(QStringLiteral("Expected to decode an object."));
        return fromJson(document.object());
    } catch (const DecodeError& e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return std::nullopt;
    }
}

} // namespace

QByteArray encodeBackgroundStyle(const BackgroundStyle& style)
{
    return toBytes(backgroundToJson(style));
}

std::optional<BackgroundStyle> decodeBackgroundStyle(const QByteArray& json, QString* error)
{
    return decode<BackgroundStyle>(json, error, backgroundFromJson);
}

QByteArray encodeBrowserChromeSettings(const BrowserChromeSettings& settings)
{
    return toBytes(chromeToJson(settings));
}

std::optional<BrowserChromeSettings> decodeBrowserChromeSettings(const QByteArray& json, QString* error)
{
    return decode<BrowserChromeSettings>(json, error, chromeFromJson);
}

QByteArray encodeStylingConfiguration(const StylingConfiguration& styling)
{
    return toBytes(stylingToJson(styling));
}

std::optional<StylingConfiguration> decodeStylingConfiguration(const QByteArray& json, QString* error)
{
    return decode<StylingConfiguration>(json, error, stylingFromJson);
}

QByteArray encodeGradientDefinition(const GradientDefinition& gradient)
{
    return toBytes(gradientToJson(gradient));
}

std::optional<GradientDefinition> decodeGradientDefinition(const QByteArray& json, QString* error)
{
    return decode<GradientDefinition>(json, error, gradientFromJson);
}

std::optional<BackgroundPreset> backgroundPresetFromRawValue(const QString& raw)
{
    for (BackgroundPreset preset : allBackgroundPresets()) {
        if (rawValue(preset) == raw)
            return preset;
    }
    return std::nullopt;
}

QString rawValue(GradientType type)
{
    switch (type) {
    case GradientType::linear:
        return QStringLiteral("linear");
    case GradientType::radial:
        return QStringLiteral("radial");
    case GradientType::angular:
        return QStringLiteral("angular");
    }
    return {};
}

std::optional<GradientType> gradientTypeFromRawValue(const QString& raw)
{
    for (GradientType type : {GradientType::linear, GradientType::radial, GradientType::angular}) {
        if (rawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

QString rawValue(BrowserChromeStyle style)
{
    return style == BrowserChromeStyle::dark ? QStringLiteral("dark") : QStringLiteral("light");
}

std::optional<BrowserChromeStyle> browserChromeStyleFromRawValue(const QString& raw)
{
    if (raw == u"dark")
        return BrowserChromeStyle::dark;
    if (raw == u"light")
        return BrowserChromeStyle::light;
    return std::nullopt;
}

} // namespace pelorin
