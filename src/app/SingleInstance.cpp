#include "app/SingleInstance.h"

#include "platform/AppPaths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <unistd.h>

namespace pelorin {

namespace {

// A message is one line of JSON: an array of absolute file paths.
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
                QStringList files;
                for (const QJsonValue& value : message.array())
                    if (value.isString())
                        files << value.toString();
                socket->write("ok\n");
                socket->flush();
                socket->disconnectFromServer();
                Q_EMIT filesReceived(files);
            });
        }
    });
}

QString SingleInstance::defaultName()
{
    return QString::fromLatin1(applicationId) + u'-' + QString::number(getuid());
}

bool SingleInstance::sendToRunningInstance(const QStringList& files, int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact) + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance answers once it has taken the files.
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
