#pragma once

#include <QWidget>

namespace pelorin {

class EditorViewModel;

// The document's annotations drawn flat over the card while it is not tilted (a tilted card
// carries them in its own texture). Editing lives elsewhere; this layer only paints, and
// plain presses pass through it to the canvas.
class AnnotationLayer : public QWidget {
    Q_OBJECT
public:
    AnnotationLayer(EditorViewModel& editor, QWidget* canvas);

    // The card counts as rotated: the annotations are then shown on the tilted card instead.
    static bool cardIsRotated(const EditorViewModel& editor);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    EditorViewModel& m_editor;
};

} // namespace pelorin
