#include "TaskOutcome.h"

#include "net/HttpClient.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace pelorin;
using namespace Qt::StringLiterals;

// Servers that misbehave in ways the user must be told about in words, quickly. Each reads the
// whole request and answers `reply`: closing the connection after an HTTP/1.0 answer only, and
// with `drip` sending its body one byte at a time, each well inside the silence limit, so only
// the overall deadline ends the exchange.
TEST(HttpClient, MisbehavingServersFailFastWithAMessage)
{
    const struct {
        const char* name;
        QByteArray reply;
        QString error;
        bool drip = false;
        bool oversized = false;
    } cases[] = {
        {"redirect loop", "HTTP/1.0 307 Temporary Redirect\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n",
         u"The server redirected the request too many times."_s},
        {"reply larger than allowed", "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\nxxxx", {}, false, true},
        {"reply dripped", "HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n", u"The server took too long to answer."_s, true},
    };
    const QByteArray body(200'000, 'p'); // an upload: sent again on each redirect
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QTimer drip;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            auto received = std::make_shared<qint64>(0);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, received, &c, &body, &drip] {
                const qint64 before = *received;
                *received += socket->readAll().size();
                if (before > body.size() || *received <= body.size())
                    return;
                socket->write(c.reply);
                if (c.reply.startsWith("HTTP/1.0"))
                    socket->disconnectFromHost();
                if (c.drip) {
                    QObject::connect(&drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                    drip.start(50);
                }
            });
        });
        HttpRequest request{QUrl(u"http://127.0.0.1:%1/loop"_s.arg(server.serverPort())), "PUT", {{"Authorization", "AWS4 …"}}, body,
                            std::chrono::milliseconds(c.drip ? 400 : 20'000), std::nullopt, 1000};
        if (c.drip)
            request.deadline = std::chrono::milliseconds(1200);
        QElapsedTimer clock;
        clock.start();
        const auto result = test::outcome(sendHttpRequest(request));
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.value && result.value->oversized, c.oversized);
        EXPECT_EQ(result.errorAs<TransportError>() && result.errorAs<TransportError>()->isTimeout(), c.drip);
        EXPECT_LT(clock.elapsed(), 5'000) << "not only at the silence limit";
    }
}

// Without a deadline of its own, an exchange waits a bounded time for the answer plus its
// body's time at a slow but working upload speed: a stalled screenshot upload fails within
// about a minute, a large one on a slow line still gets through.
TEST(HttpClient, TheDefaultDeadlineGrowsOnlyWithTheBody)
{
    using std::chrono::seconds;
    EXPECT_LT(exchangeDeadline(0), seconds(60));
    EXPECT_LT(exchangeDeadline(300'000), seconds(70));
    EXPECT_GT(exchangeDeadline(qint64(20) << 20), seconds(20 * 1024 / 40));
}
