#include "ui/StyleSidebar.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "ui/BrowserChromeSection.h"
#include "ui/ChromeButton.h"
#include "ui/LabeledSlider.h"
#include "ui/StyleSection.h"
#include "ui/ToggleSwitch.h"
#include "ui/UiStyle.h"

#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pelorin {

namespace {

const QString cornerRadiusLabel = QStringLiteral("Corner Radius");
const QString paddingLabel = QStringLiteral("Padding");
const QString blurLabel = QStringLiteral("Blur");
const QString opacityLabel = QStringLiteral("Opacity");
const QString offsetYLabel = QStringLiteral("Offset Y");
const QString amountLabel = QStringLiteral("Amount");

// The sidebar's panel, with hairlines between its sections.
class SidebarPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), panelBackground());
        painter.fillRect(QRect(0, 0, 1, height()), Theme::divider());
        for (QWidget* child : findChildren<StyleSection*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->isVisible() && child->y() > 0)
                painter.fillRect(QRect(16, child->y(), width() - 32, 1), Theme::divider());
        }
    }
};

bool cardIsDefault(const StylingConfiguration& s)
{
    return s.cornerRadius == AppConstants::defaultCornerRadius && s.padding == AppConstants::defaultPadding;
}

bool shadowIsDefault(const ShadowConfiguration& s)
{
    return s.radius == AppConstants::defaultShadowRadius && s.opacity == 0.5 && s.offsetY == AppConstants::defaultShadowOffsetY;
}

bool focusIsDefault(const DimmingConfiguration& d)
{
    return !d.isEnabled && d.amount == 0.5;
}

} // namespace

StyleSidebar::StyleSidebar(EditorViewModel& editor, BackgroundPicker::WallpaperThumbnail wallpaper, QWidget* parent)
    : QScrollArea(parent)
    , m_editor(editor)
{
    setFixedWidth(sidePanelWidth);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A thin overlay-style bar that suits the dark panel on any desktop theme.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 1px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,40); border-radius: 3px; min-height: 40px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(255,255,255,70); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    viewport()->setAutoFillBackground(false);
    auto* panel = new SidebarPanel;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 16);
    column->setSpacing(0);

    auto* background = new StyleSection(Glyph::photoFill, QStringLiteral("Background"), false, panel);
    m_picker = new BackgroundPicker(editor, std::move(wallpaper), background);
    background->content()->addWidget(m_picker);

    auto* card = new StyleSection(Glyph::rectangleInsetFilled, QStringLiteral("Card"), true, panel);
    addSlider(card, cornerRadiusLabel, AppConstants::cornerRadiusRange.lower, AppConstants::cornerRadiusRange.upper, 1,
              [this](double v) { editStyling([v](StylingConfiguration& s) { s.cornerRadius = v; }); });
    addSlider(card, paddingLabel, AppConstants::paddingRange.lower, AppConstants::paddingRange.upper, 1,
              [this](double v) { m_editor.setPadding(v); });
    connect(card, &StyleSection::resetClicked, this, [this] {
        editStyling([](StylingConfiguration& s) {
            s.cornerRadius = AppConstants::defaultCornerRadius;
            s.padding = AppConstants::defaultPadding;
        });
        m_editor.setExportFrameRect(std::nullopt);
    });

    auto* shadow = new StyleSection(Glyph::squareFillOnSquare, QStringLiteral("Shadow"), true, panel);
    addSlider(shadow, blurLabel, AppConstants::shadowRadiusRange.lower, AppConstants::shadowRadiusRange.upper, 1,
              [this](double v) { editStyling([v](StylingConfiguration& s) { s.shadow.radius = v; }); });
    addSlider(shadow, opacityLabel, 0, 1, 0.05,
              [this](double v) { editStyling([v](StylingConfiguration& s) { s.shadow.opacity = v; }); });
    addSlider(shadow, offsetYLabel, -50, 50, 1,
              [this](double v) { editStyling([v](StylingConfiguration& s) { s.shadow.offsetY = v; }); });
    connect(shadow, &StyleSection::resetClicked, this, [this] {
        // Offset X and colour have no control here and keep their values.
        editStyling([](StylingConfiguration& s) {
            s.shadow.radius = AppConstants::defaultShadowRadius;
            s.shadow.opacity = 0.5;
            s.shadow.offsetY = AppConstants::defaultShadowOffsetY;
        });
    });

    auto* focus = new StyleSection(Glyph::circleLeftHalfFilled, QStringLiteral("Focus"), true, panel);
    m_dimToggle = new ToggleSwitch(QStringLiteral("Dim outside shapes"), focus);
    focus->content()->addWidget(m_dimToggle);
    connect(m_dimToggle, &QAbstractButton::clicked, this,
            [this](bool on) { editStyling([on](StylingConfiguration& s) { s.dimming.isEnabled = on; }); });
    addSlider(focus, amountLabel, 0, 1, 0.05,
              [this](double v) { editStyling([v](StylingConfiguration& s) { s.dimming.amount = v; }); });
    m_focusHint = new QLabel(QStringLiteral("Add a shape annotation to keep its area bright."), focus);
    m_focusHint->setWordWrap(true);
    m_focusHint->setFont(uiFont(11.5));
    QPalette hintPalette = m_focusHint->palette();
    hintPalette.setColor(QPalette::WindowText, secondaryText());
    m_focusHint->setPalette(hintPalette);
    focus->content()->addWidget(m_focusHint);
    connect(focus, &StyleSection::resetClicked, this,
            [this] { editStyling([](StylingConfiguration& s) { s.dimming = DimmingConfiguration{}; }); });

    auto* browser = new StyleSection(Glyph::window, QStringLiteral("Browser"), true, panel);
    m_browser = new BrowserChromeSection(editor, browser);
    browser->content()->addWidget(m_browser);
    connect(browser, &StyleSection::resetClicked, this, [this] { m_editor.setBrowserChrome(BrowserChromeSettings{}); });

    m_sections = {background, card, shadow, focus, browser};
    for (StyleSection* section : m_sections)
        column->addWidget(section);

    m_resetAll = new ChromeButton(ChromeButton::Kind::toolbarText, Glyph::arrowCounterclockwise,
                                  QStringLiteral("Reset All"), panel);
    m_resetAll->setToolTip(QStringLiteral("Reset padding, corners, shadow, background, and rotation to defaults"));
    m_resetAll->setFontPixelSize(12.5);
    m_resetAll->setGlyphSize(14);
    m_resetAll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_resetAll, &QAbstractButton::clicked, &m_editor, &EditorViewModel::resetAllStyling);
    auto* resetRow = new QHBoxLayout;
    resetRow->setContentsMargins(16, 8, 16, 0);
    resetRow->addWidget(m_resetAll);
    column->addLayout(resetRow);
    column->addStretch(1);
    setWidget(panel);

    for (auto signal : {&EditorViewModel::stylingChanged, &EditorViewModel::browserChromeChanged,
                        &EditorViewModel::documentChanged, &EditorViewModel::stylingIsDirtyChanged,
                        &EditorViewModel::annotationsChanged})
        connect(&m_editor, signal, this, &StyleSidebar::refresh);
    refresh();
}

LabeledSlider* StyleSidebar::addSlider(StyleSection* section, const QString& label, double lower, double upper,
                                       double step, std::function<void(double)> write)
{
    auto* slider = new LabeledSlider(label, lower, upper, step, section);
    section->content()->addWidget(slider);
    connect(slider, &LabeledSlider::valueEdited, this, std::move(write));
    m_sliders.push_back(slider);
    return slider;
}

void StyleSidebar::editStyling(const std::function<void(StylingConfiguration&)>& change)
{
    StylingConfiguration styling = m_editor.styling();
    change(styling);
    m_editor.setStyling(styling);
}

StyleSection* StyleSidebar::section(const QString& title) const
{
    for (StyleSection* s : m_sections) {
        if (s->title() == title)
            return s;
    }
    return nullptr;
}

LabeledSlider* StyleSidebar::slider(const QString& label) const
{
    for (LabeledSlider* s : m_sliders) {
        if (s->label() == label)
            return s;
    }
    return nullptr;
}

void StyleSidebar::refresh()
{
    const StylingConfiguration& s = m_editor.styling();
    slider(cornerRadiusLabel)->setValue(s.cornerRadius);
    slider(paddingLabel)->setValue(s.padding);
    slider(blurLabel)->setValue(s.shadow.radius);
    slider(opacityLabel)->setValue(s.shadow.opacity);
    slider(offsetYLabel)->setValue(s.shadow.offsetY);
    slider(amountLabel)->setValue(s.dimming.amount);
    m_dimToggle->setCheckedQuietly(s.dimming.isEnabled);
    m_focusHint->setVisible(!m_editor.hasShapeAnnotation());

    section(QStringLiteral("Card"))->setResetShown(!cardIsDefault(s));
    section(QStringLiteral("Shadow"))->setResetShown(!shadowIsDefault(s.shadow));
    section(QStringLiteral("Focus"))->setResetShown(!focusIsDefault(s.dimming));
    section(QStringLiteral("Browser"))->setResetShown(m_editor.browserChrome() != BrowserChromeSettings{});
    m_resetAll->setEnabled(m_editor.stylingIsDirty());
}

} // namespace pelorin
