// `pelorin upload` as a whole process, against a server that does not speak TLS.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

// A failed TLS handshake is one line on standard error and exit code 1; nothing else is
// printed on the way out (Qt once warned while closing the connection at exit).
TEST(UploadCommand, ATlsFailureIsOneLineOfError)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
            socket->disconnectFromHost();
        });
    });

    // The test program's own home (see TestMain.cpp), which the command inherits.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Pelorin");
    const QString bucket = data + QStringLiteral("/upload-config.json");
    ASSERT_TRUE(pelorin::test::writeBytes(
        bucket, QStringLiteral(R"({"accountId":"","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots",)"
                               R"("publicUrl":"https://cdn.example","endpointURL":"https://127.0.0.1:%1","region":"auto"})")
                    .arg(server.serverPort())
                    .toUtf8()));
    QFile::setPermissions(bucket, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(pelorin::test::writeBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Pelorin/Pelorin.json"),
                                          R"({"uploadDestination":"custom"})"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PELORIN_BINARY), {QStringLiteral("upload"), QStringLiteral(PELORIN_SAMPLE)});
    // The server answers from this process's event loop.
    ASSERT_TRUE(pelorin::test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30'000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.startsWith(QStringLiteral("pelorin: %1: SSL handshake failed").arg(QStringLiteral(PELORIN_SAMPLE))))
        << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
}
