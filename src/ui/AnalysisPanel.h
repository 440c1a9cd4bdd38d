#pragma once

#include <QUuid>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace pelorin {

class ChromeButton;
class EditorViewModel;

// The analysed components as a list beside the canvas, one row each with its copy, search
// and redact actions, and "Copy all detected text" above them. Shown while there are any.
class AnalysisPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int copiedHoldMs = 1200;

    explicit AnalysisPanel(EditorViewModel& editor, QWidget* parent = nullptr);

    ChromeButton* copyAllButton() const { return m_copyAll; }
    int rowCount() const;
    // The action buttons of row `row`: 0 copy, 1 search, 2 redact.
    ChromeButton* rowButton(int row, int action) const;

private:
    void rebuild();
    QWidget* makeRow(int index);

    EditorViewModel& m_editor;
    QLabel* m_title;
    ChromeButton* m_copyAll;
    QVBoxLayout* m_rows;
    QWidget* m_rowHolder;
    std::vector<std::array<ChromeButton*, 3>> m_buttons;
    // The row showing its "copied" check mark, until the hold ends.
    QUuid m_copied;
};

} // namespace pelorin
