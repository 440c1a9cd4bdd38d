#pragma once

#include "upload/UploadedFile.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

#include <stdexcept>

namespace pelorin {

// A failed upload; `description()` is what the user reads.
class UploadFailure : public std::runtime_error {
public:
    explicit UploadFailure(QString description)
        : std::runtime_error(description.toStdString())
        , m_description(std::move(description))
    {
    }
    QString description() const { return m_description; }

private:
    QString m_description;
};

// Sends a rendered screenshot to the user's chosen destination.
class Uploader {
public:
    virtual ~Uploader() = default;
    // Whether an upload can be attempted now (a destination is chosen and complete).
    virtual bool isConfigured() const = 0;
    // Throws UploadFailure.
    virtual QCoro::Task<UploadedFile> upload(QByteArray data, QString fileName) = 0;
};

// Until a destination exists, nothing is configured and nothing is sent.
class NoUploader : public Uploader {
public:
    bool isConfigured() const override { return false; }
    QCoro::Task<UploadedFile> upload(QByteArray, QString) override
    {
        throw UploadFailure(QStringLiteral("Uploads are not configured."));
        co_return UploadedFile{};
    }
};

} // namespace pelorin
