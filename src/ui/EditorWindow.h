#pragma once

#include <QWidget>

namespace pelorin {

class EditorViewModel;

// The editor window. Until the canvas lands it shows the open screenshot scaled to fit, or
// the empty state, and takes image drops.
class EditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit EditorWindow(EditorViewModel& editor, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    EditorViewModel& m_editor;
};

} // namespace pelorin
