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
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

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

class KnownPicture : public QWidget {
public:
    KnownPicture()
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::BypassWindowManagerHint)
    {
        const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
        m_picture = QImage(screen.size(), QImage::Format_RGB32);
        for (int y = 0; y < screen.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
            for (int x = 0; x < screen.width(); ++x)
                line[x] = codeFor(x, y);
        }
        setGeometry(screen);
        setCursor(Qt::BlankCursor);
    }
    // Paints the whole screen one colour instead, to see when a capture looked.
    void flood(QColor colour)
    {
        m_flood = colour;
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_flood.isValid())
            painter.fillRect(rect(), m_flood);
        else
            painter.drawImage(0, 0, m_picture);
    }

private:
    QImage m_picture;
    QColor m_flood;
};

struct Capture {
    int exitCode = -1;
    QString errors;
    std::optional<QImage> image;
};

class CaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
            GTEST_SKIP() << "needs xdotool and xrandr (scripts/deps.sh installs them)";
        picture.show();
        ASSERT_TRUE(test::waitUntil([&] { return picture.isVisible(); }));
        // The server has drawn the picture once a grab shows it.
        ASSERT_TRUE(test::waitUntil([&] {
            return QGuiApplication::primaryScreen()->grabWindow(0, 5, 7, 1, 1).toImage().pixel(0, 0) == codeFor(5, 7);
        }));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("5")});
    }
    void TearDown() override
    {
        if (tool.state() != QProcess::NotRunning) {
            tool.kill();
            tool.waitForFinished();
        }
        for (const QString& name : monitors)
            run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name});
    }

    static int run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(10'000))
            return -1;
        return process.exitCode();
    }
    static void xdotool(const QStringList& arguments) { ASSERT_EQ(run(QStringLiteral("xdotool"), arguments), 0) << arguments.join(u' ').toStdString(); }

    // Splits the screen into monitors of these widths, side by side.
    void splitScreen(std::initializer_list<int> widths)
    {
        int x = 0;
        for (const int width : widths) {
            const QString name = QStringLiteral("pelorin-test-%1").arg(monitors.size());
            // The first takes the real output, so the screen's own monitor gives way to them.
            ASSERT_EQ(run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name, QStringLiteral("%1/254x1080/286+%2+0").arg(width).arg(x),
                                                     monitors.isEmpty() ? QStringLiteral("screen") : QStringLiteral("none")}),
                      0);
            monitors << name;
            x += width;
        }
    }

    // `standby`: as the app runs it, started ahead and given the request on standard input.
    void start(const QStringList& arguments, const QString& screenScales = {}, bool standby = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!screenScales.isEmpty())
            env.insert(QStringLiteral("QT_SCREEN_SCALE_FACTORS"), screenScales);
        tool.setProcessEnvironment(env);
        tool.setProcessChannelMode(QProcess::SeparateChannels);
        tool.start(QStringLiteral(SCREENCAPTURE_TOOL), standby ? QStringList{QStringLiteral("--standby")} : arguments + QStringList{output()});
        ASSERT_TRUE(tool.waitForStarted());
        if (standby) {
            tool.write(QJsonDocument(QJsonArray::fromStringList(arguments + QStringList{output()})).toJson(QJsonDocument::Compact) + '\n');
            tool.closeWriteChannel();
        }
    }
    Capture finish()
    {
        Capture capture;
        test::waitUntil([&] { return tool.state() == QProcess::NotRunning; }, 20'000);
        capture.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        capture.errors = QString::fromUtf8(tool.readAllStandardError());
        if (QFile::exists(output()))
            capture.image = readImageFile(output());
        QFile::remove(output());
        return capture;
    }
    Capture capture(const QStringList& arguments)
    {
        start(arguments);
        return finish();
    }
    // Waits until the overlay covers the screen: the picture under it is dimmed.
    bool overlayShown()
    {
        return test::waitUntil([&] { return QGuiApplication::primaryScreen()->grabWindow(0, 900, 500, 1, 1).toImage().pixel(0, 0) != codeFor(900, 500); },
                               10'000);
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

    KnownPicture picture;
    QTemporaryDir dir;
    QProcess tool;
    QStringList monitors;
};

} // namespace

TEST_F(CaptureTool, ModesWithoutSelectionTakeTheirPartOfTheScreen)
{
    splitScreen({800, 1120});
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1500"), QStringLiteral("500")});
    const struct {
        const char* name;
        QStringList arguments;
        QRect taken;
    } cases[] = {
        {"full screen: every monitor", {}, QRect(0, 0, 1920, 1080)},
        {"monitor 2", {QStringLiteral("-D"), QStringLiteral("2")}, QRect(800, 0, 1120, 1080)},
        {"monitor 1", {QStringLiteral("-D"), QStringLiteral("1")}, QRect(0, 0, 800, 1080)},
        {"the monitor under the pointer", {QStringLiteral("-m")}, QRect(800, 0, 1120, 1080)},
        {"a region across both monitors", {QStringLiteral("-R"), QStringLiteral("700,50,300,200")}, QRect(700, 50, 300, 200)},
        {"a region partly off the screen", {QStringLiteral("-R"), QStringLiteral("1800,1000,300,200")}, QRect(1800, 1000, 120, 80)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Capture shot = capture(c.arguments);
        ASSERT_EQ(shot.exitCode, 0) << shot.errors.toStdString();
        ASSERT_TRUE(shot.image);
        EXPECT_EQ(source(*shot.image), c.taken);
    }
}

TEST_F(CaptureTool, WrongRequestsAreRefused)
{
    splitScreen({960, 960});
    const struct {
        const char* name;
        QStringList arguments;
        const char* error;
    } cases[] = {
        {"a monitor that is not there", {QStringLiteral("-D"), QStringLiteral("3")}, "there is no monitor 3 (this desktop has 2)"},
        {"a region off the screen", {QStringLiteral("-R"), QStringLiteral("3000,0,10,10")}, "lies outside the screens"},
        {"an empty region", {QStringLiteral("-R"), QStringLiteral("10,10,0,5")}, "usage:"},
        {"two modes", {QStringLiteral("-D"), QStringLiteral("1"), QStringLiteral("-R"), QStringLiteral("0,0,5,5")}, "usage:"},
        {"a negative delay", {QStringLiteral("-T"), QStringLiteral("-1")}, "usage:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Capture shot = capture(c.arguments);
        EXPECT_EQ(shot.exitCode, 2);
        EXPECT_TRUE(shot.errors.contains(QLatin1String(c.error))) << shot.errors.toStdString();
        EXPECT_FALSE(shot.image) << "no file";
    }
}

// The picture is taken when the delay is over: what the screen shows by then is in it.
TEST_F(CaptureTool, TheDelayIsWaitedOut)
{
    start({QStringLiteral("-T"), QStringLiteral("3")});
    // Long after the tool has started, well before the delay ends.
    test::waitUntil([] { return false; }, 1000);
    picture.flood(QColor(0, 200, 100));
    const Capture shot = finish();
    ASSERT_EQ(shot.exitCode, 0) << shot.errors.toStdString();
    EXPECT_EQ(shot.image->pixelColor(900, 500), QColor(0, 200, 100));
}

// The pointer is in the picture only when asked for.
TEST_F(CaptureTool, ThePointerOnlyWhenAsked)
{
    picture.setCursor(Qt::ArrowCursor);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("400"), QStringLiteral("300")});
    const auto pointerPixels = [](const QImage& image) {
        int changed = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                changed += image.pixel(x, y) != codeFor(390 + x, 290 + y);
        return changed;
    };
    const Capture without = capture({QStringLiteral("-R"), QStringLiteral("390,290,40,40")});
    const Capture with = capture({QStringLiteral("-C"), QStringLiteral("-R"), QStringLiteral("390,290,40,40")});
    ASSERT_TRUE(without.image && with.image) << without.errors.toStdString() << with.errors.toStdString();
    EXPECT_EQ(pointerPixels(*without.image), 0);
    EXPECT_GT(pointerPixels(*with.image), 20) << "the arrow's pixels";
}

// A dragged selection is fine-tuned with the keys and taken with Enter: arrows move it by a
// pixel, Alt makes that ten, Shift resizes. The region goes into the file for "last region".
TEST_F(CaptureTool, TheKeysNudgeAndResizeTheSelection)
{
    splitScreen({960, 960});
    start({QStringLiteral("-i"), QStringLiteral("-o")});
    ASSERT_TRUE(overlayShown());
    xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("100"), QStringLiteral("mousedown"), QStringLiteral("1"),
             QStringLiteral("mousemove"), QStringLiteral("200"), QStringLiteral("150"), QStringLiteral("mousemove"), QStringLiteral("300"),
             QStringLiteral("250"), QStringLiteral("mouseup"), QStringLiteral("1")});
    // Right: x + 1; Alt+Down: y + 10; Shift+Alt+Right: width + 10; Shift+Up: height - 1.
    xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("Right"), QStringLiteral("alt+Down"),
             QStringLiteral("shift+alt+Right"), QStringLiteral("shift+Up"), QStringLiteral("Return")});
    const Capture shot = finish();
    ASSERT_EQ(shot.exitCode, 0) << shot.errors.toStdString();
    EXPECT_EQ(source(*shot.image), QRect(101, 110, 210, 149));
    EXPECT_EQ(shot.image->text(QLatin1String(captureRegionTextKey)), QStringLiteral("101,110,210,149"));
    EXPECT_EQ(shot.image->text(QLatin1String(captureLayoutTextKey)), QStringLiteral("0,0,960,1080;960,0,960,1080"));
}

TEST_F(CaptureTool, DoubleClickTakesTheSelectionAndEscapeCancels)
{
    start({QStringLiteral("-i"), QStringLiteral("-o")}, {}, true);
    ASSERT_TRUE(overlayShown());
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1000"), QStringLiteral("600"), QStringLiteral("mousedown"), QStringLiteral("1"),
             QStringLiteral("mousemove"), QStringLiteral("1100"), QStringLiteral("650"), QStringLiteral("mousemove"), QStringLiteral("1200"),
             QStringLiteral("700"), QStringLiteral("mouseup"), QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("1050"),
             QStringLiteral("650"), QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1")});
    const Capture taken = finish();
    ASSERT_EQ(taken.exitCode, 0) << taken.errors.toStdString();
    EXPECT_EQ(source(*taken.image), QRect(1000, 600, 200, 100));

    start({QStringLiteral("-i"), QStringLiteral("-o")});
    ASSERT_TRUE(overlayShown());
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    const Capture cancelled = finish();
    EXPECT_EQ(cancelled.exitCode, 1);
    EXPECT_FALSE(cancelled.image);

    // Space switches to picking a window; its area is not offered as the last region.
    QWidget window;
    window.setGeometry(400, 300, 200, 100);
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    start({QStringLiteral("-i"), QStringLiteral("-o")});
    ASSERT_TRUE(overlayShown());
    xdotool({QStringLiteral("key"), QStringLiteral("space"), QStringLiteral("mousemove"), QStringLiteral("450"), QStringLiteral("350"),
             QStringLiteral("click"), QStringLiteral("1")});
    const Capture picked = finish();
    ASSERT_EQ(picked.exitCode, 0) << picked.errors.toStdString();
    EXPECT_EQ(picked.image->size(), QSize(200, 100));
    EXPECT_TRUE(picked.image->text(QLatin1String(captureRegionTextKey)).isEmpty());
}

// Monitors Qt scales differently: a selection across the seam is the screen's own pixels, one
// piece, at the higher scale's resolution, whether typed in points or dragged on the overlay.
TEST_F(CaptureTool, MonitorsOfDifferentScalesGiveOnePictureAtTheHigherScale)
{
    splitScreen({800, 1120});
    for (const QString& scales : {QStringLiteral("1;2"), QStringLiteral("pelorin-test-0=2;pelorin-test-1=1")}) {
        SCOPED_TRACE(scales.toStdString());
        start({QStringLiteral("-R"), QStringLiteral("350,25,150,100")}, scales);
        Capture shot = finish();
        ASSERT_TRUE(shot.image) << shot.errors.toStdString();
        EXPECT_EQ(source(*shot.image), QRect(700, 50, 300, 200));
        EXPECT_EQ(shot.image->dotsPerMeterX(), 5669) << "opens at its point size: 144 dpi";

        start({QStringLiteral("-i"), QStringLiteral("-o")}, scales);
        ASSERT_TRUE(overlayShown());
        xdotool({QStringLiteral("mousemove"), QStringLiteral("700"), QStringLiteral("50"), QStringLiteral("mousedown"), QStringLiteral("1"),
                 QStringLiteral("mousemove"), QStringLiteral("900"), QStringLiteral("150"), QStringLiteral("mousemove"), QStringLiteral("1000"),
                 QStringLiteral("250"), QStringLiteral("mouseup"), QStringLiteral("1"), QStringLiteral("key"), QStringLiteral("Return")});
        shot = finish();
        ASSERT_TRUE(shot.image) << shot.errors.toStdString();
        EXPECT_EQ(source(*shot.image), QRect(700, 50, 300, 200));
    }
}

// The magnifier beside the pointer shows the pixel under it, whole, at any scale; -M turns it off.
TEST_F(CaptureTool, TheMagnifierShowsThePixelUnderThePointer)
{
    const struct {
        const char* scales;
        bool magnifier;
    } cases[] = {{"1", true}, {"2", true}, {"1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scales) + (c.magnifier ? " with" : " without"));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("600"), QStringLiteral("400")});
        start(c.magnifier ? QStringList{QStringLiteral("-i")} : QStringList{QStringLiteral("-M"), QStringLiteral("-i")}, QLatin1String(c.scales));
        ASSERT_TRUE(overlayShown());
        xdotool({QStringLiteral("mousemove"), QStringLiteral("601"), QStringLiteral("400"), QStringLiteral("mousemove"), QStringLiteral("600"),
                 QStringLiteral("400")});
        // The enlarged middle pixel lies 84 points down and to the right of the pointer.
        const int offset = 84 * QByteArray(c.scales).toInt();
        const auto shown = [&] {
            return QGuiApplication::primaryScreen()->grabWindow(0, 600 + offset, 400 + offset, 1, 1).toImage().pixel(0, 0) == codeFor(600, 400);
        };
        EXPECT_EQ(test::waitUntil(shown, c.magnifier ? 5000 : 500), c.magnifier);
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        finish();
    }
}

// `pelorin capture`: no app, no editor; the framed or bare picture and its path, or one line
// of error and the exit code.
TEST_F(CaptureTool, TheCaptureCommand)
{
    splitScreen({960, 960});
    const QString config = dir.filePath(QStringLiteral("config"));
    ASSERT_TRUE(test::writeBytes(config + QStringLiteral("/Pelorin/Pelorin.json"),
                                 R"({"lastCaptureRegions": {"0,0,960,1080;960,0,960,1080": "5,6,70,80"}})"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    const struct {
        const char* name;
        QStringList arguments;
        int exitCode;
        QRect taken;       // the bare picture's source; empty: not checked
        QSize framedSize;  // a framed picture's size; empty: not framed
        const char* error; // the last line on standard error starts so
        bool display = true;
    } cases[] = {
        {"a region", {QStringLiteral("--region"), QStringLiteral("100,50,300,200"), QStringLiteral("--raw")}, 0, QRect(100, 50, 300, 200), {}, ""},
        {"monitor 2", {QStringLiteral("--screen"), QStringLiteral("2"), QStringLiteral("--raw")}, 0, QRect(960, 0, 960, 1080), {}, ""},
        {"the last region", {QStringLiteral("--last-region"), QStringLiteral("--raw")}, 0, QRect(5, 6, 70, 80), {}, ""},
        {"framed", {QStringLiteral("--region"), QStringLiteral("100,50,300,200"), QStringLiteral("--padding"), QStringLiteral("20"),
                    QStringLiteral("--solid"), QStringLiteral("255,0,0")}, 0, {}, QSize(340, 240), ""},
        {"no mode", {QStringLiteral("--raw")}, 2, {}, {}, "pelorin capture: give one of --region, --screen, --window or --last-region"},
        {"a bad region", {QStringLiteral("--region"), QStringLiteral("1,2,3")}, 2, {}, {}, "pelorin capture: --region expects X,Y,W,H"},
        {"style with --raw", {QStringLiteral("--screen"), QStringLiteral("--raw"), QStringLiteral("--padding"), QStringLiteral("3")}, 2, {}, {},
         "pelorin capture: --raw takes no style options"},
        {"a bad style", {QStringLiteral("--screen"), QStringLiteral("--preset"), QStringLiteral("nope")}, 2, {}, {}, "pelorin capture: unknown preset"},
        {"a monitor that is not there", {QStringLiteral("--screen"), QStringLiteral("3")}, 1, {}, {}, "pelorin capture: nothing was captured"},
        {"no display", {QStringLiteral("--screen")}, 2, {}, {}, "pelorin capture: no display", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(out);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (!c.display)
            env.remove(QStringLiteral("DISPLAY"));
        QProcess pelorin;
        pelorin.setProcessEnvironment(env);
        pelorin.start(QStringLiteral(PELORIN_BINARY), QStringList{QStringLiteral("capture")} + c.arguments + QStringList{QStringLiteral("-o"), out});
        ASSERT_TRUE(pelorin.waitForFinished(60'000));
        const QString errors = QString::fromUtf8(pelorin.readAllStandardError()).trimmed();
        EXPECT_EQ(pelorin.exitCode(), c.exitCode) << errors.toStdString();
        if (c.exitCode != 0) {
            EXPECT_TRUE(errors.section(u'\n', -1).startsWith(QLatin1String(c.error))) << errors.toStdString();
            EXPECT_FALSE(QFile::exists(out));
            continue;
        }
        EXPECT_EQ(QString::fromUtf8(pelorin.readAllStandardOutput()).trimmed(), out);
        const std::optional<QImage> image = readImageFile(out);
        ASSERT_TRUE(image);
        if (!c.taken.isEmpty()) {
            EXPECT_EQ(source(*image), c.taken);
        }
        if (!c.framedSize.isEmpty()) {
            EXPECT_EQ(image->size(), c.framedSize);
            EXPECT_EQ(image->pixelColor(1, 1), QColor(255, 0, 0)) << "the background";
        }
    }
}
