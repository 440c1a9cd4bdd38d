#include "ui/ShortcutRecorderView.h"

#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QKeyEvent>

namespace pelorin {

namespace {

const QString keyKey = QString::fromLatin1(SettingsKeys::captureShortcutKey);
const QString modifiersKey = QString::fromLatin1(SettingsKeys::captureShortcutModifiers);

} // namespace

ShortcutRecorderView::ShortcutRecorderView(SettingsStore& settings, NotificationCenter& notifications, QWidget* parent)
    : QPushButton(parent)
    , m_settings(settings)
    , m_notifications(notifications)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(160);
    connect(this, &QPushButton::clicked, this, [this] {
        if (isRecording())
            stopRecording();
        else
            startRecording();
    });
    connect(&m_settings, &SettingsStore::changed, this, [this](const QString& key) {
        if (key == keyKey || key == modifiersKey)
            refresh();
    });
    refresh();
}

QString ShortcutRecorderView::displayString() const
{
    return pelorin::displayString(effectiveShortcut(m_settings.stringValue(keyKey, QStringLiteral("1")),
                                                    m_settings.value(modifiersKey).toLongLong()));
}

void ShortcutRecorderView::startRecording()
{
    m_recorder.start();
    setFocus(Qt::OtherFocusReason);
    refresh();
}

void ShortcutRecorderView::stopRecording()
{
    m_recorder.stop();
    refresh();
}

void ShortcutRecorderView::refresh()
{
    setDown(isRecording());
    setText(isRecording() ? tr("Type shortcut…") : displayString());
}

bool ShortcutRecorderView::event(QEvent* event)
{
    if (!isRecording())
        return QPushButton::event(event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Keeps window shortcuts (Ctrl+W, Ctrl+S…) from taking the keys being recorded.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        // Handled here rather than in keyPressEvent so Tab and Escape are swallowed too.
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto outcome = m_recorder.keyPressed({key->key(), key->modifiers(), key->nativeScanCode()});
        if (outcome == ShortcutRecorder::Outcome::Recorded) {
            const CaptureShortcut shortcut = m_recorder.recorded();
            m_settings.setValues({{keyKey, QString(QLatin1Char(shortcut.key))},
                                  {modifiersKey, qint64(shortcut.modifiers.toInt())}});
            refresh();
            m_notifications.post(Notifications::shortcutChanged);
        }
        return true;
    }
    case QEvent::KeyRelease:
        return true;
    default:
        return QPushButton::event(event);
    }
}

void ShortcutRecorderView::focusOutEvent(QFocusEvent* event)
{
    stopRecording();
    QPushButton::focusOutEvent(event);
}

} // namespace pelorin
