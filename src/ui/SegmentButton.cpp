#include "ui/SegmentButton.h"

#include "core/AppConstants.h"
#include "ui/UiStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace pelorin {

SegmentButton::SegmentButton(const QString& name, SegmentPainter paintContent, QWidget* parent)
    : QAbstractButton(parent)
    , m_paintContent(std::move(paintContent))
{
    setText(name);
    setAccessibleName(name);
    setToolTip(name);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

SegmentPainter SegmentButton::text(const QString& text, const QFont& font)
{
    return [text, font](QPainter& painter, const QRectF& box, const QColor& color) {
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, text);
    };
}

SegmentPainter SegmentButton::drawing(std::function<void(QPainterPath& stroke, QPainterPath& fill)> build)
{
    return [build = std::move(build)](QPainter& painter, const QRectF& box, const QColor& color) {
        QPainterPath stroke;
        QPainterPath fill;
        build(stroke, fill);
        painter.save();
        painter.translate(box.center() - QPointF(12, 8));
        painter.fillPath(fill, color);
        painter.strokePath(stroke, QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.restore();
    };
}

void SegmentButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor fill = isChecked()                    ? Theme::selectionFill()
                        : (underMouse() || isDown()) ? Theme::controlFillHover()
                                                     : Theme::controlFill();
    QPainterPath path;
    path.addRoundedRect(box, Theme::controlRadius, Theme::controlRadius);
    painter.fillPath(path, fill);
    if (isChecked()) {
        painter.setPen(QPen(Theme::accent(), 1));
        painter.drawPath(path);
    }
    m_paintContent(painter, box, isChecked() ? QColor(Qt::white) : primaryText());
}

} // namespace pelorin
