#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace pelorin {

class EditorViewModel;

// The pill at the bottom of the canvas that flattens a tilted card so it can be annotated.
// It fades in and out as the card starts or stops counting as rotated.
class ReturnTo2DButton : public QAbstractButton {
    Q_OBJECT
public:
    ReturnTo2DButton(EditorViewModel& editor, QWidget* canvas);

    double opacity() const { return m_opacity; }
    // Whether the button is (or is fading towards being) shown.
    bool isWanted() const { return m_wanted; }
    QSize sizeHint() const override;
    // Bottom centre of the canvas, 14 points above its bottom edge; raised above `keepClear`
    // (the export frame's size tag) when the two would overlap.
    void place(const QRectF& keepClear = {});

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refresh();

    EditorViewModel& m_editor;
    QVariantAnimation m_fade;
    double m_opacity = 0;
    bool m_wanted = false;
    bool m_hovered = false;
};

} // namespace pelorin
