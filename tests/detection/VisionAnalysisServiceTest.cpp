#include "CloudTestServer.h"
#include "TaskOutcome.h"
#include "TestSupport.h"

#include "detection/VisionAnalysisService.h"
#include "platform/SettingsKeys.h"
#include "platform/TokenStore.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <limits>

using namespace pelorin;
using test::CloudTestServer;

namespace {

QImage shot(QColor color)
{
    QImage image(64, 40, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// An answer holding `components` copies of one component, `fields` added to (or replacing) its own.
QByteArray answer(const char* fields = R"(,"type":"t")", int components = 1)
{
    QByteArray json = R"({"image_width":9,"image_height":9,"components":[)";
    for (int i = 0; i < components; ++i)
        json += QByteArray(i ? "," : "") + R"({"label":"a","x1":1,"y1":2,"x2":3,"y2":4)" + fields + "}";
    return json + "]}";
}

class Vision : public ::testing::Test {
protected:
    Vision()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::analysisServerURL), server.baseUrl());
        server.addSession(QStringLiteral("tok-1"), QStringLiteral("me@example.com"));
    }
    VisionAnalysisService makeService() { return VisionAnalysisService(settings.store(), tokens, cache.path()); }
    QJsonObject lastRequest() { return server.lastRequest(QStringLiteral("POST"), QStringLiteral("/analyze")); }

    CloudTestServer server;
    test::TempSettings settings;
    QTemporaryDir cache;
    MemoryTokenStore tokens{QStringLiteral("tok-1")};
};

} // namespace

// The screenshot goes as a multipart form with the token; the same pixels are asked once and
// remembered across restarts; signed out, the request goes without the token and is refused.
TEST_F(Vision, PostsTheScreenshotOnceAndRemembersTheAnswer)
{
    ASSERT_TRUE(server.isRunning());
    const QImage image = shot(Qt::red);
    {
        VisionAnalysisService service = makeService();
        for (int i = 0; i < 2; ++i) {
            const auto result = test::outcome(service.analyzeScreenshot(image));
            ASSERT_TRUE(result.succeeded()) << result.error.toStdString();
            EXPECT_EQ(result.value->imageWidth, 64);
            ASSERT_EQ(result.value->components.size(), 1u);
            EXPECT_EQ(result.value->components[0].text, QStringLiteral("OK"));
            EXPECT_EQ(result.value->components[0].x2, 110);
        }
    }
    const QJsonObject request = lastRequest();
    EXPECT_EQ(CloudTestServer::header(request, QStringLiteral("Authorization")), QStringLiteral("Bearer tok-1"));
    const auto type = QRegularExpression(QStringLiteral("^multipart/form-data; boundary=([^a-z]{36})$"))
                          .match(CloudTestServer::header(request, QStringLiteral("Content-Type")));
    ASSERT_TRUE(type.hasMatch());
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    const QByteArray boundary = type.captured(1).toLatin1();
    EXPECT_EQ(CloudTestServer::body(request),
              "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"screenshot.png\"\r\n"
              "Content-Type: image/png\r\n\r\n" + png + "\r\n--" + boundary + "--\r\n");
    const QString key = VisionAnalysisService::cacheKey(VisionAnalysisService::serverKeyPrefix, image);
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files), QStringList{key + QStringLiteral(".json")}) << "no temporaries";

    VisionAnalysisService restarted = makeService();
    const auto third = test::outcome(restarted.analyzeScreenshot(image));
    ASSERT_TRUE(third.succeeded());
    EXPECT_EQ(third.value->components[0].label, QStringLiteral("OK button"));
    EXPECT_EQ(server.count(QStringLiteral("POST"), QStringLiteral("/analyze")), 1);

    tokens.setToken(std::nullopt);
    const auto refused = test::outcome(restarted.analyzeScreenshot(shot(Qt::blue)));
    EXPECT_EQ(CloudTestServer::header(lastRequest(), QStringLiteral("Authorization")), QString());
    ASSERT_NE(refused.errorAs<VisionError>(), nullptr);
    EXPECT_EQ(refused.errorAs<VisionError>()->kind(), VisionError::Kind::notAuthenticated);
    EXPECT_EQ(refused.error, QStringLiteral("Sign in to your Pelorin account to use Analyze (Settings → Account)."));
}

// The key names the pixels: the same pixels in another image (or behind other row padding)
// find the answer, any other picture does not.
TEST(VisionCacheKey, NamesThePixels)
{
    QImage image(101, 7, QImage::Format_RGB888); // rows padded to a multiple of four bytes
    image.fill(QColor(10, 20, 30));
    image.setPixelColor(100, 6, Qt::white);
    QImage padded = image.copy();
    for (int y = 0; y < padded.height(); ++y)
        padded.scanLine(y)[padded.bytesPerLine() - 1] = 0xab;
    QImage changed = image.copy();
    changed.setPixelColor(0, 0, QColor(10, 20, 31));
    const struct { const char* name; QImage other; bool same; } cases[] = {
        {"a copy", image.copy(), true},
        {"other bytes in the row padding", padded, true},
        {"one pixel differs", changed, false},
        {"the same bytes in another shape", QImage(image.constBits(), 7, 101, 21, QImage::Format_RGB888), false},
        {"the same pixels in another format", image.convertToFormat(QImage::Format_RGB32), false},
    };
    const QString key = VisionAnalysisService::cacheKey(VisionAnalysisService::deviceKeyPrefix, image);
    EXPECT_TRUE(key.startsWith(QLatin1String(VisionAnalysisService::deviceKeyPrefix)));
    for (const auto& c : cases)
        EXPECT_EQ(VisionAnalysisService::cacheKey(VisionAnalysisService::deviceKeyPrefix, c.other) == key, c.same) << c.name;
}

TEST_F(Vision, RepliesAndAddressesAreClassified)
{
    ASSERT_TRUE(server.isRunning());
    const struct { int status; QByteArray body; QString error; const char* contentType = "application/json"; } cases[] = {
        {429, R"({"detail":"x","used":3})", QStringLiteral("Daily Analyze limit reached — try again later.")},
        {503, R"({"detail":"maintenance"})", QStringLiteral("Server error (503): maintenance")},
        {502, "", QStringLiteral("Server error (502): Unknown error"), "text/plain"},
        {401, R"({"detail":"expired"})", QStringLiteral("Sign in to your Pelorin account to use Analyze (Settings → Account).")},
        {200, answer(""), QStringLiteral("The analysis answer is not valid: \"type\" must be a string")},
        {200, answer(R"(,"type":"t","x1":1.5)"), QStringLiteral("The analysis answer is not valid: \"x1\" must be an integer")},
        {200, answer(), QString()},
    };
    VisionAnalysisService service = makeService();
    int shade = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        server.script({QStringLiteral("POST"), QStringLiteral("/analyze"), c.status, c.body, QLatin1String(c.contentType)});
        const auto result = test::outcome(service.analyzeScreenshot(shot(QColor(shade++, 0, 0))));
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.error, c.error);
        if (c.error.isEmpty()) {
            EXPECT_FALSE(result.value->components.at(0).text.has_value());
        }
    }
    // A failed answer is not cached: the next attempt asks again.
    EXPECT_EQ(service.memoryCache().size(), 1u);
    // An answer past the cap keeps its first components and drops the rest.
    EXPECT_EQ(int(decodeComponentAnalysisResponse(answer(R"(,"type":"t")", maxAcceptedComponents + 1)).components.size()),
              maxAcceptedComponents);

    // The base address falls back from the analysis server to the cloud to the hosted service;
    // one that is no web address is refused before asking.
    EXPECT_EQ(service.baseURL(), server.baseUrl());
    settings.store().remove(QLatin1String(SettingsKeys::analysisServerURL));
    settings.store().setValue(QLatin1String(SettingsKeys::cloudServerURL), QStringLiteral("https://cloud.example"));
    EXPECT_EQ(service.baseURL(), QStringLiteral("https://cloud.example"));
    settings.store().remove(QLatin1String(SettingsKeys::cloudServerURL));
    EXPECT_EQ(service.baseURL(), QStringLiteral("https://api.pelorin.app"));
    for (const char* bad : {"not a url", "ftp://example.com", "http://exa mple.com"}) {
        settings.store().setValue(QLatin1String(SettingsKeys::analysisServerURL), QString::fromLatin1(bad));
        const auto result = test::outcome(service.analyzeScreenshot(shot(Qt::yellow)));
        ASSERT_TRUE(result.finished) << bad;
        EXPECT_TRUE(result.error.startsWith(QStringLiteral("The analysis server address is not a valid web address"))) << bad;
    }
    EXPECT_EQ(test::outcome(service.analyzeScreenshot(QImage())).error, QStringLiteral("Failed to convert image to PNG"));
}

TEST(ComponentMapping, ScalesShiftsAndTruncatesIntoDocumentPoints)
{
    const auto response = [](int w, int h, int x1, int y1, int x2, int y2) {
        DetectedComponent c;
        c.type = QStringLiteral("button");
        c.x1 = x1, c.y1 = y1, c.x2 = x2, c.y2 = y2;
        c.isHighlighted = true;
        return ComponentAnalysisResponse{{c}, w, h};
    };
    const int big = std::numeric_limits<int>::max();
    // `box`: none when the component is left out.
    const struct { ComponentAnalysisResponse answer; QSizeF points; double dy; std::optional<std::array<int, 4>> box; } cases[] = {
        {response(200, 100, 21, 41, 101, 61), {100, 50}, 0, std::array{10, 20, 50, 30}},  // 2x halves (10.5 → 10)
        {response(100, 50, 10, 20, 50, 30), {100, 50}, 38, std::array{10, 58, 50, 68}},   // browser frame: y only
        {response(300, 300, -5, -5, 10, 10), {100, 100}, 0, std::array{-1, -1, 3, 3}},    // toward zero
        {response(1, 1, big, 0, big, 1), {100, 100}, 0, std::nullopt},                    // beyond int
    };
    for (const auto& c : cases) {
        const auto mapped = mapToDocument(c.answer, c.points, c.dy);
        ASSERT_TRUE(mapped);
        ASSERT_EQ(mapped->size(), c.box ? 1u : 0u);
        if (c.box) {
            const DetectedComponent& m = mapped->front();
            EXPECT_EQ((std::array{m.x1, m.y1, m.x2, m.y2}), *c.box);
            EXPECT_FALSE(m.isHighlighted);
            EXPECT_NE(m.id, c.answer.components[0].id);
        }
    }
    EXPECT_FALSE(mapToDocument(response(0, 100, 1, 1, 2, 2), {100, 100}, 0));
}

TEST(ComponentTexts, ReadInReadingOrderWithColumnsKeptTogether)
{
    const auto at = [](const char* text, int x, int y, int w = 80, int h = 16) {
        DetectedComponent c;
        c.text = QString::fromUtf8(text);
        c.x1 = x, c.y1 = y, c.x2 = x + w, c.y2 = y + h;
        return c;
    };
    struct Case { const char* name; std::vector<DetectedComponent> components; const char* expected; };
    const std::vector<Case> cases = {
        {"a side column is read to its end before the main one",
         {at("Main 1", 300, 5), at("Side 1", 0, 0), at("Side 2", 0, 30), at("Main 2", 300, 35), at("Side 3", 0, 60)},
         "Side 1|Side 2|Side 3|Main 1|Main 2"},
        {"a bar across both columns comes first", {at("Side", 0, 50), at("Main", 300, 50), at("Title", 0, 0, 500)},
         "Title|Side|Main"},
        {"a table row left to right, then the next row",
         {at("Bo", 0, 30, 60), at("2", 70, 32, 20), at("Ann", 0, 0, 60), at("1", 70, 2, 20)}, "Ann|1|Bo|2"},
        {"a button's text is its label's, taken once",
         {at("Save", 20, 10, 40), at("Save", 0, 0, 100, 36), at("Cancel", 0, 50, 100, 36)}, "Save|Cancel"},
        {"a label reaching past its button's edge is still its label", {at("Go", 70, 10, 40), at("Go", 0, 0, 100, 36)}, "Go"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textsInReadingOrder(c.components).join(u'|').toStdString(), c.expected) << c.name;
}
