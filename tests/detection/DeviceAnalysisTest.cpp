#include "detection/DeviceComponentAnalyzer.h"

#include "core/Fonts.h"

#include <gtest/gtest.h>

#include <QFuture>
#include <QPainter>
#include <QtConcurrent>

using namespace pelorin;

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
// one with text began inside its first letter.
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
    return s.finish();
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
        {"a chip whose box starts inside the text", calendarWeek(), "Lunch with Priya|Room 4B", true},
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

// A line cut from a one-line chip holds the chip's coloured edge, taller than the text: it
// was read as "(" or "[" before the first word, or fused with the first letter.
TEST(DeviceAnalysis, ReadsALineWithoutTheEdgeOfItsChip)
{
    Screen line(300, 62);
    line.edgedChip(QRectF(3, 3, 330, 56));
    line.text(QColor(20, 83, 45), FontWeight::bold, 18, {24, 40}, "Standup 9:00");
    line.p.end();
    EXPECT_EQ(DeviceComponentAnalyzer::recognizeLine(line.image).text.toStdString(), "Standup 9:00");
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
