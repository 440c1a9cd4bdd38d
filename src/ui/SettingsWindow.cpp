#include "ui/SettingsWindow.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QApplication>
#include <QScrollArea>
#include <QShortcut>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pelorin {

namespace {

QLabel* secondary(const QString& text, QWidget* parent = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// A check box bound to a bool key, both ways.
QCheckBox* boundToggle(SettingsStore& settings, const char* key, const QString& title, QWidget* context)
{
    auto* box = new QCheckBox(title);
    const QString name = QLatin1String(key);
    box->setChecked(settings.boolValue(name, settingDefault(key).toBool()));
    QObject::connect(box, &QCheckBox::toggled, context, [&settings, name](bool on) {
        if (settings.boolValue(name, !on) != on)
            settings.setValue(name, on);
    });
    QObject::connect(&settings, &SettingsStore::changed, box, [&settings, name, key, box](const QString& changed) {
        if (changed == name)
            box->setChecked(settings.boolValue(name, settingDefault(key).toBool()));
    });
    return box;
}

// A choice bound to a string key; `options` pairs the title shown with the stored value.
QWidget* boundChoice(SettingsStore& settings, const char* key, const QString& title,
                     const QList<std::pair<QString, QString>>& options)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(title));
    layout->addStretch();
    auto* combo = new QComboBox;
    for (const auto& [shown, value] : options)
        combo->addItem(shown, value);
    const QString name = QLatin1String(key);
    const auto sync = [&settings, name, key, combo] {
        const int index = combo->findData(settings.stringValue(name, settingDefault(key).toString()));
        combo->setCurrentIndex(index < 0 ? combo->findData(settingDefault(key)) : index);
    };
    sync();
    QObject::connect(combo, &QComboBox::activated, row, [&settings, name, combo] {
        settings.setValue(name, combo->currentData().toString());
    });
    QObject::connect(&settings, &SettingsStore::changed, combo, [name, sync](const QString& changed) {
        if (changed == name)
            sync();
    });
    layout->addWidget(combo);
    return row;
}

// A scrolling form that stays where the user left it when the focus is moved off a control
// that was just disabled or hidden (a sign-in running, the browser sign-in starting): the
// default scrolls to whatever control takes the focus then. Tab still scrolls to its control.
class FormScrollArea : public QScrollArea {
protected:
    bool focusNextPrevChild(bool next) override
    {
        const QWidget* from = QApplication::focusWidget();
        const bool forced = from && (!from->isEnabled() || !from->isVisible());
        const int kept = verticalScrollBar()->value();
        const bool moved = QScrollArea::focusNextPrevChild(next);
        if (forced)
            verticalScrollBar()->setValue(kept);
        return moved;
    }
};

} // namespace

SettingsWindow::SettingsWindow(SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
{
    setWindowTitle(QStringLiteral("Pelorin Settings"));
    setFixedSize(460, 640);
    // Esc closes it, as it does a dialog.
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new FormScrollArea;
    m_scroll = scroll;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    m_sections = new QVBoxLayout(content);
    m_sections->setContentsMargins(20, 16, 20, 20);
    m_sections->setSpacing(18);
    scroll->setWidget(content);
    outer->addWidget(scroll);

    m_account = addSection(QStringLiteral("Account"));

    m_shortcut = addSection(QStringLiteral("Keyboard Shortcuts"),
                            QStringLiteral("Click the shortcut field and press your desired key combination."));
    // Shown when the desktop offers apps no global shortcuts; its command can be copied.
    m_shortcutNote = secondary(QString());
    m_shortcutNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_shortcutNote->hide();
    m_sections->addWidget(m_shortcutNote);

    QVBoxLayout* captureBehavior = addSection(
        QStringLiteral("Capture Behavior"),
        QStringLiteral("When enabled, the Pelorin window will hide before capturing so it doesn't appear in your screenshot."));
    captureBehavior->addWidget(
        boundToggle(settings, SettingsKeys::hideWindowDuringCapture, QStringLiteral("Hide window during capture"), this));
    captureBehavior->addWidget(
        boundToggle(settings, SettingsKeys::captureIncludesPointer, QStringLiteral("Include the mouse pointer"), this));
    captureBehavior->addWidget(boundToggle(settings, SettingsKeys::captureMagnifier,
                                           QStringLiteral("Show a magnifier while selecting a region"), this));

    QVBoxLayout* afterExport = addSection(
        QStringLiteral("After Export"),
        QStringLiteral("\u201CAnd close\u201D hides the editor window after the shortcut — Pelorin keeps running in the menu bar."));
    afterExport->addWidget(boundChoice(settings, SettingsKeys::copyFollowUp, QStringLiteral("Copy (Ctrl+C)"),
                                       {{QStringLiteral("Copy image"), QStringLiteral("stay")},
                                        {QStringLiteral("Copy image and close"), QStringLiteral("close")}}));
    afterExport->addWidget(boundChoice(settings, SettingsKeys::saveFollowUp, QStringLiteral("Save (Ctrl+S)"),
                                       {{QStringLiteral("Save image"), QStringLiteral("stay")},
                                        {QStringLiteral("Save image and close"), QStringLiteral("close")}}));

    m_uploads = addSection(QStringLiteral("Uploads"));
    m_storage = addSection(QStringLiteral("S3 / R2 Storage"));

    QVBoxLayout* preview = addSection(QStringLiteral("Preview"));
    auto* previewRow = new QHBoxLayout;
    previewRow->addWidget(new QLabel(QStringLiteral("Current shortcut:")));
    m_shortcutDisplay = secondary(QStringLiteral("Ctrl+Shift+1"));
    previewRow->addWidget(m_shortcutDisplay);
    previewRow->addStretch();
    preview->addLayout(previewRow);

    addSection(QStringLiteral("Clipboard"),
               QStringLiteral("When anything you copy — from any app — is valid JSON, Pelorin rewrites the clipboard neatly "
                              "indented, preserving key order exactly. Password-manager copies are never touched. Also "
                              "toggleable from the menu bar."))
        ->addWidget(boundToggle(settings, SettingsKeys::formatCopiedJSON, QStringLiteral("Format copied JSON automatically"), this));

    QVBoxLayout* updates = addSection(QStringLiteral("Updates"));
    updates->addWidget(boundToggle(settings, SettingsKeys::autoCheckForUpdates, QStringLiteral("Check for updates automatically"), this));
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(new QLabel(QStringLiteral("Version")));
    versionRow->addStretch();
    versionRow->addWidget(secondary(QStringLiteral(PELORIN_VERSION)));
    updates->addLayout(versionRow);
    auto* checkRow = new QHBoxLayout;
    auto* checkNow = new QPushButton(QStringLiteral("Check Now"));
    connect(checkNow, &QPushButton::clicked, this, &SettingsWindow::checkForUpdatesRequested);
    checkRow->addWidget(checkNow);
    m_updateStatus = secondary(QString());
    QFont caption = m_updateStatus->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_updateStatus->setFont(caption);
    checkRow->addWidget(m_updateStatus, 1);
    updates->addLayout(checkRow);
    m_sections->addStretch();
}

QVBoxLayout* SettingsWindow::addSection(const QString& title, const QString& footer)
{
    auto* header = new QLabel(title.toUpper());
    m_headers.insert(title, header);
    QFont font = header->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    font.setWeight(QFont::DemiBold);
    header->setFont(font);
    header->setForegroundRole(QPalette::PlaceholderText);
    m_sections->addWidget(header);

    auto* group = new QFrame;
    group->setObjectName(QStringLiteral("settingsGroup"));
    group->setStyleSheet(QStringLiteral("#settingsGroup { background: rgba(255,255,255,0.05); border-radius: 8px; }"));
    auto* body = new QVBoxLayout(group);
    body->setContentsMargins(12, 10, 12, 10);
    m_sections->addWidget(group);
    if (!footer.isEmpty())
        m_sections->addWidget(secondary(footer));
    return body;
}

void SettingsWindow::showSection(const QString& title)
{
    QLabel* header = m_headers.value(title);
    if (!header)
        return;
    // Positions are only known once the form is laid out; a window opened a moment ago is not yet.
    m_scroll->widget()->layout()->activate();
    m_scroll->verticalScrollBar()->setValue(header->y() - m_sections->contentsMargins().top());
}

void SettingsWindow::setShortcutDisplay(const QString& text)
{
    m_shortcutDisplay->setText(text);
}

void SettingsWindow::setShortcutNote(const QString& text)
{
    m_shortcutNote->setText(text);
    m_shortcutNote->setVisible(!text.isEmpty());
}

void SettingsWindow::setUpdateStatus(const QString& text)
{
    m_updateStatus->setText(text);
}

} // namespace pelorin
