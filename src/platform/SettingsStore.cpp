#include "platform/SettingsStore.h"

#include "core/AtomicFile.h"
#include "platform/AppPaths.h"
#include "platform/SystemLog.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cerrno>
#include <cmath>

#include <unistd.h>

namespace pelorin {

namespace {

QVariant fromJson(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        // Whole numbers come back as integers so that integer keys keep their type.
        if (std::floor(number) == number && std::fabs(number) < 9.0e15)
            return QVariant::fromValue(static_cast<qint64>(number));
        return number;
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& item : value.toArray())
            list.append(fromJson(item));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.size() == 1 && object.value(QStringLiteral("base64")).isString())
            return QByteArray::fromBase64(object.value(QStringLiteral("base64")).toString().toLatin1());
        QVariantMap map;
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

QJsonValue toJson(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return static_cast<double>(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return QJsonObject{{QStringLiteral("base64"), QString::fromLatin1(value.toByteArray().toBase64())}};
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray array;
        for (const QVariant& item : value.toList())
            array.append(toJson(item));
        return array;
    }
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    default:
        return QJsonValue::fromVariant(value);
    }
}

bool readJson(QIODevice& device, QSettings::SettingsMap& map)
{
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QVariant value = fromJson(it.value());
        if (value.isValid())
            map.insert(it.key(), value);
    }
    return true;
}

// Why the last write of a settings file on this thread failed; QSettings itself only says
// that it did.
thread_local QString lastWriteFailure;

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map)
{
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), toJson(it.value()));
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    auto* file = qobject_cast<QFileDevice*>(&device);
    // QSettings keeps a change it could not write and writes it later by itself (on the next
    // write of any store of that file, or when the store goes), past the store's own checks:
    // a settings file replaced by a link out of our folders in between is refused here too.
    if (file) {
        if (std::optional<QString> refusal = stateFileLinkRefusal(file->fileName())) {
            lastWriteFailure = *refusal;
            return false;
        }
    }
    errno = 0;
    bool written = device.write(bytes) == bytes.size();
    // QSettings commits its temporary without asking whether the buffered bytes reached the
    // disk: a full disk would leave a truncated settings file. Returning false makes it
    // discard the temporary and keep the old file.
    if (written && file) {
        written = file->flush();
        if (written && ::fsync(file->handle()) != 0 && errno != EINVAL)
            written = false;
    }
    if (!written)
        lastWriteFailure = file ? fileErrorText(*file, errno) : device.errorString();
    return written;
}

} // namespace

QSettings::Format SettingsStore::jsonFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}

SettingsStore& SettingsStore::shared()
{
    static SettingsStore store(configFilePath());
    return store;
}

SettingsStore::SettingsStore(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, jsonFormat()))
{
    m_settings->setFallbacksEnabled(false);
    QFile file(filePath);
    if (file.open(QIODevice::ReadOnly)) {
        QBuffer contents;
        contents.setData(file.readAll());
        contents.open(QIODevice::ReadOnly);
        QSettings::SettingsMap ignored;
        if (!readJson(contents, ignored))
            m_unreadable = contents.data();
    }
}

void SettingsStore::keepUnreadableAside()
{
    if (m_unreadable.isEmpty())
        return;
    const QFileInfo info(filePath());
    const QString aside = info.absolutePath() + u'/' + info.completeBaseName() + QStringLiteral(".unreadable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) + QStringLiteral(".json");
    if (const std::optional<QString> failed = writeFileAtomically(aside, m_unreadable)) {
        systemLog(QStringLiteral("the settings file could not be read, nor copied aside to ") + *failed);
        return;
    }
    systemLog(QStringLiteral("the settings file could not be read; its old contents are in ") + aside);
    m_unreadable.clear();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath() const
{
    return m_settings->fileName();
}

QVariant SettingsStore::storedValue(const QString& key) const
{
    return m_settings->value(key);
}

QVariant SettingsStore::value(const QString& key) const
{
    const QVariant stored = m_settings->value(key);
    return stored.isValid() ? stored : m_defaults.value(key);
}

bool SettingsStore::contains(const QString& key) const
{
    return m_settings->contains(key);
}

bool SettingsStore::mayWrite()
{
    const std::optional<QString> refusal = stateFileLinkRefusal(filePath());
    if (refusal && !m_refusalLogged)
        systemLog(QStringLiteral("the settings were not saved: ") + *refusal);
    m_refusalLogged = refusal.has_value();
    if (refusal)
        return false;
    keepUnreadableAside();
    return true;
}

void SettingsStore::writePending()
{
    lastWriteFailure.clear();
    m_settings->sync();
    if (!lastWriteFailure.isEmpty())
        systemLog(QStringLiteral("the settings could not be saved to %1: %2").arg(filePath(), lastWriteFailure));
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    if (!mayWrite())
        return;
    m_settings->setValue(key, value);
    writePending();
    Q_EMIT changed(key);
}

void SettingsStore::setValues(const QVariantMap& values)
{
    if (!mayWrite())
        return;
    for (auto it = values.begin(); it != values.end(); ++it)
        m_settings->setValue(it.key(), it.value());
    writePending();
    for (auto it = values.begin(); it != values.end(); ++it)
        Q_EMIT changed(it.key());
}

void SettingsStore::remove(const QString& key)
{
    if (!m_settings->contains(key) || !mayWrite())
        return;
    m_settings->remove(key);
    writePending();
    Q_EMIT changed(key);
}

bool SettingsStore::boolValue(const QString& key, bool fallback) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        return v.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString s = v.toString().toLower();
        if (s == u"true" || s == u"yes" || s == u"1")
            return true;
        if (s == u"false" || s == u"no" || s == u"0")
            return false;
        return fallback;
    }
    default:
        return fallback;
    }
}

double SettingsStore::doubleValue(const QString& key, double fallback) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
    case QMetaType::Float:
        return std::isfinite(v.toDouble()) ? v.toDouble() : fallback;
    case QMetaType::Bool:
        return v.toBool() ? 1.0 : 0.0;
    case QMetaType::QString: {
        bool ok = false;
        const double d = v.toString().toDouble(&ok);
        return ok && std::isfinite(d) ? d : fallback;
    }
    default:
        return fallback;
    }
}

QString SettingsStore::stringValue(const QString& key, const QString& fallback) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        return v.toString();
    default:
        return fallback;
    }
}

QByteArray SettingsStore::bytesValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return {};
}

void SettingsStore::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_defaults.insert(it.key(), it.value());
}

void SettingsStore::sync()
{
    writePending();
}

} // namespace pelorin
