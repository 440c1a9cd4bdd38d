#include "upload/UploadedFile.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace pelorin {

namespace {

// 2001-01-01 00:00:00 UTC, the origin of the stored dates.
constexpr qint64 referenceDateMSecs = 978'307'200'000;

double secondsSinceReference(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch() - referenceDateMSecs) / 1000.0;
}

std::optional<QDateTime> dateFromSeconds(double seconds)
{
    if (!std::isfinite(seconds) || std::abs(seconds) > 1.0e13)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(referenceDateMSecs + std::llround(seconds * 1000.0), Qt::UTC);
}

std::optional<UploadedFile> decodeEntry(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue fileName = object.value(QLatin1String("fileName"));
    const QJsonValue key = object.value(QLatin1String("key"));
    const QJsonValue publicUrl = object.value(QLatin1String("publicUrl"));
    const QJsonValue uploadDate = object.value(QLatin1String("uploadDate"));
    const QJsonValue fileSize = object.value(QLatin1String("fileSize"));
    const QJsonValue source = object.value(QLatin1String("source"));
    if (!id.isString() || !fileName.isString() || !key.isString() || !publicUrl.isString() || !uploadDate.isDouble()
        || !fileSize.isDouble())
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(id.toString());
    if (uuid.isNull() && id.toString() != uuidString(QUuid()))
        return std::nullopt;
    const double size = fileSize.toDouble();
    if (std::floor(size) != size || std::abs(size) > 9.0e18)
        return std::nullopt;
    const std::optional<QDateTime> date = dateFromSeconds(uploadDate.toDouble());
    if (!date)
        return std::nullopt;
    std::optional<QString> sourceValue;
    if (source.isString())
        sourceValue = source.toString();
    else if (!source.isUndefined() && !source.isNull())
        return std::nullopt;
    return UploadedFile{uuid, fileName.toString(), key.toString(), publicUrl.toString(), *date,
                        fileSize.toInteger(qint64(size)), sourceValue};
}

} // namespace

QString uuidString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject encodeUploadedFile(const UploadedFile& file)
{
    QJsonObject object{{QStringLiteral("id"), uuidString(file.id)},
                       {QStringLiteral("fileName"), file.fileName},
                       {QStringLiteral("key"), file.key},
                       {QStringLiteral("publicUrl"), file.publicUrl},
                       {QStringLiteral("uploadDate"), secondsSinceReference(file.uploadDate)},
                       {QStringLiteral("fileSize"), file.fileSize}};
    if (file.source)
        object.insert(QStringLiteral("source"), *file.source);
    return object;
}

QByteArray encodeUploadHistory(const QList<UploadedFile>& files)
{
    QJsonArray array;
    for (const UploadedFile& file : files)
        array.append(encodeUploadedFile(file));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<UploadedFile>> decodeUploadHistory(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<UploadedFile> files;
    for (const QJsonValue& value : document.array()) {
        std::optional<UploadedFile> file = decodeEntry(value);
        if (!file)
            return std::nullopt;
        files.append(std::move(*file));
    }
    return files;
}

} // namespace pelorin
