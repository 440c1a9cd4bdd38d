#pragma once

#include <QWidget>

namespace pelorin {

class ChromeButton;
class EditorViewModel;

// The projection switch and, while the card is in 3D, the rotation reset, over the canvas.
class SceneControlsView : public QWidget {
    Q_OBJECT
public:
    SceneControlsView(EditorViewModel& editor, QWidget* canvas);

    ChromeButton* projectionButton() const { return m_projection; }
    ChromeButton* resetButton() const { return m_reset; }
    // Top right of the canvas.
    void place();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    EditorViewModel& m_editor;
    ChromeButton* m_projection;
    ChromeButton* m_reset;
};

} // namespace pelorin
