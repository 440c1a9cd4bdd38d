#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace pelorin {

// The user's desktop picture, asked of the desktop environment on every call (nothing is
// cached). No picture is a valid answer.
class WallpaperService {
public:
    // Runs a command and returns its standard output (empty on failure); tests replace it.
    using CommandRunner = std::function<QString(const QString& program, const QStringList& arguments)>;

    WallpaperService();
    explicit WallpaperService(CommandRunner runner, QString homeDirectory);

    // Path of the picture of the main screen, empty when none is known.
    QString wallpaperPath() const;
    std::optional<QImage> currentWallpaper() const;
    // The picture aspect-filled into `size`, centred and cropped.
    std::optional<QImage> scaledWallpaper(QSize size) const;

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

} // namespace pelorin
