#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

namespace pelorin::test {

// The stand-in for the cloud service (cloud_service.py) on a free local port, for the life
// of one test.
class CloudTestServer {
public:
    CloudTestServer();
    ~CloudTestServer();

    bool isRunning() const { return m_port != 0; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // Server behaviour: camel (member style), googlePendingPolls, googleFinal, uploadHeaders.
    void configure(const QJsonObject& settings);
    struct Script {
        QString method;
        QString path;
        int status = 200;
        QByteArray body;
        QString contentType = QStringLiteral("application/json");
        double delaySeconds = 0;
        int times = 1;
        bool prefix = false; // every path that starts with `path`
    };
    // The next `times` requests to method + path get this reply.
    void script(const Script& script);
    void addSession(const QString& token, const QString& email);

    // Requests seen so far (method, path, headers as [name, value] pairs, body in base64).
    QJsonArray requests();
    int count(const QString& method, const QString& path);
    // The last request to method + path; empty when there was none.
    QJsonObject lastRequest(const QString& method, const QString& path);
    // Bytes stored by presigned PUTs, by key.
    QByteArray storedObject(const QString& key);

    static QString header(const QJsonObject& request, const QString& name);
    static QByteArray body(const QJsonObject& request);

private:
    QByteArray control(const QByteArray& method, const QString& path, const QJsonObject& body = {});

    QProcess m_process;
    int m_port = 0;
};

// python3, or empty when there is none.
QString python();

} // namespace pelorin::test
