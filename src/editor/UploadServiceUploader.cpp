#include "editor/UploadServiceUploader.h"

#include "cloud/ServiceError.h"
#include "upload/UploadService.h"

namespace pelorin {

UploadServiceUploader::UploadServiceUploader(UploadService& service)
    : m_service(service)
{
}

bool UploadServiceUploader::isConfigured() const
{
    return m_service.isConfigured();
}

QCoro::Task<UploadedFile> UploadServiceUploader::upload(QByteArray data, QString fileName)
{
    std::optional<UploadedFile> uploaded;
    QString failure;
    try {
        uploaded = co_await m_service.upload(std::move(data), std::move(fileName));
    } catch (const ServiceError& error) {
        failure = error.description();
    }
    if (!uploaded)
        throw UploadFailure(failure);
    co_return *uploaded;
}

} // namespace pelorin
