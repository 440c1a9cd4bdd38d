#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

namespace pelorin {

// Names of the messages the shell posts to the editor.
namespace Notifications {
inline const QString triggerScreenCapture = QStringLiteral("triggerScreenCapture");
inline const QString triggerWindowCapture = QStringLiteral("triggerWindowCapture");
// object: {"mode": "fullScreen" | "monitor" | "lastRegion" | …, "monitor": N, "delay": seconds}
inline const QString triggerCapture = QStringLiteral("triggerCapture");
inline const QString openLastScreenshot = QStringLiteral("openLastScreenshot");
inline const QString reopenClosedScreenshot = QStringLiteral("reopenClosedScreenshot");
inline const QString openDroppedFile = QStringLiteral("openDroppedFile"); // object: the file's QUrl
inline const QString shortcutChanged = QStringLiteral("shortcutChanged");
} // namespace Notifications

// The application's default notification centre: named messages with an optional object,
// delivered synchronously on the main thread to every observer of that name.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter& defaultCenter();

    explicit NotificationCenter(QObject* parent = nullptr);

    void post(const QString& name, const QVariant& object = {});

    // The observer lives as long as `context`; it runs only for messages named `name`.
    QMetaObject::Connection observe(const QString& name, const QObject* context,
                                    std::function<void(const QVariant&)> handler);

Q_SIGNALS:
    void posted(const QString& name, const QVariant& object);
};

} // namespace pelorin
