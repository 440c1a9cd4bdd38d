#include "cloud/CloudAPIError.h"

namespace pelorin {

CloudAPIError::CloudAPIError(Kind kind, int status, QString detail, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind)
    , m_status(status)
    , m_detail(std::move(detail))
{
}

CloudAPIError CloudAPIError::server(int status, const QString& detail)
{
    return CloudAPIError(Kind::server, status, detail,
                         QStringLiteral("Pelorin Cloud error (%1): ").arg(status) + leadingCharacters(detail, 200));
}

CloudAPIError CloudAPIError::notSignedIn()
{
    return CloudAPIError(Kind::notSignedIn, 0, {},
                         QStringLiteral("Sign in to your Pelorin account in Settings → Account."));
}

CloudAPIError CloudAPIError::invalidResponse()
{
    return CloudAPIError(Kind::invalidResponse, 0, {}, QStringLiteral("Unexpected response from Pelorin Cloud."));
}

} // namespace pelorin
