#pragma once

#include "core/SliderMath.h"

#include <QVariantAnimation>
#include <QWidget>

namespace pelorin {

// The labelled slider of the sidebars: the label and the formatted value above a track whose
// accent fill grows from zero (the middle, for ranges around zero) to the thumb. A press
// anywhere on the track jumps the value there; values snap to the step.
class LabeledSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr double trackHeight = 4;
    static constexpr double thumbSize = 14;
    static constexpr double trackStripHeight = 20;

    LabeledSlider(const QString& label, double lower, double upper, double step, QWidget* parent = nullptr);

    double value() const { return m_value; }
    // Shows a value without announcing it (the editor's value coming back).
    void setValue(double value);
    QString label() const { return m_label; }
    QString valueText() const;
    bool isDragging() const { return m_dragging; }
    // The track strip within the widget; pointer positions along it map to values.
    QRectF trackRect() const;
    SliderGeometry geometry() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user moved the slider to a new value.
    void valueEdited(double value);
    // A press on the track starts a drag, the release ends it: the edits in between belong
    // together (one undo step).
    void draggingChanged(bool dragging);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void dragTo(double x);
    void setDragging(bool dragging);
    double rowHeight() const;

    QString m_label;
    double m_lower;
    double m_upper;
    double m_step;
    double m_value;
    bool m_dragging = false;
    double m_thumbScale = 1;
    QVariantAnimation m_scaleAnimation;
};

} // namespace pelorin
