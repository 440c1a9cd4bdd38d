#include "upload/UploadError.h"

namespace pelorin {

UploadError::UploadError(Kind kind, int status, QString detail, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind)
    , m_status(status)
    , m_detail(std::move(detail))
{
}

UploadError UploadError::server(int status, const QString& detail)
{
    return UploadError(Kind::server, status, detail,
                       QStringLiteral("Upload failed (%1): ").arg(status) + leadingCharacters(detail, 200));
}

UploadError UploadError::notConfigured()
{
    return UploadError(Kind::notConfigured, 0, {},
                       QStringLiteral("Uploads aren't configured — add your S3/R2 details in Settings."));
}

UploadError UploadError::badRequest()
{
    return UploadError(Kind::badRequest, 0, {}, QStringLiteral("Could not build the upload request."));
}

UploadError UploadError::badResponse()
{
    return UploadError(Kind::badResponse, 0, {}, QStringLiteral("Unexpected response from the storage server."));
}

} // namespace pelorin
