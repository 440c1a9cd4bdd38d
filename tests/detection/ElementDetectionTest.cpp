#include "core/Fonts.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "detection/ElementDetectionService.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>

using namespace pelorin;
namespace eds = pelorin::ElementDetectionService;

namespace {

const QSizeF screen(1000, 800);

// An outline given in points of `screen`, normalised as the contour finder reports it.
Contour outline(const std::vector<QPointF>& points, std::vector<Contour> children = {})
{
    Contour contour{{}, std::move(children)};
    for (const QPointF& p : points)
        contour.points.emplace_back(p.x() / screen.width(), p.y() / screen.height());
    return contour;
}

Contour rectangle(const QRectF& r, std::vector<Contour> children = {})
{
    return outline({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}, std::move(children));
}

std::string describe(const QRectF& r)
{
    return (QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())).toStdString();
}

// The boxes found, in order, each within a hundredth of a point of the one expected.
void expectBoxes(const std::vector<QRectF>& found, const std::vector<QRectF>& expected)
{
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        const QRectF& e = expected[i];
        EXPECT_TRUE(found[i].adjusted(-0.01, -0.01, 0.01, 0.01).contains(e) && e.adjusted(-0.01, -0.01, 0.01, 0.01).contains(found[i]))
            << i << ": " << describe(found[i]);
    }
}

bool overlapsOne(const std::vector<QRectF>& boxes, const QRectF& r)
{
    return std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) { return eds::intersectionOverUnion(b, r) > 0.8; });
}

} // namespace

// Words (normalised, as the text detector reports them) grow into boxes with clusters of
// those within reach; every box is clipped to the screen, thin and near-duplicate ones go,
// and the largest 80 remain, largest first.
TEST(ElementDetection, WordsAreClusteredAndBoxesClippedAndDeduplicated)
{
    const auto word = [](double x, double y) { return QRectF(x / screen.width(), y / screen.height(), 0.04, 0.02); };
    std::vector<QRectF> many, largest;
    for (int i = 0; i < 100; ++i)
        many.emplace_back((i % 10) * 100, (i / 10) * 80, 20 + i * 0.5, 20);
    largest.assign(many.rbegin(), many.rbegin() + 80);
    // `words`: normalised word boxes, combined; otherwise boxes in points, deduplicated.
    const struct { const char* name; bool words; std::vector<QRectF> input; std::vector<QRectF> expected; } cases[] = {
        {"three words 20 apart: one cluster plus the words", true, {word(100, 100), word(160, 100), word(220, 100)},
         {QRectF(86, 86, 188, 44), QRectF(96, 96, 48, 24), QRectF(156, 96, 48, 24), QRectF(216, 96, 48, 24)}},
        {"a single word: no cluster", true, {word(100, 100)}, {QRectF(96, 96, 48, 24)}},
        {"words too far apart to group", true, {word(100, 100), word(300, 100)}, {QRectF(96, 96, 48, 24), QRectF(296, 96, 48, 24)}},
        {"lines 31 apart once grown are within reach", true, {word(100, 100), word(100, 155)},
         {QRectF(86, 86, 68, 99), QRectF(96, 96, 48, 24), QRectF(96, 151, 48, 24)}},
        {"lines 33 apart once grown are not", true, {word(100, 100), word(100, 157)}, {QRectF(96, 96, 48, 24), QRectF(96, 153, 48, 24)}},
        {"a bridge found in a later pass joins all three", true, {word(100, 100), word(300, 100), word(200, 100)},
         {QRectF(86, 86, 268, 44), QRectF(96, 96, 48, 24), QRectF(296, 96, 48, 24), QRectF(196, 96, 48, 24)}},
        {"IoU 0.85 keeps only the larger", false, {QRectF(0, 0, 100, 85), QRectF(0, 0, 100, 100)}, {QRectF(0, 0, 100, 100)}},
        {"IoU exactly 0.8 keeps both", false, {QRectF(0, 0, 100, 80), QRectF(0, 0, 100, 100)},
         {QRectF(0, 0, 100, 100), QRectF(0, 0, 100, 80)}},
        {"clipped to the screen", false, {QRectF(-50, 780, 200, 100)}, {QRectF(0, 780, 150, 20)}},
        {"too thin once clipped", false, {QRectF(990, 10, 40, 40), QRectF(10, 795, 40, 40)}, {}},
        {"outside the screen", false, {QRectF(1200, 10, 40, 40)}, {}},
        {"equal areas keep their order", false, {QRectF(0, 0, 40, 20), QRectF(100, 100, 20, 40)},
         {QRectF(0, 0, 40, 20), QRectF(100, 100, 20, 40)}},
        {"100 separate boxes", false, many, largest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectBoxes(c.words ? eds::combine({c.input, {}}, screen) : eds::dedupe(c.input, screen), c.expected);
    }
}

TEST(ElementDetection, OutlinesThatLookLikeBoxes)
{
    std::vector<QPointF> star; // five spikes: ten corners
    for (int i = 0; i < 10; ++i)
        star.push_back(QPointF(500, 400) + (i % 2 ? 40 : 100) * QPointF(std::cos(M_PI * i / 5), std::sin(M_PI * i / 5)));
    struct Case { const char* name; Contour contour; std::optional<QRectF> expected; };
    const Case cases[] = {
        {"a button", rectangle({200, 200, 100, 40}), QRectF(200, 200, 100, 40)},
        {"rounded corners are within the tolerance",
         outline({{100, 110}, {103, 103}, {110, 100}, {190, 100}, {197, 103}, {200, 110}, {200, 190}, {197, 197}, {190, 200},
                  {110, 200}, {103, 197}, {100, 190}}),
         QRectF(103, 103, 94, 94)},
        {"fewer than four points", outline({{200, 200}, {300, 200}, {250, 260}}), std::nullopt},
        {"a 200 x 8 divider", rectangle({100, 400, 200, 8}), std::nullopt},
        {"narrower than 24", rectangle({100, 400, 23, 100}), std::nullopt},
        {"70 % of the screen", rectangle({0, 0, 875, 640}), std::nullopt},
        {"59 % of the screen is still a box", rectangle({0, 0, 750, 629}), QRectF(0, 0, 750, 629)},
        {"big enough but under 0.1 % of the screen", rectangle({10, 10, 30, 20}), std::nullopt},
        {"aspect just under 20 is allowed", rectangle({10, 10, 399, 20}), QRectF(10, 10, 399, 20)},
        {"aspect above 20 is a rule", rectangle({10, 10, 420, 20}), std::nullopt},
        {"a five-pointed star", outline(star), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QRectF> box = eds::boxRect(c.contour, screen);
        expectBoxes(box ? std::vector{*box} : std::vector<QRectF>{}, c.expected ? std::vector{*c.expected} : std::vector<QRectF>{});
    }

    // Outlines nested deeper than grandchildren are not visited.
    const Contour nested = rectangle(
        {10, 10, 600, 600},
        {rectangle({20, 20, 500, 500}, {rectangle({30, 30, 400, 400}, {rectangle({40, 40, 300, 300})})})});
    std::vector<QRectF> boxes;
    eds::collectBoxRects(nested, 0, screen, boxes);
    ASSERT_EQ(boxes.size(), 3u);
    expectBoxes({boxes[2]}, {QRectF(30, 30, 400, 400)});
}

// A 2x screenshot of a small form, 600 x 400 points: the button and the field are found, the
// two lines of text are covered and grouped; no bitmap or no size finds nothing.
TEST(ElementDetection, FindsTheButtonTheFieldAndTheTextOfAScreen)
{
    loadBundledFonts();
    QImage image(1200, 800, QImage::Format_RGB32);
    image.fill(QColor(247, 248, 250));
    setPointResolution(image);
    const QRectF button(60, 250, 150, 44);
    const QRectF field(60, 170, 320, 40);
    const QString text1 = QStringLiteral("Sign in to keep your drafts in sync");
    const QString text2 = QStringLiteral("across every computer you work on.");
    const QFont font = textFont(TextDesign::standard, FontWeight::regular, false, 16);
    const QRectF line1 = pointMetrics(font).tightBoundingRect(text1).translated(60, 76);
    const QRectF line2 = pointMetrics(font).tightBoundingRect(text2).translated(60, 102);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(2, 2);
        p.setFont(font);
        p.setPen(QColor(30, 30, 35));
        p.drawText(QPointF(60, 76), text1);
        p.drawText(QPointF(60, 102), text2);
        p.setPen(QPen(QColor(200, 203, 210), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(field, 6, 6);
        p.setPen(QColor(120, 124, 130));
        p.drawText(field.adjusted(12, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Email address"));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(37, 99, 235));
        p.drawRoundedRect(button, 8, 8);
        p.setPen(Qt::white);
        p.setFont(textFont(TextDesign::standard, FontWeight::semibold, false, 16));
        p.drawText(button, Qt::AlignCenter, QStringLiteral("Continue"));
    }
    image.setDevicePixelRatio(2);

    const std::vector<QRectF> found = eds::detect(image, QSizeF(600, 400));
    const auto any = [&](const std::function<bool(const QRectF&)>& predicate) {
        return std::any_of(found.begin(), found.end(), predicate);
    };
    const auto covers = [](const QRectF& truth) {
        return [truth](const QRectF& r) {
            const QRectF common = r.intersected(truth);
            return common.width() * common.height() >= 0.8 * truth.width() * truth.height();
        };
    };
    EXPECT_TRUE(overlapsOne(found, button));
    EXPECT_TRUE(overlapsOne(found, field));
    EXPECT_TRUE(any(covers(line1)));
    EXPECT_TRUE(any(covers(line2)));
    EXPECT_TRUE(any([&](const QRectF& r) { return r.contains(line1.united(line2)) && !r.intersects(field); })) << "one group";
    EXPECT_TRUE(eds::detectElements(QImage(), QSizeF(600, 400)).result().empty());
    EXPECT_TRUE(eds::detectElements(image, QSizeF(0, 400)).result().empty());
}

// Outlines the box filter turns down still hide text from layout analysis unless they are
// painted out, and are read as text themselves: a frame round most of the screen, a thin
// outlined divider. What the screen shows without the outline must be found with it, and
// nothing is offered for the outline itself (nor anything of 60 % of the screen or more).
TEST(ElementDetection, OutlinesTheFilterTurnsDownNeitherHideTextNorReadAsText)
{
    loadBundledFonts();
    struct Case { const char* name; QSize size; QRectF outline; std::vector<std::pair<QPointF, QString>> words; };
    const std::vector<std::pair<QPointF, QString>> form = {
        {{60, 80}, QStringLiteral("Shipping address")}, {{60, 160}, QStringLiteral("Full name")},
        {{60, 240}, QStringLiteral("Street and number")}, {{420, 160}, QStringLiteral("Country")}};
    const std::vector<Case> cases = {
        {"a frame round a whole form", {800, 500}, QRectF(0.5, 0.5, 799, 499), form},
        {"an outline of 70 % of the screen", {700, 450}, QRectF(15.5, 15.5, 670, 420), form},
        {"a word above a 200 x 8 divider", {500, 200}, QRectF(40.5, 120.5, 200, 8), {{QPointF(100, 110), QStringLiteral("Details")}}},
        {"a word beside a 200 x 8 divider", {500, 200}, QRectF(40.5, 100.5, 200, 8), {{QPointF(260, 110), QStringLiteral("Details")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto draw = [&](bool withOutline) {
            QImage image(c.size, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setFont(textFont(TextDesign::standard, FontWeight::regular, false, 14));
            for (const auto& [at, text] : c.words)
                p.drawText(at, text);
            p.setPen(QColor(120, 120, 120));
            if (withOutline)
                p.drawRect(c.outline);
            p.end();
            return eds::detect(image, QSizeF(c.size));
        };
        const std::vector<QRectF> plain = draw(false);
        const std::vector<QRectF> outlined = draw(true);
        ASSERT_FALSE(plain.empty());
        for (const QRectF& wanted : plain)
            EXPECT_TRUE(overlapsOne(outlined, wanted)) << "lost " << describe(wanted);
        for (const QRectF& r : outlined) {
            EXPECT_LT(r.width() * r.height(), 0.6 * c.size.width() * c.size.height()) << describe(r);
            EXPECT_TRUE(!r.intersects(c.outline) || overlapsOne(plain, r)) << "offered " << describe(r);
        }
    }
}

// Any picture the app can open is detected and analysed to the end, with few or no
// findings, or refused in one line; no library exception escapes.
TEST(ExtremeImages, ThinStripsAndSpecksFinishWithoutEscapingExceptions)
{
    const QSize sizes[] = {{2048, 1}, {3840, 1}, {1, 2560}, {16384, 2}, {20000, 1}, {1, 1}, {3, 2}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int x = 0; x < size.width(); x += 7)
            image.setPixel(x, 0, 0xff000000);
        EXPECT_NO_THROW(eds::detect(image, image.deviceIndependentSize()));
        try {
            const ComponentAnalysisResponse response = DeviceComponentAnalyzer::analyze(image);
            EXPECT_EQ(response.imageWidth, size.width());
        } catch (const DeviceComponentAnalyzer::AnalysisFailed& failure) {
            EXPECT_FALSE(QByteArray(failure.what()).contains('\n'));
        }
    }
}
