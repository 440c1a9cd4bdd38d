#pragma once

#include "net/ServiceError.h"

namespace pelorin {

// Failures of the uploader itself (own bucket, and the PUT to a presigned URL).
class UploadError : public ServiceError {
public:
    enum class Kind { server, notConfigured, badRequest, badResponse };

    static UploadError server(int status, const QString& detail);
    // `why`, when given, replaces the usual hint: the settings are there but unreadable.
    static UploadError notConfigured(const QString& why = {});
    static UploadError badRequest();
    static UploadError badResponse();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString detail() const { return m_detail; }

private:
    UploadError(Kind kind, int status, QString detail, QString description);

    Kind m_kind;
    int m_status = 0;
    QString m_detail;
};

} // namespace pelorin
