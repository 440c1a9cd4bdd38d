#include "platform/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace pelorin {

QString configFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Pelorin/Pelorin.json");
}

QString appSupportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    const QString folder = base + QStringLiteral("/Pelorin");
    QDir().mkpath(folder); // a failure shows up when the file inside is written
    return folder;
}

QString appSupportURL(const QString& file)
{
    const QString folder = appSupportDirectory();
    return folder.isEmpty() ? QString() : folder + u'/' + file;
}

QString legacySupportDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Ostrafel");
}

QString cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u'/' + QString::fromLatin1(applicationId);
}

} // namespace pelorin
