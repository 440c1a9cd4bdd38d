#pragma once

#include <QWidget>

namespace pelorin {

class ChromeButton;
class EditorViewModel;

// What the canvas shows without a screenshot: an invitation to drop one or capture one.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    EmptyStateView(EditorViewModel& editor, QWidget* parent);

    ChromeButton* captureRegionButton() const { return m_region; }
    ChromeButton* captureWindowButton() const { return m_window; }

private:
    ChromeButton* m_region;
    ChromeButton* m_window;
};

} // namespace pelorin
