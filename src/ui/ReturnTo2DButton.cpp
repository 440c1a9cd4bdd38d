#include "ui/ReturnTo2DButton.h"

#include "editor/EditorViewModel.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelorin {

namespace {

const QString label = QStringLiteral("Return to 2D to edit");
constexpr double glyphSize = 15;
constexpr double pillHeight = 34;
constexpr double bottomGap = 14;

} // namespace

ReturnTo2DButton::ReturnTo2DButton(EditorViewModel& editor, QWidget* canvas)
    : QAbstractButton(canvas)
    , m_editor(editor)
{
    setText(label);
    setAccessibleName(label);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    m_fade.setDuration(150);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_opacity = value.toDouble();
        setVisible(m_opacity > 0.001);
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_wanted)
            m_editor.toggleProjection();
    });
    for (auto signal : {&EditorViewModel::sceneStateChanged, &EditorViewModel::isRotatingGestureChanged,
                        &EditorViewModel::documentChanged})
        connect(&m_editor, signal, this, &ReturnTo2DButton::refresh);
    hide();
    refresh();
}

QSize ReturnTo2DButton::sizeHint() const
{
    const QFontMetricsF metrics(uiFont(12.5, QFont::Medium));
    return {int(std::ceil(metrics.horizontalAdvance(label) + glyphSize + 8 + 2 * 16)), int(pillHeight)};
}

void ReturnTo2DButton::place(const QRectF& keepClear)
{
    if (!parentWidget())
        return;
    const QSize hint = sizeHint();
    QRect area((parentWidget()->width() - hint.width()) / 2, parentWidget()->height() - int(bottomGap) - hint.height(),
               hint.width(), hint.height());
    // The tag is drawn over the button; sharing the spot would hide the button's words.
    if (!keepClear.isEmpty() && QRectF(area).intersects(keepClear))
        area.moveBottom(int(std::floor(keepClear.top())) - 8);
    setGeometry(area);
}

void ReturnTo2DButton::refresh()
{
    const bool wanted = m_editor.hasDocument() && AnnotationOverlayView::cardIsRotated(m_editor);
    if (wanted == m_wanted)
        return;
    m_wanted = wanted;
    // A fading-out button no longer takes clicks.
    setAttribute(Qt::WA_TransparentForMouseEvents, !wanted);
    m_fade.stop();
    m_fade.setStartValue(m_opacity);
    m_fade.setEndValue(wanted ? 1.0 : 0.0);
    m_fade.start();
}

void ReturnTo2DButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath pill;
    pill.addRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.fillPath(pill, m_hovered || isDown() ? QColor::fromRgbF(0.2f, 0.2f, 0.22f, 0.95f)
                                                 : QColor::fromRgbF(0.13f, 0.13f, 0.145f, 0.92f));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.16f), 1));
    painter.drawPath(pill);

    const QFont font = uiFont(12.5, QFont::Medium);
    const QFontMetricsF metrics(font);
    const double total = glyphSize + 8 + metrics.horizontalAdvance(label);
    double x = box.center().x() - total / 2;
    paintGlyph(painter, Glyph::squareOnSquare, QRectF(x, box.center().y() - glyphSize / 2, glyphSize, glyphSize),
               primaryText());
    x += glyphSize + 8;
    painter.setFont(font);
    painter.setPen(primaryText());
    painter.drawText(QPointF(x, box.center().y() + (metrics.ascent() - metrics.descent()) / 2), label);
}

void ReturnTo2DButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ReturnTo2DButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace pelorin
