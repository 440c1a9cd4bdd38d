#include "platform/WallpaperService.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

QString writePicture(const QTemporaryDir& dir, const char* name, QSize size = {30, 20}, QColor colour = Qt::darkCyan)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(QLatin1String(name));
    EXPECT_TRUE(image.save(path));
    return path;
}

struct ScopedDesktop {
    explicit ScopedDesktop(const char* name) { qputenv("XDG_CURRENT_DESKTOP", name); }
    ~ScopedDesktop() { qputenv("XDG_CURRENT_DESKTOP", old); }
    const QByteArray old = qgetenv("XDG_CURRENT_DESKTOP");
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
    const struct {
        const char* desktop;
        bool dark;
        QString expected;
    } cases[] = {{"GNOME", false, light}, {"GNOME", true, dark}, {"KDE", true, plasma}, {"i3", true, feh}};
    for (const auto& c : cases) {
        const ScopedDesktop desktop(c.desktop);
        prefersDark = c.dark;
        EXPECT_EQ(service.wallpaperPath(), c.expected) << c.desktop;
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
    EXPECT_FALSE(WallpaperCache(service).thumbnail({60, 60}));
}

// The editor's thumbnail asks the desktop once, and again only when its settings change; a
// new picture written over the same file shows too.
TEST(Wallpaper, TheThumbnailFollowsTheDesktopSetting)
{
    QTemporaryDir home;
    ScopedDesktop desktop("GNOME");
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config/dconf")));
    QString answer = writePicture(home, "red.png", {400, 300}, Qt::red);
    const QString blue = writePicture(home, "blue.jpg", {400, 300}, Qt::blue);
    int asked = 0;
    auto cache = std::make_shared<WallpaperCache>(WallpaperService(
        [&](const QString&, const QStringList&) {
            ++asked;
            return QStringLiteral("'file://%1'").arg(answer);
        },
        home.path()));
    QObject owner;
    watchWallpaperSettings(cache, &owner, home.path());
    const auto shown = [&] {
        const std::optional<QImage> thumbnail = cache->thumbnail({60, 60});
        return thumbnail ? thumbnail->pixelColor(30, 30) : QColor();
    };

    EXPECT_EQ(shown(), QColor(Qt::red));
    const int firstLookUp = asked;
    answer = blue;
    EXPECT_EQ(shown(), QColor(Qt::red)) << "nothing changed that the app could see";
    EXPECT_EQ(asked, firstLookUp) << "the desktop is not asked on every show";

    ASSERT_TRUE(test::writeBytes(home.filePath(QStringLiteral(".config/dconf/user")), "changed"));
    EXPECT_TRUE(test::waitUntil([&] { return shown().blue() > 240; })) << "the setting changed";

    writePicture(home, "blue.jpg", {400, 300}, Qt::green);
    QFile picture(blue);
    ASSERT_TRUE(picture.open(QIODevice::ReadWrite));
    ASSERT_TRUE(picture.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    picture.close();
    EXPECT_GT(shown().green(), 100) << "a new picture under the same name";
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
