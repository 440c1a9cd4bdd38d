#include "core/StylingJson.h"

#include <gtest/gtest.h>

using namespace pelorin;

namespace {

GradientDefinition radialGradient()
{
    return {{{1, 0, 0, 1}, {0, 0.5, 1, 0.25}, {0.1, 0.2, 0.3, 1}}, {0.5, 0.5}, {1, 1}, GradientType::radial};
}

} // namespace

TEST(StylingJson, EveryBackgroundCaseRoundTrips)
{
    std::vector<BackgroundStyle> cases{BackgroundStyle::solidColor({0.25, 0.5, 0.75, 0.5}),
                                       BackgroundStyle::customGradient(radialGradient()),
                                       BackgroundStyle::customGradient({{}, {0, 0}, {1, 0}, GradientType::angular}),
                                       BackgroundStyle::wallpaper(), BackgroundStyle::transparent()};
    // Every preset by name: two presets sharing a name would come back as the wrong one.
    for (BackgroundPreset preset : allBackgroundPresets())
        cases.push_back(BackgroundStyle::preset(preset));
    for (const BackgroundStyle& style : cases) {
        const QByteArray json = encodeBackgroundStyle(style);
        QString error;
        const auto decoded = decodeBackgroundStyle(json, &error);
        ASSERT_TRUE(decoded) << json.constData() << " " << error.toStdString();
        EXPECT_EQ(*decoded, style) << json.constData();
    }
}

TEST(StylingJson, BackgroundUsesTheOneKeyForm)
{
    EXPECT_EQ(encodeBackgroundStyle(BackgroundStyle::preset(BackgroundPreset::sunset)), R"({"preset":{"_0":"sunset"}})");
    EXPECT_EQ(encodeBackgroundStyle(BackgroundStyle::wallpaper()), R"({"wallpaper":{}})");
    EXPECT_EQ(encodeBackgroundStyle(BackgroundStyle::transparent()), R"({"transparent":{}})");
    EXPECT_EQ(encodeBackgroundStyle(BackgroundStyle::solidColor({1, 1, 1, 1})),
              R"({"solidColor":{"_0":{"alpha":1,"blue":1,"green":1,"red":1}}})");
}

TEST(StylingJson, RecordsRoundTrip)
{
    StylingConfiguration styling;
    styling.background = BackgroundStyle::customGradient(radialGradient());
    styling.cornerRadius = 80;
    styling.shadow = {12.5, 0.8, -3, 7, {0.1, 0.2, 0.3, 0.4}};
    styling.padding = 64;
    styling.dimming = {true, 0.35};
    const auto decodedStyling = decodeStylingConfiguration(encodeStylingConfiguration(styling));
    ASSERT_TRUE(decodedStyling);
    EXPECT_EQ(*decodedStyling, styling);

    const BrowserChromeSettings chrome{true, BrowserChromeStyle::light, false, QStringLiteral("https://example.org/ü?q=1")};
    const auto decodedChrome = decodeBrowserChromeSettings(encodeBrowserChromeSettings(chrome));
    ASSERT_TRUE(decodedChrome);
    EXPECT_EQ(*decodedChrome, chrome);
}

TEST(StylingJson, MalformedBackgroundsAreRejected)
{
    struct Case { const char* name; const char* json; };
    const Case cases[] = {
        {"unknown preset", R"({"preset":{"_0":"notAPreset"}})"},
        {"two keys", R"({"preset":{"_0":"sunset"},"wallpaper":{}})"},
        {"no key", R"({})"},
        {"unknown case", R"({"gradient":{}})"},
        {"missing payload", R"({"preset":{}})"},
        {"payload of wrong type", R"({"preset":{"_0":3}})"},
        {"case body not an object", R"({"wallpaper":true})"},
        {"colour missing alpha", R"({"solidColor":{"_0":{"red":1,"green":1,"blue":1}}})"},
        {"colour component as string", R"({"solidColor":{"_0":{"red":"1","green":1,"blue":1,"alpha":1}}})"},
        {"gradient with unknown type",
         R"({"customGradient":{"_0":{"colors":[],"startPoint":{"x":0,"y":0},"endPoint":{"x":1,"y":1},"type":"conic"}}})"},
        {"gradient without end point", R"({"customGradient":{"_0":{"colors":[],"startPoint":{"x":0,"y":0},"type":"linear"}}})"},
        {"gradient colours not an array",
         R"({"customGradient":{"_0":{"colors":{},"startPoint":{"x":0,"y":0},"endPoint":{"x":1,"y":1},"type":"linear"}}})"},
        {"not JSON", "preset: sunset"},
        {"array on top", R"([{"wallpaper":{}}])"},
        {"empty", ""},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(decodeBackgroundStyle(c.json)) << c.name;
    QString error;
    decodeBackgroundStyle(cases[1].json, &error);
    EXPECT_EQ(error, QStringLiteral("Invalid number of keys found, expected one."));
}

TEST(StylingJson, MalformedBrowserChromeIsRejected)
{
    const char* cases[] = {
        R"({"isEnabled":true,"style":"dark","showsAddressBar":true})",                    // missing urlText
        R"({"isEnabled":true,"style":"sepia","showsAddressBar":true,"urlText":""})",      // unknown style
        R"({"isEnabled":1,"style":"dark","showsAddressBar":true,"urlText":""})",          // number for bool
        R"({"isEnabled":true,"style":"dark","showsAddressBar":true,"urlText":null})",     // null text
    };
    for (const char* json : cases)
        EXPECT_FALSE(decodeBrowserChromeSettings(json)) << json;
}
