#include "ui/LabeledSlider.h"

#include "core/AppConstants.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

constexpr double rowSpacing = 6;
constexpr double draggingScale = 1.12;

QFont labelFont()
{
    return uiFont(12);
}

QFont valueFont()
{
    return uiFont(12, QFont::Medium);
}

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& color)
{
    if (rect.width() <= 0)
        return;
    QPainterPath path;
    path.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.fillPath(path, color);
}

} // namespace

LabeledSlider::LabeledSlider(const QString& label, double lower, double upper, double step, QWidget* parent)
    : QWidget(parent)
    , m_label(label)
    , m_lower(lower)
    , m_upper(upper)
    , m_step(step)
    , m_value(lower)
{
    setAccessibleName(label);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_scaleAnimation.setDuration(120);
    m_scaleAnimation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_scaleAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_thumbScale = v.toDouble();
        update();
    });
}

void LabeledSlider::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

QString LabeledSlider::valueText() const
{
    return formatSliderValue(m_value, m_step);
}

double LabeledSlider::rowHeight() const
{
    const QFontMetricsF metrics(labelFont());
    return std::ceil(metrics.height());
}

QRectF LabeledSlider::trackRect() const
{
    return {0, rowHeight() + rowSpacing, double(width()), trackStripHeight};
}

SliderGeometry LabeledSlider::geometry() const
{
    return SliderGeometry{m_lower, m_upper, m_step, trackRect().width(), thumbSize};
}

QSize LabeledSlider::sizeHint() const
{
    return {200, int(rowHeight() + rowSpacing + trackStripHeight)};
}

QSize LabeledSlider::minimumSizeHint() const
{
    return {80, sizeHint().height()};
}

void LabeledSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double row = rowHeight();
    painter.setFont(labelFont());
    painter.setPen(secondaryText());
    painter.drawText(QRectF(0, 0, width(), row), Qt::AlignLeft | Qt::AlignVCenter, m_label);
    painter.setFont(valueFont());
    painter.setPen(primaryText());
    painter.drawText(QRectF(0, 0, width(), row), Qt::AlignRight | Qt::AlignVCenter, valueText());

    const QRectF track = trackRect();
    const SliderGeometry g = geometry();
    const double midY = track.center().y();
    fillCapsule(painter, QRectF(track.left(), midY - trackHeight / 2, track.width(), trackHeight),
                QColor::fromRgbF(1, 1, 1, 0.1f));
    const double thumbX = track.left() + g.thumbCenterX(m_value);
    const double anchorX = track.left() + g.zeroAnchorX();
    fillCapsule(painter, QRectF(std::min(anchorX, thumbX), midY - trackHeight / 2, std::fabs(thumbX - anchorX), trackHeight),
                Theme::accent());

    const double d = thumbSize * m_thumbScale;
    const QRectF thumb(thumbX - d / 2, midY - d / 2, d, d);
    painter.setPen(Qt::NoPen);
    // Two soft shadows under the thumb: a tight one and a wider, fainter one.
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.12f));
    painter.drawEllipse(thumb.translated(0, 1).adjusted(-1.5, -1.5, 1.5, 1.5));
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.22f));
    painter.drawEllipse(thumb.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(thumb);
}

void LabeledSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !trackRect().contains(event->position())) {
        event->ignore();
        return;
    }
    dragTo(event->position().x());
}

void LabeledSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton && m_dragging)
        dragTo(event->position().x());
}

void LabeledSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        setDragging(false);
}

void LabeledSlider::dragTo(double x)
{
    setDragging(true);
    const double v = geometry().valueAt(x - trackRect().left());
    if (v == m_value)
        return;
    m_value = v;
    update();
    Q_EMIT valueEdited(v);
}

void LabeledSlider::setDragging(bool dragging)
{
    if (dragging == m_dragging)
        return;
    m_dragging = dragging;
    m_scaleAnimation.stop();
    m_scaleAnimation.setStartValue(m_thumbScale);
    m_scaleAnimation.setEndValue(dragging ? draggingScale : 1.0);
    m_scaleAnimation.start();
    Q_EMIT draggingChanged(dragging);
}

} // namespace pelorin
