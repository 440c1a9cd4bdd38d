#include "ui/BrowserChromeSection.h"

#include "editor/EditorViewModel.h"
#include "ui/ChromeButton.h"
#include "ui/ToggleSwitch.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace pelorin {

BrowserChromeSection::BrowserChromeSection(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    m_enabled = new ToggleSwitch(QStringLiteral("Browser Frame"), this);
    column->addWidget(m_enabled);

    auto* styles = new QHBoxLayout;
    styles->setSpacing(6);
    m_dark = new ChromeButton(ChromeButton::Kind::toolbarText, std::nullopt, QStringLiteral("Dark"), this);
    m_light = new ChromeButton(ChromeButton::Kind::toolbarText, std::nullopt, QStringLiteral("Light"), this);
    for (ChromeButton* button : {m_dark, m_light}) {
        button->setCheckable(true);
        button->setFontPixelSize(12);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        styles->addWidget(button);
    }
    column->addLayout(styles);

    m_addressBar = new ToggleSwitch(QStringLiteral("Address Bar"), this);
    column->addWidget(m_addressBar);

    m_address = new QLineEdit(this);
    m_address->setPlaceholderText(QStringLiteral("example.com"));
    m_address->setAccessibleName(QStringLiteral("Address"));
    m_address->setFont(uiFont(12.5));
    m_address->setClearButtonEnabled(true);
    m_address->setStyleSheet(QStringLiteral(
        "QLineEdit { background: rgba(255,255,255,15); border: 1px solid rgba(255,255,255,26); border-radius: 7px;"
        " padding: 5px 8px; color: rgba(255,255,255,235); selection-background-color: rgba(122,104,246,160); }"
        "QLineEdit:focus { border: 1px solid rgb(122,104,246); }"
        "QLineEdit:disabled { color: rgba(255,255,255,90); }"));
    column->addWidget(m_address);

    m_addressTimer.setSingleShot(true);
    m_addressTimer.setInterval(addressDelayMs);
    connect(&m_addressTimer, &QTimer::timeout, this, &BrowserChromeSection::applyAddress);
    // Each keystroke restarts the wait.
    connect(m_address, &QLineEdit::textEdited, this, [this] { m_addressTimer.start(); });
    // Enter or leaving the field applies at once: no reason to wait then.
    connect(m_address, &QLineEdit::editingFinished, this, [this] {
        if (m_addressTimer.isActive()) {
            m_addressTimer.stop();
            applyAddress();
        }
    });

    connect(m_enabled, &QAbstractButton::clicked, this, [this](bool on) {
        BrowserChromeSettings settings = m_editor.browserChrome();
        settings.isEnabled = on;
        m_editor.setBrowserChrome(settings);
    });
    connect(m_addressBar, &QAbstractButton::clicked, this, [this](bool on) {
        BrowserChromeSettings settings = m_editor.browserChrome();
        settings.showsAddressBar = on;
        m_editor.setBrowserChrome(settings);
    });
    for (ChromeButton* button : {m_dark, m_light}) {
        connect(button, &QAbstractButton::clicked, this, [this, button] {
            BrowserChromeSettings settings = m_editor.browserChrome();
            settings.style = button == m_dark ? BrowserChromeStyle::dark : BrowserChromeStyle::light;
            m_editor.setBrowserChrome(settings);
            refresh();
        });
    }
    connect(&m_editor, &EditorViewModel::browserChromeChanged, this, &BrowserChromeSection::refresh);
    refresh();
}

void BrowserChromeSection::applyAddress()
{
    BrowserChromeSettings settings = m_editor.browserChrome();
    if (settings.urlText == m_address->text())
        return;
    settings.urlText = m_address->text();
    m_editor.setBrowserChrome(settings);
}

void BrowserChromeSection::refresh()
{
    const BrowserChromeSettings& settings = m_editor.browserChrome();
    m_enabled->setCheckedQuietly(settings.isEnabled);
    m_addressBar->setCheckedQuietly(settings.showsAddressBar);
    m_dark->setChecked(settings.style == BrowserChromeStyle::dark);
    m_light->setChecked(settings.style == BrowserChromeStyle::light);
    // Text still waiting to be applied is the user's; it is not overwritten.
    if (!m_addressTimer.isActive() && m_address->text() != settings.urlText)
        m_address->setText(settings.urlText);
    // The frame's own settings can be changed only while it is shown.
    for (QWidget* control : std::initializer_list<QWidget*>{m_dark, m_light, m_addressBar})
        control->setEnabled(settings.isEnabled);
    m_address->setEnabled(settings.isEnabled && settings.showsAddressBar);
}

} // namespace pelorin
