// pelorin-screencapture against the real X server: a window covering the screen shows a
// picture in which every pixel tells where it is, so a capture's pixels show exactly which
// part of the screen it took. Interactive selections are driven by xdotool.

#include "TestSupport.h"
#include "core/CaptureRegion.h"
#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

// Red and green: the low byte of x and y; blue: their high nibbles.
QRgb codeFor(int x, int y)
{
    return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

QPoint pointOf(QRgb colour)
{
    return {qRed(colour) | ((qBlue(colour) >> 4) << 8), qGreen(colour) | ((qBlue(colour) & 15) << 8)};
}

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

QRgb screenPixel(int x, int y)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

struct Capture {
    int exitCode = -1;
    QString errors;
    std::optional<QImage> image;
    QString printed;
};

class CaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
        QImage known(screen.size(), QImage::Format_RGB32);
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                known.setPixel(x, y, codeFor(x, y));
        picture.setWindowFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        picture.setPixmap(QPixmap::fromImage(known));
        picture.setGeometry(screen);
        picture.setCursor(Qt::ArrowCursor);
        picture.show();
        // The server has drawn the picture once a grab shows it.
        ASSERT_TRUE(test::waitUntil([&] { return screenPixel(5, 7) == codeFor(5, 7); }));
        splitScreen({800, 1120});
    }
    // The tool, should a test stop early, goes with its QProcess.
    void TearDown() override
    {
        for (const QString& name : monitors)
            run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name});
    }

    static int run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(10'000) ? process.exitCode() : -1;
    }
    static void xdotool(const char* arguments) { ASSERT_EQ(run(QStringLiteral("xdotool"), words(arguments)), 0) << arguments; }

    // Splits the screen into monitors of these widths, side by side.
    void splitScreen(std::initializer_list<int> widths)
    {
        int x = 0;
        for (const int width : widths) {
            const QString name = QStringLiteral("pelorin-test-%1").arg(monitors.size());
            // The first takes the real output, so the screen's own monitor gives way to them.
            const QString geometry = QStringLiteral("%1/254x1080/286+%2+0").arg(width).arg(x);
            ASSERT_EQ(run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name, geometry,
                                                     monitors.isEmpty() ? QStringLiteral("screen") : QStringLiteral("none")}),
                      0);
            monitors << name;
            x += width;
        }
    }

    // `standby`: as the app runs it, started ahead and given the request on standard input.
    // Arguments starting with "capture" run the app's command, with its settings in "config".
    void start(const char* arguments, const QString& screenScales = {}, bool standby = false, bool display = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!screenScales.isEmpty())
            env.insert(QStringLiteral("QT_SCREEN_SCALE_FACTORS"), screenScales);
        if (!display)
            env.remove(QStringLiteral("DISPLAY"));
        QStringList request = words(arguments);
        const bool command = request.value(0) == QLatin1String("capture");
        if (command) {
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            request << QStringLiteral("-o");
        }
        request << output();
        tool.setProcessEnvironment(env);
        tool.start(command ? QStringLiteral(PELORIN_BINARY) : QStringLiteral(SCREENCAPTURE_TOOL),
                   standby ? QStringList{QStringLiteral("--standby")} : request);
        ASSERT_TRUE(tool.waitForStarted());
        if (standby) {
            tool.write(QJsonDocument(QJsonArray::fromStringList(request)).toJson(QJsonDocument::Compact) + '\n');
            tool.closeWriteChannel();
        }
    }
    Capture finish()
    {
        test::waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 60'000);
        Capture capture{tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                        QString::fromUtf8(tool.readAllStandardError()).trimmed(),
                        QFile::exists(output()) ? readImageFile(output()) : std::nullopt,
                        QString::fromUtf8(tool.readAllStandardOutput()).trimmed()};
        QFile::remove(output());
        return capture;
    }
    // Waits until the overlay covers the screen: the picture under it is dimmed.
    static bool overlayShown()
    {
        return test::waitUntil([] { return screenPixel(900, 500) != codeFor(900, 500); }, 10'000);
    }
    QString output() const { return dir.filePath(QStringLiteral("shot.png")); }

    // Where the captured picture came from, as a rectangle of the screen; empty when its
    // pixels are not one piece of the known picture.
    static QRect source(const QImage& image)
    {
        const QPoint origin = pointOf(image.pixel(0, 0));
        for (const QPoint at : {QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1), QPoint(image.width() - 1, image.height() - 1),
                                QPoint(image.width() / 2, image.height() / 3)})
            if (image.pixel(at) != codeFor(origin.x() + at.x(), origin.y() + at.y()))
                return {};
        return QRect(origin, image.size());
    }

    QLabel picture;
    QTemporaryDir dir;
    QProcess tool;
    QStringList monitors;
};

} // namespace

// Every request on the command line, the tool's and the app's `capture` command (no app, no
// editor): the part of the screen it takes, with the pointer only when asked for, the framed
// picture, or one line of error, the exit code and no file. A delay is waited out: what the
// screen shows by then is in the picture.
TEST_F(CaptureTool, RequestsWithoutSelectionTakeTheirPartOfTheScreenOrAreRefused)
{
    ASSERT_TRUE(test::writeBytes(dir.filePath(QStringLiteral("config/Pelorin/Pelorin.json")),
                                 R"({"lastCaptureRegions": {"0,0,800,1080;800,0,1120,1080": "5,6,70,80"}})"));
    const QPoint pointer(1500, 500);
    xdotool("mousemove 1500 500");
    // The pixels of the arrow below and right of the pointer that are not the screen's own.
    const auto arrowPixels = [&](const QImage& image, QPoint origin) {
        int changed = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                changed += image.pixel(pointer - origin + QPoint(x, y)) != codeFor(pointer.x() + x, pointer.y() + y);
        return changed;
    };
    const struct {
        const char* name;
        const char* arguments;
        int exitCode;
        QRect taken;             // the bare picture's source; empty: not checked
        const char* error = "";  // in the last line on standard error
        QSize framedSize = {};   // a framed picture's size; empty: not framed
        bool display = true;
        const char* scales = "";  // a typed region is in points: of the higher scale's resolution
        bool pointer = false;
    } cases[] = {
        {"full screen: every monitor", "", 0, QRect(0, 0, 1920, 1080)},
        {"monitor 2", "-D 2", 0, QRect(800, 0, 1120, 1080)},
        {"monitor 1", "-D 1", 0, QRect(0, 0, 800, 1080)},
        {"the monitor under the pointer", "-m", 0, QRect(800, 0, 1120, 1080)},
        {"a region across both monitors", "-R 700,50,300,200", 0, QRect(700, 50, 300, 200)},
        {"a region partly off the screen", "-R 1800,1000,300,200", 0, QRect(1800, 1000, 120, 80)},
        {"with the pointer", "-C -R 1490,490,40,40", 0, QRect(1490, 490, 40, 40), "", {}, true, "", true},
        {"across monitors of scales 1 and 2", "-R 350,25,150,100", 0, QRect(700, 50, 300, 200), "", {}, true, "1;2"},
        {"across monitors of scales 2 and 1", "-R 350,25,150,100", 0, QRect(700, 50, 300, 200), "", {}, true,
         "pelorin-test-0=2;pelorin-test-1=1"},
        {"a monitor that is not there", "-D 3", 2, {}, "there is no monitor 3 (this desktop has 2)"},
        {"a region off the screen", "-R 3000,0,10,10", 2, {}, "lies outside the screens"},
        {"an empty region", "-R 10,10,0,5", 2, {}, "usage:"},
        {"two modes", "-D 1 -R 0,0,5,5", 2, {}, "usage:"},
        {"a negative delay", "-T -1", 2, {}, "usage:"},
        {"command: a region", "capture --region 100,50,300,200 --raw", 0, QRect(100, 50, 300, 200)},
        {"command: monitor 2", "capture --screen 2 --raw", 0, QRect(800, 0, 1120, 1080)},
        {"command: the last region", "capture --last-region --raw", 0, QRect(5, 6, 70, 80)},
        {"command: framed", "capture --region 100,50,300,200 --padding 20 --solid 255,0,0", 0, {}, "", QSize(340, 240)},
        {"command: no mode", "capture --raw", 2, {}, "pelorin capture: give one of --region, --screen, --window or --last-region"},
        {"command: a bad region", "capture --region 1,2,3", 2, {}, "pelorin capture: --region expects X,Y,W,H"},
        {"command: style with --raw", "capture --screen --raw --padding 3", 2, {}, "pelorin capture: --raw takes no style options"},
        {"command: a bad style", "capture --screen --preset nope", 2, {}, "pelorin capture: unknown preset"},
        {"command: a monitor that is not there", "capture --screen 3", 1, {}, "pelorin capture: nothing was captured"},
        {"command: no display", "capture --screen", 2, {}, "pelorin capture: no display", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.arguments, QString::fromLatin1(c.scales), false, c.display);
        const Capture shot = finish();
        EXPECT_EQ(shot.exitCode, c.exitCode) << shot.errors.toStdString();
        EXPECT_TRUE(shot.errors.section(u'\n', -1).contains(QLatin1String(c.error))) << shot.errors.toStdString();
        if (c.exitCode != 0) {
            EXPECT_FALSE(shot.image) << "no file";
            continue;
        }
        ASSERT_TRUE(shot.image);
        if (!c.taken.isEmpty()) {
            EXPECT_EQ(source(*shot.image), c.taken);
            if (c.taken.contains(pointer)) {
                EXPECT_EQ(arrowPixels(*shot.image, c.taken.topLeft()) > 20, c.pointer);
            }
        }
        if (*c.scales) {
            EXPECT_EQ(shot.image->dotsPerMeterX(), 5669) << "opens at its point size: 144 dpi";
        }
        if (QByteArray(c.arguments).startsWith("capture")) {
            EXPECT_EQ(shot.printed, output()) << "the path on standard output";
        }
        if (!c.framedSize.isEmpty()) {
            EXPECT_EQ(shot.image->size(), c.framedSize);
            EXPECT_EQ(shot.image->pixelColor(1, 1), QColor(255, 0, 0)) << "the background";
        }
    }

    start("-T 3");
    // Long after the tool has started, well before the delay ends.
    test::waitUntil([] { return false; }, 1000);
    QPixmap flood(picture.size());
    flood.fill(QColor(0, 200, 100));
    picture.setPixmap(flood);
    picture.repaint();
    const Capture shot = finish();
    ASSERT_EQ(shot.exitCode, 0) << shot.errors.toStdString();
    EXPECT_EQ(shot.image->pixelColor(900, 500), QColor(0, 200, 100));
}

// On the overlay: a dragged selection is fine-tuned with the keys and taken with Enter (arrows
// move it by a pixel, Alt makes that ten, Shift resizes) and its region goes into the file for
// "last region"; a double click takes it too. Across monitors Qt scales differently, it is the
// screen's own pixels, one piece, at the higher scale's resolution. The magnifier beside the
// pointer shows the pixel under it, whole, at any scale; -M turns it off. Escape cancels: no
// file. Space picks a window instead, and that is no last region.
TEST_F(CaptureTool, SelectingOnTheOverlay)
{
    // A window showing the screen's own pixels where it lies.
    QLabel window;
    window.setPixmap(picture.pixmap().copy(400, 300, 200, 100));
    window.setGeometry(400, 300, 200, 100);
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    const char* acrossTheSeam = "mousemove 700 50 mousedown 1 mousemove 900 150 mousemove 1000 250 mouseup 1 key Return";
    const struct {
        const char* name;
        const char* actions;
        QRect taken;        // empty: cancelled
        const char* region; // kept for "last region" with the monitors' layout; none: not checked
        const char* scales = "";
        bool standby = false;
        const char* arguments = "-i -o";
        int magnifier = 0;  // 1: shown beside the pointer at its scale, -1: not shown, 0: not checked
    } cases[] = {
        // Right: x + 1; Alt+Down: y + 10; Shift+Alt+Right: width + 10; Shift+Up: height - 1.
        {"nudged with the keys",
         "mousemove 100 100 mousedown 1 mousemove 200 150 mousemove 300 250 mouseup 1 "
         "key --delay 50 Right alt+Down shift+alt+Right shift+Up Return",
         QRect(101, 110, 210, 149), "101,110,210,149"},
        {"a double click, the tool started ahead",
         "mousemove 1000 600 mousedown 1 mousemove 1100 650 mousemove 1200 700 mouseup 1 mousemove 1050 650 click --repeat 2 1",
         QRect(1000, 600, 200, 100), "1000,600,200,100", "", true},
        {"scales 1 and 2", acrossTheSeam, QRect(700, 50, 300, 200), nullptr, "1;2"},
        {"scales 2 and 1", acrossTheSeam, QRect(700, 50, 300, 200), nullptr, "pelorin-test-0=2;pelorin-test-1=1"},
        {"a window picked with Space", "key space mousemove 450 350 click 1", QRect(400, 300, 200, 100), ""},
        {"the magnifier", "key Escape", {}, nullptr, "1", false, "-i", 1},
        {"the magnifier at scale 2", "key Escape", {}, nullptr, "2;1", false, "-i", 1},
        {"no magnifier", "key Escape", {}, nullptr, "1", false, "-M -i", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        xdotool("mousemove 300 400");
        start(c.arguments, QString::fromLatin1(c.scales), c.standby);
        ASSERT_TRUE(overlayShown());
        if (c.magnifier) {
            xdotool("mousemove 301 400 mousemove 300 400");
            // The enlarged middle pixel lies 84 points down and to the right of the pointer.
            const int offset = 84 * QByteArray(c.scales).split(';').first().toInt();
            const auto shown = [&] { return screenPixel(300 + offset, 400 + offset) == codeFor(300, 400); };
            EXPECT_EQ(test::waitUntil(shown, c.magnifier > 0 ? 5000 : 500), c.magnifier > 0);
        }
        xdotool(c.actions);
        const Capture shot = finish();
        if (c.taken.isEmpty()) {
            EXPECT_EQ(shot.exitCode, 1);
            EXPECT_FALSE(shot.image);
            continue;
        }
        EXPECT_EQ(shot.exitCode, 0);
        ASSERT_TRUE(shot.image) << shot.errors.toStdString();
        EXPECT_EQ(source(*shot.image), c.taken);
        if (c.region) {
            EXPECT_EQ(shot.image->text(QLatin1String(captureRegionTextKey)), QLatin1String(c.region));
            EXPECT_EQ(shot.image->text(QLatin1String(captureLayoutTextKey)),
                      *c.region ? QStringLiteral("0,0,800,1080;800,0,1120,1080") : QString());
        }
    }
}
