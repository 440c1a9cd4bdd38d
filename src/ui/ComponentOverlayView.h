#pragma once

#include "core/DetectedComponent.h"

#include <QWidget>

namespace pelorin {

class EditorViewModel;

// The analysed components outlined over the flat card; a click on a box highlights it (and
// shows its label above it), a second click takes the highlight away. Only the boxes take
// clicks: everywhere else the canvas below gets them.
class ComponentOverlayView : public QWidget {
    Q_OBJECT
public:
    ComponentOverlayView(EditorViewModel& editor, QWidget* canvas);

    // The component's box in this view's coordinates.
    QRectF boxRect(const DetectedComponent& component) const;
    // The label plate of a highlighted component.
    QRectF tagRect(const DetectedComponent& component) const;
    static QFont tagFont();
    static QColor boxColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    EditorViewModel& m_editor;
};

} // namespace pelorin
