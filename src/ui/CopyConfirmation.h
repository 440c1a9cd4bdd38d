#pragma once

#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

namespace pelorin {

class EditorViewModel;

// A short "Copied" notice over the canvas after every successful copy.
class CopyConfirmation : public QWidget {
    Q_OBJECT
public:
    static constexpr int holdMs = 1200;

    CopyConfirmation(EditorViewModel& editor, QWidget* canvas);

    // Shown, or fading in or still holding.
    bool isShowing() const { return m_showing; }
    QString text() const;
    QSize sizeHint() const override;
    // Top centre of the canvas.
    void place();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void flash();
    void fadeTo(double opacity, int durationMs);

    int m_lastPulse;
    bool m_showing = false;
    double m_opacity = 0;
    QVariantAnimation m_fade;
    QTimer m_hold;
};

} // namespace pelorin
