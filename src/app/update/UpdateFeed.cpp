#include "app/update/UpdateFeed.h"

#include "app/update/UpdateError.h"
#include "net/HttpClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace pelorin {

namespace {

QUrl withTrailingSlash(QUrl base)
{
    if (!base.path().endsWith(u'/'))
        base.setPath(base.path() + u'/');
    return base;
}

} // namespace

UpdateFeed UpdateFeed::decode(const QByteArray& json)
{
    const UpdateError unreadable(QStringLiteral("The update feed couldn't be read."));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw unreadable;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue url = object.value(QLatin1String("dmg_url"));
    if (!version.isString() || !url.isString())
        throw unreadable;
    UpdateFeed feed{version.toString(), url.toString(), std::nullopt};
    const QJsonValue sha256 = object.value(QLatin1String("sha256"));
    if (!sha256.isUndefined() && !sha256.isNull()) {
        static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
        if (!sha256.isString() || !hex.match(sha256.toString()).hasMatch())
            throw unreadable;
        feed.sha256 = sha256.toString().toLower();
    }
    return feed;
}

QUrl feedUrl(const QUrl& siteBase)
{
    return withTrailingSlash(siteBase).resolved(QUrl(QStringLiteral("version.json")));
}

QUrl downloadUrl(const QUrl& siteBase, const QString& dmgUrl)
{
    const QUrl relative(dmgUrl, QUrl::StrictMode);
    if (dmgUrl.isEmpty() || !relative.isValid())
        return {};
    const QUrl resolved = withTrailingSlash(siteBase).resolved(relative);
    return isHttpUrl(resolved) ? resolved : QUrl();
}

} // namespace pelorin
