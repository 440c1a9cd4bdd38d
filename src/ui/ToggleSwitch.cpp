#include "ui/ToggleSwitch.h"

#include "core/AppConstants.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

constexpr double switchWidth = 30;
constexpr double switchHeight = 18;

QColor mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

} // namespace

ToggleSwitch::ToggleSwitch(const QString& label, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(label);
    setAccessibleName(label);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_animation.setDuration(120);
    m_animation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_knob = v.toDouble();
        update();
    });
}

void ToggleSwitch::setCheckedQuietly(bool checked)
{
    if (checked == isChecked())
        return;
    const QSignalBlocker blocker(this);
    setChecked(checked);
    // Programmatic changes jump; only the user's clicks animate.
    m_animation.stop();
    m_knob = checked ? 1 : 0;
    update();
}

void ToggleSwitch::checkStateSet()
{
    m_knob = isChecked() ? 1 : 0;
    update();
}

void ToggleSwitch::nextCheckState()
{
    QAbstractButton::nextCheckState();
    animateKnob();
}

void ToggleSwitch::animateKnob()
{
    m_animation.stop();
    m_animation.setStartValue(isChecked() ? 0.0 : 1.0);
    m_animation.setEndValue(isChecked() ? 1.0 : 0.0);
    m_animation.start();
}

QSize ToggleSwitch::sizeHint() const
{
    const QFontMetricsF metrics(uiFont(12.5));
    return {int(metrics.horizontalAdvance(text()) + 12 + switchWidth), 24};
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.4);
    painter.setFont(uiFont(12.5));
    painter.setPen(primaryText());
    const QRectF box(rect());
    painter.drawText(box.adjusted(0, 0, -(switchWidth + 8), 0), Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track(box.right() - switchWidth, box.center().y() - switchHeight / 2, switchWidth, switchHeight);
    QPainterPath path;
    path.addRoundedRect(track, switchHeight / 2, switchHeight / 2);
    painter.fillPath(path, mix(QColor::fromRgbF(1, 1, 1, 0.16f), Theme::accent(), m_knob));
    const double d = switchHeight - 4;
    const double x = track.left() + 2 + m_knob * (switchWidth - 4 - d);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.18f));
    painter.drawEllipse(QRectF(x, track.top() + 2.5, d, d));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, d, d));
    if (hasFocus()) {
        painter.setPen(QPen(Theme::accentHover(), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-2, -2, 2, 2), switchHeight / 2 + 2, switchHeight / 2 + 2);
    }
}

} // namespace pelorin
