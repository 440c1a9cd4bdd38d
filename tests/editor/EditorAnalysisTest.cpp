#include "CloudTestServer.h"
#include "EditorFixture.h"
#include "MemoryPasteboard.h"

#include "platform/TokenStore.h"
#include "detection/VisionAnalysisService.h"
#include "platform/SettingsKeys.h"

using namespace pelorin;
using test::CloudTestServer;

namespace {

const SceneState tilted{0.4f, -0.2f, true};

class Analysis : public test::EditorFixture {
protected:
    Analysis()
    {
        settings.store().setValue(QLatin1String(SettingsKeys::analysisProvider), QStringLiteral("cloud"));
        settings.store().setValue(QLatin1String(SettingsKeys::analysisServerURL), server.baseUrl());
        server.addSession(QStringLiteral("tok-1"), QStringLiteral("me@example.com"));
        editor->setTokenStore(&tokens);
        editor->setPasteboard(pasteboard);
        editor->setSettingsOpener([this](const QString& section) { openedSettings.append(section); });
        editor->setUrlOpener([this](const QUrl& url) {
            openedUrls.append(url);
            return hasBrowser;
        });
    }
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }
    // A screenshot of its own colour, so no two tests share a cache entry.
    void load(QColor color, double scale = 1.0)
    {
        editor->loadImage(solidImage({200, 100}, scale, color), SourceType::clipboard, false);
        editor->setSceneState(tilted);
    }
    void analyze(bool start = true)
    {
        if (start)
            editor->analyzeComponents();
        ASSERT_TRUE(test::waitUntil([&] { return !editor->isAnalyzing(); }, 30'000));
    }
    int requests() { return server.count(QStringLiteral("POST"), QStringLiteral("/analyze")); }
    static DetectedComponent component(std::optional<QString> text, QString label = QStringLiteral("Label"))
    {
        return {.label = std::move(label), .text = std::move(text), .type = QStringLiteral("text"),
                .x1 = 10, .y1 = 20, .x2 = 110, .y2 = 60};
    }

    CloudTestServer server;
    MemoryTokenStore tokens{QStringLiteral("tok-1")};
    test::MemoryPasteboard pasteboard;
    QStringList openedSettings;
    QList<QUrl> openedUrls;
    bool hasBrowser = true;
};

} // namespace

// Whichever analysis finishes last sets the list; a second start keeps the tilt the first saved.
TEST_F(Analysis, FlattensThenPublishesBoxesInDocumentPointsAndTheLastToFinishWins)
{
    load(Qt::darkMagenta);
    const QByteArray slow = R"({"components":[{"label":"slow","type":"t","x1":0,"y1":0,"x2":5,"y2":5}],"image_width":200,"image_height":100})";
    server.script({QStringLiteral("POST"), QStringLiteral("/analyze"), 200, slow, QStringLiteral("application/json"), 1.0});
    editor->analyzeComponents();
    ASSERT_TRUE(test::waitUntil([&] { return requests() == 1; }));
    editor->analyzeComponents();
    ASSERT_TRUE(test::waitUntil([&] { return !editor->detectedComponents().empty(); }, 30'000));
    EXPECT_EQ(editor->detectedComponents()[0].label, QStringLiteral("OK button"));
    EXPECT_TRUE(editor->isAnalyzing()); // the slow one still runs
    analyze(false);
    EXPECT_EQ(editor->detectedComponents()[0].label, QStringLiteral("slow"));
    editor->clearComponentAnalysis();
    EXPECT_EQ(editor->sceneState(), tilted);

    load(QColor(1, 2, 3), 2.0); // 200 × 100 pixels, 100 × 50 points: the answer is halved
    editor->analyzeComponents();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    analyze(false);
    ASSERT_EQ(editor->detectedComponents().size(), 1u);
    const DetectedComponent& c = editor->detectedComponents()[0];
    EXPECT_EQ((std::array{c.x1, c.y1, c.x2, c.y2}), (std::array{5, 10, 55, 30}));
    EXPECT_TRUE(editor->showComponentOverlay());
    EXPECT_EQ(editor->sceneState(), SceneState{}); // not restored on success

    // In a browser frame every y moves down by what the frame adds; x stays. Same pixels: no request.
    BrowserChromeSettings chrome;
    chrome.isEnabled = true;
    editor->setBrowserChrome(chrome);
    const double dy = editor->document()->imagePointSize().height() - 50;
    ASSERT_GT(dy, 0);
    analyze();
    ASSERT_EQ(editor->detectedComponents().size(), 1u);
    const DetectedComponent& framed = editor->detectedComponents()[0];
    EXPECT_EQ((std::array{framed.x1, framed.y1, framed.x2, framed.y2}),
              (std::array{5, int(10 + dy), 55, int(30 + dy)}));
    EXPECT_EQ(requests(), 3);

    // Clearing restores the tilt the first analysis saved.
    editor->clearComponentAnalysis();
    EXPECT_TRUE(editor->detectedComponents().empty());
    EXPECT_FALSE(editor->showComponentOverlay());
    EXPECT_EQ(editor->sceneState(), tilted);
}

// A failure is reported and the tilt comes back; signed out, only the analysis on this computer runs.
TEST_F(Analysis, FailuresAreReportedAndTheTiltComesBackAndOnThisComputerNoAccountIsNeeded)
{
    const struct { int status; QByteArray body; QString message; } cases[] = {
        {429, R"({"detail":"You used all 50 analyses today."})", QStringLiteral("You used all 50 analyses today.")},
        {500, "database on fire", QStringLiteral("Analysis failed: Server error (500): database on fire")},
        {200, R"({"components":[],"image_width":0,"image_height":100})",
         QStringLiteral("Analysis failed: Invalid response from vision server")},
        {401, R"({"detail":"expired"})", QStringLiteral("Your Pelorin sign-in expired — sign in again in Settings → Account.")},
    };
    int shade = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        load(QColor(shade++, 0, 0));
        server.script({QStringLiteral("POST"), QStringLiteral("/analyze"), c.status, c.body,
                       c.status == 500 ? QStringLiteral("text/plain") : QStringLiteral("application/json")});
        analyze();
        EXPECT_EQ(editor->errorMessage(), c.message);
        EXPECT_TRUE(editor->detectedComponents().empty());
        EXPECT_FALSE(editor->showComponentOverlay());
        EXPECT_EQ(editor->sceneState(), tilted);
    }

    // The rejected session is forgotten: the next Analyze opens the settings instead.
    EXPECT_FALSE(tokens.token());
    editor->analyzeComponents();
    EXPECT_FALSE(editor->isAnalyzing());
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("Sign in to use Analyze — opening Settings → Account."));
    EXPECT_EQ(openedSettings, QStringList{QStringLiteral("Account")});
    EXPECT_EQ(requests(), 4);

    // Without a document nothing happens at all.
    editor->clearDocument();
    editor->clearErrorMessage();
    editor->analyzeComponents();
    EXPECT_EQ(editor->errorMessage(), QString());
    EXPECT_EQ(openedSettings.size(), 1);

    // On this computer no account is needed. A line of text, and a button labelled by its white text.
    settings.store().setValue(QLatin1String(SettingsKeys::analysisProvider), QStringLiteral("device"));
    const QImage image(QStringLiteral(PELORIN_TEST_DATA "/analysis-invoice.png"));
    ASSERT_FALSE(image.isNull());
    editor->loadImage(image, SourceType::clipboard, false);
    analyze();
    EXPECT_EQ(editor->errorMessage(), QString());
    EXPECT_EQ(openedSettings.size(), 1);
    EXPECT_EQ(requests(), 4);
    QStringList found;
    for (const DetectedComponent& c : editor->detectedComponents())
        found << c.type + u':' + c.label + u':' + c.text.value_or(QString());
    for (const char* expected : {"button:Submit:Submit", "text:Submit:Submit", "text:Invoice number 4271:Invoice number 4271"})
        EXPECT_TRUE(found.contains(QLatin1String(expected))) << found.join(u'|').toStdString();
    // Cached under the device prefix only.
    const auto cached = [&](const char* prefix) {
        const QString key = VisionAnalysisService::cacheKey(prefix, editor->document()->baseImage);
        return editor->visionService().memoryCache().count(key);
    };
    EXPECT_EQ(cached(VisionAnalysisService::deviceKeyPrefix), 1u);
    EXPECT_EQ(cached(VisionAnalysisService::serverKeyPrefix), 0u);
}

// Copy All takes the non-empty texts; one row's copy falls back to the label when the text is
// empty; a search escapes every reserved character. Redacting a component adds a black box over it and leaves the selection.
TEST_F(Analysis, ComponentsAreCopiedSearchedAndRedacted)
{
    load(Qt::gray);
    editor->setDetectedComponents({component(QStringLiteral("a")), component(QStringLiteral("b"))});
    EXPECT_TRUE(editor->copyAllComponentText());
    EXPECT_EQ(pasteboard.string, QStringLiteral("a\nb"));

    editor->setDetectedComponents({component(QStringLiteral("OK")), component(std::nullopt), component(QString())});
    EXPECT_TRUE(editor->copyAllComponentText());
    EXPECT_EQ(pasteboard.string, QStringLiteral("OK"));

    const int changes = pasteboard.changes;
    editor->setDetectedComponents({component(std::nullopt), component(QString())});
    EXPECT_FALSE(editor->copyAllComponentText());
    EXPECT_EQ(pasteboard.changes, changes);

    EXPECT_TRUE(editor->copyComponentText(component(QString(), QStringLiteral("Save button"))));
    EXPECT_EQ(pasteboard.string, QStringLiteral("Save button"));
    editor->searchComponentText(QStringLiteral("C++ & more"));
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(openedUrls[0].toEncoded(), "https://www.google.com/search?q=C%2B%2B%20%26%20more");
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    hasBrowser = false;
    editor->searchComponentText(QStringLiteral("Save"));
    EXPECT_TRUE(editor->errorMessage().startsWith(QLatin1String("Could not open a web browser"))) << "a failed search says so";

    const QUuid selected = QUuid::createUuid();
    editor->setSelectedAnnotationId(selected);
    const DetectedComponent c = component(QStringLiteral("secret"));
    editor->setDetectedComponents({c});

    editor->toggleComponentRedaction(c);
    ASSERT_EQ(editor->document()->annotations.size(), 1u);
    const auto& redact = std::get<RedactAnnotation>(editor->document()->annotations[0]);
    EXPECT_EQ(std::tuple(redact.position, redact.size, redact.color, redact.redactStyle, redact.cornerRadius, redact.isSelected),
              std::tuple(QPointF(10, 20), QSizeF(100, 40), QColor(Qt::black), RedactStyle::solid, 4.0, false));
    EXPECT_EQ(editor->selectedAnnotationId(), selected);
    EXPECT_TRUE(editor->componentIsRedacted(c.id));

    editor->toggleComponentRedaction(c);
    EXPECT_TRUE(editor->document()->annotations.empty());
    EXPECT_FALSE(editor->componentIsRedacted(c.id));
    EXPECT_EQ(editor->selectedAnnotationId(), selected);

    // Deleted by other means, the component still counts as redacted; the next toggle only forgets it.
    editor->toggleComponentRedaction(c);
    editor->removeAnnotation(annotationId(editor->document()->annotations[0]));
    EXPECT_TRUE(editor->componentIsRedacted(c.id));
    editor->toggleComponentRedaction(c);
    EXPECT_FALSE(editor->componentIsRedacted(c.id));
    EXPECT_TRUE(editor->document()->annotations.empty());

    // Clearing the analysis keeps the redaction in the image, but it is no longer the component's.
    editor->toggleComponentRedaction(c);
    editor->clearComponentAnalysis();
    EXPECT_EQ(editor->document()->annotations.size(), 1u);
    EXPECT_FALSE(editor->componentIsRedacted(c.id));
}
