#pragma once

#include <QString>

#include <exception>
#include <string>

namespace pelorin {

// Base of every error the upload and cloud services throw; description() is the sentence
// the user reads (after "Upload failed — copied the image instead. ", in a status line, on
// standard error of `pelorin upload`).
class ServiceError : public std::exception {
public:
    explicit ServiceError(QString description);
    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_description;
    std::string m_what;
};

// The HTTP exchange itself failed: no connection, TLS failure, time-out, reply cut off.
// Carries the client's own message, as the platform's HTTP client would report it.
class TransportError : public ServiceError {
public:
    TransportError(int networkError, QString description);
    // QNetworkReply::NetworkError
    int networkError() const { return m_networkError; }
    bool isTimeout() const;

private:
    int m_networkError;
};

// A reply with a success status whose body is not the record that was asked for.
class DecodingError : public ServiceError {
public:
    using ServiceError::ServiceError;
};

// The first `count` user-perceived characters of `text`, so a cut never splits an emoji or
// a letter from its accent.
QString leadingCharacters(const QString& text, int count);

} // namespace pelorin
