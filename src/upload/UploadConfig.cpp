#include "upload/UploadConfig.h"

#include "platform/AppPaths.h"
#include "platform/SystemLog.h"

#include <QDateTime>
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
    m_problem.clear();
    const QFileInfo file(m_path);
    if (!m_path.isEmpty() && (file.exists() || file.isSymLink())) {
        QFile device(m_path);
        if (!device.open(QIODevice::ReadOnly)) {
            m_problem = QStringLiteral("The upload settings in %1 could not be read: %2.").arg(m_path, device.errorString());
            return {};
        }
        if (auto config = decodeUploadConfig(device.readAll()))
            return *config;
        m_problem = QStringLiteral("The upload settings in %1 could not be read: they are damaged. "
                                   "Enter them again in Settings (the damaged file is kept beside it).")
                        .arg(m_path);
        return {};
    }
    if (const auto bytes = readFile(m_legacyPath)) {
        if (auto config = decodeUploadConfig(*bytes)) {
            // The copy is the one in use from now on; the old one still holds the secret.
            if (save(*config))
                QFile::setPermissions(m_legacyPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            return *config;
        }
    }
    return {};
}

bool UploadConfigFile::save(const UploadConfig& config) const
{
    if (m_path.isEmpty())
        return false;
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (const auto bytes = readFile(m_path); bytes && !bytes->isEmpty() && !decodeUploadConfig(*bytes)) {
        const QString aside = QFileInfo(m_path).absolutePath() + QStringLiteral("/upload-config.unreadable-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) + QStringLiteral(".json");
        if (const std::optional<QString> error = writeStateFile(aside, *bytes, ownerOnly)) {
            systemLog(QStringLiteral("the damaged upload settings could not be copied aside: ") + *error);
            return false; // replacing them now would lose them for good
        }
        systemLog(QStringLiteral("the upload settings could not be read; their old contents are in ") + aside);
    }
    // Owner-only from the first byte; a rewrite never inherits wider permissions.
    if (const std::optional<QString> error = writeStateFile(m_path, encodeUploadConfig(config), ownerOnly)) {
        systemLog(QStringLiteral("the upload settings could not be saved: ") + *error);
        return false;
    }
    m_problem.clear();
    return true;
}

} // namespace pelorin
