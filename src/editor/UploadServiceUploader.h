#pragma once

#include "editor/Uploader.h"

namespace pelorin {

class UploadService;

// The editor's uploads through the application's upload service: the own bucket or the cloud,
// whichever the destination setting resolves to at the moment of the upload.
class UploadServiceUploader : public Uploader {
public:
    explicit UploadServiceUploader(UploadService& service);

    bool isConfigured() const override;
    // Throws the service's own ServiceError.
    QCoro::Task<UploadedFile> upload(QByteArray data, QString fileName) override;

private:
    UploadService& m_service;
};

} // namespace pelorin
