#include "core/StylingJson.h"

#include <gtest/gtest.h>

using namespace pelorin;

// Every background case comes back as it went, in the one-key form, and so do the records
// holding one.
TEST(StylingJson, EveryBackgroundCaseAndRecordRoundTrips)
{
    const GradientDefinition radial{{{1, 0, 0, 1}, {0, 0.5, 1, 0.25}, {0.1, 0.2, 0.3, 1}}, {0.5, 0.5}, {1, 1}, GradientType::radial};
    std::vector<std::pair<BackgroundStyle, const char*>> cases{
        {BackgroundStyle::preset(BackgroundPreset::sunset), R"({"preset":{"_0":"sunset"}})"},
        {BackgroundStyle::wallpaper(), R"({"wallpaper":{}})"},
        {BackgroundStyle::transparent(), R"({"transparent":{}})"},
        {BackgroundStyle::solidColor({1, 1, 1, 1}), R"({"solidColor":{"_0":{"alpha":1,"blue":1,"green":1,"red":1}}})"},
        {BackgroundStyle::solidColor({0.25, 0.5, 0.75, 0.5}), nullptr},
        {BackgroundStyle::customGradient(radial), nullptr},
        {BackgroundStyle::customGradient({{}, {0, 0}, {1, 0}, GradientType::angular}), nullptr},
    };
    // Every preset by name: two presets sharing a name would come back as the wrong one.
    for (BackgroundPreset preset : allBackgroundPresets())
        cases.emplace_back(BackgroundStyle::preset(preset), nullptr);
    for (const auto& [style, encoded] : cases) {
        const QByteArray json = encodeBackgroundStyle(style);
        if (encoded) {
            EXPECT_EQ(json, encoded);
        }
        QString error;
        const auto decoded = decodeBackgroundStyle(json, &error);
        ASSERT_TRUE(decoded) << json.constData() << " " << error.toStdString();
        EXPECT_EQ(*decoded, style) << json.constData();
    }

    StylingConfiguration styling;
    styling.background = BackgroundStyle::customGradient(radial);
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

// The editor's stored-style test has an unknown preset, a colour without alpha and no JSON.
TEST(StylingJson, MalformedBackgroundsAndChromeAreRejected)
{
    struct Case { const char* name; const char* json; bool chrome = false; };
    const Case cases[] = {
        {"two keys", R"({"preset":{"_0":"sunset"},"wallpaper":{}})"},
        {"no key", R"({})"},
        {"unknown case", R"({"gradient":{}})"},
        {"missing payload", R"({"preset":{}})"},
        {"payload of wrong type", R"({"preset":{"_0":3}})"},
        {"case body not an object", R"({"wallpaper":true})"},
        {"colour component as string", R"({"solidColor":{"_0":{"red":"1","green":1,"blue":1,"alpha":1}}})"},
        {"gradient with unknown type",
         R"({"customGradient":{"_0":{"colors":[],"startPoint":{"x":0,"y":0},"endPoint":{"x":1,"y":1},"type":"conic"}}})"},
        {"gradient without end point", R"({"customGradient":{"_0":{"colors":[],"startPoint":{"x":0,"y":0},"type":"linear"}}})"},
        {"gradient colours not an array",
         R"({"customGradient":{"_0":{"colors":{},"startPoint":{"x":0,"y":0},"endPoint":{"x":1,"y":1},"type":"linear"}}})"},
        {"array on top", R"([{"wallpaper":{}}])"},
        {"empty", ""},
        {"chrome without urlText", R"({"isEnabled":true,"style":"dark","showsAddressBar":true})", true},
        {"chrome of unknown style", R"({"isEnabled":true,"style":"sepia","showsAddressBar":true,"urlText":""})", true},
        {"chrome with a number for a bool", R"({"isEnabled":1,"style":"dark","showsAddressBar":true,"urlText":""})", true},
        {"chrome with null text", R"({"isEnabled":true,"style":"dark","showsAddressBar":true,"urlText":null})", true},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(c.chrome ? decodeBrowserChromeSettings(c.json).has_value() : decodeBackgroundStyle(c.json).has_value()) << c.name;
    QString error;
    decodeBackgroundStyle(cases[0].json, &error);
    EXPECT_EQ(error, QStringLiteral("Invalid number of keys found, expected one."));
}
