#pragma once

#include "net/ServiceError.h"

namespace pelorin {

// Failures of the cloud service's API, worded for the account area and the upload messages.
class CloudAPIError : public ServiceError {
public:
    enum class Kind { server, notSignedIn, invalidResponse };

    static CloudAPIError server(int status, const QString& detail);
    static CloudAPIError notSignedIn();
    static CloudAPIError invalidResponse();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString detail() const { return m_detail; }

private:
    CloudAPIError(Kind kind, int status, QString detail, QString description);

    Kind m_kind;
    int m_status = 0;
    QString m_detail;
};

} // namespace pelorin
