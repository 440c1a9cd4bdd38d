#pragma once

#include <QPointer>
#include <QWidget>

#include <QMessageBox>

class QAction;

namespace pelorin {

class AnnotationStylePanel;
class CanvasView;
class EditorToolbar;
class EditorViewModel;
class StyleSidebar;

// The editor window: the toolbar over the canvas and the style sidebar beside it. Images and
// image files dropped anywhere on it are opened; its close button only hides it.
class EditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit EditorWindow(EditorViewModel& editor, QWidget* parent = nullptr);

    CanvasView* canvas() const { return m_canvas; }
    // Takes the sidebar's place while an annotation is selected or a drawing tool is armed.
    AnnotationStylePanel* inspector() const { return m_inspector; }
    EditorToolbar* toolbar() const { return m_toolbar; }
    StyleSidebar* sidebar() const { return m_sidebar; }
    // Undo and Redo of annotation changes, for the window's keys and the Edit menu.
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }
    // Ctrl+A, Ctrl+D and Ctrl+V of the editor, for the window's keys and the Edit menu.
    QAction* selectAllAction() const { return m_selectAll; }
    QAction* duplicateAction() const { return m_duplicate; }
    QAction* pasteAction() const { return m_paste; }
    // The error alert while one is shown.
    QMessageBox* errorAlert() const { return m_alert; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void installShortcuts();
    void showErrorMessage();

    EditorViewModel& m_editor;
    EditorToolbar* m_toolbar;
    CanvasView* m_canvas;
    AnnotationStylePanel* m_inspector;
    StyleSidebar* m_sidebar;
    QPointer<QMessageBox> m_alert;
    QAction* m_undo;
    QAction* m_redo;
    QAction* m_selectAll;
    QAction* m_duplicate;
    QAction* m_paste;
};

} // namespace pelorin
