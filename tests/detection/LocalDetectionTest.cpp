#include "core/Fonts.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "detection/ElementDetectionService.h"

#include <gtest/gtest.h>

#include <QFuture>
#include <QPainter>
#include <QtConcurrent>

#include <cmath>

using namespace pelorin;
namespace eds = pelorin::ElementDetectionService;

namespace {

// A screen drawn at twice its point size, white and antialiased.
struct Screen {
    QImage image;
    QPainter p;
    Screen(int width, int height)
        : image(width, height, QImage::Format_ARGB32_Premultiplied)
    {
        image.fill(Qt::white);
        p.begin(&image);
        p.setRenderHint(QPainter::Antialiasing);
    }
    void fill(const QRectF& box, QColor colour, double xRadius, double yRadius)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(box, xRadius, yRadius);
    }
    void text(QColor colour, FontWeight weight, int size, QPointF at, const char* text)
    {
        p.setPen(colour);
        p.setFont(textFont(TextDesign::standard, weight, false, size));
        p.drawText(at, QString::fromUtf8(text));
    }
    // A light event chip whose coloured left edge is part of its rounded fill.
    void edgedChip(const QRectF& chip)
    {
        fill(chip, QColor(22, 163, 74), 12, 12);
        fill(chip.adjusted(6, 0, 0, 0), QColor(217, 244, 228), 6, 12);
    }
    QImage finish()
    {
        p.end();
        image.setDevicePixelRatio(2);
        return image;
    }
};

// Spaced like a web page: a name and an address set beside a round avatar, a filled button
// with white text, and a row of icon-like marks that carry no text.
QImage profile()
{
    Screen s(1200, 500);
    s.fill(QRectF(40, 40, 80, 80), QColor(219, 39, 119), 40, 40);
    s.text(QColor(17, 24, 39), FontWeight::bold, 26, {150, 70}, "Ana Moreno");
    s.text(QColor(100, 110, 125), FontWeight::regular, 24, {150, 108}, "moreno@halcyon.io");
    const QRectF button(40, 220, 320, 80);
    s.fill(button, QColor(37, 99, 235), 12, 12);
    s.p.setPen(Qt::white);
    s.p.setFont(textFont(TextDesign::standard, FontWeight::semibold, false, 28));
    s.p.drawText(button, Qt::AlignCenter, QStringLiteral("Merge contacts"));
    s.p.setPen(QPen(QColor(60, 60, 60), 4));
    for (int i = 0; i < 4; ++i)
        s.p.drawLine(QPointF(500 + i * 60, 400), QPointF(500 + i * 60, 440));
    return s.finish();
}

// A calendar event chip: a white title and lighter details on a saturated fill, a darker bar
// down its edge.
QImage eventChip()
{
    Screen s(600, 300);
    s.fill(QRectF(40, 40, 320, 170), QColor(79, 70, 229), 12, 12);
    s.fill(QRectF(40, 46, 8, 158), QColor(49, 46, 129), 0, 0);
    s.text(Qt::white, FontWeight::bold, 24, {60, 76}, "Quarterly planning");
    s.text(QColor(224, 231, 255), FontWeight::regular, 22, {60, 108}, "10:30 AM - 12:00 PM");
    s.text(QColor(224, 231, 255), FontWeight::regular, 22, {60, 138}, "Board room, 5th floor");
    return s.finish();
}

// A week calendar's grid at full screen size with light event chips: the box found for the
// two-line one began inside its first letter; the one-line one's coloured edge, taller than
// its text, was read as "(" or "[" before the first word, or fused with the first letter.
QImage calendarWeek()
{
    Screen s(2880, 1800);
    s.p.setPen(QPen(QColor(229, 231, 235), 2));
    for (int x = 640; x < 2880; x += 320)
        s.p.drawLine(x, 0, x, 1800);
    for (int y = 100; y < 1800; y += 120)
        s.p.drawLine(0, y, 2880, y);
    s.edgedChip(QRectF(1296, 908, 300, 56));
    s.edgedChip(QRectF(656, 962, 300, 116));
    s.text(QColor(20, 83, 45), FontWeight::bold, 18, {676, 1000}, "Lunch with Priya");
    s.text(QColor(20, 83, 45), FontWeight::regular, 16, {676, 1032}, "Room 4B");
    s.text(QColor(20, 83, 45), FontWeight::bold, 18, {1317, 945}, "Standup 9:00");
    return s.finish();
}

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

// Each screen's lines read whole, in order, and nothing read from marks. The screens are
// analysed at once: engines are lent between threads, and analyses running together must
// not share one.
TEST(DeviceAnalysis, ReadsEveryLineWholeWithAnalysesRunningAtOnce)
{
    // `all` false: these lines once each among others.
    const struct { const char* name; QImage image; const char* lines; bool all; } cases[] = {
        // Layout analysis had cut the button's label inside a word.
        {"lines beside shapes and on a filled button", profile(), "moreno@halcyon.io|Merge contacts", false},
        // The page-wide search sees a saturated fill as ink as much as the letters: it lost the
        // title and read the details in pieces.
        {"white text on a saturated chip", eventChip(), "Quarterly planning|10:30 AM - 12:00 PM|Board room, 5th floor", true},
        // The chip's own search cut the first letter ("_unch with Priya").
        {"chips whose box starts inside the text or holds their edge", calendarWeek(),
         "Standup 9:00|Lunch with Priya|Room 4B", true},
    };
    std::vector<QFuture<QStringList>> readings;
    for (const auto& c : cases)
        readings.push_back(QtConcurrent::run([&c] {
            QStringList texts;
            for (const DetectedComponent& component : DeviceComponentAnalyzer::analyze(c.image).components)
                if (component.type == QLatin1String("text"))
                    texts.append(component.text.value_or(QString()));
            return texts;
        }));
    for (size_t i = 0; i < readings.size(); ++i) {
        const QStringList texts = readings[i].result();
        SCOPED_TRACE(std::string(cases[i].name) + ": " + texts.join(u'|').toStdString());
        if (cases[i].all) {
            EXPECT_EQ(texts.join(u'|').toStdString(), cases[i].lines);
        }
        for (const QString& line : QString::fromUtf8(cases[i].lines).split(u'|')) {
            const QStringList found = texts.filter(line.section(u' ', 0, 0));
            EXPECT_EQ(found.size(), 1) << line.toStdString();
            EXPECT_TRUE(found.value(0).startsWith(line)) << line.toStdString();
        }
        for (const QString& text : texts)
            EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); })) << text.toStdString();
    }
}

TEST(DeviceAnalysis, TypesBoxesFromTheirCues)
{
    using C = DeviceComponentAnalyzer::BoxCues;
    struct Case { const char* name; C cues; const char* type; };
    // width, height, lines, boxes inside, first line's length, its left and right gaps, filled,
    // spread, share near the commonest shade
    const std::vector<Case> cases = {
        {"a filled button with a centred label", C{120, 36, 1, 0, 11, 30, 31, true, 40, 0.8}, "button"},
        {"an outlined button", C{80, 30, 1, 0, 6, 12, 12, false, 30, 0.9}, "button"},
        {"a button holding its label's plate", C{110, 46, 1, 2, 10, 15, 15, true, 54, 0.65}, "button"},
        {"a long sentence on a fill is no button", C{340, 36, 1, 0, 60, 14, 16, true, 40, 0.8}, "element"},
        {"an outlined field with a placeholder", C{300, 36, 1, 0, 14, 12, 180, false, 20, 0.9}, "text field"},
        {"a one-line bar on a fill (a list row, a toast) is no field", C{300, 36, 1, 0, 14, 12, 180, true, 20, 0.9}, "element"},
        {"an empty outlined box says nothing", C{300, 36, 0, 0, 0, 0, 0, false, 1, 1}, "element"},
        {"a native check box", C{16, 16, 0, 0, 0, 0, 0, false, 30, 0.5}, "checkbox"},
        {"a switch", C{36, 20, 0, 0, 0, 0, 0, true, 60, 0.6}, "checkbox"},
        {"an avatar with initials", C{40, 40, 1, 0, 2, 10, 10, true, 50, 0.8}, "icon"},
        {"a round icon button is not told from an unread avatar", C{38, 38, 0, 0, 0, 0, 0, true, 52, 0.85}, "element"},
        {"a thumbnail", C{44, 44, 0, 0, 0, 0, 0, true, 30, 0.1}, "image"},
        {"a product picture with a badge", C{260, 180, 1, 1, 4, 10, 200, true, 45, 0.1}, "image"},
        {"a card of lines", C{260, 160, 4, 1, 20, 14, 60, false, 50, 0.8}, "container"},
        {"a row of controls", C{290, 42, 2, 0, 8, 1, 240, true, 33, 0.77}, "element"},
        {"a card cut at its picture", C{267, 166, 5, 1, 22, 14, 60, true, 78, 0.77}, "element"},
        {"an empty even panel", C{300, 200, 0, 0, 0, 0, 0, true, 2, 1}, "element"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeviceComponentAnalyzer::classify(c.cues).toStdString(), c.type) << c.name;
}

TEST(DeviceAnalysis, NoiseReadingsAreNotLabels)
{
    namespace dca = DeviceComponentAnalyzer;
    const std::vector<std::pair<dca::Reading, bool>> cases = {
        {{QStringLiteral("Merge contacts"), 91}, true},
        {{QStringLiteral("coffee"), 90}, true},
        {{QStringLiteral("Merge contacts"), 70}, true},
        {{QStringLiteral("Merge contacts"), 69}, false}, // unsure
        {{QStringLiteral("rcecccccco"), 90}, false},     // one letter over and over
        {{QStringLiteral("Mmmm"), 90}, false},
        {{QStringLiteral("_| ,__"), 90}, false},         // marks
        {{QStringLiteral("(@ Columns"), 90}, true},
        {{QString(), 90}, false},
    };
    for (const auto& [reading, expected] : cases)
        EXPECT_EQ(dca::readable(reading), expected) << reading.text.toStdString() << " " << reading.confidence;
    EXPECT_EQ(dca::typeName(QStringLiteral("text field")), QStringLiteral("Text field"));
}

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
    const QRectF button(60, 250, 150, 44), field(60, 170, 320, 40);
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
    // Most of a line lies in one box.
    const auto covers = [](const QRectF& truth) {
        return [truth](const QRectF& r) {
            const QRectF common = r.intersected(truth);
            return common.width() * common.height() >= 0.8 * truth.width() * truth.height();
        };
    };
    EXPECT_TRUE(overlapsOne(found, button));
    EXPECT_TRUE(overlapsOne(found, field));
    EXPECT_TRUE(any(covers(line1)) && any(covers(line2)));
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
