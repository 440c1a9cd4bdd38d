#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

namespace pelorin {

class NotificationCenter;
class Pasteboard;
class Uploader;

// Modal messages of the shell, behind an interface so tests can answer them.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void warning(const QString& message, const QString& informativeText) = 0;
};

// Files handed to the app from outside the editor (a second `pelorin FILE…`, "Open with",
// a drop on the upload history): images open in the editor, anything else is uploaded and
// its link copied.
class MenuBarDrop {
public:
    MenuBarDrop(NotificationCenter& notifications, Uploader& uploader, Pasteboard& pasteboard, AlertPresenter& alerts);

    static bool isImageFile(const QString& path);

    void handleFiles(const QStringList& paths);
    QCoro::Task<void> uploadDroppedFile(QString path);

private:
    NotificationCenter& m_notifications;
    Uploader& m_uploader;
    Pasteboard& m_pasteboard;
    AlertPresenter& m_alerts;
};

// Plays the desktop's "complete" sound when a sound player is installed.
void playCompletionSound();

} // namespace pelorin
