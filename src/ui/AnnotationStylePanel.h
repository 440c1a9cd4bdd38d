#pragma once

#include "core/Annotation.h"

#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class QAbstractButton;
class QLabel;

namespace pelorin {

class AnnotationColorPicker;
class EditorViewModel;
class LabeledSlider;
class StyleSection;

// The style panel of one annotation kind: the selected annotation's, or, while a drawing tool
// is armed with nothing selected, the remembered style the next annotation of that kind takes.
// One section per kind, headed by its icon and title, with a reset shown only while the style
// differs from the built-in one. The tallest section fits the editor window's smallest
// height, so the panel does not scroll.
class AnnotationStylePanel : public QWidget {
    Q_OBJECT
public:
    explicit AnnotationStylePanel(EditorViewModel& editor, QWidget* parent = nullptr);

    // The kind on show (never `quick`); none while there is nothing to inspect.
    std::optional<AnnotationTool> kind() const { return m_kind; }
    StyleSection* section(AnnotationTool kind) const;
    LabeledSlider* slider(AnnotationTool kind, const QString& label) const;
    // A choice or toggle of the kind's section, found by its accessible name.
    QAbstractButton* button(AnnotationTool kind, const QString& name) const;
    AnnotationColorPicker* colorPicker(AnnotationTool kind) const;
    AnnotationColorPicker* outlineColorPicker() const { return m_outlineColor; }
    AnnotationColorPicker* plateColorPicker() const { return m_plateColor; }
    // Says that the inspected style belongs to the next annotation, not to a selected one.
    QLabel* defaultsHint() const { return m_defaultsHint; }

Q_SIGNALS:
    void inspectingChanged(bool inspecting);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Panel {
        StyleSection* section = nullptr;
        AnnotationColorPicker* color = nullptr;
        std::vector<LabeledSlider*> sliders;
        std::vector<QAbstractButton*> buttons;
    };

    void buildTextPanel();
    void buildArrowPanel();
    void buildShapePanel();
    void buildRedactPanel();
    void buildStrokeAndStepPanels();
    Panel& addPanel(AnnotationTool kind);
    LabeledSlider* addSlider(Panel& panel, const QString& label, double lower, double upper, double step,
                             std::function<void(Annotation&, double)> write);
    QAbstractButton* addButton(Panel& panel, QAbstractButton* button, std::function<void(Annotation&)> change);
    void refresh();
    void showValues(const Annotation& annotation);

    EditorViewModel& m_editor;
    std::map<AnnotationTool, Panel> m_panels;
    AnnotationColorPicker* m_outlineColor = nullptr;
    AnnotationColorPicker* m_plateColor = nullptr;
    QLabel* m_defaultsHint = nullptr;
    std::optional<AnnotationTool> m_kind;
};

} // namespace pelorin
