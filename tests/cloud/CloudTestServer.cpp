#include "CloudTestServer.h"

#include "net/HttpClient.h"

#include <QCoro/QCoroTask>
#include <QJsonDocument>
#include <QStandardPaths>

namespace pelorin::test {

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

CloudTestServer::CloudTestServer()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(python(), {QStringLiteral(PELORIN_TEST_SCRIPTS "/cloud/cloud_service.py")});
    if (!m_process.waitForStarted(10'000))
        return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10'000)) {
    }
    m_port = m_process.readLine().trimmed().toInt();
}

CloudTestServer::~CloudTestServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5'000)) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

QByteArray CloudTestServer::control(const QByteArray& method, const QString& path, const QJsonObject& body)
{
    HttpRequest request;
    request.url = QUrl(baseUrl() + path);
    request.method = method;
    request.timeout = std::chrono::seconds(10);
    request.maxReplyBytes = 64 << 20;
    if (method == "POST") {
        request.headers.emplace_back("Content-Type", "application/json");
        request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    }
    return QCoro::waitFor(sendHttpRequest(std::move(request))).body;
}

void CloudTestServer::configure(const QJsonObject& settings)
{
    control("POST", QStringLiteral("/_control/config"), settings);
}

void CloudTestServer::script(const Script& script)
{
    control("POST", QStringLiteral("/_control/script"),
            {{QStringLiteral("method"), script.method},
             {QStringLiteral("path"), script.path},
             {QStringLiteral("status"), script.status},
             {QStringLiteral("bodyBase64"), QString::fromLatin1(script.body.toBase64())},
             {QStringLiteral("contentType"), script.contentType},
             {QStringLiteral("delay"), script.delaySeconds},
             {QStringLiteral("times"), script.times},
             {QStringLiteral("prefix"), script.prefix}});
}

void CloudTestServer::addSession(const QString& token, const QString& email)
{
    control("POST", QStringLiteral("/_control/token"), {{QStringLiteral("token"), token}, {QStringLiteral("email"), email}});
}

QJsonArray CloudTestServer::requests()
{
    return QJsonDocument::fromJson(control("GET", QStringLiteral("/_control/requests"))).array();
}

int CloudTestServer::count(const QString& method, const QString& path)
{
    int n = 0;
    for (const QJsonValue& request : requests()) {
        const QString requestPath = request[QLatin1String("path")].toString().section(u'?', 0, 0);
        if (request[QLatin1String("method")].toString() == method && requestPath == path)
            ++n;
    }
    return n;
}

QJsonObject CloudTestServer::lastRequest(const QString& method, const QString& path)
{
    QJsonObject last;
    for (const QJsonValue& request : requests()) {
        const QString requestPath = request[QLatin1String("path")].toString().section(u'?', 0, 0);
        if (request[QLatin1String("method")].toString() == method && requestPath == path)
            last = request.toObject();
    }
    return last;
}

QByteArray CloudTestServer::storedObject(const QString& key)
{
    const QJsonObject objects = QJsonDocument::fromJson(control("GET", QStringLiteral("/_control/objects"))).object();
    return QByteArray::fromBase64(objects.value(key).toString().toLatin1());
}

QString CloudTestServer::header(const QJsonObject& request, const QString& name)
{
    for (const QJsonValue& pair : request[QLatin1String("headers")].toArray()) {
        if (pair[0].toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair[1].toString();
    }
    return {};
}

QByteArray CloudTestServer::body(const QJsonObject& request)
{
    return QByteArray::fromBase64(request[QLatin1String("body")].toString().toLatin1());
}

} // namespace pelorin::test
