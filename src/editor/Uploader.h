#pragma once

#include "net/ServiceError.h"
#include "upload/UploadedFile.h"

#include <QByteArray>
#include <QString>

#include <QCoro/QCoroTask>

namespace pelorin {

// Sends a rendered screenshot to the user's chosen destination.
class Uploader {
public:
    virtual ~Uploader() = default;
    // Whether an upload can be attempted now (a destination is chosen and complete).
    virtual bool isConfigured() const = 0;
    // Throws ServiceError, whose description() the user reads.
    virtual QCoro::Task<UploadedFile> upload(QByteArray data, QString fileName) = 0;
};

// Until a destination exists, nothing is configured and nothing is sent.
class NoUploader : public Uploader {
public:
    bool isConfigured() const override { return false; }
    QCoro::Task<UploadedFile> upload(QByteArray, QString) override
    {
        throw ServiceError(QStringLiteral("Uploads are not configured."));
        co_return UploadedFile{};
    }
};

} // namespace pelorin
