#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace pelorin {

class EditorViewModel;

// The glow that sweeps across the card while an analysis runs. It covers the card, clipped
// to its rounded outline, and takes no clicks.
class ShimmerView : public QWidget {
    Q_OBJECT
public:
    ShimmerView(EditorViewModel& editor, QWidget* canvas);

    double phase() const { return m_phase; }
    // Follows the card; hidden while no analysis runs.
    void place();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    EditorViewModel& m_editor;
    QVariantAnimation m_sweep;
    double m_phase = -1;
};

} // namespace pelorin
