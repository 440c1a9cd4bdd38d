#include "platform/WallpaperService.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

QString writePicture(const QTemporaryDir& dir, const char* name, QSize size = {30, 20})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = dir.filePath(QLatin1String(name));
    EXPECT_TRUE(image.save(path));
    return path;
}

class ScopedDesktop {
public:
    explicit ScopedDesktop(const char* name)
        : m_old(qgetenv("XDG_CURRENT_DESKTOP"))
    {
        qputenv("XDG_CURRENT_DESKTOP", name);
    }
    ~ScopedDesktop() { qputenv("XDG_CURRENT_DESKTOP", m_old); }

private:
    QByteArray m_old;
};

} // namespace

TEST(Wallpaper, EachDesktopIsAskedItsOwnWay)
{
    QTemporaryDir home;
    const QString light = writePicture(home, "light.png");
    const QString dark = writePicture(home, "dark.jpg");
    const QString plasma = writePicture(home, "plasma.png");
    const QString feh = writePicture(home, "feh.png");
    ASSERT_TRUE(test::writeBytes(home.filePath(QStringLiteral(".config/plasma-org.kde.plasma.desktop-appletsrc")),
                                 "[Containments][1][Wallpaper][org.kde.image][General]\nImage=file://" + plasma.toUtf8() + "\n"));
    ASSERT_TRUE(test::writeBytes(home.filePath(QStringLiteral(".fehbg")),
                                 "#!/bin/sh\nfeh --no-fehbg --bg-fill '" + feh.toUtf8() + "' \n"));

    bool prefersDark = false;
    const auto gsettings = [&](const QString& program, const QStringList& args) -> QString {
        if (program != u"gsettings")
            return {};
        if (args.value(2) == u"color-scheme")
            return prefersDark ? QStringLiteral("'prefer-dark'") : QStringLiteral("'default'");
        if (args.value(2) == u"picture-uri-dark")
            return QStringLiteral("'file://%1'").arg(dark);
        if (args.value(2) == u"picture-uri")
            return QStringLiteral("'file://%1'").arg(light);
        return {};
    };
    const WallpaperService service(gsettings, home.path());
    {
        ScopedDesktop desktop("GNOME");
        EXPECT_EQ(service.wallpaperPath(), light);
        prefersDark = true;
        EXPECT_EQ(service.wallpaperPath(), dark);
    }
    {
        ScopedDesktop desktop("KDE");
        EXPECT_EQ(service.wallpaperPath(), plasma);
    }
    {
        ScopedDesktop desktop("i3");
        EXPECT_EQ(service.wallpaperPath(), feh);
    }
}

TEST(Wallpaper, NoPictureIsAValidAnswer)
{
    QTemporaryDir home;
    ScopedDesktop desktop("GNOME");
    // gsettings names a file that is gone.
    const WallpaperService service([](const QString&, const QStringList&) { return QStringLiteral("'file:///nowhere.png'"); },
                                   home.path());
    EXPECT_TRUE(service.wallpaperPath().isEmpty());
    EXPECT_FALSE(service.currentWallpaper());
    EXPECT_FALSE(service.scaledWallpaper({60, 60}));
}

TEST(Wallpaper, AspectFillCropsTheLongerSide)
{
    // 3000 × 2000 into 60 × 60: drawn 90 × 60 at x = −15, so the left third of the picture is cut.
    QImage picture(3000, 2000, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    for (int x = 0; x < 450; ++x)
        for (int y = 0; y < 2000; ++y)
            picture.setPixel(x, y, qRgb(255, 0, 0));
    const QImage scaled = aspectFilled(picture, {60, 60});
    EXPECT_EQ(scaled.size(), QSize(60, 60));
    EXPECT_EQ(scaled.pixelColor(0, 30).blue(), 255) << "the red strip (x < 15 after scaling) is outside";
    EXPECT_EQ(scaled.pixelColor(59, 0).alpha(), 255);
}
