#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <map>

namespace pelorin {

// Desktop notifications (the freedesktop Notifications service), each with one action.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // Shows `summary` and `body`; `onAction` runs when the user picks `actionLabel` or clicks
    // the notification. Without a notification service only a log line reports it.
    void notify(const QString& summary, const QString& body, const QString& actionLabel, std::function<void()> onAction);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void closed(uint id, uint reason);

private:
    std::map<uint, std::function<void()>> m_actions;
};

} // namespace pelorin
