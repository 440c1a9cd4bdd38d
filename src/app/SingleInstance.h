#pragma once

#include <QLocalServer>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QVariantMap>

namespace pelorin {

// One running Pelorin per user and graphical session: a later `pelorin FILE…` hands its files
// to the running one over a local socket and exits, `pelorin --capture` asks it to capture
// and `pelorin --pin FILE` to pin an image.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // A socket in the user's runtime folder, one per display: two sessions of one user (or a
    // test display beside the real one) each have their own app.
    static QString defaultName(const QProcessEnvironment& environment);
    static QString defaultName() { return defaultName(QProcessEnvironment::systemEnvironment()); }

    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // Sends `files` (absolute paths) to a running instance; true when one took them.
    bool sendToRunningInstance(const QStringList& files, int timeoutMs = 2000) const;
    // Asks a running instance to start a capture; true when one took the request. `request`
    // is the "triggerCapture" message: {"mode": name, "monitor": N, "delay": seconds}.
    bool sendCaptureRequest(const QVariantMap& request, int timeoutMs = 2000) const;
    // Asks a running instance to pin images to the screen.
    bool sendPinRequest(const QStringList& files, int timeoutMs = 2000) const;
    // Becomes the running instance; false when the name cannot be claimed.
    bool listen();

Q_SIGNALS:
    void filesReceived(const QStringList& files);
    void captureRequested(const QVariantMap& request);
    void pinRequested(const QStringList& files);

private:
    bool send(const QByteArray& message, int timeoutMs) const;

    QString m_name;
    QLocalServer m_server;
};

} // namespace pelorin
