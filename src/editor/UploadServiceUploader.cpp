#include "editor/UploadServiceUploader.h"

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
    co_return co_await m_service.upload(std::move(data), std::move(fileName));
}

} // namespace pelorin
