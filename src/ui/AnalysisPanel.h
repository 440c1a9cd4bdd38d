#pragma once

#include <QUuid>
#include <QWidget>

#include <map>

class QLabel;
class QScrollArea;

namespace pelorin {

class ChromeButton;
class EditorViewModel;

// The analysed components as a list beside the canvas, one row each with its copy, search
// and redact actions, and "Copy all detected text" above them. Shown while there are any.
// Only the rows in view exist as widgets, so a long list costs no more than a short one.
class AnalysisPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int copiedHoldMs = 1200;

    explicit AnalysisPanel(EditorViewModel& editor, QWidget* parent = nullptr);

    ChromeButton* copyAllButton() const { return m_copyAll; }
    int rowCount() const;
    // The action buttons of row `row`: 0 copy, 1 search, 2 redact (the row is made if it
    // is out of view).
    ChromeButton* rowButton(int row, int action);
    // How many rows exist as widgets now.
    int builtRowCount() const { return int(m_built.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QWidget* widget;
        std::array<ChromeButton*, 3> buttons;
    };

    void rebuild();
    // Makes the rows in view and drops the others.
    void layOutRows();
    const Row& ensureRow(int index);
    Row makeRow(int index);

    EditorViewModel& m_editor;
    QLabel* m_title;
    ChromeButton* m_copyAll;
    QScrollArea* m_scroll;
    QWidget* m_rowHolder;
    std::map<int, Row> m_built;
    // The row showing its "copied" check mark, until the hold ends.
    QUuid m_copied;
};

} // namespace pelorin
