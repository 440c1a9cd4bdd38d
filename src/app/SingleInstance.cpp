#include "app/SingleInstance.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>

#include <unistd.h>

namespace pelorin {

namespace {

// A message is one line of JSON: an array of absolute file paths (what every version sends),
// or an object {"files": [...], "capture": mode, "monitor": N, "delay": seconds, "pin": [...]}.
// The mode "screen" of earlier versions is the region capture.
constexpr qint64 maxMessageBytes = 1 << 20;

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > maxMessageBytes)
                        socket->abort();
                    return;
                }
                const QJsonDocument message = QJsonDocument::fromJson(socket->readLine(maxMessageBytes));
                const QJsonObject object = message.object();
                const QJsonArray list = message.isObject() ? object.value(QLatin1String("files")).toArray() : message.array();
                QString captureWord = object.value(QLatin1String("capture")).toString();
                if (captureWord == u"screen")
                    captureWord = QStringLiteral("region");
                QStringList files;
                for (const QJsonValue& value : list)
                    if (value.isString())
                        files << value.toString();
                socket->write("ok\n");
                socket->flush();
                socket->disconnectFromServer();
                if (object.contains(QLatin1String("pin"))) {
                    Q_EMIT pinRequested(object.value(QLatin1String("pin")).toVariant().toStringList());
                } else if (!captureWord.isEmpty()) {
                    QVariantMap request = object.toVariantMap();
                    request.remove(QStringLiteral("files"));
                    request.remove(QStringLiteral("capture"));
                    request.insert(QStringLiteral("mode"), captureWord);
                    Q_EMIT captureRequested(request);
                } else {
                    Q_EMIT filesReceived(files);
                }
            });
        }
    });
}

QString SingleInstance::defaultName(const QProcessEnvironment& environment)
{
    // The display names the graphical session: ":1" under X11, "wayland-0" (or a path) under
    // Wayland. Both go into one file name.
    QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    display = display.isEmpty() ? QStringLiteral("x11.") + environment.value(QStringLiteral("DISPLAY"))
                                : QStringLiteral("wl.") + display.section(u'/', -1);
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    const QString name = QString::fromLatin1(applicationId) + u'.' + display;
    // The runtime folder is the user's own (mode 0700); without one, the user id keeps
    // users apart in the shared temporary folder.
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(name);
    return QDir(QDir::tempPath()).filePath(name + u'-' + QString::number(getuid()));
}

bool SingleInstance::sendToRunningInstance(const QStringList& files, int timeoutMs) const
{
    return send(QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact), timeoutMs);
}

bool SingleInstance::sendCaptureRequest(const QVariantMap& request, int timeoutMs) const
{
    QJsonObject message = QJsonObject::fromVariantMap(request);
    message.insert(QStringLiteral("capture"), message.take(QStringLiteral("mode")));
    message.insert(QStringLiteral("files"), QJsonArray());
    return send(QJsonDocument(message).toJson(QJsonDocument::Compact), timeoutMs);
}

bool SingleInstance::sendPinRequest(const QStringList& files, int timeoutMs) const
{
    const QJsonObject message{{QStringLiteral("files"), QJsonArray()}, {QStringLiteral("pin"), QJsonArray::fromStringList(files)}};
    return send(QJsonDocument(message).toJson(QJsonDocument::Compact), timeoutMs);
}

bool SingleInstance::send(const QByteArray& message, int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(message + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance answers once it has taken the message.
    return socket.waitForReadyRead(timeoutMs) && socket.readLine().startsWith("ok");
}

bool SingleInstance::listen()
{
    // Qt binds a user-only socket elsewhere and renames it over the name, which would silently
    // steal it from a running instance: ask first whether anyone answers there.
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        if (probe.waitForConnected(500))
            return false;
    }
    // Nobody answers: whatever is left under the name belongs to a crashed instance.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(m_name);
}

} // namespace pelorin
