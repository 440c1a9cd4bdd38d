#include "upload/UploadConfig.h"

#include "core/AtomicFile.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace pelorin {

namespace {

constexpr const char* members[] = {"accountId", "accessKeyId", "secretAccessKey", "bucketName", "publicUrl"};

std::optional<QByteArray> readFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

bool UploadConfig::isConfigured() const
{
    return (!accountId.isEmpty() || !endpointURL.isEmpty()) && !accessKeyId.isEmpty() && !secretAccessKey.isEmpty() && !bucketName.isEmpty()
        && !publicUrl.isEmpty();
}

QByteArray encodeUploadConfig(const UploadConfig& config)
{
    QJsonObject object{{QLatin1String(members[0]), config.accountId},
                             {QLatin1String(members[1]), config.accessKeyId},
                             {QLatin1String(members[2]), config.secretAccessKey},
                             {QLatin1String(members[3]), config.bucketName},
                             {QLatin1String(members[4]), config.publicUrl}};
    if (!config.endpointURL.isEmpty())
        object.insert(QStringLiteral("endpointURL"), config.endpointURL);
    if (!config.region.isEmpty())
        object.insert(QStringLiteral("region"), config.region);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<UploadConfig> decodeUploadConfig(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    QString values[5];
    for (int i = 0; i < 5; ++i) {
        const QJsonValue value = object.value(QLatin1String(members[i]));
        if (!value.isString())
            return std::nullopt;
        values[i] = value.toString();
    }
    UploadConfig config{values[0], values[1], values[2], values[3], values[4], {}, {}};
    for (auto [name, field] : {std::pair{"endpointURL", &config.endpointURL}, std::pair{"region", &config.region}}) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined())
            continue;
        if (!value.isString())
            return std::nullopt;
        *field = value.toString();
    }
    return config;
}

UploadConfigFile UploadConfigFile::standard()
{
    return UploadConfigFile(appSupportURL(QStringLiteral("upload-config.json")),
                            legacySupportDirectory() + QStringLiteral("/config.json"));
}

UploadConfigFile::UploadConfigFile(QString path, QString legacyPath)
    : m_path(std::move(path))
    , m_legacyPath(std::move(legacyPath))
{
}

UploadConfig UploadConfigFile::load() const
{
    if (const auto bytes = readFile(m_path)) {
        if (auto config = decodeUploadConfig(*bytes))
            return *config;
    }
    if (const auto bytes = readFile(m_legacyPath)) {
        if (auto config = decodeUploadConfig(*bytes)) {
            save(*config);
            return *config;
        }
    }
    return {};
}

bool UploadConfigFile::save(const UploadConfig& config) const
{
    if (m_path.isEmpty())
        return false;
    // The application folder may have been removed since start-up.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Owner-only from the first byte; a rewrite never inherits wider permissions.
    return !writeFileAtomically(m_path, encodeUploadConfig(config), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace pelorin
