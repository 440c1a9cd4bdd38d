#include "ui/ShimmerView.h"

#include "editor/EditorViewModel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pelorin {

namespace {

constexpr int sweepMs = 2000;
constexpr double bandShare = 0.7;

QColor glow(double hue, double saturation, double opacity)
{
    return QColor::fromHsvF(float(hue), float(saturation), 1.0f, float(opacity));
}

} // namespace

ShimmerView::ShimmerView(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    m_sweep.setStartValue(-1.0);
    m_sweep.setEndValue(1.0);
    m_sweep.setDuration(sweepMs);
    m_sweep.setEasingCurve(QEasingCurve::InOutQuad);
    m_sweep.setLoopCount(-1); // starts again from the left each time
    connect(&m_sweep, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_phase = value.toDouble();
        update();
    });
    for (auto signal : {&EditorViewModel::isAnalyzingChanged, &EditorViewModel::canvasTransformChanged,
                        &EditorViewModel::documentChanged, &EditorViewModel::stylingChanged})
        connect(&m_editor, signal, this, &ShimmerView::place);
    place();
}

void ShimmerView::place()
{
    const std::optional<QRectF> card =
        parentWidget() ? m_editor.cardRect(QSizeF(parentWidget()->size())) : std::nullopt;
    const bool shows = m_editor.isAnalyzing() && card;
    if (shows) {
        setGeometry(card->toAlignedRect());
        if (m_sweep.state() != QAbstractAnimation::Running) {
            m_phase = -1;
            m_sweep.start();
        }
    } else {
        m_sweep.stop();
    }
    setVisible(shows);
}

void ShimmerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const double radius = m_editor.styling().cornerRadius * m_editor.canvasTransform().zoomLevel;
    QPainterPath outline;
    outline.addRoundedRect(bounds, radius, radius);
    painter.setClipPath(outline);

    const double bandWidth = bounds.width() * bandShare;
    const double left = (bounds.width() - bandWidth) / 2 + m_phase * bounds.width();
    const QRectF band(left, 0, bandWidth, bounds.height());
    QLinearGradient gradient(band.topLeft(), band.topRight());
    gradient.setColorAt(0, Qt::transparent);
    gradient.setColorAt(0.15, glow(0.83, 0.25, 0.18));
    gradient.setColorAt(0.35, glow(0.55, 0.2, 0.22));
    gradient.setColorAt(0.5, glow(0.45, 0.22, 0.25));
    gradient.setColorAt(0.65, glow(0.85, 0.2, 0.22));
    gradient.setColorAt(0.85, glow(0.95, 0.25, 0.18));
    gradient.setColorAt(1, Qt::transparent);
    painter.fillRect(band.intersected(bounds), gradient);
}

} // namespace pelorin
