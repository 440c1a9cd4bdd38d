#include "cloud/CloudRecords.h"

#include "net/ServiceError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <limits>

namespace pelorin {

namespace {

DecodingError missing(const char* record, const char* member)
{
    return DecodingError(QStringLiteral("The reply from Pelorin Cloud could not be read: %1 has no \"%2\".")
                             .arg(QLatin1String(record), QLatin1String(member)));
}

DecodingError mistyped(const char* record, const char* member)
{
    return DecodingError(QStringLiteral("The reply from Pelorin Cloud could not be read: \"%2\" of %1 has the wrong type.")
                             .arg(QLatin1String(record), QLatin1String(member)));
}

// The members of one reply object under their camelCase names. When both spellings of one
// name arrive, the one already in camelCase wins.
class Members {
public:
    Members(const char* record, const QJsonObject& object)
        : m_record(record)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.key().contains(u'_'))
                m_values.insert(it.key(), it.value());
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString name = camelCaseMemberName(it.key());
            if (!m_values.contains(name))
                m_values.insert(name, it.value());
        }
    }

    QString string(const char* name) const
    {
        const QJsonValue value = required(name);
        if (!value.isString())
            throw mistyped(m_record, name);
        return value.toString();
    }

    std::optional<QString> optionalString(const char* name) const
    {
        const QJsonValue value = m_values.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isString())
            throw mistyped(m_record, name);
        return value.toString();
    }

    qint64 integer(const char* name) const
    {
        const QJsonValue value = required(name);
        if (!value.isDouble())
            throw mistyped(m_record, name);
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::floor(number) != number || std::abs(number) > 9.0e18)
            throw mistyped(m_record, name);
        return value.toInteger(qint64(number));
    }

    bool boolean(const char* name) const
    {
        const QJsonValue value = required(name);
        if (!value.isBool())
            throw mistyped(m_record, name);
        return value.toBool();
    }

    std::optional<bool> optionalBoolean(const char* name) const
    {
        const QJsonValue value = m_values.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isBool())
            throw mistyped(m_record, name);
        return value.toBool();
    }

    QJsonObject object(const char* name) const
    {
        const QJsonValue value = required(name);
        if (!value.isObject())
            throw mistyped(m_record, name);
        return value.toObject();
    }

private:
    QJsonValue required(const char* name) const
    {
        const QJsonValue value = m_values.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull())
            throw missing(m_record, name);
        return value;
    }

    const char* m_record;
    QHash<QString, QJsonValue> m_values;
};

} // namespace

QString camelCaseMemberName(const QString& name)
{
    if (!name.contains(u'_'))
        return name;
    QString result;
    result.reserve(name.size());
    bool capitalise = false;
    for (const QChar c : name) {
        if (c == u'_') {
            capitalise = true;
            continue;
        }
        result.append(capitalise ? c.toUpper() : c);
        capitalise = false;
    }
    return result;
}

QJsonObject decodeReplyObject(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw DecodingError(QStringLiteral("The reply from Pelorin Cloud could not be read: it is not a JSON object."));
    return document.object();
}

CloudAuthResponse decodeCloudAuthResponse(const QJsonObject& object)
{
    const Members members("CloudAuthResponse", object);
    return {members.string("token"), members.string("email")};
}

GoogleStart decodeGoogleStart(const QJsonObject& object)
{
    const Members members("GoogleStart", object);
    return {members.string("flowId"), QUrl(members.string("authUrl"), QUrl::StrictMode)};
}

GooglePoll decodeGooglePoll(const QJsonObject& object)
{
    const Members members("GooglePoll", object);
    return {members.string("status"), members.optionalString("token"), members.optionalString("email")};
}

CloudUploadInit decodeCloudUploadInit(const QJsonObject& object)
{
    const Members members("CloudUploadInit", object);
    CloudUploadInit init{members.string("key"), members.string("uploadUrl"), {}};
    // Header names are sent exactly as the service spelt them, so they are not case-converted.
    const QJsonObject headers = members.object("headers");
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (!it.value().isString())
            throw mistyped("CloudUploadInit", "headers");
        init.headers.emplace_back(it.key(), it.value().toString());
    }
    return init;
}

CloudUploadComplete decodeCloudUploadComplete(const QJsonObject& object)
{
    const Members members("CloudUploadComplete", object);
    return {members.string("key"), members.integer("sizeBytes"), members.string("shareUrl")};
}

QString decodeURLResponseBody(const QJsonObject& object)
{
    return Members("URLResponseBody", object).string("url");
}

void decodeOKResponse(const QJsonObject& object)
{
    (void)Members("OKResponse", object).optionalBoolean("ok");
}

CloudMe decodeCloudMe(const QJsonObject& object)
{
    const Members members("CloudMe", object);
    CloudMe me;
    me.email = members.string("email");
    me.emailVerified = members.boolean("emailVerified");
    const Members storage("CloudMe.Storage", members.object("storage"));
    me.storage = {storage.boolean("configured"), storage.integer("usedBytes"), storage.integer("quotaBytes"),
                  storage.integer("objectCount")};
    const Members ai("CloudMe.AI", members.object("ai"));
    me.ai = {ai.integer("usedToday"), ai.integer("dailyLimit")};
    return me;
}

} // namespace pelorin
