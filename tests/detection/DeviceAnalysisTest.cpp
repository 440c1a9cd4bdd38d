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
