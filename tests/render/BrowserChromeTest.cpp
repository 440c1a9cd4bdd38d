#include "core/Fonts.h"
#include "render/BrowserChromeRenderer.h"

#include <gtest/gtest.h>

using namespace pelorin;

TEST(BrowserChrome, BarHeightScalesWithTheWidth)
{
    struct Case { double width; bool addressBar; double points; };
    const Case cases[] = {{1280, true, 84}, {1280, false, 40}, {2560, true, 168},
                          {2560, false, 80}, {400, true, 42},  {400, false, 20}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(BrowserChromeRenderer::barHeight(c.width, c.addressBar), c.points) << c.width;
        QImage base(static_cast<int>(c.width * 2), 200, QImage::Format_ARGB32);
        base.fill(Qt::white);
        base.setDevicePixelRatio(2);
        BrowserChromeSettings settings;
        settings.isEnabled = true;
        settings.showsAddressBar = c.addressBar;
        const QImage framed = BrowserChromeRenderer::composited(base, settings);
        EXPECT_EQ(framed.width(), base.width());
        EXPECT_EQ(framed.height(), 200 + static_cast<int>(c.points * 2)) << c.width << " at 2 pixels per point";
        EXPECT_EQ(framed.devicePixelRatio(), 2);
    }
}

TEST(BrowserChrome, DisplayedAddressAndTitle)
{
    struct Case { const char* typed; const char* shown; const char* title; };
    const Case cases[] = {
        {"  https://pelorin.app/  ", "pelorin.app", "pelorin.app"},
        {"HTTPS://Example.org/docs/guide/", "Example.org/docs/guide", "Example.org"},
        {"https://http://twice.example", "twice.example", "twice.example"},
        {"http://plain.example//", "plain.example/", "plain.example"},
        {"", "", "New Tab"},
        {" \n ", "", "New Tab"},
        {"localhost:8080/a", "localhost:8080/a", "localhost:8080"},
    };
    for (const Case& c : cases) {
        BrowserChromeSettings settings;
        settings.urlText = QString::fromUtf8(c.typed);
        EXPECT_EQ(BrowserChromeRenderer::displayURL(settings.urlText), QString::fromUtf8(c.shown)) << c.typed;
        EXPECT_EQ(BrowserChromeRenderer::tabTitle(settings), QString::fromUtf8(c.title)) << c.typed;
    }
}

TEST(BrowserChrome, TheScreenshotIsCopiedUnscaledBelowTheBar)
{
    loadBundledFonts();
    QImage base(1280, 800, QImage::Format_ARGB32);
    base.fill(QColor(10, 200, 30));
    base.setPixelColor(0, 0, Qt::magenta);
    BrowserChromeSettings settings;
    settings.isEnabled = true;
    settings.urlText = QStringLiteral("https://pelorin.app/");
    for (BrowserChromeStyle style : {BrowserChromeStyle::dark, BrowserChromeStyle::light}) {
        settings.style = style;
        const QImage framed = BrowserChromeRenderer::composited(base, settings);
        ASSERT_EQ(framed.height(), 884);
        EXPECT_EQ(framed.pixelColor(0, 84), QColor(Qt::magenta));
        EXPECT_EQ(framed.pixelColor(640, 500), QColor(10, 200, 30));
        const QColor strip = framed.pixelColor(1000, 5);
        EXPECT_EQ(strip.lightness() < 80, style == BrowserChromeStyle::dark);
    }
    settings.isEnabled = false;
    EXPECT_EQ(BrowserChromeRenderer::composited(base, settings).height(), 800);
}
