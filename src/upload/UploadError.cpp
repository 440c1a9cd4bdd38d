#include "upload/UploadError.h"

#include <QXmlStreamReader>

namespace pelorin {

namespace {

// S3 servers explain a refusal in an XML <Error> document; its Code and Message are what a
// person can act on, the rest (request ids, resource names) is noise.
QString s3ErrorSummary(const QString& body)
{
    QXmlStreamReader xml(body);
    QString code;
    QString message;
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"Code" && code.isEmpty())
            code = xml.readElementText().simplified();
        else if (xml.name() == u"Message" && message.isEmpty())
            message = xml.readElementText().simplified();
    }
    if (xml.hasError() || code.isEmpty())
        return {};
    return message.isEmpty() ? code : code + QStringLiteral(": ") + message;
}

} // namespace

UploadError::UploadError(Kind kind, int status, QString detail, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind)
    , m_status(status)
    , m_detail(std::move(detail))
{
}

UploadError UploadError::server(int status, const QString& detail)
{
    const QString summary = s3ErrorSummary(detail);
    return UploadError(Kind::server, status, detail,
                       QStringLiteral("Upload failed (%1): ").arg(status) + leadingCharacters(summary.isEmpty() ? detail : summary, 200));
}

UploadError UploadError::notConfigured(const QString& why)
{
    return UploadError(Kind::notConfigured, 0, {},
                       why.isEmpty() ? QStringLiteral("Uploads aren't configured — add your S3/R2 details in Settings.") : why);
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
