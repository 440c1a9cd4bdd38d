#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

namespace pelorin {

// One running Pelorin per user: a later `pelorin FILE…` hands its files to the running one
// over a local socket and exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    static QString defaultName();

    // Sends `files` (absolute paths) to a running instance; true when one took them.
    bool sendToRunningInstance(const QStringList& files, int timeoutMs = 2000) const;
    // Becomes the running instance; false when the name cannot be claimed.
    bool listen();

Q_SIGNALS:
    void filesReceived(const QStringList& files);

private:
    QString m_name;
    QLocalServer m_server;
};

} // namespace pelorin
