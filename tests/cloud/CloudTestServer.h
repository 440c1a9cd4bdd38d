#pragma once

#include "net/HttpClient.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace pelorin::test {

// The stand-in for the cloud service (cloud_service.py) on a free local port, for the life
// of one test; with "--moto" among `arguments` a real S3 server (moto) beside it.
class CloudTestServer {
public:
    explicit CloudTestServer(const QStringList& arguments = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("python3"), QStringList{QStringLiteral(PELORIN_TEST_SCRIPTS "/cloud/cloud_service.py")} + arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(60'000)) {
        }
        m_port = m_process.readLine().trimmed().toInt();
    }
    ~CloudTestServer()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(10'000);
    }

    bool isRunning() const { return m_port != 0; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    struct Script {
        QString method;
        QString path;
        int status = 200; // 0: the service's own answer, after the delay
        QByteArray body;
        QString contentType = QStringLiteral("application/json");
        double delaySeconds = 0;
        int times = 1;
        bool prefix = false; // every path that starts with `path`
    };
    // The next `times` requests to method + path get this reply.
    void script(const Script& s)
    {
        control(QStringLiteral("/_control/script"),
                {{QStringLiteral("method"), s.method}, {QStringLiteral("path"), s.path}, {QStringLiteral("status"), s.status},
                 {QStringLiteral("bodyBase64"), QString::fromLatin1(s.body.toBase64())}, {QStringLiteral("contentType"), s.contentType},
                 {QStringLiteral("delay"), s.delaySeconds}, {QStringLiteral("times"), s.times}, {QStringLiteral("prefix"), s.prefix}});
    }
    void addSession(const QString& token, const QString& email)
    {
        control(QStringLiteral("/_control/token"), {{QStringLiteral("token"), token}, {QStringLiteral("email"), email}});
    }
    // One of the control requests cloud_service.py lists, and its answer.
    QJsonDocument control(const QString& path, const QJsonObject& body = {})
    {
        const HttpRequest request{QUrl(baseUrl() + path), "POST", {{"Content-Type", "application/json"}},
                                  QJsonDocument(body).toJson(), std::chrono::seconds(30), std::nullopt, 64 << 20};
        return QJsonDocument::fromJson(QCoro::waitFor(sendHttpRequest(request)).body);
    }

    // Requests seen so far (method, path, headers by lower-case name, body in base64), all or
    // those to method + path.
    QJsonArray requests(const QString& method = {}, const QString& path = {})
    {
        const QJsonObject filter{{QStringLiteral("method"), method}, {QStringLiteral("path"), path}};
        return control(QStringLiteral("/_control/requests"), method.isEmpty() ? QJsonObject() : filter).array();
    }
    int count(const QString& method, const QString& path) { return int(requests(method, path).size()); }
    // The last request to method + path; empty when there was none.
    QJsonObject lastRequest(const QString& method, const QString& path)
    {
        const QJsonArray matching = requests(method, path);
        return matching.at(matching.size() - 1).toObject();
    }

    static QString header(const QJsonObject& request, const QString& name) { return request[u"headers"][name.toLower()].toString(); }
    static QByteArray body(const QJsonObject& request) { return QByteArray::fromBase64(request[u"body"].toString().toLatin1()); }

private:
    QProcess m_process;
    int m_port = 0;
};

} // namespace pelorin::test
