#include "platform/WallpaperService.h"

#include "core/ImageFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>

namespace pelorin {

namespace {

QString runCommand(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    // Desktop settings tools answer at once; a hung one must not hold the editor.
    if (!process.waitForStarted(1000) || !process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(500);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// gsettings prints strings quoted ('file:///…'); picture settings are URIs or plain paths.
QString pathFromSetting(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.startsWith(u'\'') || value.startsWith(u'"')))
        value = value.mid(1, value.size() - 2);
    if (value.startsWith(QLatin1String("file://")))
        return QUrl(value).toLocalFile();
    return value;
}

bool isReadableFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile() && QFileInfo(path).isReadable();
}

} // namespace

WallpaperService::WallpaperService()
    : WallpaperService(runCommand, QDir::homePath())
{
}

WallpaperService::WallpaperService(CommandRunner runner, QString homeDirectory)
    : m_run(std::move(runner))
    , m_home(std::move(homeDirectory))
{
}

QString WallpaperService::fromGSettings(const QString& schema, const QString& key) const
{
    return pathFromSetting(m_run(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, key}));
}

QString WallpaperService::fromPlasma() const
{
    QFile file(m_home + QStringLiteral("/.config/plasma-org.kde.plasma.desktop-appletsrc"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // The first containment's wallpaper image: "Image=file:///…" inside a [..][Wallpaper][org.kde.image][General] group.
    bool inImageGroup = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'['))
            inImageGroup = line.endsWith(QLatin1String("[Wallpaper][org.kde.image][General]"));
        else if (inImageGroup && line.startsWith(QLatin1String("Image=")))
            return pathFromSetting(line.mid(6));
    }
    return {};
}

QString WallpaperService::fromXfce() const
{
    const QString list = m_run(QStringLiteral("xfconf-query"), {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"),
                                                               QStringLiteral("-l")});
    for (const QString& property : list.split(u'\n')) {
        if (property.endsWith(QLatin1String("/last-image"))) {
            const QString path = pathFromSetting(m_run(QStringLiteral("xfconf-query"),
                                                       {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"),
                                                        QStringLiteral("-p"), property.trimmed()}));
            if (isReadableFile(path))
                return path;
        }
    }
    return {};
}

QString WallpaperService::fromFeh() const
{
    QFile file(m_home + QStringLiteral("/.fehbg"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // feh writes: feh --no-fehbg --bg-fill '/path/to/picture.jpg'
    static const QRegularExpression quoted(QStringLiteral("--bg-\\S+\\s+'([^']+)'"));
    const QRegularExpressionMatch match = quoted.match(QString::fromUtf8(file.readAll()));
    return match.hasMatch() ? match.captured(1) : QString();
}

QString WallpaperService::wallpaperPath() const
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
    QStringList candidates;
    if (desktop.contains(QLatin1String("kde")))
        candidates << fromPlasma();
    if (desktop.contains(QLatin1String("xfce")))
        candidates << fromXfce();
    if (desktop.contains(QLatin1String("cinnamon")))
        candidates << fromGSettings(QStringLiteral("org.cinnamon.desktop.background"), QStringLiteral("picture-uri"));
    if (desktop.contains(QLatin1String("mate")))
        candidates << fromGSettings(QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"));
    if (desktop.contains(QLatin1String("gnome")) || desktop.contains(QLatin1String("unity")) || desktop.isEmpty()) {
        // GNOME keeps a second picture for the dark style.
        const QString scheme = m_run(QStringLiteral("gsettings"), {QStringLiteral("get"),
                                     QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme")});
        if (scheme.contains(QLatin1String("prefer-dark")))
            candidates << fromGSettings(QStringLiteral("org.gnome.desktop.background"), QStringLiteral("picture-uri-dark"));
        candidates << fromGSettings(QStringLiteral("org.gnome.desktop.background"), QStringLiteral("picture-uri"));
    }
    candidates << fromFeh();
    for (const QString& path : candidates) {
        if (isReadableFile(path))
            return path;
    }
    return {};
}

std::optional<QImage> WallpaperService::currentWallpaper() const
{
    const QString path = wallpaperPath();
    return path.isEmpty() ? std::nullopt : readImageFile(path);
}

QImage aspectFilled(const QImage& picture, QSize size)
{
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    if (picture.isNull() || picture.height() == 0)
        return result;
    const double a = static_cast<double>(picture.width()) / picture.height();
    const double w = size.width();
    const double h = size.height();
    const QRectF target = (w / h < a) ? QRectF((w - a * h) / 2, 0, a * h, h) : QRectF(0, (h - w / a) / 2, w, w / a);
    QImage source = picture;
    source.setDevicePixelRatio(1);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, source);
    return result;
}

WallpaperCache::WallpaperCache(WallpaperService service)
    : m_service(std::move(service))
{
}

QString WallpaperCache::path()
{
    if (m_stale.exchange(false))
        m_path = m_service.wallpaperPath();
    return m_path;
}

std::optional<QImage> WallpaperCache::picture()
{
    QString file;
    {
        QMutexLocker lock(&m_mutex);
        file = path();
    }
    return file.isEmpty() ? std::nullopt : readImageFile(file);
}

std::optional<QImage> WallpaperCache::thumbnail(QSize pixels)
{
    if (pixels.isEmpty())
        return std::nullopt;
    QMutexLocker lock(&m_mutex);
    const QString file = path();
    if (file.isEmpty())
        return std::nullopt;
    // The same path may get a new picture written over it.
    const QDateTime modified = QFileInfo(file).lastModified();
    if (file == m_thumbnailPath && modified == m_thumbnailModified && pixels == m_thumbnailPixels)
        return m_thumbnail;
    // Decoded only as large as the thumbnail needs: a 4096-pixel wallpaper costs a fraction.
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && full.width() > pixels.width() && full.height() > pixels.height())
        reader.setScaledSize(full.scaled(pixels, Qt::KeepAspectRatioByExpanding));
    const QImage picture = reader.read();
    if (picture.isNull())
        return std::nullopt;
    m_thumbnail = aspectFilled(picture, pixels);
    m_thumbnailPath = file;
    m_thumbnailModified = modified;
    m_thumbnailPixels = pixels;
    return m_thumbnail;
}

void watchWallpaperSettings(const std::shared_ptr<WallpaperCache>& cache, QObject* owner, const QString& home)
{
    const QStringList folders{home + QStringLiteral("/.config/dconf"), home + QStringLiteral("/.config"),
                              home + QStringLiteral("/.config/xfce4/xfconf/xfce-perchannel-xml"), home};
    auto* watcher = new QFileSystemWatcher(owner);
    const auto watch = [watcher, folders] {
        for (const QString& folder : folders)
            if (QFileInfo(folder).isDir() && !watcher->directories().contains(folder))
                watcher->addPath(folder);
    };
    watch();
    // A setting is written to a new file renamed over the old one: the folder changes. A
    // folder made later (dconf's, on a first change) is watched from then on.
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, watcher, [weak = std::weak_ptr(cache), watch] {
        if (const std::shared_ptr<WallpaperCache> alive = weak.lock())
            alive->settingsChanged();
        watch();
    });
}

} // namespace pelorin
