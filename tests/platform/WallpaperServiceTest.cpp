#include "platform/WallpaperService.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

using namespace pelorin;
using namespace Qt::StringLiterals;

namespace {

// A picture of `colour`, its left `strip` pixels blue.
QString writePicture(const QTemporaryDir& dir, const char* name, QSize size = {30, 20}, QColor colour = Qt::cyan, int strip = 0)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QPainter(&image).fillRect(0, 0, strip, size.height(), Qt::blue);
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

TEST(Wallpaper, EachDesktopIsAskedItsOwnWayAndNoPictureIsAValidAnswer)
{
    QTemporaryDir home;
    const QString light = writePicture(home, "light.png"), dark = writePicture(home, "dark.jpg");
    const QString plasma = writePicture(home, "plasma.png"), feh = writePicture(home, "feh.png");
    ASSERT_TRUE(test::writeBytes(home.filePath(u".config/plasma-org.kde.plasma.desktop-appletsrc"_s),
                                 "[Containments][1][Wallpaper][org.kde.image][General]\nImage=file://" + plasma.toUtf8() + "\n"));
    ASSERT_TRUE(test::writeBytes(home.filePath(u".fehbg"_s), "#!/bin/sh\nfeh --no-fehbg --bg-fill '" + feh.toUtf8() + "' \n"));

    bool prefersDark = false;
    const auto gsettings = [&](const QString& program, const QStringList& args) -> QString {
        if (program != u"gsettings")
            return {};
        if (args.value(2) == u"color-scheme")
            return prefersDark ? u"'prefer-dark'"_s : u"'default'"_s;
        if (args.value(2) == u"picture-uri-dark")
            return u"'file://%1'"_s.arg(dark);
        return args.value(2) == u"picture-uri" ? u"'file://%1'"_s.arg(light) : QString();
    };
    const WallpaperService service(gsettings, home.path());
    const struct { const char* desktop; bool dark; QString expected; } cases[] = {
        {"GNOME", false, light}, {"GNOME", true, dark}, {"KDE", true, plasma}, {"i3", true, feh}};
    for (const auto& c : cases) {
        const ScopedDesktop desktop(c.desktop);
        prefersDark = c.dark;
        EXPECT_EQ(service.wallpaperPath(), c.expected) << c.desktop;
    }

    // gsettings names a file that is gone, and no other source names one.
    const ScopedDesktop desktop("GNOME");
    prefersDark = false;
    ASSERT_TRUE(QDir(home.path()).removeRecursively());
    EXPECT_TRUE(service.wallpaperPath().isEmpty());
    EXPECT_FALSE(service.currentWallpaper());
    EXPECT_FALSE(WallpaperCache(service).thumbnail({60, 60}));
}

// The editor's thumbnail fills its square, asks the desktop once, and again only when its
// settings change; a new picture written over the same file shows too.
TEST(Wallpaper, TheThumbnailFollowsTheDesktopSetting)
{
    QTemporaryDir home;
    ScopedDesktop desktop("GNOME");
    ASSERT_TRUE(QDir(home.path()).mkpath(u".config/dconf"_s));
    // 400 × 300 into 60 × 60: drawn 80 × 60 at x = −10, so the blue strip (x < 8 scaled) is cut.
    QString answer = writePicture(home, "red.png", {400, 300}, Qt::red, 40);
    const QString blue = writePicture(home, "blue.jpg", {400, 300}, Qt::blue);
    int asked = 0;
    auto cache = std::make_shared<WallpaperCache>(WallpaperService(
        [&](const QString&, const QStringList&) {
            ++asked;
            return u"'file://%1'"_s.arg(answer);
        },
        home.path()));
    QObject owner;
    watchWallpaperSettings(cache, &owner, home.path());
    const auto shown = [&](QPoint at = {30, 30}) {
        const std::optional<QImage> thumbnail = cache->thumbnail({60, 60});
        return thumbnail && thumbnail->size() == QSize(60, 60) ? thumbnail->pixelColor(at) : QColor();
    };

    EXPECT_EQ(shown(), QColor(Qt::red));
    EXPECT_EQ(shown({0, 30}), QColor(Qt::red)) << "the longer side is cropped";
    EXPECT_EQ(shown({59, 0}), QColor(Qt::red)) << "the shorter side is filled";
    const int firstLookUp = asked;
    answer = blue;
    EXPECT_EQ(shown(), QColor(Qt::red)) << "nothing changed that the app could see";
    EXPECT_EQ(asked, firstLookUp) << "the desktop is not asked on every show";

    ASSERT_TRUE(test::writeBytes(home.filePath(u".config/dconf/user"_s), "changed"));
    EXPECT_TRUE(test::waitUntil([&] { return shown().blue() > 240; })) << "the setting changed";

    writePicture(home, "blue.jpg", {400, 300}, Qt::green);
    QFile picture(blue);
    ASSERT_TRUE(picture.open(QIODevice::ReadWrite));
    ASSERT_TRUE(picture.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    picture.close();
    EXPECT_GT(shown().green(), 100) << "a new picture under the same name";
}
