#pragma once

#include "ui/BackgroundPicker.h"

#include <QScrollArea>

class QLabel;

namespace pelorin {

class BrowserChromeSection;
class ChromeButton;
class EditorViewModel;
class LabeledSlider;
class StyleSection;
class ToggleSwitch;

// The style sidebar: background, card, shadow, focus and browser frame, each section with
// its own reset, and a reset of everything at the bottom.
class StyleSidebar : public QScrollArea {
    Q_OBJECT
public:
    StyleSidebar(EditorViewModel& editor, BackgroundPicker::WallpaperThumbnail wallpaper, QWidget* parent = nullptr);

    StyleSection* section(const QString& title) const;
    LabeledSlider* slider(const QString& label) const;
    BackgroundPicker* backgroundPicker() const { return m_picker; }
    ToggleSwitch* dimToggle() const { return m_dimToggle; }
    QLabel* focusHint() const { return m_focusHint; }
    BrowserChromeSection* browserSection() const { return m_browser; }
    ChromeButton* resetAllButton() const { return m_resetAll; }

private:
    LabeledSlider* addSlider(StyleSection* section, const QString& label, double lower, double upper, double step,
                             std::function<void(double)> write);
    void editStyling(const std::function<void(StylingConfiguration&)>& change);
    void refresh();

    EditorViewModel& m_editor;
    std::vector<StyleSection*> m_sections;
    std::vector<LabeledSlider*> m_sliders;
    BackgroundPicker* m_picker;
    ToggleSwitch* m_dimToggle;
    QLabel* m_focusHint;
    BrowserChromeSection* m_browser;
    ChromeButton* m_resetAll;
};

} // namespace pelorin
