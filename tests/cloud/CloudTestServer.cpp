#include "CloudTestServer.h"

#include "net/HttpClient.h"

#include <QCoro/QCoroTask>
#include <QStandardPaths>

namespace pelorin::test {

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

CloudTestServer::CloudTestServer(const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(python(), QStringList{QStringLiteral(PELORIN_TEST_SCRIPTS "/cloud/cloud_service.py")} + arguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(60'000)) {
    }
    m_port = m_process.readLine().trimmed().toInt();
}

CloudTestServer::~CloudTestServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10'000)) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

QJsonDocument CloudTestServer::control(const QString& path, const QJsonObject& body)
{
    HttpRequest request;
    request.url = QUrl(baseUrl() + path);
    request.method = "POST";
    request.timeout = std::chrono::seconds(30);
    request.maxReplyBytes = 64 << 20;
    request.headers.emplace_back("Content-Type", "application/json");
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return QJsonDocument::fromJson(QCoro::waitFor(sendHttpRequest(std::move(request))).body);
}

void CloudTestServer::script(const Script& script)
{
    control(QStringLiteral("/_control/script"),
            {{QStringLiteral("method"), script.method},
             {QStringLiteral("path"), script.path},
             {QStringLiteral("status"), script.status},
             {QStringLiteral("bodyBase64"), QString::fromLatin1(script.body.toBase64())},
             {QStringLiteral("contentType"), script.contentType},
             {QStringLiteral("delay"), script.delaySeconds},
             {QStringLiteral("times"), script.times},
             {QStringLiteral("prefix"), script.prefix}});
}

} // namespace pelorin::test
