#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <QDateTime>
#include <QMutex>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace pelorin {

// The user's desktop picture, asked of the desktop environment on every call (WallpaperCache
// keeps the answer). No picture is a valid answer.
class WallpaperService {
public:
    // Runs a command and returns its standard output (empty on failure); tests replace it.
    using CommandRunner = std::function<QString(const QString& program, const QStringList& arguments)>;

    WallpaperService();
    explicit WallpaperService(CommandRunner runner, QString homeDirectory);

    // Path of the picture of the main screen, empty when none is known.
    QString wallpaperPath() const;
    std::optional<QImage> currentWallpaper() const;

private:
    QString fromGSettings(const QString& schema, const QString& key) const;
    QString fromPlasma() const;
    QString fromXfce() const;
    QString fromFeh() const;

    CommandRunner m_run;
    QString m_home;
};

// Draws `picture` into a new `size` image by aspect fill.
QImage aspectFilled(const QImage& picture, QSize size);

// The desktop picture for an editor that shows again and again: where it lies is asked of the
// desktop once, and again only after its settings changed (watchWallpaperSettings); the
// thumbnail is decoded at about its own size and kept until the picture or the size changes.
// Safe to call from worker threads.
class WallpaperCache {
public:
    explicit WallpaperCache(WallpaperService service = {});

    // The picture aspect-filled into `pixels`.
    std::optional<QImage> thumbnail(QSize pixels);
    // The whole picture, decoded now.
    std::optional<QImage> picture();
    // The desktop's settings changed: the next call asks where the picture lies.
    void settingsChanged() { m_stale = true; }

private:
    QString path();

    WallpaperService m_service;
    std::atomic<bool> m_stale = true;
    QMutex m_mutex;
    QString m_path;
    // The thumbnail and what it was made from.
    QImage m_thumbnail;
    QString m_thumbnailPath;
    QDateTime m_thumbnailModified;
    QSize m_thumbnailPixels;
};

// Marks `cache` stale whenever a folder where desktops keep the picture setting under `home`
// changes (dconf's database, Plasma's and XFCE's files, ~/.fehbg), for as long as `owner` lives.
void watchWallpaperSettings(const std::shared_ptr<WallpaperCache>& cache, QObject* owner, const QString& home);

} // namespace pelorin
