#include "net/ServiceError.h"

#include <QNetworkReply>
#include <QTextBoundaryFinder>

namespace pelorin {

ServiceError::ServiceError(QString description)
    : m_description(std::move(description))
    , m_what(m_description.toStdString())
{
}

TransportError::TransportError(int networkError, QString description)
    : ServiceError(std::move(description))
    , m_networkError(networkError)
{
}

bool TransportError::isTimeout() const
{
    return m_networkError == QNetworkReply::TimeoutError;
}

QString leadingCharacters(const QString& text, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (taken < count) {
        if (graphemes.toNextBoundary() < 0)
            return text;
        ++taken;
    }
    return text.left(graphemes.position());
}

} // namespace pelorin
