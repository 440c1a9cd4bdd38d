#include "detection/DeviceComponentAnalyzer.h"

#include "core/Fonts.h"

#include <gtest/gtest.h>

#include <QFuture>
#include <QPainter>
#include <QtConcurrent>

using namespace pelorin;

namespace {

// A 2x screen spaced like a web page: a name and an address set beside a round avatar, a filled button with white
// text, and a row of icon-like marks that carry no text.
QImage screen()
{
    QImage image(1200, 500, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(219, 39, 119));
    p.drawEllipse(QRectF(40, 40, 80, 80));
    p.setPen(QColor(17, 24, 39));
    p.setFont(textFont(TextDesign::standard, FontWeight::bold, false, 26));
    p.drawText(QPointF(150, 70), QStringLiteral("Ana Moreno"));
    p.setPen(QColor(100, 110, 125));
    p.setFont(textFont(TextDesign::standard, FontWeight::regular, false, 24));
    p.drawText(QPointF(150, 108), QStringLiteral("moreno@halcyon.io"));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(37, 99, 235));
    const QRectF button(40, 220, 320, 80);
    p.drawRoundedRect(button, 12, 12);
    p.setPen(Qt::white);
    p.setFont(textFont(TextDesign::standard, FontWeight::semibold, false, 28));
    p.drawText(button, Qt::AlignCenter, QStringLiteral("Merge contacts"));
    p.setPen(QPen(QColor(60, 60, 60), 4));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(500 + i * 60, 400), QPointF(500 + i * 60, 440));
    p.end();
    image.setDevicePixelRatio(2);
    return image;
}

// A calendar event chip: a white title and lighter details on a saturated fill, a darker bar down its edge.
QImage eventChip()
{
    QImage image(600, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(79, 70, 229));
    const QRectF chip(40, 40, 320, 170);
    p.drawRoundedRect(chip, 12, 12);
    p.setBrush(QColor(49, 46, 129));
    p.drawRect(QRectF(chip.left(), chip.top() + 6, 8, chip.height() - 12));
    p.setPen(Qt::white);
    p.setFont(textFont(TextDesign::standard, FontWeight::bold, false, 24));
    p.drawText(QPointF(60, 76), QStringLiteral("Quarterly planning"));
    p.setPen(QColor(224, 231, 255));
    p.setFont(textFont(TextDesign::standard, FontWeight::regular, false, 22));
    p.drawText(QPointF(60, 108), QStringLiteral("10:30 AM - 12:00 PM"));
    p.drawText(QPointF(60, 138), QStringLiteral("Board room, 5th floor"));
    p.end();
    image.setDevicePixelRatio(2);
    return image;
}

// A light event chip whose coloured left edge is part of its rounded fill.
void drawEdgedChip(QPainter& p, const QRectF& chip)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 163, 74));
    p.drawRoundedRect(chip, 12, 12);
    p.setBrush(QColor(217, 244, 228));
    p.drawRoundedRect(chip.adjusted(6, 0, 0, 0), 6, 12);
    p.setPen(QColor(20, 83, 45));
    p.setFont(textFont(TextDesign::standard, FontWeight::bold, false, 18));
}

// A week calendar's grid at full screen size with light event chips whose coloured left edge
// is part of their rounded fill: the box found for the one with text began inside its first letter.
QImage calendarWeek()
{
    QImage image(2880, 1800, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(229, 231, 235), 2));
    for (int x = 640; x < 2880; x += 320)
        p.drawLine(x, 0, x, 1800);
    for (int y = 100; y < 1800; y += 120)
        p.drawLine(0, y, 2880, y);
    const QRectF chip(656, 962, 300, 116);
    drawEdgedChip(p, QRectF(1296, 908, 300, 56));
    drawEdgedChip(p, chip);
    p.drawText(chip.topLeft() + QPointF(20, 38), QStringLiteral("Lunch with Priya"));
    p.setFont(textFont(TextDesign::standard, FontWeight::regular, false, 16));
    p.drawText(chip.topLeft() + QPointF(20, 70), QStringLiteral("Room 4B"));
    p.end();
    image.setDevicePixelRatio(2);
    return image;
}

QStringList lineTexts(const ComponentAnalysisResponse& response)
{
    QStringList texts;
    for (const DetectedComponent& c : response.components)
        if (c.type == QLatin1String("text"))
            texts.append(c.text.value_or(QString()));
    return texts;
}

} // namespace

// The button's label is one line (layout analysis had cut it inside a word), white on blue
// reads, and the marks make no lines.
TEST(DeviceAnalysis, ReadsLinesBesideShapesAndOnFilledButtonsAndDropsMarks)
{
    const QStringList texts = lineTexts(DeviceComponentAnalyzer::analyze(screen()));
    EXPECT_TRUE(texts.contains(QStringLiteral("moreno@halcyon.io"))) << texts.join(u'|').toStdString();
    EXPECT_EQ(texts.filter(QStringLiteral("Merge")).size(), 1) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.filter(QStringLiteral("Merge")).value(0).startsWith(QStringLiteral("Merge contacts")))
        << texts.join(u'|').toStdString();
    for (const QString& text : texts)
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); })) << text.toStdString();
}

TEST(DeviceAnalysis, ReadsEveryLineOfAColouredChipWhole)
{
    const struct {
        const char* name;
        QImage image;
        const char* lines;
    } cases[] = {
        // The page-wide search sees a saturated fill as ink as much as the letters: it lost the
        // title and read the details in pieces.
        {"white text on a saturated chip", eventChip(), "Quarterly planning|10:30 AM - 12:00 PM|Board room, 5th floor"},
        // The chip's own search cut the first letter ("_unch with Priya").
        {"a chip whose box starts inside the text", calendarWeek(), "Lunch with Priya|Room 4B"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lineTexts(DeviceComponentAnalyzer::analyze(c.image)).join(u'|').toStdString(), c.lines) << c.name;
}

// A line cut from a one-line chip holds the chip's coloured edge, taller than the text: it
// was read as "(" or "[" before the first word, or fused with the first letter.
TEST(DeviceAnalysis, ReadsALineWithoutTheEdgeOfItsChip)
{
    QImage line(300, 62, QImage::Format_ARGB32_Premultiplied);
    line.fill(Qt::white);
    QPainter p(&line);
    drawEdgedChip(p, QRectF(3, 3, 330, 56));
    p.drawText(QPointF(24, 40), QStringLiteral("Standup 9:00"));
    p.end();
    EXPECT_EQ(DeviceComponentAnalyzer::recognizeLine(line).text.toStdString(), "Standup 9:00");
}

// Engines are lent between threads: analyses running at once must not share one.
TEST(DeviceAnalysis, AnalysesAtOnceReadTheSameAsOneAlone)
{
    const QImage image = screen();
    const QStringList alone = lineTexts(DeviceComponentAnalyzer::analyze(image));
    QFuture<QStringList> first = QtConcurrent::run([&image] { return lineTexts(DeviceComponentAnalyzer::analyze(image)); });
    QFuture<QStringList> second = QtConcurrent::run([&image] { return lineTexts(DeviceComponentAnalyzer::analyze(image)); });
    EXPECT_EQ(first.result(), alone);
    EXPECT_EQ(second.result(), alone);
}

TEST(DeviceAnalysis, TypesBoxesFromTheirCues)
{
    using C = DeviceComponentAnalyzer::BoxCues;
    struct Case {
        const char* name;
        C cues;
        const char* type;
    };
    // width, height, lines, boxes inside, first line's length, its left and right gaps, filled,
    // spread, share near the commonest shade
    const std::vector<Case> cases = {
        {"a filled button with a centred label", C{120, 36, 1, 0, 11, 30, 31, true, 40, 0.8}, "button"},
        {"an outlined button", C{80, 30, 1, 0, 6, 12, 12, false, 30, 0.9}, "button"},
        {"a button holding its label's plate", C{110, 46, 1, 2, 10, 15, 15, true, 54, 0.65}, "button"},
        {"a long sentence on a fill is no button", C{340, 36, 1, 0, 60, 14, 16, true, 40, 0.8}, "element"},
        {"an outlined field with a placeholder", C{300, 36, 1, 0, 14, 12, 180, false, 20, 0.9}, "text field"},
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
        {{QStringLiteral("Merge contacts"), 40}, false}, // unsure
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
