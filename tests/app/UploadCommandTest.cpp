// `pelorin upload` as a whole process, against a server that does not speak TLS.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

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

    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data/Pelorin"));
    const QString config = dir.filePath(QStringLiteral("config/Pelorin"));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    for (const QString& folder : {data, config, runtime})
        ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString bucket = data + QStringLiteral("/upload-config.json");
    ASSERT_TRUE(pelorin::test::writeBytes(
        bucket, QStringLiteral(R"({"accountId":"","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots",)"
                               R"("publicUrl":"https://cdn.example","endpointURL":"https://127.0.0.1:%1","region":"auto"})")
                    .arg(server.serverPort())
                    .toUtf8()));
    QFile::setPermissions(bucket, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(pelorin::test::writeBytes(config + QStringLiteral("/Pelorin.json"), R"({"uploadDestination":"custom"})"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
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
