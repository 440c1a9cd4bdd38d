#pragma once

#include <QAbstractButton>
#include <QFont>

#include <functional>

class QPainterPath;

namespace pelorin {

// Draws a segment's content (text or a small drawing) in `box` in `color`.
using SegmentPainter = std::function<void(QPainter& painter, const QRectF& box, const QColor& color)>;

// One option of a row of choices, drawn like the sidebar's other buttons. Its checked state
// is set by its owner to mirror the value it stands for; a click does not toggle it but only
// asks for the change, and the owner's refresh shows the outcome.
class SegmentButton : public QAbstractButton {
    Q_OBJECT
public:
    SegmentButton(const QString& name, SegmentPainter paintContent, QWidget* parent = nullptr);

    // Centred text in its own font.
    static SegmentPainter text(const QString& text, const QFont& font);
    // A small line drawing centred in the button, built on a 24 × 16 grid.
    static SegmentPainter drawing(std::function<void(QPainterPath& stroke, QPainterPath& fill)> build);

    QSize sizeHint() const override { return {44, 30}; }
    QSize minimumSizeHint() const override { return {30, 30}; }

protected:
    void nextCheckState() override {}
    void paintEvent(QPaintEvent* event) override;

private:
    SegmentPainter m_paintContent;
};

} // namespace pelorin
