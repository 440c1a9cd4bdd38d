#pragma once

#include "core/Annotation.h"

#include <QWidget>

#include <map>

class QLabel;

namespace pelorin {

class ChromeButton;
class EditorViewModel;

// The bar above the canvas: the annotation tools, deleting the selection, zoom, Copy and Save.
class EditorToolbar : public QWidget {
    Q_OBJECT
public:
    explicit EditorToolbar(EditorViewModel& editor, QWidget* parent = nullptr);

    ChromeButton* toolButton(AnnotationTool tool) const { return m_tools.at(tool); }
    ChromeButton* deleteButton() const { return m_delete; }
    ChromeButton* zoomInButton() const { return m_zoomIn; }
    ChromeButton* zoomOutButton() const { return m_zoomOut; }
    ChromeButton* fitButton() const { return m_fit; }
    ChromeButton* copyButton() const { return m_copy; }
    ChromeButton* saveButton() const { return m_save; }
    ChromeButton* analyzeButton() const { return m_analyze; }
    ChromeButton* clearAnalysisButton() const { return m_clearAnalysis; }
    QLabel* zoomLabel() const { return m_zoomLabel; }

    static QString zoomText(double zoomLevel);

Q_SIGNALS:
    // The delete button was pressed with this annotation selected.
    void deleteRequested(const QUuid& annotationId);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    EditorViewModel& m_editor;
    std::map<AnnotationTool, ChromeButton*> m_tools;
    ChromeButton* m_delete;
    ChromeButton* m_zoomOut;
    ChromeButton* m_zoomIn;
    ChromeButton* m_fit;
    QLabel* m_zoomLabel;
    ChromeButton* m_copy;
    ChromeButton* m_save;
    ChromeButton* m_analyze;
    ChromeButton* m_clearAnalysis;
};

} // namespace pelorin
