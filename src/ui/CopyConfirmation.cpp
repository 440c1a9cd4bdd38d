#include "ui/CopyConfirmation.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

constexpr double glyphSize = 15;
constexpr int topGap = 16;

} // namespace

CopyConfirmation::CopyConfirmation(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_lastPulse(editor.imageCopiedPulse())
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(text());
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_opacity = v.toDouble();
        setVisible(m_opacity > 0.001);
        update();
    });
    m_hold.setSingleShot(true);
    connect(&m_hold, &QTimer::timeout, this, [this] {
        m_showing = false;
        fadeTo(0, 300);
    });
    connect(&editor, &EditorViewModel::imageCopiedPulseChanged, this, [this, &editor] {
        // The pulse only ever grows; every step is one copy.
        if (editor.imageCopiedPulse() != m_lastPulse)
            flash();
        m_lastPulse = editor.imageCopiedPulse();
    });
    hide();
}

QString CopyConfirmation::text() const
{
    return QStringLiteral("Copied to clipboard");
}

QSize CopyConfirmation::sizeHint() const
{
    const QFontMetricsF metrics(uiFont(12.5, QFont::Medium));
    return {int(std::ceil(metrics.horizontalAdvance(text()) + glyphSize + 8 + 2 * 16)), 34};
}

void CopyConfirmation::place()
{
    if (!parentWidget())
        return;
    const QSize hint = sizeHint();
    setGeometry((parentWidget()->width() - hint.width()) / 2, topGap, hint.width(), hint.height());
}

void CopyConfirmation::flash()
{
    m_showing = true;
    place();
    raise();
    fadeTo(1, 150);
    // A second copy while the notice shows keeps it up for the full time again.
    m_hold.start(holdMs);
}

void CopyConfirmation::fadeTo(double opacity, int durationMs)
{
    m_fade.stop();
    m_fade.setDuration(durationMs);
    m_fade.setStartValue(m_opacity);
    m_fade.setEndValue(opacity);
    m_fade.start();
}

void CopyConfirmation::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath pill;
    pill.addRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.fillPath(pill, QColor::fromRgbF(0.13f, 0.13f, 0.145f, 0.94f));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.16f), 1));
    painter.drawPath(pill);
    const QFont font = uiFont(12.5, QFont::Medium);
    const QFontMetricsF metrics(font);
    const double total = glyphSize + 8 + metrics.horizontalAdvance(text());
    double x = box.center().x() - total / 2;
    paintGlyph(painter, Glyph::checkmark, QRectF(x, box.center().y() - glyphSize / 2, glyphSize, glyphSize),
               Theme::accentHover(), 1.2);
    x += glyphSize + 8;
    painter.setFont(font);
    painter.setPen(primaryText());
    painter.drawText(QPointF(x, box.center().y() + (metrics.ascent() - metrics.descent()) / 2), text());
}

} // namespace pelorin
