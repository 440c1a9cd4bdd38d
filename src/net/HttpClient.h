#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>
#include <utility>

class QNetworkAccessManager;

namespace pelorin {

struct HttpRequest {
    QUrl url;
    QByteArray method = "GET";
    // Sent as given, in this order: no trimming, no case folding.
    QList<std::pair<QByteArray, QByteArray>> headers;
    std::optional<QByteArray> body;
    // Longest silence allowed while connecting, sending or receiving.
    std::chrono::milliseconds timeout{60'000};
    // Longest the whole exchange may take: a server that drips its reply a byte at a time
    // never trips the silence limit above. Absent: exchangeDeadline() of the body's size.
    std::optional<std::chrono::milliseconds> deadline;
    // A reply body larger than this is not read to the end.
    qint64 maxReplyBytes = 1 << 20;
};

struct HttpReply {
    // Absent when no HTTP exchange took place (a URL of another scheme).
    std::optional<int> status;
    QByteArray body;
    // The body passed maxReplyBytes; `body` is incomplete and must not be used.
    bool oversized = false;

    bool succeeded() const { return status && *status >= 200 && *status <= 299; }
};

// How long an exchange sending `bodyBytes` may take in all: a bounded wait for the answer,
// plus the body's time at a slow but working upload speed. A stalled server fails in well
// under a minute instead of ten.
std::chrono::milliseconds exchangeDeadline(qint64 bodyBytes);

// The main thread's one network manager, shared by every request of the app.
QNetworkAccessManager* networkManager();

// One HTTP exchange on the main thread's network manager. Only http and https URLs are
// contacted. Throws TransportError when the exchange fails below HTTP (no connection,
// time-out, reply cut off).
QCoro::Task<HttpReply> sendHttpRequest(HttpRequest request);

// Whether `url` is an absolute http or https URL with a host, the only kind the services
// send anything to.
bool isHttpUrl(const QUrl& url);

// `bytes` as UTF-8 text, or nothing when they are not valid UTF-8.
std::optional<QString> strictUtf8(const QByteArray& bytes);

} // namespace pelorin
