#include "TaskOutcome.h"

#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace pelorin;

// A server that sends its reply one byte at a time, each well inside the silence limit:
// only the overall deadline ends the exchange.
TEST(HttpClient, ADrippedReplyEndsAtTheDeadline)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTimer drip;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        QObject::connect(&drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        drip.start(50);
    });

    HttpRequest request;
    request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/slow").arg(server.serverPort()));
    request.timeout = std::chrono::milliseconds(400);
    request.deadline = std::chrono::milliseconds(1200);
    QElapsedTimer clock;
    clock.start();
    const auto result = test::outcome(sendHttpRequest(request));
    EXPECT_EQ(result.error, QStringLiteral("The server took too long to answer."));
    ASSERT_NE(result.errorAs<TransportError>(), nullptr);
    EXPECT_TRUE(result.errorAs<TransportError>()->isTimeout());
    EXPECT_LT(clock.elapsed(), 10'000);
}
